// Read-only file mapping with a file mapping object. The file and the mapping object are closed
// as soon as the view exists: the view keeps both alive on its own, so a mapped file holds no
// handle and a driver that maps many fonts cannot run out of them.
#include <cstdint>
#include <memory>

#include "platform/platform.h"
#include "platform/windows/code_page.h"

#include "platform/windows/win32.h"

namespace tavrfndl::platform {
namespace {

// Other programs open files for a moment without sharing reads: virus scanners and indexers on
// Windows, and under Wine the font loader, for every font file a process uses through GDI. A
// sharing violation is waited out for a quarter of a second before the file counts as unreadable.
constexpr ULONGLONG kSharingWaitMs = 250;

HANDLE OpenOnce(const char* path, const wchar_t* widePath) {
  if (widePath == nullptr) {
    return ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  return ::CreateFileW(widePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE OpenForReading(const char* path) {
  // A name in the code page a test made CP_ACP stand for, which CreateFileA does not know, goes
  // to CreateFileW converted.
  std::unique_ptr<wchar_t[]> wide;
  if (windows::AnsiCodePageOverridden()) {
    wide = windows::AnsiToWide(path);
    if (!wide) return INVALID_HANDLE_VALUE;
  }
  const ULONGLONG deadline = ::GetTickCount64() + kSharingWaitMs;
  for (;;) {
    HANDLE file = OpenOnce(path, wide.get());
    if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_SHARING_VIOLATION ||
        ::GetTickCount64() >= deadline) {
      return file;
    }
    ::Sleep(1);
  }
}

}  // namespace

void MappedFile::Release() noexcept {
  // The handle is the base address of the view.
  if (handle_ != nullptr) ::UnmapViewOfFile(handle_);
  data_ = nullptr;
  size_ = 0;
  handle_ = nullptr;
}

std::optional<MappedFile> MapFileReadOnly(const char* path) {
  if (path == nullptr || *path == '\0') return std::nullopt;
  // A directory cannot be opened this way (that needs FILE_FLAG_BACKUP_SEMANTICS), so it fails
  // here. Sharing reads only: while the file is open nobody can change its size under the size
  // read below.
  HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  LARGE_INTEGER size{};
  // Pipes, consoles and devices are refused: only a disk file has a size to map.
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size) ||
      size.QuadPart <= 0 || static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) {
    ::CloseHandle(file);
    return std::nullopt;
  }
  HANDLE mapping = ::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ::CloseHandle(file);
  if (mapping == nullptr) return std::nullopt;
  void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  ::CloseHandle(mapping);
  if (view == nullptr) return std::nullopt;
  return MappedFile(static_cast<const uint8_t*>(view), static_cast<size_t>(size.QuadPart), view);
}

}  // namespace tavrfndl::platform
