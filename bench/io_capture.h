// The file calls of one library call, recorded through link-time wrappers of fopen, fwrite,
// fflush and fclose, and replayed with the same bytes: the I/O floor a call cannot go below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrfndl::bench {

struct FileCall {
  enum Kind { kOpen, kWrite, kFlush, kClose };
  Kind kind = kOpen;
  std::string mode;  // kOpen
  size_t size = 0;   // kWrite: fwrite's size and count, as the library passed them
  size_t count = 0;
  std::vector<uint8_t> bytes;  // kWrite: what was written
};

struct FileCalls {
  std::vector<FileCall> calls;
  std::string streamError;  // set when the calls went to more than one stream

  size_t Bytes() const;
  size_t Writes() const;
  size_t Flushes() const;
  // Empty when the calls are one append session on one file: fopen "ab" first, fclose last,
  // nothing in between but writes and flushes of that file. Otherwise what is wrong.
  std::string CheckOneAppendSession() const;
  // Everything written, in order.
  std::vector<uint8_t> Concatenated() const;
};

// Records every wrapped call of the process from construction to Stop (or destruction).
class FileCallRecorder {
 public:
  FileCallRecorder();
  ~FileCallRecorder();
  FileCallRecorder(const FileCallRecorder&) = delete;
  FileCallRecorder& operator=(const FileCallRecorder&) = delete;
  FileCalls Stop();
};

// The same calls with the same byte counts against path; false when the file cannot be opened
// or a write falls short.
bool Replay(const FileCalls& calls, const std::string& path);

}  // namespace tavrfndl::bench
