#include "shared_read.h"

#include "platform/windows/win32.h"

namespace tavrfndl::testing {

std::vector<uint8_t> ReadSharedFile(const std::string& path) {
  constexpr ULONGLONG kWaitMs = 5000;
  const ULONGLONG deadline = GetTickCount64() + kWaitMs;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (;;) {
    file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION ||
        GetTickCount64() >= deadline) {
      break;
    }
    Sleep(1);
  }
  if (file == INVALID_HANDLE_VALUE) return {};
  std::vector<uint8_t> bytes;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (LONGLONG{1} << 31)) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
        read != bytes.size()) {
      bytes.clear();
    }
  }
  CloseHandle(file);
  return bytes;
}

}  // namespace tavrfndl::testing
