// File "mapping" for the fuzz programs: the whole file read into a heap block of exactly its
// size, in place of mmap.
//
// Why: bytes past the end of an mmap'd file read as zeros up to the end of its last page, so an
// over-read of a font file goes unnoticed by AddressSanitizer, and file mode is where fonts are
// read in place. A heap block ends in a redzone, so the same over-read is reported at once. The
// fuzz programs link this object ahead of the platform library; since it defines every symbol of
// the platform's mapped_file.cpp, that object is never pulled in (a missing definition here would
// pull it in and fail the link with duplicate symbols, never silently mix the two).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <new>

#include "platform/platform.h"

namespace tavrfndl::platform {

void MappedFile::Release() noexcept {
  delete[] static_cast<uint8_t*>(handle_);
  data_ = nullptr;
  size_ = 0;
  handle_ = nullptr;
}

// The same refusals as the mmap version: no path, no regular file, an empty file.
std::optional<MappedFile> MapFileReadOnly(const char* path) {
  if (path == nullptr || *path == '\0') return std::nullopt;
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
    close(fd);
    return std::nullopt;
  }
  const size_t size = static_cast<size_t>(st.st_size);
  auto* bytes = new (std::nothrow) uint8_t[size];
  size_t done = 0;
  while (bytes != nullptr && done < size) {
    const ssize_t n = read(fd, bytes + done, size - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
  if (bytes == nullptr || done != size) {
    delete[] bytes;
    return std::nullopt;
  }
  return MappedFile(bytes, size, bytes);
}

}  // namespace tavrfndl::platform
