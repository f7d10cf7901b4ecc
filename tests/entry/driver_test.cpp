// The library through its C interface, used the way a driver uses it: the shared library loaded
// with dlopen, records filled field by field, the job file read back. File mode (bTTE 1) on a
// real TrueType file, where every advance comes from FontHeight and the output is fully
// determined by the font file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/driver.h"
#include "support/fontfile.h"
#include "support/xl_ops.h"

namespace tavrfndl::testing {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kClipBox = {0xC0, 0x00, 0xF8, 0x53, 0xE3, 0x00, 0x00, 0x00,
                        0x00, 0x24, 0x13, 0x00, 0x19, 0xF8, 0x42, 0x68};

Bytes SetCursorBytes(int x, int y) {
  return {0xD3, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8), 0xF8, 0x4C, 0x6B};
}

Bytes TextBytes(const std::u16string& text, int width) {
  const auto n = static_cast<uint8_t>(text.size());
  Bytes b = {0xC9, 0xC1, n, 0x00};
  for (char16_t c : text) b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8)});
  b.insert(b.end(), {0xF8, 0xAB, 0xC9, 0xC1, n, 0x00});
  for (size_t i = 0; i < text.size(); ++i) b.insert(b.end(), {uint8_t(width), uint8_t(width >> 8)});
  b.insert(b.end(), {0xF8, 0xAF, 0xA8});
  return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The bytes from the first SetClipRectangle on: what the run put on the page.
Bytes PagePart(const std::vector<WireOp>& ops) {
  Bytes out;
  bool on = false;
  for (const WireOp& o : ops) {
    on = on || o.tag == Operator::SetClipRectangle;
    if (on) out.insert(out.end(), o.bytes.begin(), o.bytes.end());
  }
  return out;
}

std::vector<WireOp> ParseFile(const std::string& path) {
  std::string error;
  std::vector<WireOp> ops = ReadOps(ReadFileBytes(path), &error);
  EXPECT_EQ(error, "") << path;
  return ops;
}

size_t Count(const std::vector<WireOp>& ops, Operator tag) {
  size_t n = 0;
  for (const WireOp& o : ops) n += o.tag == tag;
  return n;
}

// FontHeight 400 at 72 dpi: every character advances 40 units in file mode.
class FileModeRun : public ::testing::Test {
 protected:
  Library lib = Library::Load();
  std::string out = TempPath("job.pxl");
  PAGEINFOW page = FilePage(kDejaVuSans, out, 7, 72, 50);
  FontFile font{kDejaVuSans};

  int32_t Run(TEXTINFOW& text) { return lib.FontDownloadW(&text, &page); }
  std::vector<WireOp> OpsSince(size_t offset) {
    Bytes all = ReadFileBytes(out);
    std::string error;
    auto ops = ReadOps(Bytes(all.begin() + static_cast<long>(offset), all.end()), &error);
    EXPECT_EQ(error, "");
    return ops;
  }
  size_t FileSize() { return std::filesystem::exists(out) ? std::filesystem::file_size(out) : 0; }
};

TEST_F(FileModeRun, NewFontSendsHeaderThenSelectionThenGlyphsThenTheWrappedRun) {
  lib.SetCursorTo(4600, 1000);
  TEXTINFOW text = Text(u"AB CD", 400);
  text.nStartX = 100;
  ASSERT_EQ(Run(text), FNDL_RESULT_OK);

  std::vector<WireOp> ops = ParseFile(out);
  std::vector<Operator> tags = Tags(ops);
  ASSERT_GE(tags.size(), 3u);
  EXPECT_EQ(tags.front(), Operator::BeginFontHeader);
  const std::vector<Operator> afterHeader = {
      Operator::SetFont,      Operator::SetCharBoldValue, Operator::SetCharShear,
      Operator::SetCharAngle, Operator::BeginChar,        Operator::ReadChar,
      Operator::ReadChar,     Operator::ReadChar,         Operator::ReadChar,
      Operator::EndChar,      Operator::SetClipRectangle, Operator::SetCursor,
      Operator::Text,         Operator::SetCursor,        Operator::Text};
  auto end = std::find(tags.begin(), tags.end(), Operator::EndFontHeader);
  ASSERT_NE(end, tags.end());
  EXPECT_EQ(std::vector<Operator>(end + 1, tags.end()), afterHeader) << Describe(tags);

  // "AB " fits at 4600; C would end at 4760, past the limit, so the line breaks after the space
  // and "CD" starts the next line at (nStartX, y + nLineSpacing).
  EXPECT_EQ(PagePart(ops), Concat({kClipBox, SetCursorBytes(4600, 1000), TextBytes(u"AB ", 40),
                                   SetCursorBytes(100, 1050), TextBytes(u"CD", 40)}));
  EXPECT_EQ(lib.GetCursor(), 1050);
  EXPECT_EQ(text.nOffsetToText, 0);
  EXPECT_EQ(page.nNextX, 0);
}

