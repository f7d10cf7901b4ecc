// The library as a driver sees it: the shared library loaded with dlopen, records filled field
// by field, the output read back from the job file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tavrfndl.h"

namespace tavrfndl::testing {

struct Library {
  int32_t (*FontDownloadA)(TEXTINFOA*, PAGEINFOA*) = nullptr;
  int32_t (*FontDownloadW)(TEXTINFOW*, PAGEINFOW*) = nullptr;
  void (*RemoveFontA)(const uint32_t*) = nullptr;
  void (*RemoveFontW)(const uint32_t*) = nullptr;
  int32_t (*GetCursor)() = nullptr;
  int32_t (*SetCursor)(const int32_t*, const int32_t*) = nullptr;
  void* handle = nullptr;

  // Loads the built shared library; every pointer is set or the test fails.
  static Library Load();
  void SetCursorTo(int32_t x, int32_t y) const { SetCursor(&x, &y); }
};

// UTF-8 to UTF-16 into a fixed field, terminated.
template <size_t N>
void PutUtf16(FNDL_WCHAR (&field)[N], const std::u16string& s) {
  size_t i = 0;
  for (; i < s.size() && i + 1 < N; ++i) field[i] = s[i];
  field[i] = 0;
}
template <size_t N>
void PutUtf16(FNDL_WCHAR (&field)[N], const std::string& ascii) {
  size_t i = 0;
  for (; i < ascii.size() && i + 1 < N; ++i) field[i] = static_cast<unsigned char>(ascii[i]);
  field[i] = 0;
}

// A page-information record for file mode (bTTE 1) on the given font file.
PAGEINFOW FilePage(const std::string& fontPath, const std::string& outPath, uint32_t fontId,
                   uint32_t resolution = 600, uint32_t lineSpacing = 100);
TEXTINFOW Text(const std::u16string& text, int32_t fontHeight);

// A fresh, empty path in a per-test temporary folder.
std::string TempPath(const std::string& name);

inline constexpr const char* kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

}  // namespace tavrfndl::testing
