// The font header and the character records, on synthetic fonts made for each quirk and on a
// real font, from both sources (the font engine and a mapped file).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "entry/download.h"
#include "pclxl/xlstream.h"
#include "softfont/softfont.h"
#include "support/driver.h"
#include "support/fontbuilder.h"
#include "support/fontfile.h"
#include "support/xl_ops.h"

namespace tavrfndl {
namespace {

using testing::Attribute;
using testing::Operator;
using testing::ReadOps;
using testing::WireOp;
using Bytes = std::vector<uint8_t>;
namespace fb = test;

fb::CmapSegment Seg(uint16_t start, uint16_t end, uint16_t delta) {
  fb::CmapSegment s;
  s.start = start;
  s.end = end;
  s.idDelta = delta;
  return s;
}

void CollectFlush(XlStream* s, uint32_t, const uint8_t* data, uint32_t n) {
  auto* out = static_cast<Bytes*>(s->pClientData);
  out->insert(out->end(), data, data + n);
  s->nBufferUsed = 0;
}

// A writer whose output collects in a vector.
struct Capture {
  Bytes bytes;
  XlStreamPtr writer{XlStreamCreate(4096, CollectFlush, 0)};
  Capture() { writer->pClientData = &bytes; }
  std::vector<WireOp> Ops() {
    std::string error;
    auto ops = ReadOps(bytes, &error);
    EXPECT_EQ(error, "");
    return ops;
  }
};

// The font header as the printer reassembles it: the data of every ReadFontHeader in order,
// each checked against its announced length.
Bytes HeaderOf(const std::vector<WireOp>& ops, std::vector<size_t>* pieces = nullptr) {
  Bytes header;
  for (const WireOp& o : ops) {
    if (o.tag != Operator::ReadFontHeader) continue;
    EXPECT_EQ(double(o.data.size()), o.Number(Attribute::FontHeaderLength));
    if (pieces) pieces->push_back(o.data.size());
    header.insert(header.end(), o.data.begin(), o.data.end());
  }
  return header;
}

// Sends the header of a font given as bytes, from the file (bTTE) or through the engine.
struct HeaderRun {
  Capture capture;
  FONTENTRY entry;
  bool sent = false;
  int32_t fileError = 0;

  HeaderRun(const Bytes& font, bool fromFile, uint32_t glyphs = 3) {
    fb::TempFile file(font);
    fb::FontDataEngine engine(font);
    fb::ScopedFontEngine installed(engine);
    entry.nGlyphs = glyphs;
    entry.nFontId = 0x2A;
    std::strcpy(entry.chFont, "Synthetic");
    FontSource source;
    source.bTTE = fromFile;
    source.hDC = engine.dc();
    source.path = file.c_str();
    source.pbFontFileError = &fileError;
    // The framing of any set of tables, valid font or not.
    WholeFont whole;
    sent = LoadWholeFont(source, whole) &&
           SendFontHeader(entry, capture.writer.get(), whole.view, fromFile ? nullptr : source.hDC);
  }
};

fb::FontBuilder SevenTableFont() {
  fb::GlyfBuilder glyphs(fb::LocaFormat::kShort);
  glyphs.AddEmpty();
  glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {100, 0}, {0, 100}}}));
  fb::CmapBuilder cmap;
  cmap.AddFormat4(3, 1, {Seg(0x41, 0x41, uint16_t(1 - 0x41)), fb::CmapSegment::Final()});
  return fb::BasicFont(glyphs, cmap);
}

TEST(FontHeader, FixedPiecesNullSegmentAndEndForAFontOf0x0123Glyphs) {
  HeaderRun run(SevenTableFont().Build(), true, 0x0123);
  ASSERT_TRUE(run.sent);
  const Bytes& b = run.capture.bytes;
  const std::string name = "OT:2a:Synthetic:n";
  Bytes begin = {0xC8, 0xC1, uint8_t(name.size()), 0};
  begin.insert(begin.end(), name.begin(), name.end());
  begin.insert(begin.end(), {0xF8, 0xA8, 0xC0, 0x00, 0xF8, 0xA9, 0x4F});
  const Bytes fixed = {0xC1, 0x08, 0x00, 0xF8, 0xA7, 0x50, 0xFA, 0x08, 0x00, 0x00,
                       0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x01, 0x23};
  const Bytes tail = {0xC1, 0x06, 0x00, 0xF8, 0xA7, 0x50, 0xFA, 0x06, 0x00,
                      0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x51};
  ASSERT_GT(b.size(), begin.size() + fixed.size() + tail.size());
  EXPECT_EQ(Bytes(b.begin(), b.begin() + static_cast<long>(begin.size())), begin);
  EXPECT_EQ(Bytes(b.begin() + static_cast<long>(begin.size()),
                  b.begin() + static_cast<long>(begin.size() + fixed.size())),
            fixed);
  EXPECT_EQ(Bytes(b.end() - static_cast<long>(tail.size()), b.end()), tail);
}

