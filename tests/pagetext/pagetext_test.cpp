// Font selection and the page text writer, checked on the bytes they put in the output file with
// a font engine double that answers chosen widths and metrics.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fontlist/fontlist.h"
#include "pagetext/downloadcontext.h"
#include "pagetext/pagetext.h"
#include "pclxl/xlstream.h"
#include "pclxl/xlstream_reader.h"
#include "platform/platform.h"

namespace tavrfndl {
namespace {

using Bytes = std::vector<uint8_t>;
namespace pf = platform;

// ---------------------------------------------------------------------------------------------
// The font engine double.

struct FakeDeviceContextTag {
} gDeviceContext;
const pf::HDC kHdc = reinterpret_cast<pf::HDC>(&gDeviceContext);

class FakeEngine : public pf::FontEngine {
 public:
  // Widths by character code for GetCharWidthA; codes not listed get defaultWidth.
  std::map<uint32_t, int32_t> charWidths;
  int32_t defaultWidth = 40;
  bool charWidthFails = false;

  // Black box X, origin x and advance by glyph index for GetGlyphOutlineA.
  struct GlyphBox {
    uint32_t blackBoxX;
    int32_t originX;
    int16_t cellIncX;
  };
  std::map<uint32_t, GlyphBox> glyphBoxes;
  bool glyphFails = false;

  // Outline metrics: the size reported (0 = failure), whether the fill fails, the values.
  uint32_t metricsSize = sizeof(pf::OUTLINETEXTMETRICA);
  bool metricsFillFails = false;
  int32_t underscorePosition = -150;
  int32_t underscoreSize = 50;

  int charWidthCalls = 0;
  int glyphCalls = 0;
  int metricsCalls = 0;

  pf::HDC CreateCompatibleDC() override { return nullptr; }
  pf::HFONT CreateFontIndirectA(const pf::LOGFONTA&, const char*) override { return nullptr; }
  pf::HFONT SelectObject(pf::HDC, pf::HFONT) override { return nullptr; }
  pf::HFONT GetCurrentObject(pf::HDC) override { return nullptr; }
  bool DeleteObject(pf::HFONT) override { return false; }
  bool DeleteDC(pf::HDC) override { return false; }
  uint32_t GetFontData(pf::HDC, uint32_t, uint32_t, void*, uint32_t) override {
    return pf::GDI_ERROR;
  }

  bool GetCharWidthA(pf::HDC hdc, uint32_t iFirst, uint32_t iLast, int32_t* lpBuffer) override {
    ++charWidthCalls;
    EXPECT_EQ(hdc, kHdc);
    EXPECT_EQ(iFirst, iLast) << "one code at a time: the buffer holds one width";
    if (charWidthFails) return false;
    auto it = charWidths.find(iFirst);
    *lpBuffer = it == charWidths.end() ? defaultWidth : it->second;
    return true;
  }

  uint32_t GetGlyphOutlineA(pf::HDC hdc, uint32_t uChar, uint32_t fuFormat, pf::GLYPHMETRICS* lpgm,
                            uint32_t cjBuffer, void* pvBuffer, const pf::MAT2* lpmat2) override {
    ++glyphCalls;
    EXPECT_EQ(hdc, kHdc);
    EXPECT_EQ(fuFormat, 0x80u);
    EXPECT_EQ(cjBuffer, 0u);
    EXPECT_EQ(pvBuffer, nullptr);
    EXPECT_NE(lpmat2, nullptr);
    if (lpmat2) {
      EXPECT_EQ(lpmat2->eM11.value, 1);
      EXPECT_EQ(lpmat2->eM11.fract, 0);
      EXPECT_EQ(lpmat2->eM12.value, 0);
      EXPECT_EQ(lpmat2->eM21.value, 0);
      EXPECT_EQ(lpmat2->eM22.value, 1);
      EXPECT_EQ(lpmat2->eM22.fract, 0);
    }
    if (glyphFails) return pf::GDI_ERROR;
    auto it = glyphBoxes.find(uChar);
    if (it == glyphBoxes.end()) {
      ADD_FAILURE() << "glyph " << uChar << " was not expected to be measured";
      return pf::GDI_ERROR;
    }
    *lpgm = pf::GLYPHMETRICS{};
    lpgm->gmBlackBoxX = it->second.blackBoxX;
    lpgm->gmptGlyphOrigin.x = it->second.originX;
    lpgm->gmCellIncX = it->second.cellIncX;
    return 1;
  }

