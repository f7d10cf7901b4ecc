// What the fuzz targets share: a private scratch folder for the font and job files the library
// is pointed at, record filling, and the checks that turn a broken output stream into a crash
// the fuzzer records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tavrfndl.h"

namespace tavrfndl::fuzz {

// Reads the input front to back; past its end every read gives zeros, so that any input is a
// complete description.
class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
  uint32_t U32() { return uint32_t{U16()} | (uint32_t{U16()} << 16); }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  bool empty() const { return pos_ >= size_; }
  size_t remaining() const { return pos_ < size_ ? size_ - pos_ : 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// A folder of this process under the temporary directory, made on first use and removed with
// everything in it when the process exits normally.
const std::string& ScratchDir();
std::string ScratchPath(const std::string& name);

// Writes the bytes as a new file at path: the old file is unlinked first, so that a mapping the
// library or its font engine still holds keeps the old bytes and a cached face of the old file
// is never taken for the new one (a new file gets a new inode while the old one is mapped).
void WriteNewFile(const std::string& path, const uint8_t* data, size_t size);
void WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::string& path);
size_t FileSize(const std::string& path);

// ASCII (or raw bytes) into a record's fixed field, always terminated.
template <size_t N>
void PutField(FNDL_WCHAR (&field)[N], const std::string& s) {
  size_t i = 0;
  for (; i < s.size() && i + 1 < N; ++i) field[i] = static_cast<unsigned char>(s[i]);
  field[i] = 0;
}
template <size_t N>
void PutField(char (&field)[N], const std::string& s) {
  size_t i = 0;
  for (; i < s.size() && i + 1 < N; ++i) field[i] = s[i];
  field[i] = 0;
}

// Reports a broken property of the library's behavior and aborts, which libFuzzer and the replay
// programs count as a crash of the input.
[[noreturn]] void Violation(const std::string& what);

// Aborts with the problem when the stream is not self-consistent (see hostile/stream_checks.h).
void CheckStream(const std::vector<uint8_t>& stream, const char* context);

// Result of a download call must be one of the four the header defines.
void CheckResult(int32_t result, const char* context);

// Caps every file the process writes at 256 MiB (a write past it fails instead of killing the
// process): an input that makes the library write without end must not fill the disk before
// libFuzzer's timeout, or a replay's, stops it.
void LimitOutput();

// Aborts when the job file has grown past 64 MiB: no input of a target comes near that but one
// that makes the library's output run away, and the input is saved before the disk suffers.
void CheckJobBounded(const char* context);

// The job file every call of a target appends to.
const std::string& JobPath();

// Removes the fonts with these numbers, then brings the library back to its state at load (but
// for the cursor and the sticky font file error): a font that cannot be completed is downloaded
// under a number of its own and removed, and removing the last font releases the font list, the
// writer and the font engine's caches. A failed download can leave an empty list behind that no
// removal would release, and inputs must not depend on what earlier inputs left.
void ReleaseLibrary(const std::vector<uint32_t>& fontIds);

}  // namespace tavrfndl::fuzz
