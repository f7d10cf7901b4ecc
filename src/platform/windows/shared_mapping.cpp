// MapFileShared on Windows: each call maps the file anew. The kept mappings answer a cost
// measured on POSIX; here the identity of a file (its file index) can only be read through an
// open handle, so a kept mapping would not spare the opening.
#include <new>

#include "platform/platform.h"

namespace tavrfndl::platform {

std::shared_ptr<const MappedFile> MapFileShared(const char* path) {
  std::optional<MappedFile> mapped = MapFileReadOnly(path);
  if (!mapped) return nullptr;
  try {
    return std::make_shared<const MappedFile>(std::move(*mapped));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace tavrfndl::platform
