// Table access: tags, lookups in a mapped font, the engine source, glyph counts and the table
// directory that the font header is built from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "support/fontbuilder.h"
#include "truetype/tables.h"

namespace tavrfndl {
namespace {

using namespace std::string_view_literals;
using test::BuildMaxp;
using test::FontBuilder;

ByteView View(const std::vector<uint8_t>& bytes) {
  return ByteView(bytes.data(), bytes.size());
}

std::vector<uint8_t> Filled(size_t size, uint8_t value) {
  return std::vector<uint8_t>(size, value);
}

// ----- Byte order and identifiers -----

TEST(MakeWhackLong, ReversesBytesAndIsItsOwnInverse) {
  struct Case {
    uint32_t in, out;
  };
  const Case cases[] = {{0x11223344u, 0x44332211u}, {0x00000000u, 0x00000000u},
                        {0xFF000000u, 0x000000FFu}, {0x0000FF00u, 0x00FF0000u},
                        {0x80000001u, 0x01000080u}, {0xDEADBEEFu, 0xEFBEADDEu}};
  for (const Case& c : cases) {
    EXPECT_EQ(MakeWhackLong(c.in), c.out) << std::hex << c.in;
    EXPECT_EQ(MakeWhackLong(c.out), c.in) << std::hex << c.out;
    EXPECT_EQ(MakeWhackLong(MakeWhackLong(c.in)), c.in);
  }
  // Bytes 44 33 22 11 in memory (least significant first) become 11 22 33 44.
  const uint8_t memory[4] = {0x44, 0x33, 0x22, 0x11};
  uint32_t value = 0;
  std::memcpy(&value, memory, 4);
  const uint32_t swapped = MakeWhackLong(value);
  uint8_t after[4];
  std::memcpy(after, &swapped, 4);
  if (value == 0x11223344u) {  // little-endian host, as the library's targets are
    EXPECT_EQ(after[0], 0x11);
    EXPECT_EQ(after[3], 0x44);
  }
}

TEST(TableIdentifier, PacksFirstByteLeastSignificant) {
  EXPECT_EQ(TableIdentifier("maxp"), 0x7078616Du);
  EXPECT_EQ(TableIdentifier("cmap"), 0x70616D63u);
  EXPECT_EQ(TableIdentifier("cvt "), 0x20747663u);
  EXPECT_EQ(TableIdentifier("cvt"), 0x00747663u);
}

TEST(IsHeaderTable, MatchesTheSixteenNamesExactly) {
  struct Case {
    std::string_view tag;  // 4 bytes
    bool selected;
  };
  const Case cases[] = {
      {"cvt "sv, true},    {"CVT "sv, true},      {"cvt\0"sv, true}, {"CVT\0"sv, true},
      {"fpgm"sv, true},    {"FPGM"sv, true},      {"head"sv, true},  {"HEAD"sv, true},
      {"hhea"sv, true},    {"HHEA"sv, true},      {"hmtx"sv, true},  {"HMTX"sv, true},
      {"maxp"sv, true},    {"MAXP"sv, true},      {"prep"sv, true},  {"PREP"sv, true},
      {"Cvt "sv, false},   {"cvT\0"sv, false},    {"Head"sv, false}, {"hEAD"sv, false},
      {"glyf"sv, false},   {"loca"sv, false},     {"cmap"sv, false}, {"cvt\t"sv, false},
      {"cv\0\0"sv, false}, {"\0\0\0\0"sv, false}, {"maxP"sv, false}, {"OS/2"sv, false},
  };
  for (const Case& c : cases) {
    char tag[5] = {};
    std::memcpy(tag, c.tag.data(), 4);
    EXPECT_EQ(IsHeaderTable(tag), c.selected) << std::string(c.tag.data(), 4);
  }
}

// ----- GetTTEFilePointer -----

TEST(GetTTEFilePointer, FindsLowerOrUpperCaseTagOnly) {
  struct Case {
    std::string_view directoryTag;
    const char* lower;
    const char* upper;
    bool found;
  };
  const Case cases[] = {
      {"maxp"sv, "maxp", "MAXP", true},   {"MAXP"sv, "maxp", "MAXP", true},
      {"Maxp"sv, "maxp", "MAXP", false},  {"maxP"sv, "maxp", "MAXP", false},
      {"cvt "sv, "cvt ", "CVT ", true},   {"cvt\0"sv, "cvt", "CVT", true},
      {"cvt "sv, "cvt", "CVT", false},    {"cvt\0"sv, "cvt ", "CVT ", false},
      {"CMAP"sv, "cmap", nullptr, false},
  };
  for (const Case& c : cases) {
    FontBuilder b;
    b.AddTable("head"sv, Filled(8, 0x11));
    b.AddTable(c.directoryTag, Filled(6, 0x22));
    const std::vector<uint8_t> font = b.Build();
    const std::optional<ByteView> table = GetTTEFilePointer(View(font), c.lower, c.upper);
    ASSERT_EQ(table.has_value(), c.found) << std::string(c.directoryTag) << " " << c.lower;
    if (table) {
      EXPECT_EQ(table->data(), font.data() + b.OffsetOf(1));
      EXPECT_EQ(table->size(), 6u);
    }
  }
}

TEST(GetTTEFilePointer, FirstMatchingRecordInDirectoryOrderDecides) {
  FontBuilder b;
  b.AddTable("MAXP", BuildMaxp(7));
  b.AddTable("maxp", BuildMaxp(9));
  const std::vector<uint8_t> font = b.Build();
  const std::optional<ByteView> maxp = GetTTEFilePointer(View(font), "maxp", "MAXP");
  ASSERT_TRUE(maxp);
  uint16_t count = 0;
  ASSERT_TRUE(maxp->ReadU16(4, count));
  EXPECT_EQ(count, 7);

  // A first match that lies outside the data is a missing table; no later record stands in.
  FontBuilder broken;
  broken.AddTable("MAXP", BuildMaxp(7)).dirOffset = 0x10000;
  broken.AddTable("maxp", BuildMaxp(9));
  const std::vector<uint8_t> brokenFont = broken.Build();
  EXPECT_FALSE(GetTTEFilePointer(View(brokenFont), "maxp", "MAXP"));
}

TEST(GetTTEFilePointer, HostileDirectoriesFindNothingOutsideTheData) {
  struct Case {
    const char* name;
    std::optional<uint32_t> dirOffset;
    std::optional<uint32_t> length;
    std::optional<uint16_t> numTables;
    size_t truncateTo;  // 0: keep the whole font
    bool found;
  };
  const Case cases[] = {
      {"in bounds", std::nullopt, std::nullopt, std::nullopt, 0, true},
      {"offset past the end", 0x10000u, std::nullopt, std::nullopt, 0, false},
      {"offset plus length wraps 32 bits", 0xFFFFFFF0u, 0x20u, std::nullopt, 0, false},
      {"length past the end", std::nullopt, 0x1000u, std::nullopt, 0, false},
      {"length near 2^32", std::nullopt, 0xFFFFFFFFu, std::nullopt, 0, false},
      {"count larger than the records", std::nullopt, std::nullopt, 60000, 0, true},
      // The record of "maxp" (the second) is cut in half: it is not read.
      {"record cut by the end of the data", std::nullopt, std::nullopt, std::nullopt, 36, false},
      {"no table count", std::nullopt, std::nullopt, std::nullopt, 5, false},
  };
  for (const Case& c : cases) {
    FontBuilder b;
    b.AddTable("head", Filled(8, 1));
    test::TableSpec& maxp = b.AddTable("maxp", BuildMaxp(3));
    maxp.dirOffset = c.dirOffset;
    maxp.length = c.length;
    if (c.numTables) b.SetNumTables(*c.numTables);
    std::vector<uint8_t> font = b.Build();
    if (c.truncateTo) font.resize(c.truncateTo);
    const std::optional<ByteView> table = GetTTEFilePointer(View(font), "maxp", "MAXP");
    EXPECT_EQ(table.has_value(), c.found) << c.name;
    if (table) {
      EXPECT_GE(table->data(), font.data()) << c.name;
      EXPECT_LE(table->data() + table->size(), font.data() + font.size()) << c.name;
    }
  }
  EXPECT_FALSE(GetTTEFilePointer(ByteView(), "maxp", "MAXP"));
}

TEST(GetTTEFilePointer, EmptyDirectoryFindsNothing) {
  const std::vector<uint8_t> font = FontBuilder().Build();
  EXPECT_EQ(font.size(), 12u);
  EXPECT_FALSE(GetTTEFilePointer(View(font), "maxp", "MAXP"));
}

// ----- Engine source -----

TEST(GetFontTable, CopiesExactlyTheTableOrFailsWithNothing) {
  FontBuilder b;
  b.AddTable("maxp", BuildMaxp(0x1234));
  b.AddTable("zero", {});
  std::vector<uint8_t> odd(13);
  for (size_t i = 0; i < odd.size(); ++i) odd[i] = static_cast<uint8_t>(i + 1);
  b.AddTable("odd ", odd);
  const std::vector<uint8_t> font = b.Build();
  test::FontDataEngine engine(font);
  engine.FailCopy(TableIdentifier("odd "));
  test::ScopedFontEngine installed(engine);

  TableBuffer out;
  ASSERT_EQ(GetFontTable(engine.dc(), TableIdentifier("maxp"), out), 32u);
  EXPECT_EQ(out.size, 32u);
  EXPECT_TRUE(
      std::equal(font.begin() + b.OffsetOf(0), font.begin() + b.OffsetOf(0) + 32, out.bytes.get()));

  EXPECT_EQ(GetFontTable(engine.dc(), 0, out), font.size()) << "identifier 0: the whole font";
  EXPECT_TRUE(std::equal(font.begin(), font.end(), out.bytes.get()));

  EXPECT_EQ(GetFontTable(engine.dc(), TableIdentifier("zero"), out), 0u);
  EXPECT_NE(out.bytes, nullptr) << "an empty table is found, not missing";
  EXPECT_EQ(out.size, 0u);

  for (const char* missing : {"glyf", "odd "}) {
    EXPECT_EQ(GetFontTable(engine.dc(), TableIdentifier(missing), out), platform::GDI_ERROR)
        << missing;
    EXPECT_EQ(out.bytes, nullptr) << missing;
    EXPECT_EQ(out.size, 0u) << missing;
  }
}

TEST(FontTables, EngineTablesAreFetchedOnceEach) {
  FontBuilder b;
  b.AddTable("maxp", BuildMaxp(5));
  b.AddTable("MAXQ", BuildMaxp(6));
  const std::vector<uint8_t> font = b.Build();
  test::FontDataEngine engine(font);
  test::ScopedFontEngine installed(engine);
  FontSource source;
  source.hDC = engine.dc();
  FontTables tables(source);
  ASSERT_TRUE(tables.Open());
  for (int i = 0; i < 3; ++i) {
    const std::optional<ByteView> maxp = tables.Find("maxp");
    ASSERT_TRUE(maxp);
    uint16_t count = 0;
    EXPECT_TRUE(maxp->ReadU16(4, count));
    EXPECT_EQ(count, 5);
    EXPECT_FALSE(tables.Find("glyf"));
  }
  // One size query and one copy; a missing table is asked once too.
  EXPECT_EQ(engine.Calls(TableIdentifier("maxp")), 2);
  EXPECT_EQ(engine.Calls(TableIdentifier("glyf")), 1);
  // The engine is asked with the lower-case tag only.
  EXPECT_FALSE(tables.Find("maxq"));
  EXPECT_EQ(engine.Calls(TableIdentifier("MAXQ")), 0);
}

TEST(GetNumberOfGlyphsInFont, EngineSource) {
  struct Case {
    const char* name;
    std::string_view tag;
    std::vector<uint8_t> data;
    uint16_t expected;
  };
  const Case cases[] = {
      {"maxp", "maxp"sv, BuildMaxp(0xABCD), 0xABCD},
      // The engine is asked for "maxp" only; it does not answer to a directory's "MAXP".
      {"capitals not asked", "MAXP"sv, BuildMaxp(12), 0},
      {"maxp too short", "maxp"sv, {0, 1, 0, 0, 0}, 0},
      {"no maxp", "glyf"sv, BuildMaxp(12), 0},
  };
  for (const Case& c : cases) {
    FontBuilder b;
    b.AddTable(c.tag, c.data);
    test::FontDataEngine engine(b.Build());
    test::ScopedFontEngine installed(engine);
    FontSource source;
    source.hDC = engine.dc();
    EXPECT_EQ(GetNumberOfGlyphsInFont(source), c.expected) << c.name;
  }
}

// ----- File source -----

TEST(GetNumberOfGlyphsInFont, FileSourceAcceptsLowerAndAllUpperCaseTags) {
  struct Case {
    std::string_view tag;
    uint16_t expected;
  };
  const Case cases[] = {{"maxp"sv, 321}, {"MAXP"sv, 321}, {"Maxp"sv, 0}, {"mAXP"sv, 0}};
  for (const Case& c : cases) {
    FontBuilder b;
    b.AddTable("head", test::BuildHead(0));
    b.AddTable(c.tag, BuildMaxp(321));
    test::TempFile file(b.Build());
    int32_t error = 0;
    FontSource source;
    source.bTTE = true;
    source.path = file.c_str();
    source.pbFontFileError = &error;
    EXPECT_EQ(GetNumberOfGlyphsInFont(source), c.expected) << std::string(c.tag);
    EXPECT_EQ(error, 0) << "a missing table is not a file error";
  }
}

TEST(GetNumberOfGlyphsInFont, MissingFileSetsTheErrorWhichStaysSet) {
  int32_t error = 0;
  FontSource source;
  source.bTTE = true;
  source.path = "/nonexistent/tavrfndl/font.ttf";
  source.pbFontFileError = &error;
  EXPECT_EQ(GetNumberOfGlyphsInFont(source), 0);
  EXPECT_EQ(error, 1);

  FontBuilder b;
  b.AddTable("maxp", BuildMaxp(4));
  test::TempFile file(b.Build());
  source.path = file.c_str();
  EXPECT_EQ(GetNumberOfGlyphsInFont(source), 4);
  EXPECT_EQ(error, 1) << "nothing clears the flag";

  // Without a flag to set, the failure is still a count of 0.
  source.path = "/nonexistent/tavrfndl/font.ttf";
  source.pbFontFileError = nullptr;
  EXPECT_EQ(GetNumberOfGlyphsInFont(source), 0);
  source.path = nullptr;
  EXPECT_EQ(GetNumberOfGlyphsInFont(source), 0);
}

TEST(FontTables, FileIsMappedOnOpenAndSearchedInBothCases) {
  FontBuilder b;
  b.AddTable("CVT ", Filled(6, 0x33));
  b.AddTable("glyf", Filled(10, 0x44));
  std::vector<uint8_t> font = b.Build();
  test::TempFile file(font);
  int32_t error = 0;
  FontSource source;
  source.bTTE = true;
  source.path = file.c_str();
  source.pbFontFileError = &error;
  FontTables tables(source);
  ASSERT_TRUE(tables.Open());
  const std::optional<ByteView> cvt = tables.Find("cvt ");
  ASSERT_TRUE(cvt);
  EXPECT_EQ(cvt->size(), 6u);
  uint8_t byte = 0;
  EXPECT_TRUE(cvt->ReadU8(5, byte));
  EXPECT_EQ(byte, 0x33);
  ASSERT_TRUE(tables.Find("glyf"));
  EXPECT_EQ(tables.Find("glyf")->size(), 10u);
  EXPECT_FALSE(tables.Find("loca"));
  EXPECT_FALSE(tables.Find("cvt  ")) << "a 5-byte name is no tag, not even \"CVT \"";
  EXPECT_EQ(error, 0);

  FontSource missing = source;
  missing.path = "/nonexistent/tavrfndl/font.ttf";
  FontTables none(missing);
  EXPECT_FALSE(none.Find("glyf"));
  EXPECT_EQ(error, 1);
  error = 0;
  EXPECT_FALSE(none.Open()) << "a failed open is remembered";
}

// ----- ReadTableDirectory -----

struct Expected {
  std::string_view tag;
  uint32_t sendLength;
  int32_t selected;
};

void ExpectRecords(const std::vector<TableDirEntry>& records, const std::vector<Expected>& expected,
                   const char* name) {
  ASSERT_EQ(records.size(), expected.size()) << name;
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(std::string(records[i].tag, 4), std::string(expected[i].tag)) << name << " #" << i;
    EXPECT_EQ(records[i].tag[4], '\0') << name;
    EXPECT_EQ(records[i].sendLength, expected[i].sendLength) << name << " #" << i;
    EXPECT_EQ(records[i].selected, expected[i].selected) << name << " #" << i;
  }
}

// The records' own consistency, whatever the font: sorted, inside the data, and the GT offsets
// one after another in record order.
void ExpectConsistent(const std::vector<TableDirEntry>& records, int selected, size_t size,
                      const char* name) {
  int counted = 0;
  for (const TableDirEntry& r : records) counted += r.selected;
  EXPECT_EQ(selected, counted) << name;
  uint32_t next = 28 + 16 * static_cast<uint32_t>(selected);
  for (size_t i = 0; i < records.size(); ++i) {
    const TableDirEntry& r = records[i];
    if (i > 0) {
      EXPECT_LE(records[i - 1].offset, r.offset) << name;
    }
    if (r.sendLength > 0) {
      EXPECT_LE(uint64_t{r.offset} + r.sendLength, size) << name << " #" << i;
    }
    if (i + 1 < records.size()) {
      EXPECT_LE(uint64_t{r.offset} + r.sendLength, records[i + 1].offset) << name << " #" << i;
    }
    if (r.selected) {
      EXPECT_EQ(r.newOffset, next) << name << " #" << i;
      next += r.sendLength;
    } else {
      EXPECT_EQ(r.newOffset, 0u) << name << " #" << i;
    }
  }
}

TEST(ReadTableDirectory, SendLengthsAndSelection) {
  struct Case {
    const char* name;
    FontBuilder font;
    std::vector<Expected> expected;
  };
  std::vector<Case> cases;
  {
    Case c{"empty directory", {}, {}};
    cases.push_back(std::move(c));
  }
  {
    // Length 10 with the next table 16 bytes on: the padded 12.
    Case c{"padded length below the gap", {}, {{"head", 12, 1}, {"glyf", 4, 0}}};
    c.font.SetAlignment(16).SetPadEnd(false);
    c.font.AddTable("head", Filled(10, 1));
    c.font.AddTable("glyf", Filled(4, 2));
    cases.push_back(std::move(c));
  }
  {
    // Length 10 with the next table 8 bytes on (overlapping): the distance 8.
    Case c{"gap below the padded length", {}, {{"head", 8, 1}, {"glyf", 4, 0}}};
    c.font.AddTable("head", Filled(10, 1)).offset = 0x40;
    c.font.AddTable("glyf", Filled(4, 2)).offset = 0x48;
    cases.push_back(std::move(c));
  }
  {
    // The last table: through the end of the data when the data go on (padding included).
    Case c{"last table through the end", {}, {{"glyf", 4, 0}, {"maxp", 12, 1}}};
    c.font.AddTable("glyf", Filled(4, 2));
    c.font.AddTable("maxp", Filled(10, 3));
    cases.push_back(std::move(c));
  }
  {
    Case c{"last table with trailing data", {}, {{"glyf", 4, 0}, {"maxp", 110, 1}}};
    c.font.AddTable("glyf", Filled(4, 2));
    c.font.AddTable("maxp", Filled(10, 3));
    c.font.SetTrailingBytes(98);
    cases.push_back(std::move(c));
  }
  {
    // Exactly its length when the data end with it, though 10 is not a multiple of 4.
    Case c{"last table ends the data", {}, {{"glyf", 4, 0}, {"maxp", 10, 1}}};
    c.font.AddTable("glyf", Filled(4, 2));
    c.font.AddTable("maxp", Filled(10, 3));
    c.font.SetPadEnd(false);
    cases.push_back(std::move(c));
  }
  {
    Case c{"3-letter and 4-letter control value tables",
           {},
           {{"cvt\0"sv, 4, 1}, {"cvt "sv, 4, 1}, {"Cvt "sv, 4, 0}, {"CVT "sv, 4, 1}}};
    c.font.AddTable("cvt\0"sv, Filled(4, 1));
    c.font.AddTable("cvt "sv, Filled(4, 1));
    c.font.AddTable("Cvt "sv, Filled(4, 1));
    c.font.AddTable("CVT "sv, Filled(4, 1));
    cases.push_back(std::move(c));
  }
  {
    // Directory order head, cvt; file order cvt, head: the records follow the file.
    Case c{"file order differs from directory order", {}, {{"cvt ", 8, 1}, {"head", 56, 1}}};
    c.font.AddTable("head", test::BuildHead(0));
    c.font.AddTable("cvt ", Filled(6, 9));
    c.font.SetFileOrder({1, 0});
    cases.push_back(std::move(c));
  }
  {
    // Two tables at one offset: the first (in directory order) gets a gap of 0.
    Case c{"equal offsets", {}, {{"fpgm", 0, 1}, {"prep", 8, 1}}};
    c.font.AddTable("fpgm", Filled(8, 1)).offset = 0x40;
    c.font.AddTable("prep", Filled(8, 1)).offset = 0x40;
    cases.push_back(std::move(c));
  }
  {
    // A smaller offset arriving after two equal ones must not swap the equal pair.
    Case c{"equal offsets stay in directory order after a later smaller one",
           {},
           {{"hmtx", 4, 1}, {"fpgm", 0, 1}, {"prep", 8, 1}}};
    c.font.AddTable("fpgm", Filled(8, 1)).offset = 0x60;
    c.font.AddTable("prep", Filled(8, 1)).offset = 0x60;
    c.font.AddTable("hmtx", Filled(4, 1)).offset = 0x40;
    cases.push_back(std::move(c));
  }
  {
    Case c{
        "sizes of 65536 and 70000", {}, {{"fpgm", 65536, 1}, {"glyf", 12, 0}, {"prep", 70000, 1}}};
    c.font.AddTable("fpgm", Filled(65536, 1));
    c.font.AddTable("glyf", Filled(9, 1));
    c.font.AddTable("prep", Filled(70000, 1));
    cases.push_back(std::move(c));
  }
  for (const Case& c : cases) {
    const std::vector<uint8_t> font = c.font.Build();
    std::vector<TableDirEntry> records;
    const int selected = ReadTableDirectory(View(font), records);
    int expectedSelected = 0;
    for (const Expected& e : c.expected) expectedSelected += e.selected;
    EXPECT_EQ(selected, expectedSelected) << c.name;
    ExpectRecords(records, c.expected, c.name);
    ExpectConsistent(records, selected, font.size(), c.name);
  }
}

TEST(ReadTableDirectory, CopiesDirectoryFieldsAndPlacesSelectedTablesInTheGtSegment) {
  FontBuilder b;
  b.AddTable("glyf", Filled(20, 1));
  b.AddTable("head", Filled(54, 2)).checkSum = 0xCAFEF00D;
  b.AddTable("loca", Filled(8, 3));
  b.AddTable("maxp", Filled(32, 4)).length = 30;
  const std::vector<uint8_t> font = b.Build();
  std::vector<TableDirEntry> records;
  ASSERT_EQ(ReadTableDirectory(View(font), records), 2);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[1].checkSum, 0xCAFEF00Du);
  EXPECT_EQ(records[1].offset, b.OffsetOf(1));
  EXPECT_EQ(records[1].length, 54u);
  EXPECT_EQ(records[3].length, 30u);
  EXPECT_EQ(records[3].checkSum, test::TableChecksum(Filled(32, 4)));
  // Two selected: the GT directory is 28 + 32 bytes, "head" (56 bytes sent) first, then "maxp".
  EXPECT_EQ(records[1].newOffset, 60u);
  EXPECT_EQ(records[1].sendLength, 56u);
  EXPECT_EQ(records[3].newOffset, 116u);
  EXPECT_EQ(records[0].newOffset, 0u);
  EXPECT_EQ(records[2].newOffset, 0u);
}

