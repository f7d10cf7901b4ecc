// The outline source for fonts without "glyf": the font engine's native outline records,
// parsed, converted and written as TrueType glyphs, render as the font's own outlines do.
#include <ft2build.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
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

using platform::GGO_GLYPH_INDEX;
using platform::GGO_NATIVE;
using platform::GGO_UNHINTED;

// ----- The records -----

class Records {
 public:
  Records& Polygon(double x, double y) {
    polygon_ = bytes_.size();
    U32(0).U32(24).Fixed(x).Fixed(y);
    return *this;
  }
  Records& Curve(uint16_t type, std::vector<std::pair<double, double>> points) {
    U16(type).U16(static_cast<uint16_t>(points.size()));
    for (auto [x, y] : points) Fixed(x).Fixed(y);
    const uint32_t cb = static_cast<uint32_t>(bytes_.size() - polygon_);
    for (int i = 0; i < 4; ++i) bytes_[polygon_ + i] = static_cast<uint8_t>(cb >> (8 * i));
    return *this;
  }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  Records& U16(uint32_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  Records& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Records& Fixed(double v) { return U32(static_cast<uint32_t>(static_cast<int32_t>(v * 65536))); }

  std::vector<uint8_t> bytes_;
  size_t polygon_ = 0;
};

Records Sample() {
  Records r;
  r.Polygon(0, 0)
      .Curve(1, {{100, 0}})
      .Curve(2, {{200, 0}, {200, 100}, {100, 200.5}})
      .Curve(3, {{50, 200}, {0, 150}, {-0.25, 100}});
  r.Polygon(10, 10).Curve(1, {{20, 10}, {20, 20}});
  return r;
}

TEST(ParseNativeOutline, ReadsLinesAndSplines) {
  std::vector<Contour> contours;
  Records r = Sample();
  ASSERT_TRUE(ParseNativeOutline(r.bytes().data(), r.bytes().size(), contours));
  ASSERT_EQ(contours.size(), 2u);
  const std::vector<Segment>& s = contours[0].segments;
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[0].kind, SegmentKind::kLine);
  EXPECT_EQ(s[0].end.x, 100);
  // The quadratic spline's two control points imply the on-curve point between them.
  EXPECT_EQ(s[1].kind, SegmentKind::kQuadratic);
  EXPECT_EQ(s[1].end.x, 200);
  EXPECT_EQ(s[1].end.y, 50);
  EXPECT_EQ(s[2].kind, SegmentKind::kQuadratic);
  EXPECT_EQ(s[2].control[0].y, 100);
  EXPECT_EQ(s[2].end.y, 200.5);
  EXPECT_EQ(s[3].kind, SegmentKind::kCubic);
  EXPECT_EQ(s[3].control[1].y, 150);
  EXPECT_EQ(s[3].end.x, -0.25);
  EXPECT_EQ(contours[1].start.x, 10);
  EXPECT_EQ(contours[1].segments.size(), 2u);
  EXPECT_TRUE(ParseNativeOutline(nullptr, 0, contours));
  EXPECT_TRUE(contours.empty());
}

TEST(ParseNativeOutline, RefusesRecordsNotLaidOutSo) {
  struct Damage {
    const char* name;
    void (*apply)(std::vector<uint8_t>&);
  };
  const Damage damages[] = {
      {"cb below the header", [](std::vector<uint8_t>& b) { b[0] = 15; }},
      {"cb past the data", [](std::vector<uint8_t>& b) { b[0] += 1; }},
      {"cb of 4 GB", [](std::vector<uint8_t>& b) { std::memset(b.data(), 0xFF, 4); }},
      {"polygon type", [](std::vector<uint8_t>& b) { b[4] = 25; }},
      {"unknown curve type", [](std::vector<uint8_t>& b) { b[16] = 4; }},
      {"no points", [](std::vector<uint8_t>& b) { b[18] = 0; }},
      {"more points than bytes", [](std::vector<uint8_t>& b) { b[18] = 2; }},
      {"cubic points not in threes", [](std::vector<uint8_t>& b) { b[58] = 2; }},
      {"truncated", [](std::vector<uint8_t>& b) { b.resize(b.size() - 1); }},
      {"trailing bytes", [](std::vector<uint8_t>& b) { b.push_back(0); }},
  };
  for (const Damage& d : damages) {
    Records r = Sample();
    ASSERT_EQ(r.bytes()[58], 3);  // the cubic record's point count
    d.apply(r.bytes());
    std::vector<Contour> contours(1);
    EXPECT_FALSE(ParseNativeOutline(r.bytes().data(), r.bytes().size(), contours)) << d.name;
    EXPECT_EQ(contours.size(), 1u) << d.name;
  }
  Records single;
  single.Polygon(0, 0).Curve(2, {{1, 1}});
  std::vector<Contour> contours;
  EXPECT_FALSE(ParseNativeOutline(single.bytes().data(), single.bytes().size(), contours));
}

// ----- The engine's records of a CFF font -----

constexpr char kUrwFolder[] = "/usr/share/fonts/opentype/urw-base35/";

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