TEST(FontHeader, AllSevenHeaderTablesMakeA140ByteDirectoryWithTheirBytesBehindIt) {
  const Bytes font = SevenTableFont().Build();
  for (bool fromFile : {true, false}) {
    HeaderRun run(font, fromFile);
    std::vector<size_t> pieces;
    Bytes header = HeaderOf(run.capture.Ops(), &pieces);
    ASSERT_GE(pieces.size(), 3u);
    EXPECT_EQ(pieces[2], 140u);
    const Bytes gt(header.begin() + 14, header.end() - 6);
    EXPECT_EQ(testing::BeU16(gt, 4), 8u);  // numTables: gdir and the seven
    EXPECT_EQ(testing::BeU32(header, 10), gt.size());
    // Each record's bytes lie at its newOffset and equal the source table's bytes.
    for (size_t r = 0; r < 7; ++r) {
      const size_t rec = 28 + 16 * r;
      const std::string tag(gt.begin() + static_cast<long>(rec),
                            gt.begin() + static_cast<long>(rec + 4));
      const uint32_t offset = testing::BeU32(gt, rec + 8);
      const uint32_t length = testing::BeU32(gt, rec + 12);
      const std::vector<uint8_t> source = SevenTableFont().Find(tag)->data;
      ASSERT_LE(offset + length, gt.size()) << tag;
      EXPECT_EQ(Bytes(gt.begin() + offset, gt.begin() + offset + length), source)
          << tag << (fromFile ? " from the file" : " from the engine");
    }
  }
}