TEST(ReadTableDirectory, HostileDirectoriesStayInsideTheData) {
  struct Case {
    const char* name;
    FontBuilder font;
    size_t truncateTo;
    size_t records;
    std::vector<uint32_t> sendLengths;
  };
  std::vector<Case> cases;
  {
    Case c{"count larger than the file", {}, 0, 2, {4, 4}};
    c.font.AddTable("head", Filled(4, 1));
    c.font.AddTable("maxp", Filled(4, 1));
    c.font.SetNumTables(0xFFFF);
    // The bytes after the records are table data, so records past the second would be garbage;
    // the count is cut to the records the file can hold.
    cases.push_back(std::move(c));
  }
  {
    Case c{"offset past the end", {}, 0, 2, {8, 0}};
    c.font.AddTable("head", Filled(8, 1));
    c.font.AddTable("maxp", Filled(8, 1)).dirOffset = 0x7FFFFFF0;
    cases.push_back(std::move(c));
  }
  {
    // A length near 2^32 pads to 2^32, not to 0: the table runs to the next one.
    Case c{"length wrapping 32 bits when padded", {}, 0, 2, {8, 8}};
    c.font.AddTable("head", Filled(8, 1)).length = 0xFFFFFFFE;
    c.font.AddTable("maxp", Filled(8, 1));
    cases.push_back(std::move(c));
  }
  {
    // offset + length wraps: the last table is cut to the bytes that exist.
    Case c{"last table whose end wraps 32 bits", {}, 0, 2, {8, 8}};
    c.font.AddTable("head", Filled(8, 1));
    c.font.AddTable("maxp", Filled(8, 1)).length = 0xFFFFFFF8;
    cases.push_back(std::move(c));
  }
  {
    Case c{"last table longer than the data", {}, 0, 2, {8, 8}};
    c.font.AddTable("head", Filled(8, 1));
    c.font.AddTable("maxp", Filled(8, 1)).length = 0x100000;
    cases.push_back(std::move(c));
  }
  {
    // The second record is cut by the end of the data; the first table's bytes are cut too.
    Case c{"data ending inside the directory", {}, 36, 1, {0}};
    c.font.AddTable("head", Filled(8, 1));
    c.font.AddTable("maxp", Filled(8, 1));
    cases.push_back(std::move(c));
  }
  {
    Case c{"no room for a table count", {}, 5, 0, {}};
    c.font.AddTable("head", Filled(8, 1));
    cases.push_back(std::move(c));
  }
  for (const Case& c : cases) {
    std::vector<uint8_t> font = c.font.Build();
    if (c.truncateTo) font.resize(c.truncateTo);
    // An exact-size copy, so that the sanitizer sees any read past the data.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[font.size()]);
    std::copy(font.begin(), font.end(), exact.get());
    std::vector<TableDirEntry> records;
    const int selected = ReadTableDirectory(ByteView(exact.get(), font.size()), records);
    ASSERT_EQ(records.size(), c.records) << c.name;
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i].sendLength, c.sendLengths[i]) << c.name << " #" << i;
    }
    ExpectConsistent(records, selected, font.size(), c.name);
  }
}