  uint32_t GetOutlineTextMetricsA(pf::HDC hdc, uint32_t cjCopy,
                                  pf::OUTLINETEXTMETRICA* potm) override {
    ++metricsCalls;
    EXPECT_EQ(hdc, kHdc);
    if (!potm) return metricsSize;
    if (metricsFillFails) return 0;
    EXPECT_GE(cjCopy, metricsSize);
    pf::OUTLINETEXTMETRICA full;
    full.otmSize = metricsSize;
    full.otmsUnderscorePosition = underscorePosition;
    full.otmsUnderscoreSize = underscoreSize;
    // Like Windows: exactly the reported size is filled, names and all beyond the members.
    const size_t nHead = std::min<size_t>(metricsSize, sizeof full);
    std::memcpy(static_cast<void*>(potm), &full, nHead);
    if (metricsSize > sizeof full) {
      std::memset(reinterpret_cast<uint8_t*>(potm) + sizeof full, 0xAB, metricsSize - sizeof full);
    }
    return 1;
  }
};

// ---------------------------------------------------------------------------------------------
// Reading the output back as records.

using pclxl::Attribute;
using pclxl::DataType;
using pclxl::Operator;
using pclxl::XlOperator;
using pclxl::XlStreamReader;

std::string Hex32(double real32) {
  const auto f = static_cast<float>(real32);
  uint32_t bits = 0;
  std::memcpy(&bits, &f, sizeof bits);
  char s[16];
  std::snprintf(s, sizeof s, "%08X", bits);
  return s;
}

std::string Number(double v) {
  return std::to_string(static_cast<int64_t>(v));
}

// Whether the operator carries exactly these attributes, in this order, of these types.
bool Carries(const XlOperator& op, std::initializer_list<std::pair<Attribute, DataType>> wanted) {
  if (op.attributes.size() != wanted.size()) return false;
  size_t i = 0;
  for (const auto& [id, type] : wanted) {
    const pclxl::XlAttribute& a = op.attributes[i++];
    if (a.id != static_cast<uint16_t>(id) || a.value.type != type) return false;
  }
  return true;
}

std::string Numbers(const pclxl::XlValue& v, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    if (i) s += ',';
    s += Number(v.number[i]);
  }
  return s;
}

std::string TextRecord(const pclxl::XlValue& text, const pclxl::XlValue& advances) {
  std::string s = "Text(\"";
  for (uint32_t i = 0; i < text.count; ++i) {
    const auto u = static_cast<uint32_t>(text.Element(i));
    char esc[8];
    std::snprintf(esc, sizeof esc, "\\u%04X", u);
    if (u >= 0x20 && u < 0x7F) {
      s += static_cast<char>(u);
    } else {
      s += esc;
    }
  }
  s += "\"";
  for (uint32_t i = 0; i < advances.count; ++i) {
    s += i ? ',' : ';';
    s += Number(advances.Element(i));
  }
  return s + ")";
}

// One operator of the records that stand alone; empty for any other.
std::string Record(const XlOperator& op) {
  const auto& a = op.attributes;
  switch (op.tag) {
    case Operator::SetClipRectangle:
      if (!Carries(op, {{Attribute::ClipRegion, DataType::ubyte},
                        {Attribute::BoundingBox, DataType::sint16_box}}) ||
          a[0].value.number[0] != 0) {
        return "";
      }
      return "Clip(" + Numbers(a[1].value, 4) + ")";
    case Operator::SetROP:
      return Carries(op, {{Attribute::ROP3, DataType::ubyte}})
                 ? "ROP(" + Numbers(a[0].value, 1) + ")"
                 : "";
    case Operator::SetPenSource:
      if (a.size() != 1 || a[0].value.type != DataType::ubyte) return "";
      return "Pen(" + std::to_string(a[0].id) + "," + Numbers(a[0].value, 1) + ")";
    case Operator::SetCursor:
      return Carries(op, {{Attribute::Point, DataType::sint16_xy}})
                 ? "Cursor(" + Numbers(a[0].value, 2) + ")"
                 : "";
    case Operator::Text:
      if (!Carries(op, {{Attribute::TextData, DataType::uint16_array},
                        {Attribute::XSpacingData, DataType::uint16_array}}) ||
          a[0].value.count != a[1].value.count) {
        return "";
      }
      return TextRecord(a[0].value, a[1].value);
    default:
      return "";
  }
}

// One operator of the character settings the selection sequences write; empty for any other.
std::string Setting(const XlOperator& op) {
  const auto& a = op.attributes;
  switch (op.tag) {
    case Operator::SetFont:
      if (!Carries(op, {{Attribute::FontName, DataType::ubyte_array},
                        {Attribute::CharSize, DataType::real32},
                        {Attribute::SymbolSet, DataType::uint16}})) {
        return "";
      }
      return "SetFont(" +
             std::string(reinterpret_cast<const char*>(a[0].value.elements), a[0].value.count) +
             ";" + Hex32(a[1].value.number[0]) + ";" + Numbers(a[2].value, 1) + ")";
    case Operator::SetCharBoldValue:
      return Carries(op, {{Attribute::CharBoldValue, DataType::real32}})
                 ? "Bold(" + Hex32(a[0].value.number[0]) + ")"
                 : "";
    case Operator::SetCharShear:
      return Carries(op, {{Attribute::CharShear, DataType::real32_xy}})
                 ? "Shear(" + Hex32(a[0].value.number[0]) + "," + Hex32(a[0].value.number[1]) + ")"
                 : "";
    case Operator::SetCharAngle:
      return Carries(op, {{Attribute::CharAngle, DataType::sint16}})
                 ? "Angle(" + Numbers(a[0].value, 1) + ")"
                 : "";
    default:
      return "";
  }
}

// An underline bar: NewPath, RectanglePath of a box, PaintPath.
std::string Bar(XlStreamReader& reader, const XlOperator& newPath) {
  XlOperator box, paint;
  if (!newPath.attributes.empty() || reader.Next(box) != XlStreamReader::Result::kOperator ||
      box.tag != Operator::RectanglePath ||
      !Carries(box, {{Attribute::BoundingBox, DataType::sint16_box}}) ||
      reader.Next(paint) != XlStreamReader::Result::kOperator || paint.tag != Operator::PaintPath ||
      !paint.attributes.empty()) {
    return "";
  }
  return "Bar(" + Numbers(box.attributes[0].value, 4) + ")";
}

// One readable line per record of the page records and the selection sequences, read with the
// library's reader; an unknown or malformed record ends the list with "BAD@offset", so every
// byte is accounted for.
std::vector<std::string> Decode(const Bytes& b) {
  std::vector<std::string> out;
  XlStreamReader reader = XlStreamReader::Fragment(b.data(), b.size());
  XlOperator op;
  XlStreamReader::Result result;
  while ((result = reader.Next(op)) == XlStreamReader::Result::kOperator) {
    std::string line = op.tag == Operator::NewPath ? Bar(reader, op) : Record(op);
    if (line.empty()) line = Setting(op);
    if (line.empty()) {
      out.push_back("BAD@" + std::to_string(op.start));
      return out;
    }
    out.push_back(line);
  }
  if (result == XlStreamReader::Result::kError) {
    out.push_back("BAD@" + std::to_string(reader.errorOffset()));
  }
  return out;
}

using Records = std::vector<std::string>;
const std::string kClip = "Clip(0,0,4900,6400)";
const std::string kName = "OT:7:Arial:n";

// ---------------------------------------------------------------------------------------------
// The fixture: one font list with the run's font, a writer flushing into the same file as the
// page records, and the process-wide cursor.

class PageTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pf::SetFontEngineForTesting(&engine);
    out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    stream.reset(XlStreamCreate(4096, pclxl::JobOutput::Flush, 0));
    ASSERT_NE(stream, nullptr);
    output = std::make_unique<pclxl::JobOutput>(out);
    output->Attach(stream.get());

    list.hDC = kHdc;
    ASSERT_TRUE(AppendFontEntry(list));
    FONTENTRY& entry = *list.pLastEntry;
    entry.nFontId = 7;
    entry.nResolution = 600;
    std::strcpy(entry.chPCLFontName, kName.c_str());