// A font of the engine's at an em of unitsPerEm pixels, where the outline records are font
// units.
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

  bool Outline(uint32_t glyph, std::vector<Contour>& contours) {
    platform::GLYPHMETRICS gm;
    const uint32_t format = GGO_NATIVE | GGO_UNHINTED | GGO_GLYPH_INDEX;
    const uint32_t size =
        engine_.GetGlyphOutlineW(dc_, glyph, format, &gm, 0, nullptr, &platform::kIdentityMatrix);
    if (size == platform::GDI_ERROR) return false;
    std::vector<uint8_t> records(size);
    if (size > 0 && engine_.GetGlyphOutlineW(dc_, glyph, format, &gm, size, records.data(),
                                             &platform::kIdentityMatrix) != size) {
      return false;
    }
    return ParseNativeOutline(records.data(), records.size(), contours);
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

TEST(CffOutlineSource, EngineGivesNativeRecordsAsGdiDoes) {
  const std::string path = std::string(kUrwFolder) + "NimbusSans-Regular.otf";
  if (!Exists(path)) GTEST_SKIP() << path << " missing: install fonts-urw-base35";
  Face file(path);
  ASSERT_NE(file.get(), nullptr);
  const uint32_t l = FT_Get_Char_Index(file.get(), 'l'), space = FT_Get_Char_Index(file.get(), ' ');
  platform::FontEngine& engine = platform::PlatformFontEngine();
  platform::HDC dc = engine.CreateCompatibleDC();
  platform::LOGFONTA lf;
  lf.lfHeight = -500;  // half the em: the records are scaled to the font's size
  platform::HFONT font = engine.CreateFontIndirectA(lf, path.c_str());
  engine.SelectObject(dc, font);
  const uint32_t native = GGO_NATIVE | GGO_UNHINTED | GGO_GLYPH_INDEX;
  const platform::MAT2& identity = platform::kIdentityMatrix;
  platform::GLYPHMETRICS gm;

  // The stem of "l": one contour of straight lines from (152, 729) back to it, in font units.
  Records expected;
  expected.Polygon(76, 364.5).Curve(1, {{34, 364.5}, {34, 0}, {76, 0}, {76, 364.5}});
  const uint32_t size = engine.GetGlyphOutlineW(dc, l, native, &gm, 0, nullptr, &identity);
  ASSERT_EQ(size, expected.bytes().size());
  std::vector<uint8_t> records(size);
  EXPECT_EQ(engine.GetGlyphOutlineW(dc, l, native, &gm, size, records.data(), &identity), size);
  EXPECT_EQ(records, expected.bytes());
  EXPECT_EQ(gm.gmBlackBoxX, 42u);
  EXPECT_EQ(gm.gmBlackBoxY, 365u);
  EXPECT_EQ(gm.gmptGlyphOrigin.x, 34);
  EXPECT_EQ(gm.gmptGlyphOrigin.y, 365);

  EXPECT_EQ(engine.GetGlyphOutlineW(dc, space, native, &gm, 0, nullptr, &identity), 0u);
  const platform::MAT2 wide = {{0, 2}, {0, 0}, {0, 0}, {0, 1}};
  const uint32_t refused[][2] = {{l, platform::GGO_METRICS | GGO_GLYPH_INDEX},
                                 {l, GGO_NATIVE | GGO_GLYPH_INDEX},
                                 {uint32_t(file.get()->num_glyphs), native}};
  for (const auto& [glyph, format] : refused) {
    EXPECT_EQ(engine.GetGlyphOutlineW(dc, glyph, format, &gm, 0, nullptr, &identity),
              platform::GDI_ERROR);
  }
  EXPECT_EQ(engine.GetGlyphOutlineW(dc, l, native, nullptr, 0, nullptr, &identity),
            platform::GDI_ERROR);
  EXPECT_EQ(engine.GetGlyphOutlineW(dc, l, native, &gm, 0, nullptr, &wide), platform::GDI_ERROR);
  EXPECT_EQ(engine.GetGlyphOutlineW(dc, l, native, &gm, size - 1, records.data(), &identity),
            platform::GDI_ERROR);
  engine.DeleteDC(dc);
  engine.DeleteObject(font);
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

// Every glyph of the font through the engine, the parser, the converter and the encoder.
Converted ConvertFont(const std::string& path, FT_Face original) {
  Converted out;
  EmSizedFont font(path, original->units_per_EM);
  EXPECT_TRUE(font.ok());
  const double tolerance = ToleranceForEm(original->units_per_EM);
  for (FT_Long g = 0; g < original->num_glyphs; ++g) {
    std::vector<Contour> contours;
    std::vector<QuadContour> quadratic;
    EncodedGlyph glyph;
    EXPECT_TRUE(font.Outline(static_cast<uint32_t>(g), contours) &&
                ConvertContours(contours, tolerance, quadratic) &&
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

void MeasureGlyph(const std::vector<Contour>& contours, double tolerance, Measured& m) {
  for (const Contour& contour : contours) {
    Point current{std::round(contour.start.x), std::round(contour.start.y)};
    for (const Segment& s : contour.segments) {
      const Point end{std::round(s.end.x), std::round(s.end.y)};
      if (s.kind == SegmentKind::kCubic) {
        QuadContour spline;
        ASSERT_TRUE(CubicToQuadratics(current, s.control[0], s.control[1], end, tolerance, spline));
        m.maxDeviation = std::max(m.maxDeviation,
                                  test::CurveDistance({{current, s.control[0], s.control[1], end}},
                                                      test::SplinePieces(current, spline)));
      }
      current = end;
    }
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
      std::vector<Contour> contours;
      std::vector<QuadContour> quadratic;
      EncodedGlyph glyph;
      ASSERT_TRUE(font.Outline(static_cast<uint32_t>(g), contours) &&
                  ConvertContours(contours, tolerance, quadratic) &&
                  EncodeSimpleGlyph(quadratic, glyph));
      ASSERT_EQ(FT_Load_Glyph(original.get(), static_cast<FT_UInt>(g), FT_LOAD_NO_SCALE), 0);
      ++m.glyphs;
      m.cffPoints += static_cast<size_t>(original.get()->glyph->outline.n_points);
      m.quadraticPoints += glyph.points;
      MeasureGlyph(contours, tolerance, m);
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