TEST(ReadTableDirectory, RandomDirectoriesAreAlwaysConsistent) {
  std::mt19937 random(20240611);
  const char* tags[] = {"head", "maxp", "cvt ", "glyf", "hmtx", "prep", "loca", "fpgm"};
  for (int round = 0; round < 300; ++round) {
    const size_t size = 12 + random() % 400;
    std::vector<uint8_t> font(size);
    for (uint8_t& b : font) b = static_cast<uint8_t>(random());
    const uint16_t count = static_cast<uint16_t>(random() % 40);
    font[4] = static_cast<uint8_t>(count >> 8);
    font[5] = static_cast<uint8_t>(count);
    for (size_t i = 0; i < count && 12 + 16 * i + 16 <= size; ++i) {
      std::memcpy(&font[12 + 16 * i], tags[random() % 8], 4);
      // Offsets and lengths mostly near the data, sometimes anywhere in 32 bits.
      for (size_t field : {8u, 12u}) {
        const uint32_t v = random() % 4 == 0 ? static_cast<uint32_t>(random())
                                             : static_cast<uint32_t>(random() % (size + 40));
        font[12 + 16 * i + field] = static_cast<uint8_t>(v >> 24);
        font[12 + 16 * i + field + 1] = static_cast<uint8_t>(v >> 16);
        font[12 + 16 * i + field + 2] = static_cast<uint8_t>(v >> 8);
        font[12 + 16 * i + field + 3] = static_cast<uint8_t>(v);
      }
    }
    std::vector<TableDirEntry> records;
    const int selected = ReadTableDirectory(View(font), records);
    EXPECT_EQ(records.size(), std::min<size_t>(count, (size - 12) / 16));
    ExpectConsistent(records, selected, size, "random");
    if (HasFailure()) {
      ADD_FAILURE() << "round " << round;
      return;
    }
  }
}

TEST(ReadTableDirectory, RealFontSelectsAllSevenHeaderTables) {
  const std::vector<uint8_t> font =
      test::ReadWholeFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  if (font.empty()) GTEST_SKIP() << "DejaVuSans.ttf not installed";
  std::vector<TableDirEntry> records;
  const int selected = ReadTableDirectory(View(font), records);
  EXPECT_EQ(selected, 7);
  uint16_t count = 0;
  ASSERT_TRUE(View(font).ReadU16(4, count));
  EXPECT_EQ(records.size(), count);
  ExpectConsistent(records, selected, font.size(), "DejaVuSans");
  // In a well-formed font every table is sent whole, with at most its padding.
  for (const TableDirEntry& r : records) {
    EXPECT_GE(r.sendLength, r.length) << r.tag;
    EXPECT_LE(r.sendLength, r.length + 3) << r.tag;
  }
}

}  // namespace
}  // namespace tavrfndl