    text.FontHeight = 120;
    context.nFontId = 7;
    context.nResolution = 600;
    context.nLineSpacing = 50;
    for (uint32_t& g : context.anGlyphIndex) g = 36;
  }

  void TearDown() override {
    stream.reset();
    if (out) std::fclose(out);
    pf::SetFontEngineForTesting(nullptr);
  }

  FONTENTRY& Entry() { return *list.pFirstEntry; }

  void SetText(const std::u16string& s) {
    ASSERT_LT(s.size(), 516u);
    std::memset(text.chText, 0, sizeof text.chText);
    for (size_t i = 0; i < s.size(); ++i) text.chText[i] = s[i];
  }

  int32_t Run(bool bTTE = false) {
    return WriteToCoverPageW(list, *output, text, context, bTTE, {&x, &y});
  }

  Bytes Output() {
    std::fflush(out);
    const long size = std::ftell(out);
    Bytes bytes(static_cast<size_t>(size));
    std::rewind(out);
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), out);
    EXPECT_EQ(got, bytes.size());
    std::fseek(out, 0, SEEK_END);
    return bytes;
  }

  Records Written() { return Decode(Output()); }

  FakeEngine engine;
  std::FILE* out = nullptr;
  XlStreamPtr stream;
  std::unique_ptr<pclxl::JobOutput> output;
  FONTLIST list;
  TEXTINFOW text{};
  DOWNLOADCONTEXT context;
  int32_t x = 0;
  int32_t y = 0;
};

// ---------------------------------------------------------------------------------------------
// Whole runs, byte for byte.

TEST_F(PageTextTest, TwoCharactersOnOneLineAreWrittenByteForByte) {
  x = 300;
  y = 400;
  engine.charWidths = {{0x41, 50}, {0x42, 60}};
  SetText(u"AB");

  EXPECT_EQ(Run(), 0);

  const Bytes expected = {
      0xC0, 0x00, 0xF8, 0x53, 0xE3, 0x00, 0x00, 0x00, 0x00, 0x24, 0x13, 0x00, 0x19, 0xF8, 0x42,
      0x68,                                            // clip box
      0xD3, 0x2C, 0x01, 0x90, 0x01, 0xF8, 0x4C, 0x6B,  // cursor
      0xC9, 0xC1, 0x02, 0x00, 0x41, 0x00, 0x42, 0x00, 0xF8, 0xAB, 0xC9, 0xC1, 0x02, 0x00, 0x32,
      0x00, 0x3C, 0x00, 0xF8, 0xAF, 0xA8};  // text with advances
  EXPECT_EQ(Output(), expected);
  EXPECT_EQ(x, 300);
  EXPECT_EQ(y, 400);
  EXPECT_EQ(text.nOffsetToText, 0);
  EXPECT_EQ(context.nNextX, -1);
}

TEST_F(PageTextTest, UnderlinedLineGetsItsBarBetweenTheRasterOperations) {
  x = 1000;
  y = 2000;
  engine.charWidths = {{0x41, 250}, {0x42, 350}};
  text.bUnderline = 1;
  SetText(u"AB");

  EXPECT_EQ(Run(), 0);

  const Bytes bytes = Output();
  const Bytes tail = {0xC0, 0xF0, 0xF8, 0x2C, 0x7B,                                // SetROP 240
                      0xC0, 0x00, 0xF8, 0x05, 0x79,                                // NullPen 0
                      0x85, 0xE3, 0xE8, 0x03, 0x66, 0x08, 0x40, 0x06, 0x98, 0x08,  // the bar
                      0xF8, 0x42, 0xA1, 0x86,                                      //
                      0xC0, 0xFC, 0xF8, 0x2C, 0x7B};                               // SetROP 252
  ASSERT_EQ(bytes.size(), 16 + 8 + 21 + tail.size());
  EXPECT_EQ(Bytes(bytes.end() - static_cast<long>(tail.size()), bytes.end()), tail);
}

TEST_F(PageTextTest, EmptyRunWritesOnlyTheClipBox) {
  x = 300;
  y = 400;
  SetText(u"");

  EXPECT_EQ(Run(), 0);

  const Bytes clip = {0xC0, 0x00, 0xF8, 0x53, 0xE3, 0x00, 0x00, 0x00,
                      0x00, 0x24, 0x13, 0x00, 0x19, 0xF8, 0x42, 0x68};
  EXPECT_EQ(Output(), clip);
  EXPECT_EQ(x, 300);
  EXPECT_EQ(y, 400);
  EXPECT_EQ(engine.charWidthCalls + engine.glyphCalls + engine.metricsCalls, 0);
}

// ---------------------------------------------------------------------------------------------
// Line breaking at the right limit.

struct BreakCase {
  const char* name;
  std::u16string text;
  int32_t x, y, startX;
  std::map<uint32_t, int32_t> widths;  // others are 40
  Records records;                     // after the clip box
  int32_t endX, endY;
};

class LineBreaking : public PageTextTest, public ::testing::WithParamInterface<BreakCase> {};

TEST_P(LineBreaking, LinesAndCursorAreAsExpected) {
  const BreakCase& c = GetParam();
  x = c.x;
  y = c.y;
  text.nStartX = c.startX;
  text.nOffsetToText = 9;
  engine.charWidths = c.widths;
  SetText(c.text);

  EXPECT_EQ(Run(), 0);

  Records expected = {kClip};
  expected.insert(expected.end(), c.records.begin(), c.records.end());
  EXPECT_EQ(Written(), expected);
  EXPECT_EQ(x, c.endX);
  EXPECT_EQ(y, c.endY);
  EXPECT_EQ(text.nOffsetToText, 9);
  EXPECT_EQ(context.nNextX, -1);
}