TEST_F(FileModeRun, CharacterRecordsCarryTheFontsOwnGlyphBytes) {
  TEXTINFOW text = Text(u"Ab", 120);
  ASSERT_EQ(Run(text), FNDL_RESULT_OK);
  std::vector<WireOp> ops = ParseFile(out);
  std::vector<const WireOp*> chars;
  for (const WireOp& o : ops) {
    if (o.tag == Operator::ReadChar) chars.push_back(&o);
  }
  ASSERT_EQ(chars.size(), 2u);
  const char16_t codes[] = {u'A', u'b'};
  for (size_t i = 0; i < 2; ++i) {
    const uint32_t glyph = font.GlyphIndex(codes[i]);
    Bytes expected = {1, 0, 0, 0, uint8_t(glyph >> 8), uint8_t(glyph)};
    Bytes glyf = font.GlyphBytes(glyph);
    expected[2] = uint8_t((glyf.size() + 4) >> 8);
    expected[3] = uint8_t(glyf.size() + 4);
    expected.insert(expected.end(), glyf.begin(), glyf.end());
    EXPECT_EQ(chars[i]->data, expected) << "character " << i;
    // CharCode, then CharDataSize of the record.
    const Bytes& a = chars[i]->bytes;
    EXPECT_EQ(Bytes(a.begin(), a.begin() + 3), (Bytes{0xC1, uint8_t(codes[i]), 0x00}));
    const uint32_t size = a[6] | (a[7] << 8) | (a[8] << 16) | (uint32_t(a[9]) << 24);
    EXPECT_EQ(size, expected.size());
  }
}

TEST_F(FileModeRun, FontHeaderIsConsistentAndDeclaresTheGlyphCount) {
  TEXTINFOW text = Text(u"x", 120);
  ASSERT_EQ(Run(text), FNDL_RESULT_OK);
  std::vector<WireOp> ops = ParseFile(out);
  Bytes header;
  for (const WireOp& o : ops) {
    if (o.tag != Operator::ReadFontHeader) continue;
    const double announced = o.Number(Attribute::FontHeaderLength);
    ASSERT_TRUE(o.hasData);
    EXPECT_EQ(double(o.data.size()), announced);
    header.insert(header.end(), o.data.begin(), o.data.end());
  }
  ASSERT_GE(header.size(), 20u);
  EXPECT_EQ(Bytes(header.begin(), header.begin() + 6), (Bytes{0, 0, 0, 1, 1, 0}));
  EXPECT_EQ(BeU16(header, 6), font.NumGlyphs());
  EXPECT_EQ(header[8], 'G');
  EXPECT_EQ(header[9], 'T');
  const uint32_t s = BeU32(header, 10);
  EXPECT_EQ(header.size(), 20u + s);
  EXPECT_EQ(Bytes(header.end() - 6, header.end()), (Bytes{0xFF, 0xFF, 0, 0, 0, 0}));
  // DejaVu Sans has all seven header tables: gdir and seven records.
  EXPECT_EQ(BeU16(header, 14 + 4), 8u);
  EXPECT_EQ(Bytes(header.begin() + 26, header.begin() + 30), (Bytes{'g', 'd', 'i', 'r'}));
  // The font's name is OT:<id in hex>:<path>:n in every operator that names it.
  const std::string name = "OT:7:" + std::string(kDejaVuSans) + ":n";
  const Bytes& begin = ops.front().bytes;
  EXPECT_EQ(std::string(begin.begin() + 4, begin.begin() + 4 + static_cast<long>(name.size())),
            name);
}

