// The outline source for fonts without "glyf": the font engine's outlines, converted and written
// as TrueType glyphs, render as the font's own outlines do.
#include <ft2build.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>
#include FT_FREETYPE_H

#include "outline/outline.h"
#include "platform/platform.h"
#include "sfnt/bytes.h"
#include "spline_distance.h"
#include "support/fontbuilder.h"

namespace tavrfndl::outline {
namespace {

// ----- The engine's outlines of a CFF font -----

constexpr char kUrwFolder[] = "/usr/share/fonts/opentype/urw-base35/";

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

// A font of the engine's at an em of unitsPerEm pixels, where the outlines are font units.
class EmSizedFont {
 public:
  EmSizedFont(const std::string& path, int32_t unitsPerEm)
      : engine_(platform::PlatformFontEngine()), dc_(engine_.CreateCompatibleDC()) {
    platform::LOGFONTA lf;
    lf.lfHeight = -unitsPerEm;
    font_ = engine_.CreateFontIndirectA(lf, path.c_str());
    engine_.SelectObject(dc_, font_);
  }
  ~EmSizedFont() {
    engine_.DeleteDC(dc_);
    engine_.DeleteObject(font_);
  }
  bool ok() const { return dc_ != nullptr && font_ != nullptr; }

  bool Get(uint32_t glyph, Outline& outline) {
    return engine_.LoadGlyphOutline(dc_, glyph, outline);
  }

 private:
  platform::FontEngine& engine_;
  platform::HDC dc_;
  platform::HFONT font_ = nullptr;
};

// A FreeType face of a file or of bytes.
class Face {
 public:
  explicit Face(const std::string& path) {
    if (FT_Init_FreeType(&library_) == 0 && FT_New_Face(library_, path.c_str(), 0, &face_) != 0) {
      face_ = nullptr;
    }
  }
  explicit Face(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
    if (FT_Init_FreeType(&library_) == 0 &&
        FT_New_Memory_Face(library_, bytes_.data(), static_cast<FT_Long>(bytes_.size()), 0,
                           &face_) != 0) {
      face_ = nullptr;
    }
  }
  ~Face() {
    if (face_ != nullptr) FT_Done_Face(face_);
    if (library_ != nullptr) FT_Done_FreeType(library_);
  }
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;
  FT_Face get() const { return face_; }

 private:
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
  std::vector<uint8_t> bytes_;
};

std::vector<std::pair<double, double>> Points(const Outline& outline) {
  std::vector<std::pair<double, double>> points;
  for (const OutlinePoint& p : outline.points) points.emplace_back(p.at.x, p.at.y);
  return points;
}

TEST(CffOutlineSource, EngineGivesOutlinesInUnitsOfTheFontsEm) {
  const std::string path = std::string(kUrwFolder) + "NimbusSans-Regular.otf";
  if (!Exists(path)) GTEST_SKIP() << path << " missing: install fonts-urw-base35";
  Face file(path);
  ASSERT_NE(file.get(), nullptr);
  const uint32_t l = FT_Get_Char_Index(file.get(), 'l'), space = FT_Get_Char_Index(file.get(), ' ');
  // Half the em: the outline is scaled to the font's size. The stem of "l" is one contour of
  // straight lines from (152, 729) in font units.
  EmSizedFont half(path, 500);
  ASSERT_TRUE(half.ok());
  Outline outline;
  ASSERT_TRUE(half.Get(l, outline));
  const std::vector<std::pair<double, double>> stem = {{76, 364.5}, {34, 364.5}, {34, 0}, {76, 0}};
  EXPECT_EQ(Points(outline), stem);
  EXPECT_EQ(outline.contourEnds, std::vector<size_t>{4});
  for (const OutlinePoint& p : outline.points) EXPECT_EQ(p.kind, PointKind::kOnCurve);
  EXPECT_TRUE(half.Get(space, outline));
  EXPECT_TRUE(outline.points.empty() && outline.contourEnds.empty());
  EXPECT_FALSE(half.Get(static_cast<uint32_t>(file.get()->num_glyphs), outline));
  // At 50 times the em the stem's top lies beyond what GDI's fixed-point outlines hold.
  EmSizedFont huge(path, 50000);
  ASSERT_TRUE(huge.ok());
  EXPECT_FALSE(huge.Get(l, outline));
}

using Pixels = std::set<std::pair<int, int>>;

// The glyph rendered bilevel at 100 ppem without hinting, as pixel positions.
Pixels Ink(FT_Face face, uint16_t glyph) {
  Pixels ink;
  if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_TARGET_MONO) != 0) {
    ADD_FAILURE() << "glyph " << glyph << " does not load";
    return ink;
  }
  // FreeType's bilevel rasteriser flattens curves coarsely at this size unless asked not to, and
  // flattens a cubic arc and its quadratic replacement differently: alone that moved up to 2 %
  // of a glyph's pixels, even for replacements ten times closer than the tolerance.
  face->glyph->outline.flags |= FT_OUTLINE_HIGH_PRECISION;
  if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) != 0) {
    ADD_FAILURE() << "glyph " << glyph << " does not render";
    return ink;
  }
  const FT_Bitmap& b = face->glyph->bitmap;
  for (unsigned row = 0; row < b.rows; ++row) {
    for (unsigned col = 0; col < b.width; ++col) {
      if (b.buffer[row * b.pitch + col / 8] & (0x80 >> (col % 8))) {
        ink.insert({face->glyph->bitmap_left + int(col), face->glyph->bitmap_top - int(row)});
      }
    }
  }
  return ink;
}