INSTANTIATE_TEST_SUITE_P(
    PageText, LineBreaking,
    ::testing::Values(
        BreakCase{"BreakAfterLastSpaceBeforeOverflow",
                  u"AB CD",
                  4600,
                  1000,
                  100,
                  {},
                  {"Cursor(4600,1000)", "Text(\"AB \";40,40,40)", "Cursor(100,1050)",
                   "Text(\"CD\";40,40)"},
                  100,
                  1050},
        BreakCase{"SumEqualToTheLimitStillFits",
                  u"AB",
                  4645,
                  1000,
                  100,
                  {},
                  {"Cursor(4645,1000)", "Text(\"AB\";40,40)"},
                  4645,
                  1000},
        BreakCase{
            "NoSpaceBreaksBeforeTheOverflowingCharacter",
            u"ABCD",
            4600,
            1000,
            100,
            {},
            {"Cursor(4600,1000)", "Text(\"ABC\";40,40,40)", "Cursor(100,1050)", "Text(\"D\";40)"},
            100,
            1050},
        BreakCase{"OverflowingSpaceEndsItsOwnLine",
                  u"A B C",
                  4600,
                  1000,
                  100,
                  {},
                  {"Cursor(4600,1000)", "Text(\"A B \";40,40,40,40)", "Cursor(100,1050)",
                   "Text(\"C\";40)"},
                  100,
                  1050},
        BreakCase{"LastOfSeveralSpacesIsTheBreak",
                  u"A B CD EF",
                  4560,
                  1000,
                  0,
                  {},
                  {"Cursor(4560,1000)", "Text(\"A B \";40,40,40,40)", "Cursor(0,1050)",
                   "Text(\"CD EF\";40,40,40,40,40)"},
                  0,
                  1050},
        BreakCase{"FirstCharacterAlonePastTheLimitGivesAnEmptyLine",
                  u"AB",
                  4700,
                  1000,
                  100,
                  {},
                  {"Cursor(4700,1000)", "Text(\"\")", "Cursor(100,1050)", "Text(\"AB\";40,40)"},
                  100,
                  1050},
        BreakCase{"FirstCharacterSpacePastTheLimitIsALineOfItsOwn",
                  u" A",
                  4700,
                  1000,
                  100,
                  {},
                  {"Cursor(4700,1000)", "Text(\" \";40)", "Cursor(100,1050)", "Text(\"A\";40)"},
                  100,
                  1050},
        BreakCase{"NegativeSumCountsAsPastTheLimit",
                  u"AB",
                  -100,
                  1000,
                  100,
                  {},
                  {"Cursor(-100,1000)", "Text(\"\")", "Cursor(100,1050)", "Text(\"AB\";40,40)"},
                  100,
                  1050},
        BreakCase{"LineAfterABreakCanBreakAgain",
                  u"W XYZ",
                  4500,
                  0,
                  4500,
                  {{'W', 100}, {' ', 20}, {'X', 90}, {'Y', 90}, {'Z', 90}},
                  // Y overflows the first line (4710 + 90); X, Y fit the second, Z does not.
                  {"Cursor(4500,0)", "Text(\"W \";100,20)", "Cursor(4500,50)", "Text(\"XY\";90,90)",
                   "Cursor(4500,100)", "Text(\"Z\";90)"},
                  4500,
                  100},
        BreakCase{
            "EachWrappedLineStartsAtStartX",
            u"AAAA BBBB CCCC",
            4400,
            200,
            4400,
            {{'A', 60}, {'B', 60}, {'C', 60}, {' ', 5}},
            {"Cursor(4400,200)", "Text(\"AAAA \";60,60,60,60,5)", "Cursor(4400,250)",
             "Text(\"BBBB \";60,60,60,60,5)", "Cursor(4400,300)", "Text(\"CCCC\";60,60,60,60)"},
            4400,
            300}),
    [](const ::testing::TestParamInfo<BreakCase>& p) { return p.param.name; });

TEST_F(PageTextTest, LongestRunIsWrittenWholeOverManyLines) {
  std::u16string run;
  for (int i = 0; i < 515; ++i) run += static_cast<char16_t>(i % 9 == 8 ? u' ' : u'a' + i % 26);
  SetText(run);
  engine.defaultWidth = 100;
  x = 0;
  y = 0;
  context.nLineSpacing = 10;

  EXPECT_EQ(Run(), 0);

  // Every unit goes out once, in order, and no line passes the limit.
  std::u16string rebuilt;
  int32_t lineX = -1;
  int lines = 0;
  const Bytes bytes = Output();
  XlStreamReader reader = XlStreamReader::Fragment(bytes.data(), bytes.size());
  XlOperator cursor, line;
  ASSERT_EQ(reader.Next(cursor), XlStreamReader::Result::kOperator);
  ASSERT_EQ(cursor.tag, Operator::SetClipRectangle);
  while (reader.Next(cursor) == XlStreamReader::Result::kOperator) {
    ASSERT_EQ(cursor.tag, Operator::SetCursor) << "at " << cursor.start;
    const pclxl::XlValue& point = cursor.Find(Attribute::Point)->value;
    lineX = static_cast<int32_t>(point.number[0]);
    EXPECT_EQ(point.number[1], 10 * lines);
    ASSERT_EQ(reader.Next(line), XlStreamReader::Result::kOperator);
    ASSERT_EQ(line.tag, Operator::Text);
    const pclxl::XlValue& units = line.Find(Attribute::TextData)->value;
    for (uint32_t i = 0; i < units.count; ++i) rebuilt += static_cast<char16_t>(units.Element(i));
    EXPECT_LE(lineX + 100 * static_cast<int32_t>(units.count),
              4725 + 100)  // a trailing space may poke out
        << "line " << lines;
    ++lines;
  }
  EXPECT_TRUE(reader.error().empty()) << reader.error();
  EXPECT_EQ(rebuilt, run);
  EXPECT_GT(lines, 10);
  EXPECT_EQ(y, 10 * (lines - 1));
}

TEST_F(PageTextTest, CharacterWiderThanAnyLineWithoutLineSpacingFails) {
  // The same empty line would follow for ever; the run fails instead of looping.
  for (uint32_t spacing : {0u, 0x80000000u}) {
    SCOPED_TRACE(spacing);
    x = 4700;
    y = 1000;
    text.nStartX = 4700;
    context.nLineSpacing = spacing;
    SetText(u"A");
    const long before = std::ftell(out);

    EXPECT_EQ(Run(), 3);

    const Bytes bytes = Output();
    EXPECT_EQ(Decode(Bytes(bytes.begin() + before, bytes.end())),
              (Records{kClip, "Cursor(4700,1000)", "Text(\"\")"}));
    EXPECT_EQ(text.nOffsetToText, 0);
  }
}

TEST_F(PageTextTest, CharacterWiderThanAnyLineFillsThePageWithEmptyLines) {
  x = 4700;
  y = 6320;
  text.nStartX = 4700;
  SetText(u"A");

  EXPECT_EQ(Run(), 2);

  EXPECT_EQ(Written(),
            (Records{kClip, "Cursor(4700,6320)", "Text(\"\")", "Cursor(4700,6370)", "Text(\"\")"}));
  EXPECT_EQ(y, 6420);
  EXPECT_EQ(text.bPageFull, 1);
}