TEST_F(FileModeRun, KnownFontSendsOnlySelectionAndMissingCharacters) {
  TEXTINFOW first = Text(u"AB", 120);
  ASSERT_EQ(Run(first), FNDL_RESULT_OK);
  const size_t before = FileSize();
  TEXTINFOW second = Text(u"BCB", 120);
  ASSERT_EQ(Run(second), FNDL_RESULT_OK);
  std::vector<WireOp> ops = OpsSince(before);
  EXPECT_EQ(Describe(Tags(ops)),
            "SetFont SetCharBoldValue SetCharShear SetCharAngle BeginChar ReadChar EndChar "
            "SetClipRectangle SetCursor Text");
  EXPECT_EQ(ops[5].bytes[1], 'C');
}

TEST_F(FileModeRun, PageFullStopsThenTheSameRecordContinuesOnTheNextPage) {
  // Ten-character words at 400 units: 11 characters fit a line from x 0, so each line takes one
  // word. DejaVu Sans reaches 95 units below the baseline at this size, so the page shows lines
  // down to y 6305: two lines from y 6250, three from 6200.
  std::u16string words;
  for (int i = 0; i < 12; ++i) words += u"abcdefghi ";
  lib.SetCursorTo(0, 6250);
  TEXTINFOW text = Text(words, 4000);
  ASSERT_EQ(Run(text), FNDL_RESULT_PAGE_FULL);
  EXPECT_EQ(text.bPageFull, 1);
  const int32_t placed = text.nOffsetToText;
  EXPECT_GT(placed, 0);
  EXPECT_LT(placed, static_cast<int32_t>(words.size()));

  size_t pages = 1;
  size_t written = 0;
  for (const WireOp& o : ParseFile(out)) {
    if (o.tag == Operator::Text) written += o.bytes[2];
  }
  EXPECT_EQ(written, static_cast<size_t>(placed));
  int32_t result = FNDL_RESULT_PAGE_FULL;
  while (result == FNDL_RESULT_PAGE_FULL && pages < 10) {
    ++pages;
    const size_t before = FileSize();
    lib.SetCursorTo(0, 6200);
    text.bPageFull = 0;
    result = Run(text);
    std::vector<WireOp> ops = OpsSince(before);
    // The page break marked the font: the page text selects it again before the clip box.
    auto tags = Tags(ops);
    auto clip = std::find(tags.begin(), tags.end(), Operator::SetClipRectangle);
    ASSERT_NE(clip, tags.end());
    EXPECT_EQ(std::count(tags.begin(), clip, Operator::SetFont), 2) << Describe(tags);
    for (const WireOp& o : ops) {
      if (o.tag == Operator::Text) written += o.bytes[2];
    }
  }
  EXPECT_EQ(result, FNDL_RESULT_OK);
  EXPECT_GT(pages, 2u);
  EXPECT_EQ(written, words.size());
}

TEST_F(FileModeRun, LinesTheClipBoxWouldCutAreLeftForTheNextPage) {
  // At 600 dpi and 12 points the size is 100 and DejaVu Sans reaches 24 units below the baseline
  // (483 of 2048): the clip box, which ends at y 6400, shows whole lines down to y 6376.
  page = FilePage(kDejaVuSans, out, 7, 600, 140);
  std::u16string words;
  for (int i = 0; i < 20; ++i) words += u"abcdefghi ";
  lib.SetCursorTo(0, 6300);
  TEXTINFOW text = Text(words, 120);
  ASSERT_EQ(Run(text), FNDL_RESULT_PAGE_FULL);
  EXPECT_EQ(text.bPageFull, 1);
  std::vector<WireOp> ops = ParseFile(out);
  ASSERT_EQ(Count(ops, Operator::Text), 1u) << "only the line at 6300 is on the page";
  auto line = std::find_if(ops.begin(), ops.end(), [](auto& o) { return o.tag == Operator::Text; });
  EXPECT_EQ(text.nOffsetToText, line->bytes[2]);
  EXPECT_EQ(Bytes((line - 1)->bytes.begin() + 3, (line - 1)->bytes.begin() + 5),
            (Bytes{0x9C, 0x18}));  // y 6300

  for (const auto& [y, result] : {std::pair{6376, FNDL_RESULT_OK}, {6377, FNDL_RESULT_PAGE_FULL}}) {
    lib.SetCursorTo(0, y);
    TEXTINFOW one = Text(u"g", 120);
    EXPECT_EQ(Run(one), result) << y;
  }
}

