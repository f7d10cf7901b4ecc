// The shared library's binary contract: what it exports and the record layouts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "tavrfndl.h"

namespace {

std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
  std::set<std::string> symbols;
  std::string command = "nm -D --defined-only '" + library + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return symbols;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    // "<address> <type> <name>"
    char type = 0;
    char name[400] = {};
    unsigned long long address = 0;
    if (std::sscanf(line, "%llx %c %399s", &address, &type, name) == 3) symbols.insert(name);
  }
  pclose(pipe);
  return symbols;
}

TEST(SharedLibrary, ExportsExactlyTheSixEntryPoints) {
  std::set<std::string> symbols = DefinedDynamicSymbols(TAVRFNDL_SHARED_LIBRARY);
  // The linker may add a version node for the export script; it names no code.
  for (auto it = symbols.begin(); it != symbols.end();) {
    it = (it->rfind("VERS_", 0) == 0 || *it == "LIBTAVRFNDL") ? symbols.erase(it) : std::next(it);
  }
  std::set<std::string> expected = {"FNDLFontDownloadA", "FNDLFontDownloadW", "FNDLRemoveFontA",
                                    "FNDLRemoveFontW",   "FNDLGetCursor",     "FNDLSetCursor"};
  EXPECT_EQ(symbols, expected);
}

template <typename T>
void PutI32(T& record, size_t offset, int32_t value) {
  std::memcpy(reinterpret_cast<unsigned char*>(&record) + offset, &value, 4);
}

TEST(RecordLayout, TextInfoWFieldsSitAtTheirByteOffsets) {
  TEXTINFOW text{};
  const int32_t values[] = {120, 1, 2, 3, 4, 5, 6, 7};
  for (int i = 0; i < 8; ++i) PutI32(text, 1032 + 4 * i, values[i]);
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&text);
  bytes[1030] = 0x41;  // the last code unit of chText, low byte first
  EXPECT_EQ(text.chText[515], 0x41);
  EXPECT_EQ(text.FontHeight, 120);
  EXPECT_EQ(text.bBold, 1);
  EXPECT_EQ(text.bItalic, 2);
  EXPECT_EQ(text.bUnderline, 3);
  EXPECT_EQ(text.nReserved, 4);
  EXPECT_EQ(text.nOffsetToText, 5);
  EXPECT_EQ(text.nStartX, 6);
  EXPECT_EQ(text.bPageFull, 7);
}

TEST(RecordLayout, TextInfoAFieldsSitAtTheirByteOffsets) {
  TEXTINFOA text{};
  for (int i = 0; i < 8; ++i) PutI32(text, 516 + 4 * i, 100 + i);
  EXPECT_EQ(text.FontHeight, 100);
  EXPECT_EQ(text.nOffsetToText, 105);
  EXPECT_EQ(text.bPageFull, 107);
}

TEST(RecordLayout, PageInfoFieldsSitAtTheirByteOffsets) {
  PAGEINFOW w{};
  PAGEINFOA a{};
  // Twenty 32-bit fields follow the two strings, in the same order in both variants.
  for (int i = 0; i < 20; ++i) {
    PutI32(w, 1024 + 4 * i, 1000 + i);
    PutI32(a, 512 + 4 * i, 1000 + i);
  }
  reinterpret_cast<unsigned char*>(&w)[512] = 'o';  // first code unit of chOutFile
  EXPECT_EQ(w.chOutFile[0], 'o');
  EXPECT_EQ(w.nFontId, 1000u);
  EXPECT_EQ(w.nResolution, 1003u);
  EXPECT_EQ(w.nLineSpacing, 1004u);
  EXPECT_EQ(w.lfEscapement, 1007);
  EXPECT_EQ(w.lfWeight, 1009);
  EXPECT_EQ(w.lfItalic, 1010);
  EXPECT_EQ(w.lfPitchAndFamily, 1017);
  EXPECT_EQ(w.bTTE, 1018);
  EXPECT_EQ(w.nNextX, 1019);
  EXPECT_EQ(a.nFontId, 1000u);
  EXPECT_EQ(a.lfCharSet, 1013);
  EXPECT_EQ(a.bTTE, 1018);
  EXPECT_EQ(a.nNextX, 1019);
}

}  // namespace
