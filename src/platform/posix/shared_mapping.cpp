// MapFileShared on POSIX: the mappings of the last few files, each kept with the stat stamp it
// was made under. A call costs one stat when the file is unchanged; mapping anew costs the
// mmap, the munmap of the mapping it replaces, and a page fault for every page that is read
// again, which for a large CJK face is most of the cost of downloading a font.
//
// The mapping itself comes from MapFileReadOnly, so every refusal (no regular file, empty,
// unreadable) stays its own.
#include "platform/posix/shared_mapping.h"

#include <sys/stat.h>

#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "platform/platform.h"

namespace tavrfndl::platform {
namespace {

// A job uses a handful of font files; more are mapped anew, the least recently used first.
constexpr size_t kKeptFiles = 4;

// What tells one state of a file from another: another file under the name (device, inode), a
// rewrite (size, modification time), or a change of its permissions (status-change time).
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t mtimeSeconds = 0;
  int64_t mtimeNanoseconds = 0;
  int64_t ctimeSeconds = 0;
  int64_t ctimeNanoseconds = 0;

  bool operator==(const FileStamp&) const = default;
};

bool StampFile(const char* path, FileStamp& out) {
  struct stat st {};
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  out.device = st.st_dev;
  out.inode = st.st_ino;
  out.size = st.st_size;
  out.mtimeSeconds = st.st_mtim.tv_sec;
  out.mtimeNanoseconds = st.st_mtim.tv_nsec;
  out.ctimeSeconds = st.st_ctim.tv_sec;
  out.ctimeNanoseconds = st.st_ctim.tv_nsec;
  return true;
}

struct KeptFile {
  std::string path;
  FileStamp stamp;
  std::shared_ptr<const MappedFile> file;
  uint64_t lastUse = 0;
};

std::mutex g_mutex;
KeptFile g_kept[kKeptFiles];
uint64_t g_uses = 0;

std::shared_ptr<const MappedFile> MapNew(const char* path) {
  std::optional<MappedFile> mapped = MapFileReadOnly(path);
  if (!mapped) return nullptr;
  try {
    return std::make_shared<const MappedFile>(std::move(*mapped));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

std::shared_ptr<const MappedFile> MapFileShared(const char* path) {
  if (path == nullptr || *path == '\0') return nullptr;
  FileStamp before;
  // A name stat cannot use is left to MapFileReadOnly to refuse.
  if (!StampFile(path, before)) return MapNew(path);

  std::lock_guard<std::mutex> lock(g_mutex);
  for (KeptFile& kept : g_kept) {
    if (kept.file && kept.stamp == before && kept.path == path) {
      kept.lastUse = ++g_uses;
      return kept.file;
    }
  }
  std::shared_ptr<const MappedFile> file = MapNew(path);
  if (!file) return nullptr;
  // Kept only when the file did not change while it was mapped: otherwise the stamp might
  // describe other bytes than the mapping holds.
  FileStamp after;
  if (!StampFile(path, after) || !(after == before)) return file;
  KeptFile* slot = &g_kept[0];
  for (KeptFile& kept : g_kept) {
    if (kept.path == path) {
      slot = &kept;
      break;
    }
    if (kept.lastUse < slot->lastUse) slot = &kept;
  }
  try {
    slot->path = path;
  } catch (const std::bad_alloc&) {
    *slot = KeptFile();
    return file;
  }
  slot->stamp = before;
  slot->file = file;
  slot->lastUse = ++g_uses;
  return file;
}

namespace posix {

void ReleaseSharedMappings() {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (KeptFile& kept : g_kept) kept = KeptFile();
}

}  // namespace posix
}  // namespace tavrfndl::platform