TEST_F(FileModeRun, MissingGlyphStopsAndTheDriverGoesOnAfterIt) {
  // U+0378 is unassigned: no font maps it.
  lib.SetCursorTo(1000, 500);
  TEXTINFOW text = Text(u"ab\u0378cd", 400);
  ASSERT_EQ(Run(text), FNDL_RESULT_NO_GLYPH);
  EXPECT_EQ(text.nOffsetToText, 2);
  EXPECT_EQ(page.nNextX, 1080);
  EXPECT_EQ(PagePart(ParseFile(out)),
            Concat({kClipBox, SetCursorBytes(1000, 500), TextBytes(u"ab", 40)}));

  // The driver skips the character and continues at nNextX.
  const size_t before = FileSize();
  text.nOffsetToText += 1;
  lib.SetCursorTo(page.nNextX + 40, 500);
  ASSERT_EQ(Run(text), FNDL_RESULT_OK);
  EXPECT_EQ(PagePart(OpsSince(before)),
            Concat({kClipBox, SetCursorBytes(1120, 500), TextBytes(u"cd", 40)}));
  EXPECT_EQ(page.nNextX, 0);
}

TEST_F(FileModeRun, UnderlinedLinesGetABarFromTheFontsUnderscoreMetrics) {
  lib.SetCursorTo(1000, 2000);
  TEXTINFOW text = Text(u"ab", 120);
  text.bUnderline = 1;
  ASSERT_EQ(Run(text), FNDL_RESULT_OK);
  std::vector<WireOp> ops = ParseFile(out);
  auto tags = Tags(ops);
  auto rop = std::find(tags.begin(), tags.end(), Operator::SetROP);
  ASSERT_NE(rop, tags.end());
  const size_t i = static_cast<size_t>(rop - tags.begin());
  ASSERT_EQ(ops.size(), i + 6);
  EXPECT_EQ(ops[i].bytes, (Bytes{0xC0, 240, 0xF8, 0x2C, 0x7B}));
  EXPECT_EQ(ops[i + 1].bytes, (Bytes{0xC0, 0x00, 0xF8, 0x05, 0x79}));
  EXPECT_EQ(ops[i + 2].bytes, (Bytes{0x85}));
  // DejaVu Sans at a 120-unit cell: underscore 2 below the baseline, 5 thick; the line is two
  // 12-unit characters wide (120 tenths of a point at 72 dpi): (1000, 2002, 1024, 2007).
  EXPECT_EQ(ops[i + 3].bytes,
            (Bytes{0xE3, 0xE8, 0x03, 0xD2, 0x07, 0x00, 0x04, 0xD7, 0x07, 0xF8, 0x42, 0xA1}));
  EXPECT_EQ(ops[i + 4].bytes, (Bytes{0x86}));
  EXPECT_EQ(ops[i + 5].bytes, (Bytes{0xC0, 252, 0xF8, 0x2C, 0x7B}));
}

TEST_F(FileModeRun, RemovingOneOfTwoFontsKeepsTheOtherAndTheLastReleasesEverything) {
  TEXTINFOW text = Text(u"a", 120);
  ASSERT_EQ(Run(text), FNDL_RESULT_OK);
  PAGEINFOW second = FilePage(kDejaVuSans, out, 8, 72, 50);
  ASSERT_EQ(lib.FontDownloadW(&text, &second), FNDL_RESULT_OK);
  EXPECT_EQ(Count(ParseFile(out), Operator::BeginFontHeader), 2u);

  size_t before = FileSize();
  const uint32_t seven = 7;
  lib.RemoveFontW(&seven);
  std::vector<WireOp> removed = OpsSince(before);
  ASSERT_EQ(removed.size(), 1u);
  const std::string name = "OT:7:" + std::string(kDejaVuSans) + ":n";
  Bytes expected = {0xC8, 0xC1, uint8_t(name.size()), 0};
  expected.insert(expected.end(), name.begin(), name.end());
  expected.insert(expected.end(), {0xF8, 0xA8, 0x55});
  EXPECT_EQ(removed[0].bytes, expected);

  // Font 8 is still known: no header.
  before = FileSize();
  ASSERT_EQ(lib.FontDownloadW(&text, &second), FNDL_RESULT_OK);
  EXPECT_EQ(Count(OpsSince(before), Operator::BeginFontHeader), 0u);

  const uint32_t eight = 8;
  lib.RemoveFontA(&eight);
  // Everything was released: the same number starts from scratch with a new header.
  before = FileSize();
  ASSERT_EQ(lib.FontDownloadW(&text, &second), FNDL_RESULT_OK);
  EXPECT_EQ(Count(OpsSince(before), Operator::BeginFontHeader), 1u);
  EXPECT_EQ(lib.GetCursor(), 0);
}