// ---------------------------------------------------------------------------------------------
// The bottom of the page: the clip box's bottom less the font's descent (none known here).

TEST_F(PageTextTest, PageFullBeforeTheFirstLineWritesOnlyTheClipBox) {
  ASSERT_TRUE(AppendFontEntry(list));
  list.pLastEntry->nFontId = 8;
  x = 300;
  y = 6401;
  text.nOffsetToText = 4;
  SetText(u"AB");

  EXPECT_EQ(Run(), 2);

  EXPECT_EQ(Written(), Records{kClip});
  EXPECT_EQ(text.bPageFull, 1);
  EXPECT_EQ(text.nOffsetToText, 4);
  EXPECT_EQ(list.pFirstEntry->bReselect, 1);
  EXPECT_EQ(list.pFirstEntry->pNext->bReselect, 1);
  EXPECT_EQ(x, 300);
  EXPECT_EQ(y, 6401);
}

TEST_F(PageTextTest, LineExactlyOnTheClipBoxBottomIsStillWritten) {
  x = 300;
  y = 6400;
  SetText(u"AB");

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(Written(), (Records{kClip, "Cursor(300,6400)", "Text(\"AB\";40,40)"}));
  EXPECT_EQ(text.bPageFull, 0);
  EXPECT_EQ(Entry().bReselect, 0);
}

TEST_F(PageTextTest, PageFullAfterAWrapKeepsTheLinesBeforeAndCountsThem) {
  x = 4600;
  y = 6370;
  text.nStartX = 100;
  text.nOffsetToText = 10;
  text.bUnderline = 1;
  SetText(u"AB CD");

  EXPECT_EQ(Run(), 2);

  EXPECT_EQ(Written(), (Records{kClip, "Cursor(4600,6370)", "Text(\"AB \";40,40,40)", "ROP(240)",
                                "Pen(5,0)", "Bar(4600,6520,4720,6570)", "ROP(252)"}));
  EXPECT_EQ(text.nOffsetToText, 13);
  EXPECT_EQ(text.bPageFull, 1);
  EXPECT_EQ(Entry().bReselect, 1);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 6420);
  EXPECT_EQ(context.nNextX, -1);
}

TEST_F(PageTextTest, TheFontsDescentMustFitAboveTheClipBoxBottom) {
  // 483 of 2048 units at a size of 100 reach 23.6, so 24 units below the baseline.
  Entry().nUnitsPerEm = 2048;
  Entry().nDescent = 483;
  struct {
    int32_t y;
    int32_t result;
  } const cases[] = {{6376, 0}, {6377, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.y);
    y = c.y;
    text.bPageFull = 0;
    SetText(u"AB");
    EXPECT_EQ(Run(), c.result);
    EXPECT_EQ(text.bPageFull, c.result == 2 ? 1 : 0);
  }
  EXPECT_EQ(Written(), (Records{kClip, "Cursor(0,6376)", "Text(\"AB\";40,40)", kClip}));
}

TEST_F(PageTextTest, CompletedRunLeavesBPageFullAsItWas) {
  // Only a selection after a page break clears it.
  text.bPageFull = 1;
  SetText(u"A");

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(text.bPageFull, 1);
}

// ---------------------------------------------------------------------------------------------
// Characters without a glyph.

struct StopCase {
  const char* name;
  std::u16string text;
  size_t stopAt;  // index of the character whose glyph is 32
  int32_t x, y;
  bool underline;
  Records records;  // after the clip box
  int32_t offsetAfter;
  int32_t nextX;  // -1: not set
  int32_t endX, endY;
};

class MissingGlyph : public PageTextTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(MissingGlyph, RunStopsInFrontOfIt) {
  const StopCase& c = GetParam();
  x = c.x;
  y = c.y;
  text.nStartX = 100;
  text.nOffsetToText = 5;
  text.bUnderline = c.underline ? 1 : 0;
  context.anGlyphIndex[c.stopAt] = kUnmappedGlyph;
  engine.charWidths = {{'A', 40}, {'B', 50}};
  SetText(c.text);

  EXPECT_EQ(Run(), 1);

  Records expected = {kClip};
  expected.insert(expected.end(), c.records.begin(), c.records.end());
  EXPECT_EQ(Written(), expected);
  EXPECT_EQ(text.nOffsetToText, c.offsetAfter);
  EXPECT_EQ(context.nNextX, c.nextX);
  EXPECT_EQ(x, c.endX);
  EXPECT_EQ(y, c.endY);
  EXPECT_EQ(text.bPageFull, 0);
  EXPECT_EQ(Entry().bReselect, 0);
}

INSTANTIATE_TEST_SUITE_P(
    PageText, MissingGlyph,
    ::testing::Values(
        StopCase{"InsideTheLine",
                 u"ABCA",
                 2,
                 300,
                 400,
                 false,
                 {"Cursor(300,400)", "Text(\"AB\";40,50)"},
                 7,
                 390,
                 300,
                 400},
        StopCase{"AtTheFirstCharacter", u"ZAB", 0, 300, 400, false, {}, 5, 300, 300, 400},
        StopCase{
            "AtTheFirstCharacterPastTheLimit", u"ZAB", 0, 4800, 400, false, {}, 5, -1, 4800, 400},
        StopCase{"AtTheFirstCharacterWithANegativeCursor",
                 u"ZAB",
                 0,
                 -10,
                 400,
                 false,
                 {},
                 5,
                 -1,
                 -10,
                 400},
        StopCase{"AtTheFirstCharacterBelowTheClipBox",
                 u"ZAB",
                 0,
                 300,
                 7000,
                 false,
                 {},
                 5,
                 300,
                 300,
                 7000},
        StopCase{
            "AfterAWrappedLine",
            u"AB AZ",
            4,
            4600,
            1000,
            false,
            {"Cursor(4600,1000)", "Text(\"AB \";40,50,40)", "Cursor(100,1050)", "Text(\"A\";40)"},
            9,
            140,
            100,
            1050},
        StopCase{"UnderlinedPartialLine",
                 u"ABZ",
                 2,
                 1000,
                 2000,
                 true,
                 {"Cursor(1000,2000)", "Text(\"AB\";40,50)", "ROP(240)", "Pen(5,0)",
                  "Bar(1000,2150,1090,2200)", "ROP(252)"},
                 7,
                 1090,
                 1000,
                 2000}),
    [](const ::testing::TestParamInfo<StopCase>& p) { return p.param.name; });

