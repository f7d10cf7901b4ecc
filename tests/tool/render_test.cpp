// `fndl render` on small synthetic jobs whose geometry is known exactly: a soft font of square
// glyphs, text at a known cursor with known advances, a painted bar and a clip rectangle. The
// preview must put ink where the stream says and nowhere else.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "page_render.h"
#include "pclxl/format.h"
#include "png_io.h"
#include "support/fontbuilder.h"
#include "tool_harness.h"

namespace fndl::test {
namespace {

namespace fb = tavrfndl::test;
using Bytes = std::vector<uint8_t>;

// Units per em 1000; glyph 1 is a square of 500 from the origin, glyph 2 a malformed outline
// (one contour whose end point lies far past its data).
std::vector<std::pair<std::string, Bytes>> BoxFontTables() {
  return {{"head", fb::BuildHead(0, 1000)},
          {"hhea", fb::BuildHhea(3, 800, -200)},
          {"hmtx", fb::BuildHmtx({{600, 0}, {600, 0}, {600, 0}})},
          {"maxp", fb::BuildMaxp(3)}};
}

Bytes Square() {
  return fb::SimpleGlyph({{{0, 0}, {500, 0}, {500, 500}, {0, 500}}});
}

void DefineFont(XlBuilder& b, const std::string& name, const Bytes& header) {
  b.Name(name).UByte(0, Attribute::FontFormat).Op(Operator::BeginFontHeader);
  b.UInt16(static_cast<uint16_t>(header.size()), Attribute::FontHeaderLength)
      .Op(Operator::ReadFontHeader)
      .Data(header);
  b.Op(Operator::EndFontHeader);
}

void SendChar(XlBuilder& b, uint16_t code, uint16_t glyph, const Bytes& data) {
  Bytes record = CharRecord(glyph, data);
  b.UInt16(code, Attribute::CharCode)
      .UInt32(static_cast<uint32_t>(record.size()), Attribute::CharDataSize)
      .Op(Operator::ReadChar)
      .Data(record);
}

// SetFont with the character size and symbol set 1.
void SelectFont(XlBuilder& b, const std::string& name, float size) {
  b.Name(name)
      .Real32(size, Attribute::CharSize)
      .UInt16(1, Attribute::SymbolSet)
      .Op(Operator::SetFont);
}

void OpenJob(XlBuilder& b) {
  b.UInt16XY(600, 600, Attribute::UnitsPerMeasure)
      .UByte(0, Attribute::Measure)
      .Op(Operator::BeginSession);
  b.UByte(0, Attribute::SourceType).UByte(1, Attribute::DataOrg).Op(Operator::OpenDataSource);
}

void OpenPage(XlBuilder& b) {
  b.UByte(0, Attribute::Orientation).UByte(2, Attribute::MediaSize).Op(Operator::BeginPage);
  b.UByte(1, Attribute::ColorSpace).Op(Operator::SetColorSpace);
  b.UByte(0, Attribute::GrayLevel).Op(Operator::SetBrushSource);
}

void CloseJob(XlBuilder& b) {
  b.Op(Operator::CloseDataSource).Op(Operator::EndSession);
}

// A job's first page with the font BOX defined and its square glyph for 'A' sent.
void StartBoxJob(XlBuilder& b) {
  OpenJob(b);
  OpenPage(b);
  DefineFont(b, "BOX", SoftFontHeader(3, BoxFontTables()));
  b.Name("BOX").Op(Operator::BeginChar);
  SendChar(b, 'A', 1, Square());
  b.Op(Operator::EndChar);
}

// "AAA" at (1000, 2000) with advances 300, 500, 200 in a 200-unit font: squares of 100 units
// whose left edges are at x 1000, 1300 and 1800, from y 1900 down to the baseline at 2000; a bar
// (1000, 2050)-(2000, 2060); everything clipped at x 1850.
Bytes BoxJob(bool secondPage) {
  XlBuilder b;
  StartBoxJob(b);
  SelectFont(b, "BOX", 200);
  b.UByte(0, Attribute::ClipRegion)
      .SInt16Box(0, 0, 1850, 6400, Attribute::BoundingBox)
      .Op(Operator::SetClipRectangle);
  b.SInt16XY(1000, 2000, Attribute::Point).Op(Operator::SetCursor);
  b.UInt16Array({'A', 'A', 'A'}, Attribute::TextData)
      .UInt16Array({300, 500, 200}, Attribute::XSpacingData)
      .Op(Operator::Text);
  b.UByte(0, Attribute::NullPen).Op(Operator::SetPenSource);
  b.Op(Operator::NewPath)
      .SInt16Box(1000, 2050, 2000, 2060, Attribute::BoundingBox)
      .Op(Operator::RectanglePath)
      .Op(Operator::PaintPath);
  b.Op(Operator::EndPage);
  if (secondPage) {
    OpenPage(b);
    SelectFont(b, "BOX", 200);
    b.SInt16XY(3000, 4000, Attribute::Point).Op(Operator::SetCursor);
    b.UInt16Array({'A'}, Attribute::TextData)
        .UInt16Array({300}, Attribute::XSpacingData)
        .Op(Operator::Text);
    b.Op(Operator::EndPage);
  }
  CloseJob(b);
  return b.Job();
}

bool Ink(const GrayImage& image, uint32_t x, uint32_t y) {
  return image.At(x, y) < 64;
}
bool Paper(const GrayImage& image, uint32_t x, uint32_t y) {
  return image.At(x, y) > 192;
}

GrayImage ReadPng(const std::string& path) {
  GrayImage image;
  std::string error;
  EXPECT_TRUE(ReadGrayPng(path, image, error)) << error;
  return image;
}

TEST(FndlRender, InkLiesWhereTheCursorAndTheAdvancesPutIt) {
  ScratchDir dir;
  WriteBytes(dir.Path("box.pxl"), BoxJob(false));
  ToolRun run =
      RunFndl({"render", dir.Path("box.pxl"), "-o", dir.Path("page.png"), "--dpi", "300"});
  ASSERT_TRUE(run.exited);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out.find("not drawn"), std::string::npos) << run.out;
  GrayImage page = ReadPng(dir.Path("page.png"));
  ASSERT_EQ(page.width, 2480u);  // A4 at 300 dpi
  ASSERT_EQ(page.height, 3508u);
  // At 300 dpi a pixel is two units: squares at x 500-550, 650-700 and 900-950 (cut at 925),
  // y 950-1000; the bar at x 500-1000 (cut at 925), y 1025-1030.
  const uint32_t row = 975;
  for (uint32_t x : {503u, 525u, 547u, 653u, 697u, 903u, 922u}) EXPECT_TRUE(Ink(page, x, row)) << x;
  for (uint32_t x : {496u, 553u, 600u, 646u, 703u, 800u, 896u, 928u, 948u}) {
    EXPECT_TRUE(Paper(page, x, row)) << x;
  }
  for (uint32_t y : {953u, 997u}) EXPECT_TRUE(Ink(page, 525, y)) << y;
  for (uint32_t y : {946u, 1003u, 1020u}) EXPECT_TRUE(Paper(page, 525, y)) << y;
  for (uint32_t x : {502u, 750u, 922u}) EXPECT_TRUE(Ink(page, x, 1027)) << x;
  for (uint32_t x : {497u, 928u, 990u}) EXPECT_TRUE(Paper(page, x, 1027)) << x;
  EXPECT_TRUE(Paper(page, 750, 1033));
  // Nothing anywhere else: count the ink outside the boxes and the bar.
  size_t stray = 0;
  for (uint32_t y = 0; y < page.height; ++y) {
    for (uint32_t x = 0; x < page.width; ++x) {
      bool expected = (y >= 948 && y < 1002 && x >= 498 && x < 952) ||
                      (y >= 1023 && y < 1032 && x >= 498 && x < 1002);
      if (!expected && page.At(x, y) < 250) ++stray;
    }
  }
  EXPECT_EQ(stray, 0u);
}

TEST(FndlRender, SeveralPagesBecomeNumberedFiles) {
  ScratchDir dir;
  WriteBytes(dir.Path("box.pxl"), BoxJob(true));
  ToolRun run = RunFndl({"render", dir.Path("box.pxl"), "-o", dir.Path("out.png"), "--dpi", "100"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_FALSE(Exists(dir.Path("out.png")));
  GrayImage first = ReadPng(dir.Path("out-1.png"));
  GrayImage second = ReadPng(dir.Path("out-2.png"));
  ASSERT_EQ(second.width, 827u);
  // Page 2 has its square at x 3000-3100, y 3900-4000 units: pixels 500-516, 650-666.
  EXPECT_TRUE(Ink(second, 508, 658));
  EXPECT_TRUE(Paper(first, 508, 658));
  EXPECT_TRUE(Paper(second, 175, 325));
  EXPECT_NE(run.out.find("page 2: " + dir.Path("out-2.png")), std::string::npos) << run.out;
}

// An A4 page at 100 dpi is 827 x 1169 pixels. A page limit one pixel below that leaves both pages
// of the job undrawn and reported; at the limit itself they are drawn.
TEST(FndlRender, PagesOverThePixelLimitAreReportedNotDrawn) {
  const Bytes job = BoxJob(true);
  constexpr uint64_t kA4Pixels = 827 * 1169;
  for (uint64_t limit : {kA4Pixels - 1, kA4Pixels}) {
    SCOPED_TRACE(limit);
    std::vector<size_t> drawn;
    RenderReport report;
    const bool ok = RenderStream(
        job.data(), job.size(), 100,
        [&](const RenderedPage& page) {
          drawn.push_back(page.image.pixels.size());
          return true;
        },
        report, limit);
    EXPECT_TRUE(ok) << report.error;
    EXPECT_EQ(report.pages, 2u);
    if (limit < kA4Pixels) {
      EXPECT_TRUE(drawn.empty());
      ASSERT_EQ(report.problems.size(), 2u);
      EXPECT_EQ(report.problems[1], "page 2 is too large to preview at this resolution");
    } else {
      EXPECT_EQ(drawn, (std::vector<size_t>{kA4Pixels, kA4Pixels}));
      EXPECT_TRUE(report.problems.empty());
    }
  }
}

TEST(FndlRender, WhatIsNotDrawnIsCountedAndFontsFreeTypeRefusesAreReported) {
  XlBuilder b;
  OpenJob(b);
  OpenPage(b);
  DefineFont(b, "BOX", SoftFontHeader(3, BoxFontTables()));
  b.Name("BOX").Op(Operator::BeginChar);
  SendChar(b, 'A', 1, Square());
  // A contour whose last point is number 999 in a glyph with two points of data.
  SendChar(b, 'C', 2, {0x00, 0x01, 0, 0, 0, 0, 0, 10, 0, 10, 0x03, 0xE7, 0x00, 0x00, 0x01, 0x01});
  b.Op(Operator::EndChar);
  auto headTables = BoxFontTables();
  headTables[0].second.assign(54, 0);  // a "head" of zeros: no units per em
  DefineFont(b, "BAD", SoftFontHeader(3, headTables));
  b.Name("BAD").Op(Operator::BeginChar);
  SendChar(b, 'A', 1, Square());
  b.Op(Operator::EndChar);
  SelectFont(b, "BOX", 200);
  b.SInt16XY(1000, 2000, Attribute::Point).Op(Operator::SetCursor);
  b.UInt16Array({'A', 'B', 'C'}, Attribute::TextData).Op(Operator::Text);
  SelectFont(b, "BAD", 200);
  b.UInt16Array({'A'}, Attribute::TextData).Op(Operator::Text);
  b.Op(Operator::ArcPath);
  b.Op(Operator::ArcPath);
  b.Op(Operator::EndPage);
  CloseJob(b);
  ScratchDir dir;
  WriteBytes(dir.Path("mixed.pxl"), b.Job());
  ToolRun run = RunFndl({"render", dir.Path("mixed.pxl"), "-o", dir.Path("p.png")});
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("not drawn: ArcPath (2)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("not drawn: character U+0042 'B' without a downloaded glyph (1)"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.err.find("\"BOX\": FreeType refuses the character record of glyph 2"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("\"BAD\": FreeType refuses the font"), std::string::npos) << run.err;
  EXPECT_TRUE(Exists(dir.Path("p.png")));
}

TEST(FndlRender, CompositeGlyphsWithoutTheirPartsAreReported) {
  fb::Component part;
  part.glyphIndex = 1;
  XlBuilder b;
  OpenJob(b);
  OpenPage(b);
  DefineFont(b, "BOX", SoftFontHeader(3, BoxFontTables()));
  b.Name("BOX").Op(Operator::BeginChar);
  SendChar(b, 'D', 2, fb::CompositeGlyph({part}, {}, 0, 0, 500, 500));
  b.Op(Operator::EndChar);
  SelectFont(b, "BOX", 200);
  b.SInt16XY(1000, 2000, Attribute::Point).Op(Operator::SetCursor);
  b.UInt16Array({'D'}, Attribute::TextData).Op(Operator::Text);
  b.Op(Operator::EndPage);
  CloseJob(b);
  ScratchDir dir;
  WriteBytes(dir.Path("c.pxl"), b.Job());
  ToolRun run = RunFndl({"render", dir.Path("c.pxl"), "-o", dir.Path("p.png")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("U+0044 'D' (glyph 2) needs glyph 1, never downloaded"), std::string::npos)
      << run.err;
}

// The ink of a row of the page: its first and last dark pixels' distance.
uint32_t InkWidth(const GrayImage& image, uint32_t y) {
  uint32_t first = image.width, last = 0;
  for (uint32_t x = 0; x < image.width; ++x) {
    if (Ink(image, x, y)) {
      first = std::min(first, x);
      last = x + 1;
    }
  }
  return last > first ? last - first : 0;
}

// Squares half an em wide at an em of 2000 pixels (4000 units at 300 dpi), regular above and
// with the bold value 0.01 below: the bold stem is 1 % of the em (20 pixels) wider on each side.
TEST(FndlRender, BoldGrowsEachSideByTheBoldValueOfTheEm) {
  XlBuilder b;
  StartBoxJob(b);
  SelectFont(b, "BOX", 4000);
  b.SInt16XY(400, 2600, Attribute::Point).Op(Operator::SetCursor);
  b.UInt16Array({'A'}, Attribute::TextData).Op(Operator::Text);
  b.Real32(0.01f, Attribute::CharBoldValue).Op(Operator::SetCharBoldValue);
  b.SInt16XY(400, 5600, Attribute::Point).Op(Operator::SetCursor);
  b.UInt16Array({'A'}, Attribute::TextData).Op(Operator::Text);
  b.Op(Operator::EndPage);
  CloseJob(b);
  const Bytes job = b.Job();
  GrayImage page;
  RenderReport report;
  ASSERT_TRUE(RenderStream(
      job.data(), job.size(), 300,
      [&](const RenderedPage& p) {
        page = p.image;
        return true;
      },
      report))
      << report.error;
  const double regular = InkWidth(page, 800), bold = InkWidth(page, 2300);
  EXPECT_NEAR(regular, 1000, 2);
  EXPECT_NEAR((bold - regular) / 2, 20, 2);
}

TEST(FndlRender, UsageMistakesAreRefused) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"render", "x.pxl"}, "fndl render: --output is required"},
      {{"render", "x.pxl", "-o", "p.png", "--dpi", "5"}, "--dpi: Value 5 not in range 10"},
      {{"render", "x.pxl", "-o", "p.png", "--dpi", "abc"}, "--dpi: Value abc not in range"},
      {{"render", "-o", "p.png"}, "FILE is required"},
      {{"render", "x.pxl", "-o", "x.jpg"}, "must be a NAME.png file, not x.jpg"},
      {{"render", "x.pxl", "-o", "p.png", "--pages", "3-1"}, "not a page range: 3-1"},
      {{"dump"}, "fndl dump: FILE is required"},
      {{"frobnicate"}, "unknown command"},
  };
  for (const Case& c : cases) {
    ToolRun run = RunFndl(c.args);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace fndl::test