TEST_F(FileModeRun, RemovalGoesToTheOutputPathOfTheCallThatCreatedTheList) {
  TEXTINFOW text = Text(u"a", 120);
  ASSERT_EQ(Run(text), FNDL_RESULT_OK);
  const std::string other = TempPath("other.pxl");
  PAGEINFOW elsewhere = FilePage(kDejaVuSans, other, 7, 72, 50);
  ASSERT_EQ(lib.FontDownloadW(&text, &elsewhere), FNDL_RESULT_OK);
  const size_t before = FileSize();
  const size_t otherBefore = std::filesystem::file_size(other);
  const uint32_t id = 7;
  lib.RemoveFontW(&id);
  EXPECT_EQ(Describe(Tags(OpsSince(before))), "RemoveFont");
  EXPECT_EQ(std::filesystem::file_size(other), otherBefore);
}

TEST_F(FileModeRun, FailedFirstDownloadLeavesNoListThatWouldTakeTheRemovalElsewhere) {
  const std::string first = TempPath("first.pxl");
  PAGEINFOW failing = FilePage("/nonexistent/font.ttf", first, 3, 72, 50);
  TEXTINFOW text = Text(u"a", 120);
  ASSERT_EQ(lib.FontDownloadW(&text, &failing), FNDL_RESULT_FAILED);
  // Written, but failed: the unreadable font file is remembered.
  ASSERT_EQ(Run(text), FNDL_RESULT_FAILED);
  const size_t before = FileSize();
  const uint32_t id = 7;
  lib.RemoveFontW(&id);
  EXPECT_EQ(Describe(Tags(OpsSince(before))), "RemoveFont");
  EXPECT_EQ(std::filesystem::file_size(first), 0u);
}

TEST_F(FileModeRun, UnknownNumberRemovalOpensTheFileAndSendsNothing) {
  TEXTINFOW text = Text(u"a", 120);
  ASSERT_EQ(Run(text), FNDL_RESULT_OK);
  const size_t before = FileSize();
  const uint32_t unknown = 99;
  lib.RemoveFontW(&unknown);
  EXPECT_EQ(FileSize(), before);
  // Font 7 is still there.
  ASSERT_EQ(Run(text), FNDL_RESULT_OK);
  EXPECT_EQ(Count(OpsSince(before), Operator::BeginFontHeader), 0u);
}

TEST_F(FileModeRun, RemovalWhoseFileCannotBeOpenedChangesNothing) {
  TEXTINFOW text = Text(u"a", 120);
  ASSERT_EQ(Run(text), FNDL_RESULT_OK);
  const std::string saved = out + ".saved";
  std::filesystem::rename(out, saved);
  std::filesystem::create_directory(out);  // fopen(..., "ab") fails on a folder
  const uint32_t id = 7;
  lib.RemoveFontW(&id);
  std::filesystem::remove(out);
  std::filesystem::rename(saved, out);

  const size_t before = FileSize();
  lib.RemoveFontW(&id);
  EXPECT_EQ(Describe(Tags(OpsSince(before))), "RemoveFont");
}

TEST_F(FileModeRun, UnreadableFontFileFailsThisAndEveryLaterCompleteRun) {
  PAGEINFOW missing = FilePage("/nonexistent/font.ttf", out, 3, 72, 50);
  TEXTINFOW text = Text(u"a", 120);
  EXPECT_EQ(lib.FontDownloadW(&text, &missing), FNDL_RESULT_FAILED);
  // Nothing of that font reached the file.
  EXPECT_EQ(FileSize(), 0u);
  EXPECT_EQ(Run(text), FNDL_RESULT_FAILED);
  // The good font still went out and its run is on the page.
  EXPECT_EQ(Count(ParseFile(out), Operator::Text), 1u);
}

TEST_F(FileModeRun, UnwritableOutputPathFailsWithoutTouchingTheRecords) {
  PAGEINFOW bad = FilePage(kDejaVuSans, "/nonexistent/dir/job.pxl", 7, 72, 50);
  bad.nNextX = 1234;
  TEXTINFOW text = Text(u"a", 120);
  text.nOffsetToText = 0;
  EXPECT_EQ(lib.FontDownloadW(&text, &bad), FNDL_RESULT_FAILED);
  EXPECT_EQ(bad.nNextX, 1234);
  // Nothing was created or remembered: the next good call sends the header.
  ASSERT_EQ(Run(text), FNDL_RESULT_OK);
  EXPECT_EQ(Count(ParseFile(out), Operator::BeginFontHeader), 1u);
}

