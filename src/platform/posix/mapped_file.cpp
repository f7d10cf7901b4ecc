// Read-only file mapping with mmap. The descriptor is closed as soon as the mapping exists: the
// mapping keeps the file's pages reachable on its own, and a driver that maps many fonts must not
// run out of descriptors.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "platform/platform.h"

namespace tavrfndl::platform {

void MappedFile::Release() noexcept {
  // The handle is the address mmap returned; size_ is the length that was mapped.
  if (handle_ != nullptr) munmap(handle_, size_);
  data_ = nullptr;
  size_ = 0;
  handle_ = nullptr;
}

std::optional<MappedFile> MapFileReadOnly(const char* path) {
  if (path == nullptr || *path == '\0') return std::nullopt;
  // O_NONBLOCK: opening a FIFO or a device must not wait for a writer; such paths are refused
  // below once fstat shows they are no regular file.
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
      static_cast<uintmax_t>(st.st_size) > SIZE_MAX) {
    close(fd);
    return std::nullopt;
  }
  size_t size = static_cast<size_t>(st.st_size);
  void* base = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (base == MAP_FAILED) return std::nullopt;
  return MappedFile(static_cast<const uint8_t*>(base), size, base);
}

}  // namespace tavrfndl::platform