TEST_F(PageTextTest, PartialLineBeforeAStopBelowTheClipBoxFillsThePageInstead) {
  x = 300;
  y = 6401;
  text.nOffsetToText = 5;
  context.anGlyphIndex[2] = kUnmappedGlyph;
  SetText(u"ABZ");

  EXPECT_EQ(Run(), 2);

  EXPECT_EQ(Written(), Records{kClip});
  EXPECT_EQ(text.nOffsetToText, 5);
  EXPECT_EQ(text.bPageFull, 1);
  EXPECT_EQ(Entry().bReselect, 1);
  EXPECT_EQ(context.nNextX, -1);
}

TEST_F(PageTextTest, SpaceEqualsSignAndIdeographicSpaceNeverStopTheRun) {
  x = 300;
  y = 400;
  engine.charWidths = {{0x20, 11}, {0x3D, 22}, {0x3000, 33}, {'A', 44}};
  SetText(u"A =\u3000A");
  for (int i = 1; i <= 3; ++i) context.anGlyphIndex[i] = kUnmappedGlyph;

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(Written(), (Records{kClip, "Cursor(300,400)", "Text(\"A =\\u3000A\";44,11,22,33,44)"}));
  EXPECT_EQ(context.nNextX, -1);
}

TEST_F(PageTextTest, GlyphThirtyTwoOfAnyOtherCharacterStops) {
  // Neighbours of the three exempt codes are not exempt.
  for (char16_t c : {u'!', u'<', u'>', u'\u3001', u'\u2FFF', u'\x1F'}) {
    SCOPED_TRACE(static_cast<int>(c));
    std::u16string run = u"A";
    run += c;
    SetText(run);
    text.nOffsetToText = 0;
    context.anGlyphIndex[1] = kUnmappedGlyph;
    engine.glyphBoxes[kUnmappedGlyph] = {10, 0, 10};

    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(text.nOffsetToText, 1);
  }
}

// ---------------------------------------------------------------------------------------------
// Where the advances come from.

TEST_F(PageTextTest, FileModeGivesEveryCharacterTheCharacterSize) {
  struct {
    int32_t fontHeight;
    uint32_t width;
  } const cases[] = {{120, 100}, {105, 83}, {9, 0}, {-5, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fontHeight);
    x = 300;
    y = 400;
    text.FontHeight = c.fontHeight;
    SetText(u"A\u4E00 \u3000");
    const long before = std::ftell(out);

    EXPECT_EQ(Run(true), 0);

    const std::string w = std::to_string(c.width);
    const Bytes bytes = Output();
    EXPECT_EQ(Decode(Bytes(bytes.begin() + before, bytes.end())),
              (Records{kClip, "Cursor(300,400)",
                       "Text(\"A\\u4E00 \\u3000\";" + w + "," + w + "," + w + "," + w + ")"}));
  }
  EXPECT_EQ(engine.charWidthCalls + engine.glyphCalls, 0);
}

TEST_F(PageTextTest, FileModeUsesTheRunsResolutionNotTheEntrys) {
  context.nResolution = 300;
  Entry().nResolution = 1200;
  SetText(u"A");

  EXPECT_EQ(Run(true), 0);

  EXPECT_EQ(Written(), (Records{kClip, "Cursor(0,0)", "Text(\"A\";50)"}));
}

TEST_F(PageTextTest, FontEngineWidthsFollowTheCharacterCode) {
  // Codes up to 0xFF and U+3000 by character width; all others by the glyph's advance, not by
  // its ink (black box and origin); a negative advance is none.
  engine.charWidths = {{0x41, 31}, {0xFF, 32}, {0x3000, 33}};
  engine.glyphBoxes = {
      {101, {40, 5, 47}}, {102, {50, -10, 38}}, {103, {5, -10, 0}}, {104, {0, 0, -3}}};
  SetText(u"A\u00FF\u3000\u0100\u4E00\uFFFD\u3001");
  context.anGlyphIndex[3] = 101;
  context.anGlyphIndex[4] = 102;
  context.anGlyphIndex[5] = 103;
  context.anGlyphIndex[6] = 104;

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(Written(),
            (Records{kClip, "Cursor(0,0)",
                     "Text(\"A\\u00FF\\u3000\\u0100\\u4E00\\uFFFD\\u3001\";31,32,33,47,38,0,0)"}));
  EXPECT_EQ(engine.charWidthCalls, 3);
  EXPECT_EQ(engine.glyphCalls, 4);
}

TEST_F(PageTextTest, FailedFontEngineQueriesGiveNoAdvance) {
  engine.charWidthFails = true;
  engine.glyphFails = true;
  SetText(u"A\u4E00B");

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(Written(), (Records{kClip, "Cursor(0,0)", "Text(\"A\\u4E00B\";0,0,0)"}));
}

TEST_F(PageTextTest, EngineWidthsAreNotScaledToTheCharacterSize) {
  text.FontHeight = 240;
  engine.charWidths = {{'A', 1234}};
  SetText(u"A");

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(Written(), (Records{kClip, "Cursor(0,0)", "Text(\"A\";1234)"}));
}

// ---------------------------------------------------------------------------------------------
// Underline bars.

struct BarCase {
  const char* name;
  int32_t position, size;
  uint32_t reportedSize;  // what the engine says the metrics block needs
  bool fillFails;
  Records bar;  // after the line
};

class UnderlineBar : public PageTextTest, public ::testing::WithParamInterface<BarCase> {};

TEST_P(UnderlineBar, FollowsTheUnderscoreMetrics) {
  const BarCase& c = GetParam();
  x = 1000;
  y = 2000;
  text.bUnderline = 1;
  engine.underscorePosition = c.position;
  engine.underscoreSize = c.size;
  engine.metricsSize = c.reportedSize;
  engine.metricsFillFails = c.fillFails;
  engine.charWidths = {{'A', 250}, {'B', 350}};
  SetText(u"AB");

  EXPECT_EQ(Run(), 0);

  Records expected = {kClip, "Cursor(1000,2000)", "Text(\"AB\";250,350)"};
  expected.insert(expected.end(), c.bar.begin(), c.bar.end());
  EXPECT_EQ(Written(), expected);
}