TEST(FontHeader, FontWithoutHeaderTablesHasOnlyTheGdirRecordIn48Bytes) {
  fb::FontBuilder font;
  font.AddTable("glyf", Bytes(8, 1));
  font.AddTable("name", Bytes(20, 2));
  HeaderRun run(font.Build(), true);
  Bytes header = HeaderOf(run.capture.Ops());
  ASSERT_EQ(header.size(), 48u);
  EXPECT_EQ(testing::BeU32(header, 10), 28u);
  EXPECT_EQ(testing::BeU16(header, 14 + 4), 1u);
  EXPECT_EQ(Bytes(header.begin() + 26, header.begin() + 42),
            (Bytes{'g', 'd', 'i', 'r', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(FontHeader, LongTablesGoOutIn32768BytePiecesAndAFinalRest) {
  struct Case {
    size_t length;
    std::vector<size_t> pieces;
  };
  const Case cases[] = {
      {65536, {32768, 32768, 0}},
      {70000, {32768, 32768, 4464}},
      {65535, {65535}},
  };
  for (const Case& c : cases) {
    fb::FontBuilder font;
    Bytes table(c.length);
    for (size_t i = 0; i < table.size(); ++i) table[i] = uint8_t(i * 7);
    font.AddTable("fpgm", table);
    font.SetPadEnd(false);
    HeaderRun run(font.Build(), true);
    std::vector<size_t> pieces;
    Bytes header = HeaderOf(run.capture.Ops(), &pieces);
    // Fixed, GT, directory, the table's pieces, null segment.
    ASSERT_EQ(pieces.size(), 4 + c.pieces.size()) << c.length;
    EXPECT_EQ(std::vector<size_t>(pieces.begin() + 3, pieces.end() - 1), c.pieces) << c.length;
    EXPECT_EQ(Bytes(header.begin() + 14 + 44, header.end() - 6), table) << c.length;
  }
}

TEST(FontHeader, TablesAtOneOffsetKeepDirectoryOrderAndTheFirstSendsNothing) {
  fb::FontBuilder font;
  font.AddTable("prep", Bytes(12, 0xAA));
  fb::TableSpec& fpgm = font.AddTable("fpgm", Bytes(12, 0xAA));
  const uint32_t shared = font.OffsetOf(0);  // after the second record made the directory longer
  fpgm.offset = shared;
  HeaderRun run(font.Build(), true);
  std::vector<size_t> pieces;
  Bytes header = HeaderOf(run.capture.Ops(), &pieces);
  EXPECT_EQ(pieces, (std::vector<size_t>{8, 6, 60, 0, 12, 6}));
  EXPECT_EQ(std::string(header.begin() + 14 + 28, header.begin() + 14 + 32), "prep");
  EXPECT_EQ(std::string(header.begin() + 14 + 44, header.begin() + 14 + 48), "fpgm");
}

TEST(FontHeader, RecordsFollowFileOrderNotDirectoryOrder) {
  fb::FontBuilder font;
  font.AddTable("head", fb::BuildHead(0));
  font.AddTable("cvt ", Bytes(6, 3));
  font.SetFileOrder({1, 0});
  HeaderRun run(font.Build(), true);
  Bytes header = HeaderOf(run.capture.Ops());
  EXPECT_EQ(std::string(header.begin() + 14 + 28, header.begin() + 14 + 32), "cvt ");
  EXPECT_EQ(std::string(header.begin() + 14 + 44, header.begin() + 14 + 48), "head");
}

TEST(FontHeader, EngineTableIsPaddedWithZerosToItsSendLength) {
  fb::FontBuilder font;
  Bytes cvt(0x2A6, 0x11);
  font.AddTable("cvt ", cvt);
  font.AddTable("prep", Bytes(4, 0x22));
  HeaderRun run(font.Build(), false);
  std::vector<size_t> pieces;
  Bytes header = HeaderOf(run.capture.Ops(), &pieces);
  ASSERT_EQ(pieces.size(), 6u);
  EXPECT_EQ(pieces[3], 0x2A8u);
  EXPECT_EQ(testing::BeU32(header, 14 + 28 + 12), 0x2A6u);  // the record keeps the table's length
  const size_t data = 14 + 60;
  EXPECT_EQ(Bytes(header.begin() + data, header.begin() + data + 0x2A6), cvt);
  EXPECT_EQ(header[data + 0x2A6], 0);
  EXPECT_EQ(header[data + 0x2A7], 0);
}

TEST(FontHeader, EngineTableThatCannotBeFetchedStillSendsItsLengthInZeros) {
  fb::FontBuilder builder;
  builder.AddTable("fpgm", Bytes(16, 0x33));
  builder.AddTable("prep", Bytes(8, 0x44));
  const Bytes font = builder.Build();
  fb::FontDataEngine engine(font);
  engine.FailSizeQuery(TableIdentifier("fpgm"));
  fb::ScopedFontEngine installed(engine);
  Capture capture;
  FONTENTRY entry;
  FontSource source;
  source.hDC = engine.dc();
  WholeFont whole;
  ASSERT_TRUE(LoadWholeFont(source, whole));
  ASSERT_TRUE(SendFontHeader(entry, capture.writer.get(), whole.view, source.hDC));
  Bytes header = HeaderOf(capture.Ops());
  EXPECT_EQ(testing::BeU32(header, 10), 28u + 32 + 16 + 8);
  EXPECT_EQ(Bytes(header.begin() + 14 + 60, header.begin() + 14 + 76), Bytes(16, 0));
  EXPECT_EQ(Bytes(header.begin() + 14 + 76, header.begin() + 14 + 84), Bytes(8, 0x44));
}

TEST(FontHeader, UnopenableFontFileSendsNoByteAndSetsTheFileError) {
  Capture capture;
  FONTENTRY entry;
  int32_t fileError = 0;
  FontSource source;
  source.bTTE = true;
  source.path = "/nonexistent/font.ttf";
  source.pbFontFileError = &fileError;
  EXPECT_FALSE(DownloadFontHeader(entry, capture.writer.get(), source));
  EXPECT_TRUE(capture.bytes.empty());
  EXPECT_EQ(fileError, 1);
}

TEST(FontName, NumberInHexThenTheFaceAndALongFaceIsShortenedTheSameEveryTime) {
  FONTENTRY entry;
  entry.nFontId = 0;
  std::strcpy(entry.chFont, "Courier New");
  BuildPCLFontName(entry);
  EXPECT_STREQ(entry.chPCLFontName, "OT:0:Courier New:n");
  entry.nFontId = 255;
  std::strcpy(entry.chFont, "Arial");
  BuildPCLFontName(entry);
  EXPECT_STREQ(entry.chPCLFontName, "OT:ff:Arial:n");

  entry.nFontId = 0xFFFFFFFF;
  std::memset(entry.chFont, 'p', 255);
  entry.chFont[255] = 0;
  BuildPCLFontName(entry);
  const std::string first = entry.chPCLFontName;
  EXPECT_EQ(first.size(), 255u);
  EXPECT_EQ(first.substr(0, 12), "OT:ffffffff:");
  EXPECT_EQ(first.substr(253), ":n");
  BuildPCLFontName(entry);
  EXPECT_EQ(first, entry.chPCLFontName);
}

// ----- Character records -----

// A font of glyphs given as bytes, code 0x41 + i mapped to glyph i + 1 (glyph 0 is empty).
struct GlyphFont {
  fb::GlyfBuilder glyphs;
  explicit GlyphFont(fb::LocaFormat format = fb::LocaFormat::kLong) : glyphs(format) {
    glyphs.AddEmpty();
  }
  Bytes Build(uint16_t mapped = 0) const {
    fb::CmapBuilder cmap;
    const uint16_t count = mapped ? mapped : uint16_t(glyphs.glyphCount() - 1);
    cmap.AddFormat4(
        3, 1,
        {Seg(0x41, uint16_t(0x41 + count - 1), uint16_t(1 - 0x41)), fb::CmapSegment::Final()});
    return fb::BasicFont(glyphs, cmap).Build();
  }
};

// One download call's worth of state for DownloadFontW.
struct Downloads {
  Bytes font;
  bool fromFile;
  fb::TempFile file{font};
  fb::FontDataEngine engine{font};
  fb::ScopedFontEngine installed{engine};
  FONTLIST list;
  int32_t fileError = 0;

  Downloads(Bytes f, bool useFile) : font(std::move(f)), fromFile(useFile) {
    list.hDC = engine.dc();
  }

  // Runs one text; returns the operators it sent.
  std::vector<WireOp> Run(const std::u16string& text, DOWNLOADCONTEXT* out = nullptr,
                          uint32_t fontId = 1) {
    Capture capture;
    DOWNLOADCONTEXT context;
    context.nFontId = fontId;
    context.nResolution = 600;
    const std::string path = fromFile ? file.path() : std::string("Synthetic");
    context.pszFont.reset(new char[path.size() + 1]);
    std::memcpy(context.pszFont.get(), path.c_str(), path.size() + 1);
    TEXTINFOW t = testing::Text(text, 120);
    EXPECT_TRUE(
        DownloadFontW(list, capture.writer.get(), t, context, fromFile, &fileError, nullptr));
    if (out) std::memcpy(out->anGlyphIndex, context.anGlyphIndex, sizeof context.anGlyphIndex);
    return capture.Ops();
  }
};

std::vector<WireOp> Chars(const std::vector<WireOp>& ops) {
  std::vector<WireOp> out;
  for (const WireOp& o : ops) {
    if (o.tag == Operator::ReadChar) out.push_back(o);
  }
  return out;
}

uint16_t CodeOf(const WireOp& readChar) {
  return uint16_t(readChar.Number(Attribute::CharCode));
}

std::string Tail(const std::vector<WireOp>& ops) {
  // The operators after the font header, if any.
  std::vector<Operator> tags = testing::Tags(ops);
  auto end = std::find(tags.begin(), tags.end(), Operator::EndFontHeader);
  return testing::Describe(
      std::vector<Operator>(end == tags.end() ? tags.begin() : end + 1, tags.end()));
}

TEST(Glyphs, ShortLocaGlyphIsSentAsA22ByteRecord) {
  GlyphFont f(fb::LocaFormat::kShort);
  // "loca" entries 0x0010 and 0x0018: the glyph at 32 up to 48, 16 bytes.
  // One contour of one point whose flags (on curve, x and y unchanged) need no coordinate
  // bytes, and a byte of padding.
  Bytes glyph = {0, 1, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0, 0, 0, 0, 0x31, 0};
  f.glyphs.AddGlyph(Bytes(32, 0));
  f.glyphs.AddGlyph(glyph);
  f.glyphs.SetRawLoca(2, 0x0010).SetRawLoca(3, 0x0018);
  for (bool fromFile : {true, false}) {
    Downloads d(f.Build(), fromFile);
    auto chars = Chars(d.Run(u"B"));
    ASSERT_EQ(chars.size(), 1u);
    Bytes expected = {0x01, 0x00, 0x00, 0x14, 0x00, 0x02};
    expected.insert(expected.end(), glyph.begin(), glyph.end());
    EXPECT_EQ(chars[0].data, expected);
    EXPECT_EQ(chars[0].bytes,
              (Bytes{0xC1, 0x42, 0x00, 0xF8, 0xA2, 0xC2, 22, 0, 0, 0, 0xF8, 0xA3, 0x53}));
  }
}

TEST(Glyphs, BlankGoesOutOnceAsSixBytesAndCountsAsSent) {
  GlyphFont f;
  f.glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {10, 0}, {0, 10}}}));
  f.glyphs.AddEmpty();
  Downloads d(f.Build(), true);
  DOWNLOADCONTEXT context;
  auto chars = Chars(d.Run(u"BB", &context));
  ASSERT_EQ(chars.size(), 1u);
  EXPECT_EQ(chars[0].data, (Bytes{0x01, 0x00, 0x00, 0x04, 0x00, 0x02}));
  EXPECT_EQ(context.anGlyphIndex[0], 2u);
  EXPECT_EQ(context.anGlyphIndex[1], 2u);
  EXPECT_TRUE(Chars(d.Run(u"B")).empty()) << "marked: the next run sends nothing";
}

