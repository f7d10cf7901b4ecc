// Font headers and character records as a PCL XL stream carries them, decoded from bytes
// written out by hand (big-endian fields, format 0 header, format 1 class 0 records).
#include "softfont_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_harness.h"

namespace fndl::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Format 0, orientation 0, mapping 1, TrueType, variety 0, 0x0123 characters; a GT segment of
// 70 bytes whose directory lists gdir, head (4 bytes at 60) and maxp (6 bytes at 64).
Bytes HandMadeHeader() {
  return {
      0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x01, 0x23,                          // fixed fields
      'G',  'T',  0x00, 0x00, 0x00, 0x46,                                      // GT, 70 bytes
      0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x20, 0x00, 0x01, 0x00, 0x10,  // offset table
      'g',  'd',  'i',  'r',  0,    0,    0,    0,    0,    0,    0,    0,    0, 0,
      0,    0,    'h',  'e',  'a',  'd',  0x11, 0x22, 0x33, 0x44, 0,    0,    0, 60,
      0,    0,    0,    4,    'm',  'a',  'x',  'p',  0x55, 0x66, 0x77, 0x88, 0, 0,
      0,    64,   0,    0,    0,    6,    0xA0, 0xA1, 0xA2, 0xA3,  // head's 4 bytes
      0x00, 0x00, 0x50, 0x00, 0x00, 0x03,                          // maxp's 6 bytes
      0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,                          // null segment
  };
}

TEST(FontHeader, DecodesFixedFieldsSegmentsAndTheGTDirectory) {
  Bytes h = HandMadeHeader();
  FontHeaderInfo info;
  std::string error;
  ASSERT_TRUE(DecodeFontHeader(h.data(), h.size(), info, error)) << error;
  EXPECT_EQ(info.format, 0);
  EXPECT_EQ(info.mapping, 1);
  EXPECT_EQ(info.technology, 1);
  EXPECT_EQ(info.characterCount, 0x123);
  ASSERT_EQ(info.segments.size(), 2u);
  EXPECT_EQ(info.segments[0].id, kSegmentGT);
  EXPECT_EQ(info.segments[0].offset, 14u);
  EXPECT_EQ(info.segments[0].size, 70u);
  EXPECT_EQ(info.segments[1].id, kSegmentNull);
  EXPECT_TRUE(info.nullSegment);
  ASSERT_TRUE(info.hasGT);
  EXPECT_EQ(info.sfntVersion, 0x00010000u);
  EXPECT_EQ(info.numTables, 3);
  EXPECT_EQ(info.searchRange, 0x20);
  ASSERT_EQ(info.tables.size(), 3u);
  EXPECT_STREQ(info.tables[0].tag, "gdir");
  EXPECT_STREQ(info.tables[2].tag, "maxp");
  EXPECT_EQ(info.tables[1].checksum, 0x11223344u);
  EXPECT_EQ(info.tables[2].offset, 64u);
  EXPECT_EQ(info.tables[2].length, 6u);
  EXPECT_TRUE(info.warnings.empty());
}