TEST_F(FileModeRun, RecordsThatBreakTheirContractAreRefusedBeforeAnythingHappens) {
  struct Case {
    const char* what;
    void (*breakIt)(TEXTINFOW&, PAGEINFOW&);
  };
  const Case cases[] = {
      {"negative offset", [](TEXTINFOW& t, PAGEINFOW&) { t.nOffsetToText = -1; }},
      {"offset past the text", [](TEXTINFOW& t, PAGEINFOW&) { t.nOffsetToText = 4; }},
      {"text without terminator",
       [](TEXTINFOW& t, PAGEINFOW&) { std::fill(std::begin(t.chText), std::end(t.chText), u'x'); }},
      {"font without terminator",
       [](TEXTINFOW&, PAGEINFOW& p) { std::fill(std::begin(p.chFont), std::end(p.chFont), u'x'); }},
      {"output path without terminator",
       [](TEXTINFOW&, PAGEINFOW& p) {
         std::fill(std::begin(p.chOutFile), std::end(p.chOutFile), u'x');
       }},
      {"output path longer than 255 ANSI bytes",
       [](TEXTINFOW&, PAGEINFOW& p) {
         std::fill(std::begin(p.chOutFile), std::end(p.chOutFile) - 1, u'\u00e9');
       }},
  };
  for (const Case& c : cases) {
    TEXTINFOW text = Text(u"abc", 120);
    PAGEINFOW p = page;
    c.breakIt(text, p);
    EXPECT_EQ(lib.FontDownloadW(&text, &p), FNDL_RESULT_FAILED) << c.what;
    EXPECT_FALSE(std::filesystem::exists(out)) << c.what;
  }
  TEXTINFOW atEnd = Text(u"abc", 120);
  atEnd.nOffsetToText = 3;  // the whole text is already on the page
  EXPECT_EQ(Run(atEnd), FNDL_RESULT_OK);
  EXPECT_EQ(Count(ParseFile(out), Operator::Text), 0u);
}

TEST_F(FileModeRun, AnsiVariantCountsTheOffsetInUtf16UnitsOfTheConvertedText) {
  // The C locale's code page is UTF-8 here: each é takes two bytes but one unit.
  TEXTINFOA text;
  std::memset(&text, 0, sizeof text);
  std::strcpy(text.chText, "\xC3\xA9\xC3\xA9xy");
  text.FontHeight = 400;
  text.nOffsetToText = 2;
  PAGEINFOA a;
  std::memset(&a, 0, sizeof a);
  std::strcpy(a.chFont, kDejaVuSans);
  std::strcpy(a.chOutFile, out.c_str());
  a.nFontId = 7;
  a.nResolution = 72;
  a.nLineSpacing = 50;
  a.bTTE = 1;
  lib.SetCursorTo(10, 20);
  ASSERT_EQ(lib.FontDownloadA(&text, &a), FNDL_RESULT_OK);
  EXPECT_EQ(PagePart(ParseFile(out)),
            Concat({kClipBox, SetCursorBytes(10, 20), TextBytes(u"xy", 40)}));
}

TEST_F(FileModeRun, FontWithoutCmapIsRefusedWholeAndTheOtherFontsStay) {
  // A copy of the font whose "cmap" directory tag is renamed: its characters cannot be mapped,
  // so not even its header goes out.
  Bytes bytes = ReadFileBytes(kDejaVuSans);
  const uint32_t tables = BeU16(bytes, 4);
  for (size_t i = 0; i < tables; ++i) {
    uint8_t* tag = &bytes[12 + 16 * i];
    if (std::memcmp(tag, "cmap", 4) == 0) std::memcpy(tag, "xmap", 4);
  }
  const std::string broken = TempPath("nocmap.ttf");
  std::ofstream(broken, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));

  TEXTINFOW text = Text(u"a", 120);
  ASSERT_EQ(Run(text), FNDL_RESULT_OK);
  PAGEINFOW noCmap = FilePage(broken, out, 9, 72, 50);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const size_t before = FileSize();
    EXPECT_EQ(lib.FontDownloadW(&text, &noCmap), FNDL_RESULT_FAILED);
    EXPECT_EQ(FileSize(), before) << "attempt " << attempt;
  }
  // Font 7 was kept: no second header under its name.
  const size_t before = FileSize();
  ASSERT_EQ(Run(text), FNDL_RESULT_OK);
  EXPECT_EQ(Count(OpsSince(before), Operator::BeginFontHeader), 0u);
}