TEST(Glyphs, CompositeOfABlankGoesOutWithTheBlanksSixByteRecord) {
  GlyphFont f;
  f.glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {10, 0}, {0, 10}}}));
  f.glyphs.AddEmpty();
  fb::Component blank;
  blank.glyphIndex = 2;
  f.glyphs.AddGlyph(fb::CompositeGlyph({blank}));
  Downloads d(f.Build(), true);
  DOWNLOADCONTEXT context;
  auto chars = Chars(d.Run(u"C", &context));
  ASSERT_EQ(chars.size(), 2u);
  EXPECT_EQ(CodeOf(chars[1]), 0xFFFF);
  EXPECT_EQ(chars[1].data, (Bytes{0x01, 0x00, 0x00, 0x04, 0x00, 0x02}));
  EXPECT_EQ(context.anGlyphIndex[0], 3u);
}

TEST(Glyphs, OffsetsThatGoBackwardsOrLeaveGlyfSendNothingForTheCharacter) {
  struct Case {
    const char* what;
    uint32_t raw1, raw2;
  };
  const Case cases[] = {
      {"next below current", 40, 20},
      {"next is zero", 4, 0},
      {"past the end of glyf", 4, 0x100000},
  };
  for (const Case& c : cases) {
    GlyphFont f;
    f.glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {10, 0}, {0, 10}}}));
    f.glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {20, 0}, {0, 20}}}));
    f.glyphs.SetRawLoca(1, c.raw1).SetRawLoca(2, c.raw2);
    Downloads d(f.Build(), true);
    DOWNLOADCONTEXT context;
    auto ops = d.Run(u"A", &context);
    EXPECT_TRUE(Chars(ops).empty()) << c.what;
    EXPECT_EQ(context.anGlyphIndex[0], kUnmappedGlyph) << c.what;
    // The bracket opened for the character still closes.
    EXPECT_EQ(Tail(ops), "SetFont SetCharBoldValue SetCharShear SetCharAngle BeginChar EndChar")
        << c.what;
  }
}

