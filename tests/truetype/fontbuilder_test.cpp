// The synthetic fonts other tests are built on: checked byte for byte where the layout is the
// point, and read back with FreeType where a whole font must be well-formed.
#include <gtest/gtest.h>

#include <vector>

#include "sfnt/bytes.h"
#include "support/fontbuilder.h"
#include "support/fontfile.h"
#include "truetype/tables.h"

namespace tavrfndl {
namespace {

using test::Component;
using test::GlyfBuilder;
using test::LocaFormat;

uint16_t U16At(const std::vector<uint8_t>& bytes, size_t at) {
  uint16_t v = 0;
  EXPECT_TRUE(ByteView(bytes.data(), bytes.size()).ReadU16(at, v)) << at;
  return v;
}

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t v = 0;
  EXPECT_TRUE(ByteView(bytes.data(), bytes.size()).ReadU32(at, v)) << at;
  return v;
}

TEST(FontBuilderCompositeGlyph, EncodesArgumentsAndEachTransformSize) {
  struct Case {
    const char* name;
    Component component;
    uint16_t flags;
    size_t size;  // bytes of the component record
  };
  Component byteArgs;
  byteArgs.glyphIndex = 7;
  byteArgs.arg1 = -3;
  byteArgs.arg2 = 4;
  Component wordArgs = byteArgs;
  wordArgs.wordArgs = true;
  wordArgs.arg1 = 300;
  Component points = byteArgs;
  points.argsAreXY = false;
  Component scale = byteArgs;
  scale.transform = Component::Transform::kScale;
  Component xyScale = wordArgs;
  xyScale.transform = Component::Transform::kXYScale;
  xyScale.scale[3] = 0x2000;
  Component matrix = byteArgs;
  matrix.transform = Component::Transform::kTwoByTwo;
  matrix.extraFlags = test::kUseMyMetrics;
  const Case cases[] = {
      {"byte arguments", byteArgs, test::kArgsAreXYValues, 6},
      {"word arguments", wordArgs, test::kArgsAreXYValues | test::kArg1And2AreWords, 8},
      {"point numbers", points, 0, 6},
      {"scale", scale, test::kArgsAreXYValues | test::kWeHaveAScale, 8},
      {"x and y scale", xyScale,
       test::kArgsAreXYValues | test::kArg1And2AreWords | test::kWeHaveAnXAndYScale, 12},
      {"two by two", matrix, test::kArgsAreXYValues | test::kWeHaveATwoByTwo | test::kUseMyMetrics,
       14},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> glyph = test::CompositeGlyph({c.component});
    ASSERT_EQ(glyph.size(), 10 + c.size) << c.name;
    EXPECT_EQ(U16At(glyph, 0), 0xFFFF) << c.name;
    EXPECT_EQ(U16At(glyph, 10), c.flags) << c.name;
    EXPECT_EQ(U16At(glyph, 12), 7) << c.name;
    if (c.component.wordArgs) {
      EXPECT_EQ(static_cast<int16_t>(U16At(glyph, 14)), c.component.arg1) << c.name;
    } else {
      EXPECT_EQ(static_cast<int8_t>(glyph[14]), c.component.arg1) << c.name;
    }
  }
  // The x-and-y scale is the matrix diagonal.
  const std::vector<uint8_t> glyph = test::CompositeGlyph({xyScale});
  EXPECT_EQ(U16At(glyph, 18), 0x4000);
  EXPECT_EQ(U16At(glyph, 20), 0x2000);
}

TEST(FontBuilderCompositeGlyph, MoreComponentsAndInstructionsFlags) {
  Component first;
  first.glyphIndex = 1;
  Component second;
  second.glyphIndex = 2;
  second.transform = Component::Transform::kScale;
  const std::vector<uint8_t> glyph = test::CompositeGlyph({first, second}, {0xB0, 0x05});
  // 10 header, 6 first, 8 second, 2 count, 2 instructions.
  ASSERT_EQ(glyph.size(), 28u);
  EXPECT_TRUE(U16At(glyph, 10) & test::kMoreComponents);
  EXPECT_FALSE(U16At(glyph, 10) & test::kWeHaveInstructions);
  EXPECT_FALSE(U16At(glyph, 16) & test::kMoreComponents);
  EXPECT_TRUE(U16At(glyph, 16) & test::kWeHaveInstructions);
  EXPECT_EQ(U16At(glyph, 24), 2);
  EXPECT_EQ(glyph[27], 0x05);
}

TEST(FontBuilderGlyf, LocaFormatsPaddingAndRawEntries) {
  struct Case {
    LocaFormat format;
    std::vector<uint32_t> offsets;  // loca as offsets in bytes
  };
  const Case cases[] = {
      // Glyphs of 0, 5, 0 and 12 bytes: padded to 2 (short) or 4 (long).
      {LocaFormat::kShort, {0, 0, 6, 6, 18}},
      {LocaFormat::kLong, {0, 0, 8, 8, 20}},
  };
  for (const Case& c : cases) {
    GlyfBuilder glyphs(c.format);
    glyphs.AddEmpty();
    glyphs.AddGlyph({1, 2, 3, 4, 5});
    glyphs.AddEmpty();
    glyphs.AddGlyph(std::vector<uint8_t>(12, 9));
    const std::vector<uint8_t> loca = glyphs.Loca();
    const bool isShort = c.format == LocaFormat::kShort;
    ASSERT_EQ(loca.size(), c.offsets.size() * (isShort ? 2 : 4));
    for (size_t i = 0; i < c.offsets.size(); ++i) {
      const uint32_t offset = isShort ? 2u * U16At(loca, 2 * i) : U32At(loca, 4 * i);
      EXPECT_EQ(offset, c.offsets[i]) << i;
      EXPECT_EQ(glyphs.OffsetOf(i), c.offsets[i]) << i;
    }
    EXPECT_EQ(glyphs.Glyf().size(), c.offsets.back());

    // A raw entry below its predecessor, and fewer entries than glyphs + 1.
    glyphs.SetRawLoca(2, 1).SetLocaEntries(3);
    const std::vector<uint8_t> raw = glyphs.Loca();
    ASSERT_EQ(raw.size(), 3u * (isShort ? 2 : 4));
    EXPECT_EQ(isShort ? U16At(raw, 4) : U32At(raw, 8), 1u);
  }
}

TEST(FontBuilderBasicFont, IsAWellFormedFontForFreeTypeAndTheLibrary) {
  for (LocaFormat format : {LocaFormat::kShort, LocaFormat::kLong}) {
    GlyfBuilder glyphs(format);
    glyphs.AddEmpty();
    const std::vector<uint8_t> square =
        test::SimpleGlyph({{{0, 0}, {0, 700}, {600, 700}, {600, 0}}});
    const uint16_t a = glyphs.AddGlyph(square);
    Component component;
    component.glyphIndex = a;
    component.arg1 = 100;
    component.wordArgs = true;
    const uint16_t b = glyphs.AddGlyph(test::CompositeGlyph({component}, {}, 100, 0, 700, 700));
    test::CmapBuilder cmap;
    cmap.AddFormat4(3, 1,
                    {{0x41, 0x42, static_cast<uint16_t>(a - 0x41), {}, std::nullopt},
                     test::CmapSegment::Final()});
    const std::vector<uint8_t> font = test::BasicFont(glyphs, cmap).Build();

    test::TempFile file(font);
    testing::FontFile freetype(file.path());
    ASSERT_TRUE(freetype.ok());
    EXPECT_EQ(freetype.NumGlyphs(), 3u);
    EXPECT_EQ(freetype.GlyphIndex(0x41), a);
    EXPECT_EQ(freetype.GlyphIndex(0x42), b);
    // The glyph's "loca" range holds its bytes and the padding to the glyph alignment: a glyph
    // of 4n + 2 bytes needs none in 2 and two zero bytes in 4.
    ASSERT_EQ(square.size() % 4, 2u);
    std::vector<uint8_t> padded = square;
    if (format == LocaFormat::kLong) padded.resize(square.size() + 2, 0);
    EXPECT_EQ(freetype.GlyphBytes(a), padded);
    EXPECT_TRUE(freetype.GlyphBytes(0).empty());

    const ByteView view(font.data(), font.size());
    std::vector<TableDirEntry> records;
    EXPECT_EQ(ReadTableDirectory(view, records), 7);
    const std::optional<ByteView> head = GetTTEFilePointer(view, "head", "HEAD");
    ASSERT_TRUE(head);
    int16_t indexToLocFormat = -1;
    EXPECT_TRUE(head->ReadS16(50, indexToLocFormat));
    EXPECT_EQ(indexToLocFormat, format == LocaFormat::kShort ? 0 : 1);
  }
}

}  // namespace
}  // namespace tavrfndl
