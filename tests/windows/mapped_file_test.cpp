// MapFileReadOnly on Windows: the whole file, read-only, and no handle left behind, whether the
// mapping succeeds or not.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/driver.h"
#include "support/shared_read.h"

#include "platform/windows/win32.h"

namespace tavrfndl::testing {
namespace {

namespace pf = tavrfndl::platform;
using Bytes = std::vector<uint8_t>;

std::string MakeFile(const std::string& name, const std::string& contents) {
  const std::string path = TempPath(name);
  std::ofstream(path, std::ios::binary) << contents;
  return path;
}

// Opening for writing with no sharing fails while any handle to the file is open (the mapping's
// own view holds none once MapFileReadOnly has returned).
bool NoHandleOpen(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

TEST(MapFileReadOnly, MapsTheWholeFileReadOnly) {
  std::optional<pf::MappedFile> mapped = pf::MapFileReadOnly(kDejaVuSans);
  ASSERT_TRUE(mapped.has_value());
  const Bytes file = ReadSharedFile(kDejaVuSans);
  ASSERT_EQ(mapped->size(), file.size());
  EXPECT_EQ(Bytes(mapped->data(), mapped->data() + mapped->size()), file);

  MEMORY_BASIC_INFORMATION info{};
  ASSERT_NE(VirtualQuery(mapped->data(), &info, sizeof info), 0u);
  EXPECT_EQ(info.Type, static_cast<DWORD>(MEM_MAPPED));
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READONLY));
}

TEST(MapFileReadOnly, HoldsNoFileHandleAndReleasesTheViewOnDestruction) {
  const std::string path = MakeFile("font.bin", std::string(10000, 'f'));
  const uint8_t* data = nullptr;
  {
    std::optional<pf::MappedFile> mapped = pf::MapFileReadOnly(path.c_str());
    ASSERT_TRUE(mapped.has_value());
    data = mapped->data();
    EXPECT_EQ(mapped->size(), 10000u);
    EXPECT_EQ(data[9999], 'f');
  }
  MEMORY_BASIC_INFORMATION info{};
  ASSERT_NE(VirtualQuery(data, &info, sizeof info), 0u);
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE));
  EXPECT_TRUE(NoHandleOpen(path));
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST(MapFileReadOnly, MovingHandsTheViewOverAndAssignmentReleasesTheOldOne) {
  std::optional<pf::MappedFile> first = pf::MapFileReadOnly(kDejaVuSans);
  const std::string otherPath = MakeFile("other.bin", "0123456789");
  std::optional<pf::MappedFile> second = pf::MapFileReadOnly(otherPath.c_str());
  ASSERT_TRUE(first && second);
  const uint8_t* firstData = first->data();
  const size_t firstSize = first->size();

  pf::MappedFile moved(std::move(*first));
  EXPECT_EQ(moved.data(), firstData);
  EXPECT_EQ(moved.size(), firstSize);
  EXPECT_EQ(first->data(), nullptr);
  EXPECT_EQ(first->size(), 0u);

  const uint8_t* secondData = second->data();
  moved = std::move(*second);
  EXPECT_EQ(moved.data(), secondData);
  EXPECT_EQ(moved.size(), 10u);
  MEMORY_BASIC_INFORMATION info{};
  ASSERT_NE(VirtualQuery(firstData, &info, sizeof info), 0u);
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE));

  moved = std::move(moved);
  EXPECT_EQ(moved.data(), secondData);
}

TEST(MapFileReadOnly, RefusesWhatIsNoReadableNonEmptyFileAndHoldsNothing) {
  EXPECT_FALSE(pf::MapFileReadOnly(nullptr).has_value());
  EXPECT_FALSE(pf::MapFileReadOnly("").has_value());
  const std::string missing = TempPath("missing.ttf");
  EXPECT_FALSE(pf::MapFileReadOnly(missing.c_str()).has_value());

  const std::string empty = MakeFile("empty.ttf", "");
  EXPECT_FALSE(pf::MapFileReadOnly(empty.c_str()).has_value());
  EXPECT_TRUE(NoHandleOpen(empty));

  const std::string folder = TempPath("folder");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  EXPECT_FALSE(pf::MapFileReadOnly(folder.c_str()).has_value());
  EXPECT_FALSE(pf::MapFileReadOnly("NUL").has_value());
}

TEST(MapFileReadOnly, WaitsOutAMomentaryLockButNotALastingOne) {
  const std::string path = MakeFile("locked.ttf", "data");
  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  const ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(pf::MapFileReadOnly(path.c_str()).has_value());
  EXPECT_GE(GetTickCount64() - start, 200u);

  // Released by another thread while the mapping waits.
  std::thread release([writer] {
    Sleep(50);
    CloseHandle(writer);
  });
  std::optional<pf::MappedFile> mapped = pf::MapFileReadOnly(path.c_str());
  release.join();
  ASSERT_TRUE(mapped.has_value());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapped->data()), mapped->size()), "data");

  // Any other failure to open is not waited for.
  const ULONGLONG missingStart = GetTickCount64();
  EXPECT_FALSE(pf::MapFileReadOnly(TempPath("missing.ttf").c_str()).has_value());
  EXPECT_LT(GetTickCount64() - missingStart, 150u);
}

TEST(MapFileReadOnly, PathIsInTheAnsiCodePageIncludingOneATestSets) {
  // U+3042 (HIRAGANA LETTER A) is 82 A0 in Shift_JIS; the file is made by its UTF-16 name. It
  // replaces any file of an earlier process that had the same id, and goes at the end.
  const std::string folder = std::filesystem::path(TempPath("unused")).parent_path().string();
  const std::wstring wide = std::wstring(folder.begin(), folder.end()) + L"\\\u3042.ttf";
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  const bool wrote = WriteFile(h, "sjis", 4, &written, nullptr);
  CloseHandle(h);
  ASSERT_TRUE(wrote);

  const std::string sjis = folder + "\\\x82\xA0.ttf";
  pf::SetAnsiCodeSetForTesting("SHIFT_JIS");
  std::optional<pf::MappedFile> mapped = pf::MapFileReadOnly(sjis.c_str());
  pf::SetAnsiCodeSetForTesting(nullptr);
  ASSERT_TRUE(mapped.has_value());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapped->data()), mapped->size()), "sjis");
  // In the system's code page the same bytes name another file.
  if (GetACP() != 932) {
    EXPECT_FALSE(pf::MapFileReadOnly(sjis.c_str()).has_value());
  }
  mapped.reset();
  EXPECT_TRUE(DeleteFileW(wide.c_str()));
}

}  // namespace
}  // namespace tavrfndl::testing
