// OpenType fonts with CFF outlines go to the printer as TrueType soft fonts: the face asked for by
// name is the CFF face, the job is one a strict printer takes, and every glyph it carries draws
// as the original does.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "font_rebuild.h"
#include "pclxl/xlstream_reader.h"
#include "softfont_records.h"
#include "support/driver.h"
#include "support/strict_print.h"
#include "support/xl_ops.h"

namespace tavrfndl::testing {
namespace {

constexpr const char* kUrwFolder = "/usr/share/fonts/opentype/urw-base35/";
constexpr const char* kNimbusSans = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";

struct FreeTypeFace {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  explicit FreeTypeFace(const std::vector<uint8_t>& bytes) : data(bytes) {
    if (FT_Init_FreeType(&library) == 0 &&
        FT_New_Memory_Face(library, data.data(), FT_Long(data.size()), 0, &face) != 0) {
      face = nullptr;
    }
    if (face) FT_Set_Pixel_Sizes(face, 0, 100);
  }
  ~FreeTypeFace() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
  std::vector<uint8_t> data;
};

using Pixels = std::set<std::pair<int, int>>;

// A glyph's ink at 100 ppem, unhinted and bilevel, by pixel position (high precision: FreeType
// otherwise flattens a cubic arc and its quadratic replacement differently).
Pixels InkOf(FT_Face face, FT_UInt glyph) {
  Pixels ink;
  if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_TARGET_MONO) != 0) return ink;
  face->glyph->outline.flags |= FT_OUTLINE_HIGH_PRECISION;
  if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) != 0) return ink;
  const FT_Bitmap& b = face->glyph->bitmap;
  for (unsigned row = 0; row < b.rows; ++row) {
    for (unsigned col = 0; col < b.width; ++col) {
      if ((b.buffer[row * b.pitch + col / 8] >> (7 - col % 8)) & 1) {
        ink.insert({face->glyph->bitmap_left + int(col), face->glyph->bitmap_top - int(row)});
      }
    }
  }
  return ink;
}

// Pixels inked in one and not the other; far counts those with no ink of the other beside them.
size_t Differ(const Pixels& a, const Pixels& b, size_t& far) {
  size_t differ = 0;
  for (const auto& [from, to] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
    for (const auto& [x, y] : *from) {
      if (to->count({x, y})) continue;
      ++differ;
      bool near = false;
      for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) near = near || to->count({x + dx, y + dy});
      }
      far += !near;
    }
  }
  return differ;
}

// Prints every character the face maps (as a family name, or as a file in file mode) and checks
// the job: a strict printer takes it, its header is the face's own, and every glyph it carries,
// drawn from the font rebuilt out of the job, draws as the CFF original at 100 ppem.
void CheckFace(const std::string& file, const std::string& name, FontMode mode, uint32_t id) {
  SCOPED_TRACE(name);
  const Library lib = Library::Load();
  const PrintExports exports{lib.FontDownloadW, lib.RemoveFontW, lib.GetCursor, lib.SetCursor};
  const std::u16string text = MappedText(file, 2000);
  const StrictPrint print = PrintStrictly(exports, name, mode, id, text, TempPath("cff.pxl"));
  ASSERT_TRUE(print.fontSent());
  EXPECT_EQ(print.noGlyph, 0u);
  EXPECT_TRUE(print.report.ok()) << print.report.Summary();

  FreeTypeFace original(ReadFileBytes(file));
  ASSERT_NE(original.face, nullptr);
  pclxl::XlStreamReader reader =
      pclxl::XlStreamReader::Fragment(print.job.data(), print.job.size());
  fndl::SoftFontCollector collector;
  pclxl::XlOperator op;
  while (reader.Next(op) == pclxl::XlStreamReader::Result::kOperator) collector.Feed(op);
  ASSERT_EQ(collector.history().size(), 1u);
  const fndl::SoftFont& font = *collector.history()[0];
  EXPECT_EQ(font.header.characterCount, original.face->num_glyphs) << "the CFF face itself";
  std::string error;
  EXPECT_GT(font.glyphs.size(), 500u);

  fndl::RebuiltFont rebuilt;
  ASSERT_TRUE(fndl::RebuildTrueType(font, rebuilt, error)) << error;
  FreeTypeFace converted(rebuilt.file);
  ASSERT_NE(converted.face, nullptr);
  size_t ink = 0, differ = 0, worst = 0;
  for (const auto& [glyph, bytes] : font.glyphs) {
    const Pixels expected = InkOf(original.face, glyph);
    size_t far = 0;
    const size_t d = Differ(expected, InkOf(converted.face, glyph), far);
    EXPECT_EQ(far, 0u) << "glyph " << glyph << ": ink more than a pixel from the original's";
    ink += expected.size();
    differ += d;
    if (!expected.empty()) worst = std::max(worst, d * 10000 / expected.size());
  }
  // Within a unit of a 1000-unit em only pixels whose centres lie on an edge change sides.
  EXPECT_LT(differ * 100, ink);
  EXPECT_LE(worst, 100u) << "a glyph's ink differs by " << worst / 100.0 << " %";
  std::printf("%zu glyphs: %zu of %zu pixels of ink differ; at most %.2f %% of a glyph's\n",
              font.glyphs.size(), differ, ink, worst / 100.0);
}

TEST(CffFont, ByNameTheCffFaceGoesOutAndEveryGlyphDrawsAsTheOriginal) {
  if (!std::filesystem::exists(kNimbusSans)) GTEST_SKIP() << "install fonts-urw-base35";
  CheckFace(kNimbusSans, "Nimbus Sans", FontMode::kEngine, 1);
}

TEST(CffFont, EveryFaceOfTheFamilyAsAFileDrawsAsTheOriginal) {
  uint32_t id = 10;
  for (const char* face : {"Regular", "Bold", "Italic", "BoldItalic"}) {
    const std::string file = std::string(kUrwFolder) + "NimbusSans-" + face + ".otf";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "install fonts-urw-base35";
    CheckFace(file, file, FontMode::kFile, id++);
  }
}

}  // namespace
}  // namespace tavrfndl::testing
