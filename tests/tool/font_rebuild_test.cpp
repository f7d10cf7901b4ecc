// A soft font rebuilt as a TrueType font: FreeType must load it and see the same outlines as in
// the font the header and the records were cut from.
#include "font_rebuild.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "outline_compare.h"
#include "support/fontbuilder.h"
#include "tool_harness.h"

namespace fndl::test {
namespace {

namespace fb = tavrfndl::test;
using Bytes = std::vector<uint8_t>;

// A source font of four glyphs: empty .notdef, a square, a triangle, and a composite placing the
// square twice (once shifted, once scaled).
struct SourceFont {
  fb::GlyfBuilder glyphs{fb::LocaFormat::kShort};
  Bytes file;
  std::vector<std::pair<std::string, Bytes>> headerTables;

  SourceFont() {
    glyphs.AddEmpty();
    glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {400, 0}, {400, 400}, {0, 400}}}));
    glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {300, 0}, {150, 500, false}}}));
    fb::Component shifted;
    shifted.glyphIndex = 1;
    shifted.arg1 = 500;
    shifted.arg2 = -20;
    shifted.wordArgs = true;
    fb::Component scaled;
    scaled.glyphIndex = 1;
    scaled.transform = fb::Component::Transform::kScale;
    scaled.scale[0] = 0x2000;
    glyphs.AddGlyph(fb::CompositeGlyph({shifted, scaled}, {}, 0, -20, 900, 400));
    fb::CmapBuilder cmap;
    fb::CmapSegment letters{0x41, 0x43, static_cast<uint16_t>(1 - 0x41), {}, std::nullopt};
    cmap.AddFormat4(3, 1, {letters, fb::CmapSegment::Final()});
    fb::FontBuilder builder = fb::BasicFont(glyphs, cmap);
    file = builder.Build();
    for (const char* tag : {"cvt ", "fpgm", "head", "hhea", "hmtx", "maxp", "prep"}) {
      if (fb::TableSpec* t = builder.Find(tag)) headerTables.push_back({tag, t->data});
    }
  }

  Bytes Glyph(size_t index) const {
    Bytes all = glyphs.Glyf();
    uint32_t from = glyphs.OffsetOf(index);
    uint32_t to = index + 1 < glyphs.glyphCount() ? glyphs.OffsetOf(index + 1)
                                                  : static_cast<uint32_t>(all.size());
    return Bytes(all.begin() + from, all.begin() + to);
  }
};

SoftFont MakeSoftFont(const Bytes& header) {
  SoftFont font;
  font.name = "test";
  font.headerBytes = header;
  std::string error;
  EXPECT_TRUE(DecodeFontHeader(header.data(), header.size(), font.header, error)) << error;
  font.headerComplete = true;
  return font;
}

TEST(FontRebuild, FreeTypeSeesTheSourceOutlinesAndComposites) {
  SourceFont source;
  SoftFont font = MakeSoftFont(SoftFontHeader(4, source.headerTables));
  for (uint16_t g : {1, 2, 3}) font.glyphs[g] = source.Glyph(g);
  RebuiltFont rebuilt;
  std::string error;
  ASSERT_TRUE(RebuildTrueType(font, rebuilt, error)) << error;
  EXPECT_EQ(rebuilt.numGlyphs, 4);
  EXPECT_TRUE(rebuilt.notes.empty());

  FreeTypeFace expected(source.file), actual(rebuilt.file);
  ASSERT_TRUE(expected.ok());
  ASSERT_TRUE(actual.ok());
  EXPECT_EQ(actual.get()->num_glyphs, 4);
  for (uint16_t g : {0, 1, 2, 3}) {
    EXPECT_EQ(CompareGlyph(expected.get(), actual.get(), g, true), "");
    EXPECT_EQ(CompareGlyph(expected.get(), actual.get(), g, false), "");
  }
}

TEST(FontRebuild, GlyphsNotSentStayEmpty) {
  SourceFont source;
  SoftFont font = MakeSoftFont(SoftFontHeader(4, source.headerTables));
  font.glyphs[2] = source.Glyph(2);
  RebuiltFont rebuilt;
  std::string error;
  ASSERT_TRUE(RebuildTrueType(font, rebuilt, error)) << error;
  FreeTypeFace actual(rebuilt.file);
  ASSERT_TRUE(actual.ok());
  ASSERT_EQ(FT_Load_Glyph(actual.get(), 1, FT_LOAD_NO_SCALE), 0);
  EXPECT_EQ(actual.get()->glyph->outline.n_points, 0);
  ASSERT_EQ(FT_Load_Glyph(actual.get(), 2, FT_LOAD_NO_SCALE), 0);
  EXPECT_EQ(actual.get()->glyph->outline.n_points, 3);
}

TEST(FontRebuild, GlyphIndicesBeyondTheFontAreLeftOutAndNoted) {
  SourceFont source;
  SoftFont font = MakeSoftFont(SoftFontHeader(4, source.headerTables));
  font.glyphs[1] = source.Glyph(1);
  font.glyphs[4] = source.Glyph(1);
  font.glyphs[900] = source.Glyph(2);
  RebuiltFont rebuilt;
  std::string error;
  ASSERT_TRUE(RebuildTrueType(font, rebuilt, error)) << error;
  ASSERT_EQ(rebuilt.notes.size(), 1u);
  EXPECT_NE(rebuilt.notes[0].find("2 glyph records beyond the font's 4 glyphs"), std::string::npos)
      << rebuilt.notes[0];
  FreeTypeFace actual(rebuilt.file);
  EXPECT_TRUE(actual.ok());
}

TEST(FontRebuild, HeadersWithoutTheTablesFreeTypeNeedsAreRefused) {
  SourceFont source;
  auto without = [&](const std::string& tag) {
    std::vector<std::pair<std::string, Bytes>> tables;
    for (const auto& t : source.headerTables) {
      if (t.first != tag) tables.push_back(t);
    }
    return tables;
  };
  struct Case {
    const char* name;
    Bytes header;
    const char* message;
  } cases[] = {
      {"no head", SoftFontHeader(4, without("head")), "no complete \"head\""},
      {"no maxp", SoftFontHeader(4, without("maxp")), "no complete \"maxp\""},
      {"head cut short", SoftFontHeader(4, {{"head", Bytes(20, 0)}, {"maxp", Bytes(32, 0)}}),
       "no complete \"head\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SoftFont font = MakeSoftFont(c.header);
    RebuiltFont rebuilt;
    std::string error;
    EXPECT_FALSE(RebuildTrueType(font, rebuilt, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
  SoftFont incomplete;
  std::string error;
  RebuiltFont rebuilt;
  EXPECT_FALSE(RebuildTrueType(incomplete, rebuilt, error));
}

}  // namespace
}  // namespace fndl::test
