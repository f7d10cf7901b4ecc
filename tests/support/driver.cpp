#include "support/driver.h"

#include <gtest/gtest.h>
#ifdef _WIN32
// LoadLibraryA / GetProcAddress in place of dlopen / dlsym; <process.h> has getpid.
#include <process.h>

#include "platform/windows/win32.h"
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace tavrfndl::testing {

#ifdef _WIN32
template <typename F>
static void Bind(void* handle, const char* name, F& out) {
  // Through void (*)(), the one function pointer type every other one converts to without a
  // cast-function-type warning.
  FARPROC proc = GetProcAddress(static_cast<HMODULE>(handle), name);
  out = reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
  EXPECT_NE(out, nullptr) << name;
}

Library Library::Load() {
  Library lib;
  // The build names the DLL with forward slashes, which LoadLibrary does not promise to accept.
  std::string path = TAVRFNDL_SHARED_LIBRARY;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  lib.handle = LoadLibraryA(path.c_str());
  EXPECT_NE(lib.handle, nullptr) << path << ": error " << GetLastError();
  if (!lib.handle) return lib;
#else
template <typename F>
static void Bind(void* handle, const char* name, F& out) {
  out = reinterpret_cast<F>(dlsym(handle, name));
  EXPECT_NE(out, nullptr) << name;
}

Library Library::Load() {
  Library lib;
  lib.handle = dlopen(TAVRFNDL_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(lib.handle, nullptr) << dlerror();
  if (!lib.handle) return lib;
#endif
  Bind(lib.handle, "FNDLFontDownloadA", lib.FontDownloadA);
  Bind(lib.handle, "FNDLFontDownloadW", lib.FontDownloadW);
  Bind(lib.handle, "FNDLRemoveFontA", lib.RemoveFontA);
  Bind(lib.handle, "FNDLRemoveFontW", lib.RemoveFontW);
  Bind(lib.handle, "FNDLGetCursor", lib.GetCursor);
  Bind(lib.handle, "FNDLSetCursor", lib.SetCursor);
  return lib;
}

PAGEINFOW FilePage(const std::string& fontPath, const std::string& outPath, uint32_t fontId,
                   uint32_t resolution, uint32_t lineSpacing) {
  PAGEINFOW page;
  std::memset(&page, 0, sizeof page);
  PutUtf16(page.chFont, fontPath);
  PutUtf16(page.chOutFile, outPath);
  page.nFontId = fontId;
  page.nResolution = resolution;
  page.nLineSpacing = lineSpacing;
  page.lfWeight = 400;
  page.bTTE = 1;
  return page;
}

TEXTINFOW Text(const std::u16string& text, int32_t fontHeight) {
  TEXTINFOW t;
  std::memset(&t, 0, sizeof t);
  PutUtf16(t.chText, text);
  t.FontHeight = fontHeight;
  return t;
}

std::string TempPath(const std::string& name) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      ("tavrfndl-" + std::to_string(getpid()) + "-" +
       (info ? std::string(info->test_suite_name()) + "." + info->name() : std::string("x")));
  std::filesystem::create_directories(dir);
  std::filesystem::path p = dir / name;
  std::filesystem::remove(p);
  return p.string();
}

}  // namespace tavrfndl::testing