bool Near(const Pixels& ink, std::pair<int, int> p) {
  for (int dx = -1; dx <= 1; ++dx) {
    for (int dy = -1; dy <= 1; ++dy) {
      if (ink.count({p.first + dx, p.second + dy})) return true;
    }
  }
  return false;
}

// The pixels in one and not the other, after checking that each has ink of the other beside it
// and that the amount of ink stays within 1 %.
size_t CompareInk(const Pixels& original, const Pixels& converted, std::string& fault) {
  size_t differ = 0;
  for (const auto& [from, to] :
       {std::pair{&original, &converted}, std::pair{&converted, &original}}) {
    for (const auto& p : *from) {
      if (to->count(p)) continue;
      ++differ;
      if (!Near(*to, p)) fault = "ink more than a pixel away from the other glyph's";
    }
  }
  const size_t a = original.size(), b = converted.size();
  if ((a > b ? a - b : b - a) * 100 > a) {
    fault = std::to_string(a) + " pixels of ink become " + std::to_string(b);
  }
  return differ;
}

struct Converted {
  std::vector<std::vector<uint8_t>> glyphs;
  uint16_t maxPoints = 0, maxContours = 0;
};

// Every glyph of the font through the engine, the converter and the encoder.
Converted ConvertFont(const std::string& path, FT_Face original) {
  Converted out;
  EmSizedFont font(path, original->units_per_EM);
  EXPECT_TRUE(font.ok());
  const double tolerance = ToleranceForEm(original->units_per_EM);
  for (FT_Long g = 0; g < original->num_glyphs; ++g) {
    Outline outline;
    std::vector<QuadContour> quadratic;
    EncodedGlyph glyph;
    EXPECT_TRUE(font.Get(static_cast<uint32_t>(g), outline) &&
                ConvertContours(outline, tolerance, quadratic) &&
                EncodeSimpleGlyph(quadratic, glyph))
        << "glyph " << g;
    out.glyphs.push_back(std::move(glyph.bytes));
    out.maxPoints = std::max(out.maxPoints, glyph.points);
    out.maxContours = std::max(out.maxContours, glyph.contours);
  }
  return out;
}

std::vector<uint8_t> TrueTypeFont(const Converted& converted, uint16_t unitsPerEm) {
  test::GlyfBuilder glyf(test::LocaFormat::kLong);
  for (const auto& bytes : converted.glyphs) glyf.AddGlyph(bytes);
  test::FontBuilder font = test::BasicFont(glyf, test::CmapBuilder());
  font.Find("head")->data = test::BuildHead(1, unitsPerEm);
  // A TrueType rasteriser places the glyph so that xMin falls on the left side bearing.
  std::vector<test::HMetric> metrics;
  for (const auto& bytes : converted.glyphs) {
    int16_t xMin = 0;
    ByteView(bytes.data(), bytes.size()).ReadS16(2, xMin);
    metrics.push_back({1000, xMin});
  }
  font.Find("hmtx")->data = test::BuildHmtx(metrics);
  std::vector<uint8_t>& maxp = font.Find("maxp")->data;
  for (auto [at, v] : {std::pair{6, converted.maxPoints}, std::pair{8, converted.maxContours}}) {
    maxp[at] = static_cast<uint8_t>(v >> 8);
    maxp[at + 1] = static_cast<uint8_t>(v);
  }
  return font.Build();
}

TEST(CffOutlineSource, EveryGlyphRendersAsTheOriginalAt100Ppem) {
  const std::string path = std::string(kUrwFolder) + "NimbusSans-Regular.otf";
  if (!Exists(path)) GTEST_SKIP() << path << " missing: install fonts-urw-base35";
  Face original(path);
  ASSERT_NE(original.get(), nullptr);
  const Converted converted = ConvertFont(path, original.get());
  Face rebuilt(TrueTypeFont(converted, original.get()->units_per_EM));
  ASSERT_NE(rebuilt.get(), nullptr);
  ASSERT_EQ(rebuilt.get()->num_glyphs, original.get()->num_glyphs);
  FT_Set_Pixel_Sizes(original.get(), 0, 100);
  FT_Set_Pixel_Sizes(rebuilt.get(), 0, 100);
  size_t inked = 0, ink = 0, differ = 0, worst = 0;
  for (FT_Long g = 0; g < original.get()->num_glyphs; ++g) {
    const Pixels expected = Ink(original.get(), static_cast<uint16_t>(g));
    std::string fault;
    const size_t d = CompareInk(expected, Ink(rebuilt.get(), static_cast<uint16_t>(g)), fault);
    EXPECT_EQ(fault, "") << "glyph " << g;
    inked += expected.empty() ? 0 : 1;
    ink += expected.size();
    differ += d;
    if (!expected.empty()) worst = std::max(worst, d * 10000 / expected.size());
  }
  EXPECT_GT(inked, 800u);
  // Pixels whose centre lies within a tenth of a pixel (a font unit) of an edge may change
  // sides: a handful along every curve. Over the font they stay well below 1 % of the ink.
  EXPECT_LT(differ * 100, ink);
  std::printf("%zu of %zu pixels of ink differ; at most %.2f %% of a glyph's\n", differ, ink,
              worst / 100.0);
}