constexpr uint32_t kOtmSize = sizeof(pf::OUTLINETEXTMETRICA);

INSTANTIATE_TEST_SUITE_P(
    PageText, UnderlineBar,
    ::testing::Values(BarCase{"NegativePosition",
                              -150,
                              50,
                              kOtmSize,
                              false,
                              {"ROP(240)", "Pen(5,0)", "Bar(1000,2150,1600,2200)", "ROP(252)"}},
                      BarCase{"SignsOfPositionAndSizeDoNotMatter",
                              150,
                              -50,
                              kOtmSize,
                              false,
                              {"ROP(240)", "Pen(5,0)", "Bar(1000,2150,1600,2200)", "ROP(252)"}},
                      BarCase{"EngineFillsMoreThanTheMembers",
                              -20,
                              7,
                              kOtmSize + 300,
                              false,
                              {"ROP(240)", "Pen(5,0)", "Bar(1000,2020,1600,2027)", "ROP(252)"}},
                      // The block is zeroed before the engine fills its few bytes.
                      BarCase{"EngineFillsLessThanTheMembers",
                              -150,
                              50,
                              8,
                              false,
                              {"ROP(240)", "Pen(5,0)", "Bar(1000,2000,1600,2000)", "ROP(252)"}},
                      BarCase{"NoMetricsSizeMeansNoBar", -150, 50, 0, false, {}},
                      BarCase{"FailedMetricsFillMeansNoBar", -150, 50, kOtmSize, true, {}}),
    [](const ::testing::TestParamInfo<BarCase>& p) { return p.param.name; });

TEST_F(PageTextTest, EachWrappedLineGetsABarOfItsOwnWidth) {
  x = 4600;
  y = 1000;
  text.nStartX = 100;
  text.bUnderline = 1;
  engine.charWidths = {{'A', 40}, {' ', 10}, {'C', 70}};
  SetText(u"AA CCC");

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(Written(), (Records{kClip, "Cursor(4600,1000)", "Text(\"AA \";40,40,10)", "ROP(240)",
                                "Pen(5,0)", "Bar(4600,1150,4690,1200)", "ROP(252)",
                                "Cursor(100,1050)", "Text(\"CCC\";70,70,70)", "ROP(240)",
                                "Pen(5,0)", "Bar(100,1200,310,1250)", "ROP(252)"}));
  EXPECT_EQ(engine.metricsCalls, 4);  // size and fill, per line
}

TEST_F(PageTextTest, OnlyUnderlineOneDrawsABar) {
  text.bUnderline = 2;
  SetText(u"AB");

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(Written(), (Records{kClip, "Cursor(0,0)", "Text(\"AB\";40,40)"}));
  EXPECT_EQ(engine.metricsCalls, 0);
}

TEST_F(PageTextTest, EmptyUnderlinedLineGetsAnEmptyBar) {
  x = 4700;
  y = 1000;
  text.nStartX = 100;
  text.bUnderline = 1;
  SetText(u"A");

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(Written(),
            (Records{kClip, "Cursor(4700,1000)", "Text(\"\")", "ROP(240)", "Pen(5,0)",
                     "Bar(4700,1150,4700,1200)", "ROP(252)", "Cursor(100,1050)", "Text(\"A\";40)",
                     "ROP(240)", "Pen(5,0)", "Bar(100,1200,140,1250)", "ROP(252)"}));
}

// ---------------------------------------------------------------------------------------------
// Font selection.

TEST(CharacterSize, TruncatesThePointsThenDividesUnsigned) {
  struct {
    int32_t fontHeight;
    uint32_t resolution;
    uint32_t size;
  } const cases[] = {
      {120, 600, 100},       {105, 600, 83},  // 10 * 600 / 72 = 83.3
      {119, 600, 91},                         // 11 points, not 11.9
      {9, 600, 0},                            // under a point
      {-5, 600, 0},                           // toward zero, not down to -1
      {-120, 600, 59652223},                  // (2^32 - 7200) / 72
      {120, 300, 50},        {120, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CharacterSize(c.fontHeight, c.resolution), c.size)
        << c.fontHeight << " at " << c.resolution;
  }
}

struct SelectCase {
  const char* name;
  int32_t fontHeight;
  uint32_t resolution;
  int32_t bold, italic;
  Records records;
};

class Selection : public PageTextTest, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(Selection, SendsFourSequences) {
  const SelectCase& c = GetParam();
  text.FontHeight = c.fontHeight;
  text.bBold = c.bold;
  text.bItalic = c.italic;
  Entry().nResolution = c.resolution;
  context.nResolution = 1;  // the entry's resolution counts, not the run's

  SelectTextFont(stream.get(), Entry(), text);

  EXPECT_EQ(Written(), c.records);
}

INSTANTIATE_TEST_SUITE_P(
    PageText, Selection,
    ::testing::Values(SelectCase{"BoldItalic",
                                 120,
                                 600,
                                 1,
                                 1,
                                 {"SetFont(OT:7:Arial:n;42C80000;1)", "Bold(3C23D70A)",
                                  "Shear(3E221965,00000000)", "Angle(0)"}},
                      SelectCase{"BoldOnly",
                                 120,
                                 600,
                                 1,
                                 0,
                                 {"SetFont(OT:7:Arial:n;42C80000;1)", "Bold(3C23D70A)",
                                  "Shear(00000000,00000000)", "Angle(0)"}},
                      SelectCase{"ItalicOnly",
                                 105,
                                 600,
                                 0,
                                 1,
                                 {"SetFont(OT:7:Arial:n;42A60000;1)", "Bold(00000000)",
                                  "Shear(3E221965,00000000)", "Angle(0)"}},
                      SelectCase{"TwoIsNeitherBoldNorItalic",
                                 105,
                                 600,
                                 2,
                                 2,
                                 {"SetFont(OT:7:Arial:n;42A60000;1)", "Bold(00000000)",
                                  "Shear(00000000,00000000)", "Angle(0)"}},
                      SelectCase{"MinusOneIsNeitherBoldNorItalic",
                                 120,
                                 600,
                                 -1,
                                 -1,
                                 {"SetFont(OT:7:Arial:n;42C80000;1)", "Bold(00000000)",
                                  "Shear(00000000,00000000)", "Angle(0)"}},
                      SelectCase{"UnderAPointIsSizeZero",
                                 9,
                                 600,
                                 0,
                                 0,
                                 {"SetFont(OT:7:Arial:n;00000000;1)", "Bold(00000000)",
                                  "Shear(00000000,00000000)", "Angle(0)"}},
                      SelectCase{"EntryResolution",
                                 120,
                                 300,
                                 0,
                                 0,
                                 {"SetFont(OT:7:Arial:n;42480000;1)", "Bold(00000000)",
                                  "Shear(00000000,00000000)", "Angle(0)"}}),
    [](const ::testing::TestParamInfo<SelectCase>& p) { return p.param.name; });