// Glyph 1 simple (A), glyph 2 simple (B), glyph 3 composite of 1 and 2 (C), glyph 4 composite of
// 2 alone (D).
GlyphFont CompositeFont(fb::Component first, fb::Component second) {
  GlyphFont f;
  f.glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {10, 0}, {0, 10}}}));
  f.glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {30, 0}, {0, 30}}, {{5, 5}, {6, 5}, {5, 6}}}));
  first.glyphIndex = 1;
  second.glyphIndex = 2;
  f.glyphs.AddGlyph(fb::CompositeGlyph({first, second}));
  fb::Component only;
  only.glyphIndex = 2;
  f.glyphs.AddGlyph(fb::CompositeGlyph({only}));
  return f;
}

TEST(Glyphs, CompositeSendsItsComponentsUnder0xFFFFInRecordOrder) {
  using T = fb::Component::Transform;
  for (T transform : {T::kNone, T::kScale, T::kXYScale, T::kTwoByTwo}) {
    for (bool words : {false, true}) {
      fb::Component a;
      a.wordArgs = words;
      a.arg1 = words ? 1000 : 10;
      a.transform = transform;
      fb::Component b;
      b.transform = transform;
      GlyphFont f = CompositeFont(a, b);
      Downloads d(f.Build(), true);
      auto chars = Chars(d.Run(u"C"));
      ASSERT_EQ(chars.size(), 3u);
      EXPECT_EQ(CodeOf(chars[0]), u'C');
      EXPECT_EQ(CodeOf(chars[1]), 0xFFFF);
      EXPECT_EQ(CodeOf(chars[2]), 0xFFFF);
      EXPECT_EQ(chars[1].data[5], 1) << "first component is glyph 1";
      EXPECT_EQ(chars[2].data[5], 2) << "second component is glyph 2";
    }
  }
}