TEST(FontHeader, OddButReadableHeadersDecodeWithWarnings) {
  Bytes outside = HandMadeHeader();
  outside[14 + 12 + 32 + 15] = 7;  // maxp length 7 reaches one byte past the segment
  Bytes noNull = HandMadeHeader();
  noNull.resize(noNull.size() - 6);
  Bytes trailing = HandMadeHeader();
  trailing.push_back(0x00);
  struct Case {
    const char* name;
    Bytes bytes;
    const char* warning;
  } cases[] = {
      {"table outside the segment", outside, "outside the GT segment"},
      {"no null segment", noNull, "without a null segment"},
      {"bytes after the null segment", trailing, "follow the null segment"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FontHeaderInfo info;
    std::string error;
    ASSERT_TRUE(DecodeFontHeader(c.bytes.data(), c.bytes.size(), info, error)) << error;
    ASSERT_EQ(info.warnings.size(), 1u);
    EXPECT_NE(info.warnings[0].find(c.warning), std::string::npos) << info.warnings[0];
  }
}

TEST(FontHeader, BrokenHeadersAreRefusedWithTheReason) {
  Bytes format1 = HandMadeHeader();
  format1[0] = 1;
  Bytes cutHeading = HandMadeHeader();
  cutHeading.resize(8 + 3);
  Bytes segmentTooLong = HandMadeHeader();
  segmentTooLong[13] = 0x47;  // 71 bytes, one more than there are before the null segment + 6
  segmentTooLong.resize(14 + 70);
  Bytes tinyGT = {0, 0, 0, 1, 1, 0, 0, 1, 'G', 'T', 0, 0, 0, 4, 0, 1, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0};
  Bytes directoryTooLong = HandMadeHeader();
  directoryTooLong[14 + 5] = 9;  // nine tables cannot fit 70 bytes
  struct Case {
    const char* name;
    Bytes bytes;
    const char* message;
  } cases[] = {
      {"shorter than the fixed fields", {0, 0, 0, 1}, "fewer than its 8 fixed bytes"},
      {"format 1", format1, "format 1 is not decoded"},
      {"segment heading cut off", cutHeading, "is cut off"},
      {"segment runs past the end", segmentTooLong, "runs past the header's end"},
      {"GT shorter than an offset table", tinyGT, "fewer than the 12"},
      {"directory larger than the segment", directoryTooLong, "lists 9 tables"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FontHeaderInfo info;
    std::string error;
    EXPECT_FALSE(DecodeFontHeader(c.bytes.data(), c.bytes.size(), info, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

// A composite glyph with one component of each argument and transform form: word arguments,
// one scale, x and y scales, a 2x2 matrix.
Bytes FourComponents() {
  return {0xFF, 0xFF, 0,    0,    0,    0,    0,    0,    0,    0,     // contours -1, bounding box
          0x00, 0x21, 0x00, 0x05, 0x00, 0x10, 0xFF, 0xF0,              // words, more
          0x00, 0x28, 0x00, 0x06, 0x01, 0x02, 0x40, 0x00,              // scale, more
          0x00, 0x60, 0x00, 0x07, 0x01, 0x02, 0x40, 0x00, 0x20, 0x00,  // x and y scale, more
          0x00, 0x80, 0x00, 0x08, 0x01, 0x02, 0x40, 0x00, 0,    0,    0, 0, 0x40, 0x00};  // 2x2
}

TEST(CharRecord, DecodesSimpleEmptyAndCompositeGlyphs) {
  Bytes simple = CharRecord(36, {0x00, 0x02, 0, 0, 0, 0, 0, 10, 0, 10, 0, 0});
  Bytes empty = CharRecord(3, {});
  Bytes composite = CharRecord(200, FourComponents());
  CharRecordInfo info;
  std::string error;

  ASSERT_TRUE(DecodeCharRecord(simple.data(), simple.size(), info, error)) << error;
  EXPECT_EQ(info.format, 1);
  EXPECT_EQ(info.charClass, 0);
  EXPECT_EQ(info.sizeField, 16);
  EXPECT_EQ(info.glyphIndex, 36);
  EXPECT_EQ(info.glyphLength, 12u);
  EXPECT_FALSE(info.composite);
  EXPECT_EQ(info.contours, 2);

  ASSERT_TRUE(DecodeCharRecord(empty.data(), empty.size(), info, error)) << error;
  EXPECT_EQ(info.glyphIndex, 3);
  EXPECT_EQ(info.glyphLength, 0u);

  ASSERT_TRUE(DecodeCharRecord(composite.data(), composite.size(), info, error)) << error;
  EXPECT_TRUE(info.composite);
  EXPECT_EQ(info.componentGlyphs, (std::vector<uint16_t>{5, 6, 7, 8}));
}

TEST(CharRecord, BrokenRecordsAreRefusedWithTheReason) {
  Bytes wrongSize = CharRecord(1, Bytes(12, 0));
  wrongSize[3] += 1;
  Bytes class1 = CharRecord(1, Bytes(12, 0));
  class1[1] = 1;
  Bytes format0 = CharRecord(1, Bytes(12, 0));
  format0[0] = 0;
  Bytes cutComponent = FourComponents();
  cutComponent.resize(cutComponent.size() - 1);
  struct Case {
    const char* name;
    Bytes bytes;
    const char* message;
  } cases[] = {
      {"too short for a heading", {1, 0, 0}, "fewer than its 4-byte heading"},
      {"size field disagrees", wrongSize, "the size field says 17 + 2"},
      {"class 1", class1, "class 1 is not decoded"},
      {"bitmap format", format0, "format 0 is not decoded"},
      {"no glyph index", {1, 0, 0, 2}, "no glyph index"},
      {"glyph shorter than its heading", CharRecord(1, Bytes(9, 0)), "fewer than the 10"},
      {"last component cut off", CharRecord(1, cutComponent), "component 4 runs past"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CharRecordInfo info;
    std::string error;
    EXPECT_FALSE(DecodeCharRecord(c.bytes.data(), c.bytes.size(), info, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

// Feeds a stream's operators to a collector and keeps the events.
struct Fed {
  std::vector<uint8_t> bytes;
  SoftFontCollector fonts;
  std::vector<FontEvent> events;
};

void Feed(const XlBuilder& builder, Fed& fed) {
  fed.bytes = builder.Job();
  XlStreamReader reader(fed.bytes.data(), fed.bytes.size());
  XlOperator op;
  while (reader.Next(op) == XlStreamReader::Result::kOperator) {
    fed.events.push_back(fed.fonts.Feed(op));
  }
  ASSERT_TRUE(reader.error().empty()) << reader.error();
}

XlBuilder& DefineFont(XlBuilder& b, const std::string& name) {
  Bytes header = HandMadeHeader();
  Bytes first(header.begin(), header.begin() + 8), rest(header.begin() + 8, header.end());
  b.Name(name).UByte(0, Attribute::FontFormat).Op(Operator::BeginFontHeader);
  b.UInt16(static_cast<uint16_t>(first.size()), Attribute::FontHeaderLength)
      .Op(Operator::ReadFontHeader)
      .Data(first);
  b.UInt16(static_cast<uint16_t>(rest.size()), Attribute::FontHeaderLength)
      .Op(Operator::ReadFontHeader)
      .Data(rest);
  return b.Op(Operator::EndFontHeader);
}

XlBuilder& SendChar(XlBuilder& b, uint16_t code, const Bytes& record) {
  return b.UInt16(code, Attribute::CharCode)
      .UInt32(static_cast<uint32_t>(record.size()), Attribute::CharDataSize)
      .Op(Operator::ReadChar)
      .Data(record);
}

TEST(SoftFontCollector, FollowsAFontFromHeaderToRemoval) {
  XlBuilder b;
  DefineFont(b, "F1");
  b.Name("F1").Op(Operator::BeginChar);
  SendChar(b, 0x41, CharRecord(5, FourComponents()));
  SendChar(b, 0xFFFF, CharRecord(6, {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  b.Op(Operator::EndChar);
  b.Name("F1").Op(Operator::RemoveFont);
  Fed fed;
  Feed(b, fed);
  ASSERT_EQ(fed.events.size(), 9u);
  EXPECT_EQ(fed.events[3].kind, FontEvent::Kind::kHeaderDecoded);
  EXPECT_EQ(fed.events[3].header->characterCount, 0x123);
  EXPECT_EQ(fed.events[5].kind, FontEvent::Kind::kCharDecoded);
  EXPECT_EQ(fed.events[5].charCode, 0x41);
  EXPECT_EQ(fed.events[5].record.glyphIndex, 5);
  EXPECT_EQ(fed.events[6].charCode, kComponentCharCode);
  EXPECT_EQ(fed.events[8].kind, FontEvent::Kind::kFontRemoved);
  EXPECT_EQ(fed.fonts.Find("F1"), nullptr);
  ASSERT_EQ(fed.fonts.history().size(), 1u);
  const SoftFont& font = *fed.fonts.history()[0];
  // The component glyph is kept, but no character code leads to it.
  EXPECT_EQ(font.charToGlyph, (std::map<uint16_t, uint16_t>{{0x41, 5}}));
  EXPECT_EQ(font.glyphs.size(), 2u);
  EXPECT_EQ(font.componentRecords, 1u);
  EXPECT_EQ(fed.fonts.problems(), 0u);
}

// Font operators in places or with values that do not fit, with what the collector says.
struct MisfitCase {
  const char* name;
  XlBuilder builder;
  const char* message;
};

std::vector<MisfitCase> MisfitCases() {
  Bytes record = CharRecord(5, Bytes(12, 0));
  std::vector<MisfitCase> cases;
  {
    XlBuilder b;
    SendChar(b, 0x41, record);
    cases.push_back({"ReadChar without BeginChar", b, "without a font"});
  }
  {
    XlBuilder b;
    b.Name("nothing").Op(Operator::BeginChar);
    cases.push_back({"BeginChar for an unknown font", b, "no such font"});
  }
  {
    XlBuilder b;
    DefineFont(b, "F");
    b.Name("F").Op(Operator::BeginChar);
    b.UInt16(0x41, Attribute::CharCode)
        .UInt32(99, Attribute::CharDataSize)
        .Op(Operator::ReadChar)
        .Data(record);
    cases.push_back({"CharDataSize disagrees with the data", b, "CharDataSize does not match"});
  }
  {
    XlBuilder b;
    b.Name("F")
        .UByte(0, Attribute::FontFormat)
        .Op(Operator::BeginFontHeader)
        .UInt16(9, Attribute::FontHeaderLength)
        .Op(Operator::ReadFontHeader)
        .Data(Bytes(8, 0));
    cases.push_back({"FontHeaderLength disagrees", b, "FontHeaderLength does not match"});
  }
  {
    XlBuilder b;
    b.Name("F")
        .UByte(0, Attribute::FontFormat)
        .Op(Operator::BeginFontHeader)
        .UInt16(4, Attribute::FontHeaderLength)
        .Op(Operator::ReadFontHeader)
        .Data(Bytes(4, 0))
        .Op(Operator::EndFontHeader);
    cases.push_back({"header too short to decode", b, "fewer than its 8 fixed bytes"});
  }
  {
    XlBuilder b;
    DefineFont(b, "F");
    DefineFont(b, "F");
    cases.push_back({"font defined twice", b, "defined again"});
  }
  {
    XlBuilder b;
    b.Name("F").Op(Operator::RemoveFont);
    cases.push_back({"RemoveFont for an unknown font", b, "no such font"});
  }
  return cases;
}

TEST(SoftFontCollector, ReportsFontOperatorsThatDoNotFit) {
  for (const MisfitCase& c : MisfitCases()) {
    SCOPED_TRACE(c.name);
    Fed fed;
    Feed(c.builder, fed);
    bool found = false;
    for (const FontEvent& e : fed.events) {
      if (e.kind == FontEvent::Kind::kProblem) {
        found = true;
        EXPECT_NE(e.message.find(c.message), std::string::npos) << e.message;
      }
    }
    EXPECT_TRUE(found);
  }
}

Bytes CompositeOf(std::initializer_list<uint16_t> components) {
  Bytes glyph = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
  size_t left = components.size();
  for (uint16_t c : components) {
    uint8_t more = --left ? 0x20 : 0x00;
    glyph.insert(glyph.end(), {0x00, static_cast<uint8_t>(0x02 | more),
                               static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c), 0, 0});
  }
  return glyph;
}

TEST(SoftFontCollector, FindsComponentsAGlyphNeedsAtAnyDepth) {
  SoftFont font;
  Bytes simple = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  font.glyphs[10] = CompositeOf({11, 12});
  font.glyphs[11] = CompositeOf({13, 12});
  font.glyphs[12] = simple;
  font.glyphs[14] = CompositeOf({14});  // refers to itself
  font.glyphs[15] = CompositeOf({12});
  EXPECT_EQ(MissingComponents(font, 10), (std::vector<uint16_t>{13}));
  EXPECT_EQ(MissingComponents(font, 15), (std::vector<uint16_t>{}));
  EXPECT_EQ(MissingComponents(font, 14), (std::vector<uint16_t>{}));
  EXPECT_EQ(MissingComponents(font, 99), (std::vector<uint16_t>{99}));
}

}  // namespace
}  // namespace fndl::test