TEST_F(PageTextTest, ItalicRunInAFaceThatAlreadyLeansGetsNoShear) {
  text.bItalic = 1;
  Entry().bSlanted = true;

  SelectTextFont(stream.get(), Entry(), text);

  EXPECT_EQ(Written(), (Records{"SetFont(OT:7:Arial:n;42C80000;1)", "Bold(00000000)",
                                "Shear(00000000,00000000)", "Angle(0)"}));
}

TEST_F(PageTextTest, BoldItalicSelectionBytes) {
  text.FontHeight = 120;
  text.bBold = 1;
  text.bItalic = 1;

  SelectTextFont(stream.get(), Entry(), text);

  Bytes expected = {0xC8, 0xC1, 0x0C, 0x00};
  expected.insert(expected.end(), kName.begin(), kName.end());
  const Bytes rest = {0xF8, 0xA8, 0xC5, 0x00, 0x00, 0xC8, 0x42, 0xF8, 0xA6,
                      0xC1, 0x01, 0x00, 0xF8, 0xAA, 0x6F,                    // SetFont
                      0xC5, 0x0A, 0xD7, 0x23, 0x3C, 0xF8, 0xB1, 0x7D,        // bold
                      0xD5, 0x65, 0x19, 0x22, 0x3E, 0x00, 0x00, 0x00, 0x00,  // shear
                      0xF8, 0xA5, 0x66,                                      //
                      0xC3, 0x00, 0x00, 0xF8, 0xA1, 0x64};                   // angle
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(Output(), expected);
}

TEST_F(PageTextTest, SelectionSendsTheWholeNameWithoutItsTerminator) {
  // A name filling the field has no terminator; the field's end bounds it.
  std::memset(Entry().chPCLFontName, 'N', sizeof Entry().chPCLFontName);

  SelectTextFont(stream.get(), Entry(), text);

  const Records records = Decode(Output());
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0], "SetFont(" + std::string(256, 'N') + ";42C80000;1)");
}

TEST_F(PageTextTest, MarkedFontIsSelectedOnceBeforeTheClipBoxAndUnmarked) {
  ASSERT_TRUE(AppendFontEntry(list));
  list.pLastEntry->nFontId = 8;
  list.pLastEntry->bReselect = 1;
  Entry().bReselect = 1;
  text.bPageFull = 1;
  text.bBold = 1;
  x = 300;
  y = 400;
  SetText(u"A");

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(Written(), (Records{"SetFont(OT:7:Arial:n;42C80000;1)", "Bold(3C23D70A)",
                                "Shear(00000000,00000000)", "Angle(0)", kClip, "Cursor(300,400)",
                                "Text(\"A\";40)"}));
  EXPECT_EQ(Entry().bReselect, 0);
  EXPECT_EQ(text.bPageFull, 0);
  EXPECT_EQ(list.pLastEntry->bReselect, 1) << "another font keeps its mark";

  // The next run in the same font is not selected again.
  SetText(u"B");
  EXPECT_EQ(Run(), 0);
  const Records records = Written();
  EXPECT_EQ(std::count(records.begin(), records.end(), "Angle(0)"), 1);
}

TEST_F(PageTextTest, OnlyAMarkOfOneSelectsTheFontAgain) {
  for (int32_t mark : {0, 2, -1}) {
    SCOPED_TRACE(mark);
    Entry().bReselect = mark;
    text.bPageFull = 1;
    SetText(u"A");
    const long before = std::ftell(out);

    EXPECT_EQ(Run(), 0);

    const Bytes bytes = Output();
    EXPECT_EQ(Decode(Bytes(bytes.begin() + before, bytes.end())),
              (Records{kClip, "Cursor(0,0)", "Text(\"A\";40)"}));
    EXPECT_EQ(Entry().bReselect, mark);
    EXPECT_EQ(text.bPageFull, 1);
  }
}

TEST_F(PageTextTest, RunInAFontNotInTheListSelectsNothing) {
  Entry().bReselect = 1;
  context.nFontId = 99;
  SetText(u"A");

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(Written(), (Records{kClip, "Cursor(0,0)", "Text(\"A\";40)"}));
  EXPECT_EQ(Entry().bReselect, 1);
}

TEST_F(PageTextTest, PageFullThenNextRunSelectsAgainAndGoesOn) {
  x = 300;
  y = 6800;
  SetText(u"AB");
  ASSERT_EQ(Run(), 2);
  ASSERT_EQ(Entry().bReselect, 1);

  // The driver starts a new page, sets the cursor and calls again with what is left.
  y = 100;
  ASSERT_EQ(Run(), 0);

  EXPECT_EQ(Written(), (Records{kClip, "SetFont(OT:7:Arial:n;42C80000;1)", "Bold(00000000)",
                                "Shear(00000000,00000000)", "Angle(0)", kClip, "Cursor(300,100)",
                                "Text(\"AB\";40,40)"}));
  EXPECT_EQ(text.bPageFull, 0);
  EXPECT_EQ(Entry().bReselect, 0);
}

TEST(MarkFontsForReselect, MarksEveryEntryOfTheList) {
  FONTLIST empty;
  MarkFontsForReselect(empty);
  EXPECT_EQ(empty.nFonts, 0u);
  EXPECT_EQ(empty.pFirstEntry, nullptr);

  FONTLIST list;
  for (uint32_t id = 1; id <= 3; ++id) {
    ASSERT_TRUE(AppendFontEntry(list));
    list.pLastEntry->nFontId = id;
  }
  list.pFirstEntry->pNext->bReselect = 1;
  MarkFontsForReselect(list);
  int marked = 0;
  for (const FONTENTRY* e = list.pFirstEntry.get(); e; e = e->pNext.get()) marked += e->bReselect;
  EXPECT_EQ(marked, 3);
}

}  // namespace
}  // namespace tavrfndl