TEST(Glyphs, NewFontRunAABSendsAOnceAndBWithBothComponents) {
  GlyphFont f = CompositeFont({}, {});
  Downloads d(f.Build(), true);
  DOWNLOADCONTEXT context;
  auto ops = d.Run(u"AAC", &context);
  EXPECT_EQ(Tail(ops),
            "SetFont SetCharBoldValue SetCharShear SetCharAngle BeginChar ReadChar ReadChar "
            "ReadChar ReadChar EndChar");
  auto chars = Chars(ops);
  EXPECT_EQ(CodeOf(chars[0]), u'A');
  EXPECT_EQ(CodeOf(chars[1]), u'C');
  EXPECT_EQ(context.anGlyphIndex[0], 1u);
  EXPECT_EQ(context.anGlyphIndex[1], 1u);
  EXPECT_EQ(context.anGlyphIndex[2], 3u);
  // A component shared by a second composite goes out again with it.
  auto again = Chars(d.Run(u"D"));
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(CodeOf(again[1]), 0xFFFF);
  EXPECT_EQ(again[1].data[5], 2);
}

TEST(Glyphs, ComponentsOfANestedCompositeGoOutToo) {
  GlyphFont f = CompositeFont({}, {});
  fb::Component nested;
  nested.glyphIndex = 3;                            // the composite of glyphs 1 and 2
  f.glyphs.AddGlyph(fb::CompositeGlyph({nested}));  // glyph 5, code 'E'
  Downloads d(f.Build(), true);
  auto chars = Chars(d.Run(u"E"));
  std::vector<uint8_t> glyphs;
  for (const WireOp& c : chars) glyphs.push_back(c.data[5]);
  EXPECT_EQ(glyphs, (std::vector<uint8_t>{5, 3, 1, 2}));
}

TEST(Glyphs, CompositeThatContainsItselfIsNotSent) {
  GlyphFont f;
  fb::Component self;
  self.glyphIndex = 1;
  f.glyphs.AddGlyph(fb::CompositeGlyph({self}));
  Downloads d(f.Build(), true);
  DOWNLOADCONTEXT context;
  EXPECT_TRUE(Chars(d.Run(u"A", &context)).empty());
  EXPECT_EQ(context.anGlyphIndex[0], kUnmappedGlyph);
}