// The deviation of every cubic segment's replacement, sampled, over a font's glyphs.
struct Measured {
  double maxDeviation = 0;
  size_t glyphs = 0, cffPoints = 0, quadraticPoints = 0;
};

void MeasureArc(Point start, Point control1, Point control2, Point end, double tolerance,
                Measured& m) {
  QuadContour spline;
  ASSERT_TRUE(CubicToQuadratics(start, control1, control2, end, tolerance, spline));
  m.maxDeviation = std::max(m.maxDeviation, test::CurveDistance({{start, control1, control2, end}},
                                                                test::SplinePieces(start, spline)));
}

Point RoundedAt(const OutlinePoint& p) {
  return {std::round(p.at.x), std::round(p.at.y)};
}

// A CFF glyph's contours start on the curve and hold lines and cubic arcs only.
void MeasureGlyph(const Outline& outline, double tolerance, Measured& m) {
  size_t begin = 0;
  for (const size_t end : outline.contourEnds) {
    const Point start = RoundedAt(outline.points[begin]);
    Point current = start;
    for (size_t i = begin + 1; i < end; ++i) {
      const OutlinePoint& p = outline.points[i];
      ASSERT_NE(p.kind, PointKind::kQuadratic);
      if (p.kind == PointKind::kCubic) {
        const Point arcEnd = i + 2 < end ? RoundedAt(outline.points[i + 2]) : start;
        MeasureArc(current, p.at, outline.points[i + 1].at, arcEnd, tolerance, m);
        i += 2;
        current = arcEnd;
      } else {
        current = RoundedAt(p);
      }
    }
    begin = end;
  }
}

// Every glyph of the faces: converted within the tolerance, measured by sampling both curves.
void MeasureFaces(std::initializer_list<const char*> names) {
  Measured m;
  for (const char* name : names) {
    const std::string path = std::string(kUrwFolder) + name + ".otf";
    if (!Exists(path)) GTEST_SKIP() << path << " missing: install fonts-urw-base35";
    Face original(path);
    ASSERT_NE(original.get(), nullptr);
    const double tolerance = ToleranceForEm(original.get()->units_per_EM);
    EmSizedFont font(path, original.get()->units_per_EM);
    for (FT_Long g = 0; g < original.get()->num_glyphs; ++g) {
      Outline outline;
      std::vector<QuadContour> quadratic;
      EncodedGlyph glyph;
      ASSERT_TRUE(font.Get(static_cast<uint32_t>(g), outline) &&
                  ConvertContours(outline, tolerance, quadratic) &&
                  EncodeSimpleGlyph(quadratic, glyph));
      ASSERT_EQ(FT_Load_Glyph(original.get(), static_cast<FT_UInt>(g), FT_LOAD_NO_SCALE), 0);
      ++m.glyphs;
      m.cffPoints += static_cast<size_t>(original.get()->glyph->outline.n_points);
      m.quadraticPoints += glyph.points;
      MeasureGlyph(outline, tolerance, m);
      ASSERT_LE(m.maxDeviation, tolerance) << name << " glyph " << g;
    }
  }
  std::printf(
      "%zu glyphs: largest deviation %.3f units; points per glyph %.2f (CFF), %.2f "
      "(TrueType)\n",
      m.glyphs, m.maxDeviation, double(m.cffPoints) / double(m.glyphs),
      double(m.quadraticPoints) / double(m.glyphs));
}

TEST(CffOutlineSource, EveryGlyphIsConvertedWithinTheTolerance) {
  MeasureFaces({"NimbusSans-Regular"});
}

// The whole family, for the figures (eight times as long):
// test_outline --gtest_also_run_disabled_tests --gtest_filter='*NimbusSansFamily*'
TEST(CffOutlineSource, DISABLED_NimbusSansFamily) {
  MeasureFaces({"NimbusSans-Regular", "NimbusSans-Bold", "NimbusSans-Italic",
                "NimbusSans-BoldItalic", "NimbusSansNarrow-Regular", "NimbusSansNarrow-Bold",
                "NimbusSansNarrow-Oblique", "NimbusSansNarrow-BoldOblique"});
}

}  // namespace
}  // namespace tavrfndl::outline
