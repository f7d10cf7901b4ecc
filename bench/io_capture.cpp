#include "io_capture.h"

#include <cstdio>
#include <cstring>

namespace tavrfndl::bench {
namespace {

// Which file the recorded calls were made on, so that a call on another stream shows up as an
// error instead of being replayed against the job file.
struct Recording {
  FileCalls calls;
  std::vector<std::FILE*> streams;  // parallel to calls
};

Recording* g_recording = nullptr;

void Note(FileCall call, std::FILE* stream) {
  g_recording->calls.calls.push_back(std::move(call));
  g_recording->streams.push_back(stream);
}

}  // namespace
}  // namespace tavrfndl::bench

// Pass-throughs for every object of the program (the library's static archives included): the
// linker sends fopen to __wrap_fopen and __real_fopen to the C library's fopen.
extern "C" {
std::FILE* __real_fopen(const char* path, const char* mode);
size_t __real_fwrite(const void* data, size_t size, size_t count, std::FILE* stream);
int __real_fflush(std::FILE* stream);
int __real_fclose(std::FILE* stream);

std::FILE* __wrap_fopen(const char* path, const char* mode) {
  std::FILE* stream = __real_fopen(path, mode);
  if (tavrfndl::bench::g_recording != nullptr) {
    tavrfndl::bench::FileCall call;
    call.kind = tavrfndl::bench::FileCall::kOpen;
    call.mode = mode != nullptr ? mode : "";
    tavrfndl::bench::Note(std::move(call), stream);
  }
  return stream;
}

size_t __wrap_fwrite(const void* data, size_t size, size_t count, std::FILE* stream) {
  if (tavrfndl::bench::g_recording != nullptr) {
    tavrfndl::bench::FileCall call;
    call.kind = tavrfndl::bench::FileCall::kWrite;
    call.size = size;
    call.count = count;
    const auto* bytes = static_cast<const uint8_t*>(data);
    call.bytes.assign(bytes, bytes + size * count);
    tavrfndl::bench::Note(std::move(call), stream);
  }
  return __real_fwrite(data, size, count, stream);
}

int __wrap_fflush(std::FILE* stream) {
  if (tavrfndl::bench::g_recording != nullptr) {
    tavrfndl::bench::FileCall call;
    call.kind = tavrfndl::bench::FileCall::kFlush;
    tavrfndl::bench::Note(std::move(call), stream);
  }
  return __real_fflush(stream);
}

int __wrap_fclose(std::FILE* stream) {
  if (tavrfndl::bench::g_recording != nullptr) {
    tavrfndl::bench::FileCall call;
    call.kind = tavrfndl::bench::FileCall::kClose;
    tavrfndl::bench::Note(std::move(call), stream);
  }
  return __real_fclose(stream);
}
}  // extern "C"

namespace tavrfndl::bench {

size_t FileCalls::Bytes() const {
  size_t n = 0;
  for (const FileCall& c : calls) n += c.bytes.size();
  return n;
}

size_t FileCalls::Writes() const {
  size_t n = 0;
  for (const FileCall& c : calls) n += c.kind == FileCall::kWrite;
  return n;
}

size_t FileCalls::Flushes() const {
  size_t n = 0;
  for (const FileCall& c : calls) n += c.kind == FileCall::kFlush;
  return n;
}

std::vector<uint8_t> FileCalls::Concatenated() const {
  std::vector<uint8_t> out;
  for (const FileCall& c : calls) out.insert(out.end(), c.bytes.begin(), c.bytes.end());
  return out;
}

FileCallRecorder::FileCallRecorder() {
  delete g_recording;
  g_recording = new Recording;
}

FileCallRecorder::~FileCallRecorder() {
  delete g_recording;
  g_recording = nullptr;
}

FileCalls FileCallRecorder::Stop() {
  if (g_recording == nullptr) return {};
  Recording* done = g_recording;
  g_recording = nullptr;
  FileCalls calls = std::move(done->calls);
  // The streams are checked here, while the recording still knows them.
  std::FILE* session = done->streams.empty() ? nullptr : done->streams.front();
  for (std::FILE* s : done->streams) {
    if (s != session) {
      calls.streamError = "the call wrote to more than one stream";
      break;
    }
  }
  delete done;
  return calls;
}

std::string FileCalls::CheckOneAppendSession() const {
  if (!streamError.empty()) return streamError;
  if (calls.size() < 2) return "fewer than two file calls were recorded";
  if (calls.front().kind != FileCall::kOpen || calls.front().mode != "ab") {
    return "the first file call is not fopen \"ab\"";
  }
  if (calls.back().kind != FileCall::kClose) return "the last file call is not fclose";
  for (size_t i = 1; i + 1 < calls.size(); ++i) {
    if (calls[i].kind != FileCall::kWrite && calls[i].kind != FileCall::kFlush) {
      return "a file was opened or closed in the middle of the call";
    }
  }
  return {};
}

bool Replay(const FileCalls& calls, const std::string& path) {
  std::FILE* f = nullptr;
  bool ok = true;
  for (const FileCall& c : calls.calls) {
    switch (c.kind) {
      case FileCall::kOpen:
        f = std::fopen(path.c_str(), c.mode.c_str());
        if (f == nullptr) return false;
        break;
      case FileCall::kWrite:
        ok = std::fwrite(c.bytes.data(), c.size, c.count, f) == c.count && ok;
        break;
      case FileCall::kFlush:
        std::fflush(f);
        break;
      case FileCall::kClose:
        std::fclose(f);
        f = nullptr;
        break;
    }
  }
  if (f != nullptr) std::fclose(f);
  return ok;
}

}  // namespace tavrfndl::bench