// A component placed by matching points names a point of the components before it (arg1) and one
// of its own (arg2): a rasterizer refuses the glyph when either is not there. C is glyph 1 (3
// points) then glyph 2 (6 points); E is glyph 1 then C (9 points).
TEST(Glyphs, CompositeMatchingAPointItDoesNotHaveIsNotSent) {
  const struct {
    bool firstMatches, words;
    int32_t arg1, arg2;
    const char16_t* text;
    size_t records;  // 0: not sent
  } cases[] = {
      {false, false, 2, 5, u"C", 3},  {false, false, 3, 0, u"C", 0}, {false, false, 0, 6, u"C", 0},
      {false, true, 258, 1, u"C", 0}, {true, false, 0, 0, u"C", 0},  {false, false, 2, 8, u"E", 5},
      {false, false, 2, 9, u"E", 0},
  };
  for (const auto& c : cases) {
    fb::Component first, second;
    first.argsAreXY = !c.firstMatches;
    second.argsAreXY = false;
    second.wordArgs = c.words;
    second.arg1 = c.arg1;
    second.arg2 = c.arg2;
    GlyphFont f = CompositeFont(first, c.text[0] == u'C' ? second : fb::Component{});
    fb::Component one, nested = second;
    one.glyphIndex = 1;
    nested.glyphIndex = 3;
    f.glyphs.AddGlyph(fb::CompositeGlyph({one, nested}));  // glyph 5, code 'E'
    Downloads d(f.Build(), true);
    EXPECT_EQ(Chars(d.Run(c.text)).size(), c.records) << c.arg1 << " " << c.arg2;
  }
}

TEST(Glyphs, CompositeWhoseRecordRunsOffTheGlyphIsNotSent) {
  GlyphFont f;
  f.glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {10, 0}, {0, 10}}}));
  // numberOfContours -1, a bounding box, and a record cut after its flags.
  f.glyphs.AddGlyph({0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x20});
  Downloads d(f.Build(), true);
  DOWNLOADCONTEXT context;
  EXPECT_TRUE(Chars(d.Run(u"B", &context)).empty());
  EXPECT_EQ(context.anGlyphIndex[0], kUnmappedGlyph);
}

TEST(Glyphs, KnownSpacesAndUnmappedCharactersSendOnlyTheSelection) {
  GlyphFont f;
  f.glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {10, 0}, {0, 10}}}));
  f.glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {20, 0}, {0, 20}}}));
  Downloads d(f.Build(), true);
  d.Run(u"AB");
  const std::string selectionOnly = "SetFont SetCharBoldValue SetCharShear SetCharAngle";
  EXPECT_EQ(Tail(d.Run(u"BA")), selectionOnly);
  EXPECT_EQ(Tail(d.Run(u"   ")), selectionOnly);
  DOWNLOADCONTEXT context;
  // 'Z' is not in the map; 0xFFFF has no map entry at all.
  EXPECT_EQ(Tail(d.Run(u"Z\uFFFF", &context)), selectionOnly);
  EXPECT_EQ(context.anGlyphIndex[1], kUnmappedGlyph);
}

TEST(Glyphs, BracketOpensAtTheFirstCharacterThatNeedsSendingNotAtASpace) {
  // The space must map to a glyph below the count to be considered at all.
  GlyphFont f;
  for (int i = 0; i < 40; ++i) f.glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {10, 0}, {0, 10}}}));
  fb::CmapBuilder cmap;
  cmap.AddFormat4(3, 1,
                  {Seg(0x20, 0x20, uint16_t(3 - 0x20)), Seg(0x41, 0x41, uint16_t(1 - 0x41)),
                   fb::CmapSegment::Final()});
  Downloads d(fb::BasicFont(f.glyphs, cmap).Build(), true);
  auto ops = d.Run(u" A");
  EXPECT_EQ(Tail(ops),
            "SetFont SetCharBoldValue SetCharShear SetCharAngle BeginChar ReadChar EndChar");
  EXPECT_EQ(CodeOf(Chars(ops)[0]), u'A');
}

TEST(Glyphs, MarkingSetsOneBitPerCodeAndAGlyphAtTheCountIsSkipped) {
  FONTENTRY entry;
  entry.pbyDownloaded.reset(new uint8_t[kDownloadedSetBytes]());
  entry.MarkDownloaded(0x41);
  EXPECT_EQ(entry.pbyDownloaded[8], 0x02);
  EXPECT_TRUE(entry.IsDownloaded(0x41));
  EXPECT_FALSE(entry.IsDownloaded(0x40));

  // Two glyphs mapped but maxp says 2: code 0x42 maps to glyph 2 == nGlyphs.
  GlyphFont f;
  f.glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {10, 0}, {0, 10}}}));
  f.glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {20, 0}, {0, 20}}}));
  fb::FontBuilder font = fb::BasicFont(
      f.glyphs, fb::CmapBuilder().AddFormat4(
                    3, 1, {Seg(0x41, 0x42, uint16_t(1 - 0x41)), fb::CmapSegment::Final()}));
  font.Find("maxp")->data = fb::BuildMaxp(2);
  font.Find("hhea")->data = fb::BuildHhea(2);
  Downloads d(font.Build(), true);
  DOWNLOADCONTEXT context;
  EXPECT_EQ(Chars(d.Run(u"B", &context)).size(), 0u);
  EXPECT_EQ(context.anGlyphIndex[0], 2u);
  EXPECT_FALSE(d.list.pFirstEntry->IsDownloaded(0x42));
}

