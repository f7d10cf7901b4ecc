// The DLL as a Windows driver loads it: its export and import directories read from the loaded
// image, and the six entry points called through GetProcAddress.
#include <gtest/gtest.h>

#include "platform/windows/win32.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>

#include "support/driver.h"

namespace tavrfndl::testing {
namespace {

struct Image {
  const uint8_t* base = nullptr;
  const IMAGE_NT_HEADERS* nt = nullptr;

  template <typename T>
  const T* At(DWORD rva) const {
    return reinterpret_cast<const T*>(base + rva);
  }
  const IMAGE_DATA_DIRECTORY& Directory(int entry) const {
    return nt->OptionalHeader.DataDirectory[entry];
  }
};

Image ImageOf(HMODULE module) {
  Image image;
  image.base = reinterpret_cast<const uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.base);
  EXPECT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
  image.nt = image.At<IMAGE_NT_HEADERS>(static_cast<DWORD>(dos->e_lfanew));
  EXPECT_EQ(image.nt->Signature, IMAGE_NT_SIGNATURE);
  return image;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

class LoadedDll : public ::testing::Test {
 protected:
  Library lib = Library::Load();
  HMODULE module() const { return static_cast<HMODULE>(lib.handle); }
};

TEST_F(LoadedDll, ExportsExactlyTheSixEntryPointsByNameUnderItsOwnName) {
  ASSERT_NE(module(), nullptr);
  const Image image = ImageOf(module());
  const IMAGE_DATA_DIRECTORY& dir = image.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  ASSERT_NE(dir.VirtualAddress, 0u);
  const auto* exports = image.At<IMAGE_EXPORT_DIRECTORY>(dir.VirtualAddress);
  EXPECT_STREQ(image.At<char>(exports->Name), "Tavrfndl.dll");
  // No export reachable by ordinal alone: every function has its name.
  EXPECT_EQ(exports->NumberOfFunctions, 6u);
  std::set<std::string> names;
  const auto* nameRvas = image.At<DWORD>(exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.insert(image.At<char>(nameRvas[i]));
  const std::set<std::string> expected = {"FNDLFontDownloadA", "FNDLFontDownloadW",
                                          "FNDLRemoveFontA",   "FNDLRemoveFontW",
                                          "FNDLGetCursor",     "FNDLSetCursor"};
  EXPECT_EQ(names, expected);
}

TEST_F(LoadedDll, ImportsOnlyWindowsOwnDlls) {
  ASSERT_NE(module(), nullptr);
  const Image image = ImageOf(module());
  const IMAGE_DATA_DIRECTORY& dir = image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  ASSERT_NE(dir.VirtualAddress, 0u);
  std::set<std::string> imported;
  for (const auto* d = image.At<IMAGE_IMPORT_DESCRIPTOR>(dir.VirtualAddress); d->Name != 0; ++d) {
    imported.insert(Lower(image.At<char>(d->Name)));
  }
  // The font engine is GDI; the MinGW runtime (libgcc, libstdc++, winpthread) is linked in.
  EXPECT_EQ(imported.count("gdi32.dll"), 1u);
  for (const std::string& name : imported) {
    const bool system = name == "kernel32.dll" || name == "gdi32.dll" || name == "user32.dll" ||
                        name == "msvcrt.dll" || name == "ucrtbase.dll" ||
                        name.rfind("api-ms-win-crt-", 0) == 0;
    EXPECT_TRUE(system) << name;
  }
  EXPECT_EQ(image.Directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT).VirtualAddress, 0u);
}

TEST_F(LoadedDll, EntryPointsAreCallableThroughGetProcAddress) {
  ASSERT_NE(module(), nullptr);
  ASSERT_NE(lib.SetCursor, nullptr);
  ASSERT_NE(lib.GetCursor, nullptr);
  const int32_t x = 120, y = -7;
  EXPECT_EQ(lib.SetCursor(&x, &y), -7);
  EXPECT_EQ(lib.GetCursor(), -7);

  // A record without its terminator is refused before any file is touched.
  const std::string out = TempPath("job.pxl");
  TEXTINFOA text;
  std::memset(&text, 0, sizeof text);
  std::memset(text.chText, 'x', sizeof text.chText);
  text.FontHeight = 120;
  PAGEINFOA page;
  std::memset(&page, 0, sizeof page);
  std::strcpy(page.chFont, "DejaVu Sans");
  std::strcpy(page.chOutFile, out.c_str());
  page.nResolution = 600;
  ASSERT_NE(lib.FontDownloadA, nullptr);
  EXPECT_EQ(lib.FontDownloadA(&text, &page), FNDL_RESULT_FAILED);
  EXPECT_EQ(GetFileAttributesA(out.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LoadedDll, IsKnownByItsFileNameAndUnloadsCleanly) {
  ASSERT_NE(module(), nullptr);
  // The name the loader knows the module by is its file name.
  char path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(module(), path, MAX_PATH), 0u);
  const std::string file = Lower(path);
  EXPECT_EQ(file.substr(file.size() - std::strlen("\\tavrfndl.dll")), "\\tavrfndl.dll");
  EXPECT_EQ(GetModuleHandleA("Tavrfndl.dll"), module());
  EXPECT_NE(FreeLibrary(module()), FALSE);
  EXPECT_EQ(GetModuleHandleA("Tavrfndl.dll"), nullptr);
}

}  // namespace
}  // namespace tavrfndl::testing