TEST_F(FileModeRun, ThreadsCallingAtOnceEachGetTheirRunWrittenWhole) {
  constexpr int kThreads = 4;
  constexpr int kRuns = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      PAGEINFOW p = FilePage(kDejaVuSans, out, 100 + static_cast<uint32_t>(t), 72, 50);
      for (int r = 0; r < kRuns; ++r) {
        TEXTINFOW text = Text(u"abc", 120);
        lib.FontDownloadW(&text, &p);
        const int32_t x = 0, y = 100;
        lib.SetCursor(&x, &y);
      }
    });
  }
  for (std::thread& th : threads) th.join();
  std::vector<WireOp> ops = ParseFile(out);
  EXPECT_EQ(Count(ops, Operator::Text), size_t{kThreads * kRuns});
  EXPECT_EQ(Count(ops, Operator::BeginFontHeader), size_t{kThreads});
  // Each run's page records follow its own selection: SetClipRectangle, SetCursor, Text.
  auto tags = Tags(ops);
  for (size_t i = 0; i < tags.size(); ++i) {
    if (tags[i] != Operator::SetClipRectangle) continue;
    ASSERT_LT(i + 2, tags.size());
    EXPECT_EQ(tags[i + 1], Operator::SetCursor);
    EXPECT_EQ(tags[i + 2], Operator::Text);
  }
}

// Engine mode: the face is found by name through the font engine.
TEST(EngineModeRun, DejaVuSansByNameIsDownloadedUnderItsName) {
  Library lib = Library::Load();
  const std::string out = TempPath("job.pxl");
  PAGEINFOW page = FilePage("DejaVu Sans", out, 5, 600, 100);
  page.bTTE = 0;
  TEXTINFOW text = Text(u"AVe\u00e9", 120);
  lib.SetCursorTo(200, 300);
  ASSERT_EQ(lib.FontDownloadW(&text, &page), FNDL_RESULT_OK);

  std::vector<WireOp> ops = ParseFile(out);
  ASSERT_FALSE(ops.empty());
  const std::string name = "OT:5:DejaVu Sans:n";
  EXPECT_EQ(std::string(ops[0].bytes.begin() + 4, ops[0].bytes.begin() + 4 + 18), name);
  size_t characters = 0;
  for (const WireOp& o : ops) {
    characters += o.tag == Operator::ReadChar && !(o.bytes[1] == 0xFF && o.bytes[2] == 0xFF);
  }
  EXPECT_EQ(characters, 4u);  // the accented e is a composite: its components follow it
}

// The GT segment's table of that tag in the first font header of the job.
Bytes DownloadedTable(const std::vector<WireOp>& ops, const char* tag) {
  Bytes header;
  for (const WireOp& o : ops) {
    if (o.tag == Operator::ReadFontHeader)
      header.insert(header.end(), o.data.begin(), o.data.end());
    if (o.tag == Operator::EndFontHeader) break;
  }
  const size_t gt = 14;  // the format-0 header, then "GT" and its size
  size_t tables = BeU16(header, gt + 4);
  for (size_t at = gt + 12; at + 16 <= header.size() && tables-- > 0; at += 16) {
    if (std::memcmp(&header[at], tag, 4) != 0) continue;
    const size_t offset = BeU32(header, at + 8);
    return Bytes(header.begin() + static_cast<long>(gt + offset), header.end());
  }
  return {};
}