// Glyph 32 is '?' in fonts with the standard CFF order of glyphs: it must not be taken for the
// mark of a missing glyph, and a code the map does not cover must not send glyph 32 instead.
TEST(Glyphs, GlyphThirtyTwoIsSentAndAnUnmappedCodeSendsNothing) {
  GlyphFont f;
  for (int i = 0; i < 40; ++i) f.glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {10, 0}, {0, 10}}}));
  Downloads d(f.Build(), true);
  DOWNLOADCONTEXT context;
  const auto chars = Chars(d.Run(u"`\u4E00", &context));  // '`' maps to glyph 32
  ASSERT_EQ(chars.size(), 1u);
  EXPECT_EQ(CodeOf(chars[0]), u'`');
  EXPECT_EQ(context.anGlyphIndex[0], 32u);
  EXPECT_EQ(context.anGlyphIndex[1], kUnmappedGlyph);
}

TEST(Glyphs, GlyphTooLongForARecordFailsTheCharacter) {
  GlyphFont f;
  Bytes huge(kMaxGlyphDataSize + 2, 0);
  huge[1] = 1;
  f.glyphs.AddGlyph(huge);
  Downloads d(f.Build(), true);
  DOWNLOADCONTEXT context;
  EXPECT_TRUE(Chars(d.Run(u"A", &context)).empty());
  EXPECT_EQ(context.anGlyphIndex[0], kUnmappedGlyph);
}

// ----- A real font from both sources -----

std::vector<WireOp> WithoutNames(std::vector<WireOp> ops) {
  // Operators that carry the font's name differ between the sources by the name alone.
  for (WireOp& o : ops) {
    if (o.tag == Operator::BeginFontHeader || o.tag == Operator::SetFont ||
        o.tag == Operator::BeginChar) {
      const size_t n = o.Elements(Attribute::FontName).size();
      o.bytes.erase(o.bytes.begin(), o.bytes.begin() + 4 + static_cast<long>(n));
    }
  }
  return ops;
}

TEST(RealFont, FileAndEngineSourcesSendTheSameHeaderAndCharacters) {
  const Bytes font = testing::ReadFileBytes(testing::kDejaVuSans);
  ASSERT_FALSE(font.empty());
  const std::u16string text = u"Hamburgefonstiv \u00e9\u00e7 \u0391\u03b2 \u0416\u044f fi";
  Downloads fromFile(font, true);
  Downloads fromEngine(font, false);
  auto a = WithoutNames(fromFile.Run(text));
  auto b = WithoutNames(fromEngine.Run(text));
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].bytes, b[i].bytes) << i;
    EXPECT_EQ(a[i].data, b[i].data) << i;
  }
}

TEST(RealFont, EveryGlyphHeldForTheRunEqualsTheFontsOwnGlyphBytes) {
  // The tables are held once for a run; every glyph read through them must equal the glyph
  // read from scratch by an independent reader.
  testing::FontFile reference(testing::kDejaVuSans);
  ASSERT_TRUE(reference.ok());
  int32_t fileError = 0;
  FontSource source;
  source.bTTE = true;
  source.path = testing::kDejaVuSans;
  source.pbFontFileError = &fileError;
  FontTables tables(source);
  ASSERT_TRUE(tables.Open());
  for (uint32_t g = 0; g < reference.NumGlyphs(); ++g) {
    auto data = GetGlyfData(tables, static_cast<uint16_t>(g));
    ASSERT_TRUE(data.has_value()) << g;
    const Bytes expected = reference.GlyphBytes(g);
    ASSERT_EQ(Bytes(data->data(), data->data() + data->size()), expected) << g;
  }
}

}  // namespace
}  // namespace tavrfndl