// An italic run is slanted once: by the face's own outlines (the font engine's italic face of
// DejaVu Sans), or by the shear when the face is upright (IPA Gothic has no italic face; the
// file of DejaVu Sans is its upright face).
TEST(EngineModeRun, ItalicIsSlantedByTheFaceOrByTheShearNotBoth) {
  Library lib = Library::Load();
  struct Case {
    const char* font;
    int32_t bTTE;
    bool faceLeans;
  } const cases[] = {{"DejaVu Sans", 0, true}, {"IPAGothic", 0, false}, {kDejaVuSans, 1, false}};
  uint32_t id = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.font);
    const std::string out = TempPath("job" + std::to_string(id) + ".pxl");
    PAGEINFOW page = FilePage(c.font, out, id++, 600, 100);
    page.bTTE = c.bTTE;
    TEXTINFOW text = Text(u"Ab", 120);
    text.bItalic = 1;
    ASSERT_EQ(lib.FontDownloadW(&text, &page), FNDL_RESULT_OK);

    const std::vector<WireOp> ops = ParseFile(out);
    const Bytes head = DownloadedTable(ops, "head");
    ASSERT_GE(head.size(), 46u);
    EXPECT_EQ((head[45] & 0x02) != 0, c.faceLeans) << "head.macStyle italic";
    auto shear = std::find_if(ops.begin(), ops.end(),
                              [](const WireOp& o) { return o.tag == Operator::SetCharShear; });
    ASSERT_NE(shear, ops.end());
    const Bytes x(shear->bytes.begin() + 1, shear->bytes.begin() + 5);
    EXPECT_EQ(x, c.faceLeans ? (Bytes{0, 0, 0, 0}) : (Bytes{0x65, 0x19, 0x22, 0x3E}));
  }
}

int16_t SignedBe16(const Bytes& b, size_t at) {
  return static_cast<int16_t>(BeU16(b, at));
}

// The printer draws the glyphs with the character size as their em, whatever the resolution:
// each advance is the face's own scaled to it (give or take the engine's rounding of a hinted
// advance), for the codes measured by character and by glyph alike, and the underline bar is the
// face's underline at that size.
TEST(EngineModeRun, AdvancesAndUnderlineAreTheFacesOwnAtTheCharacterSize) {
  Library lib = Library::Load();
  struct Face {
    const char* name;
    const char* file;
    std::u16string text;
  } const faces[] = {
      {"DejaVu Sans", kDejaVuSans, u"AVWaxg\u0416\u03B1"},
      {"Liberation Sans", "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
       u"AVWaxg\u0416\u03B1"},
      {"IPAGothic", "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
       u"AVWaxg\u0416\u03B1\u3042\u4E2D\u3002\u3001"}};
  uint32_t id = 1;
  for (const Face& face : faces) {
    FontFile font(face.file);
    ASSERT_TRUE(font.ok()) << face.file;
    const Bytes post = font.Table("post");
    const double upem = font.UnitsPerEm();
    for (const uint32_t dpi : {300u, 600u, 1200u}) {
      SCOPED_TRACE(std::string(face.name) + " at " + std::to_string(dpi));
      const std::string out = TempPath("job" + std::to_string(id) + ".pxl");
      PAGEINFOW page = FilePage(face.name, out, id++, dpi, 100);
      page.bTTE = 0;
      TEXTINFOW text = Text(face.text, 120);
      text.bUnderline = 1;
      lib.SetCursorTo(0, 1000);
      ASSERT_EQ(lib.FontDownloadW(&text, &page), FNDL_RESULT_OK);

      const double size = 12.0 * dpi / 72;
      std::vector<WireOp> ops = ParseFile(out);
      auto run =
          std::find_if(ops.begin(), ops.end(), [](auto& o) { return o.tag == Operator::Text; });
      ASSERT_NE(run, ops.end());
      const std::vector<double> advances = run->Elements(Attribute::XSpacingData);
      ASSERT_EQ(advances.size(), face.text.size());
      for (size_t i = 0; i < face.text.size(); ++i) {
        const double expected = font.Advance(font.GlyphIndex(face.text[i])) * size / upem;
        EXPECT_NEAR(advances[i], std::lround(expected), 1) << "character " << i;
      }
      // The bar: the RectanglePath's BoundingBox (x1, y1, x2, y2), below y 1000.
      ASSERT_EQ(ops.back().tag, Operator::SetROP);
      const WireOp& bar = ops[ops.size() - 3];
      ASSERT_EQ(bar.tag, Operator::RectanglePath);
      const int top = int(bar.Number(Attribute::BoundingBox, 1)) - 1000;
      const int bottom = int(bar.Number(Attribute::BoundingBox, 3)) - 1000;
      EXPECT_NEAR(top, std::lround(std::abs(SignedBe16(post, 8)) * size / upem), 1);
      EXPECT_NEAR(bottom - top, std::lround(std::abs(SignedBe16(post, 10)) * size / upem), 1);
    }
  }
}

}  // namespace
}  // namespace tavrfndl::testing
