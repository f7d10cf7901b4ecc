// GDI's native outline records: the parser reads what GDI lays out and refuses anything else,
// and the glyphs the outline module makes of a CFF font's outlines from GDI are the ones the
// Linux library makes of FreeType's outlines of the same file (under Wine: those of straight
// lines only, see below).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "outline/outline.h"
#include "platform/platform.h"
#include "platform/windows/native_outline.h"
#include "support/shared_read.h"

// After the library's header, whose constants <windows.h> would turn into macros.
#include "platform/windows/win32.h"

namespace tavrfndl::testing {
namespace {

namespace pf = tavrfndl::platform;
using outline::PointKind;
using pf::windows::ParseNativeOutline;

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

struct Expected {
  double x, y;
  PointKind kind;
};

TEST(ParseNativeOutline, ReadsLinesAndSplines) {
  Records r = Sample();
  outline::Outline parsed;
  ASSERT_TRUE(ParseNativeOutline(r.bytes().data(), r.bytes().size(), parsed));
  constexpr PointKind on = PointKind::kOnCurve, quadratic = PointKind::kQuadratic,
                      cubic = PointKind::kCubic;
  // A quadratic spline's points but the last are control points, a cubic spline's come in
  // (control, control, end) triples.
  const Expected expected[] = {
      {0, 0, on},       {100, 0, on},     {200, 0, quadratic}, {200, 100, quadratic},
      {100, 200.5, on}, {50, 200, cubic}, {0, 150, cubic},     {-0.25, 100, on},
      {10, 10, on},     {20, 10, on},     {20, 20, on}};
  ASSERT_EQ(parsed.points.size(), std::size(expected));
  for (size_t i = 0; i < parsed.points.size(); ++i) {
    EXPECT_EQ(parsed.points[i].at.x, expected[i].x) << i;
    EXPECT_EQ(parsed.points[i].at.y, expected[i].y) << i;
    EXPECT_EQ(parsed.points[i].kind, expected[i].kind) << i;
  }
  EXPECT_EQ(parsed.contourEnds, (std::vector<size_t>{8, 11}));
  EXPECT_TRUE(ParseNativeOutline(nullptr, 0, parsed));
  EXPECT_TRUE(parsed.points.empty() && parsed.contourEnds.empty());
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
    outline::Outline parsed;
    EXPECT_FALSE(ParseNativeOutline(r.bytes().data(), r.bytes().size(), parsed)) << d.name;
  }
  Records single;
  single.Polygon(0, 0).Curve(2, {{1, 1}});
  outline::Outline parsed;
  EXPECT_FALSE(ParseNativeOutline(single.bytes().data(), single.bytes().size(), parsed));
}

// ----- GDI's outlines of a CFF font -----

constexpr char kNimbusSans[] = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";
constexpr uint32_t kNativeByIndex = GGO_NATIVE | GGO_UNHINTED | GGO_GLYPH_INDEX;

struct LinuxGlyph {
  uint32_t glyph;
  const char* hex;  // the "glyf" entry the Linux library writes
};

// Written by the Linux build from FreeType's unscaled outlines of the same file.
const LinuxGlyph kLinuxGlyphs[] = {
    {77,  // 'l'
     "000100440000009802D9000300001323113398545402D9FD27"},
    {48,  // 'O'
     "00020026FFE902E602E500110020000001220E02141E023332373636353426260732161615140606"
     "2322262634363601854E815D33325D824F875B3B43579F6B4F754041754D4E7441407502E537658C"
     "AC8C65374D32A05976AE60524B885D58854B4B87B4874B"},
    {72,  // 'g'
     "00020023FF2601E1021B0023002F0000011526262322060615141617163332363715140623222723"
     "1E02333236373E02351107321615140623222635343601941F49323F613720223C532F4821414E68"
     "0C55043357393A5C1914180BDF42484941404848020C4C2F2C498154426328472D311B6957583146"
     "272320193F583D01B63E6B645F6A6B61606C"},
    {7,  // '&'
     "00030034FFE9027D02C500260033003E000001160607273E023534262622060615141616170E0215"
     "1416163332373E02371733273635252E02353436333216151406130606232226263534363701ED01"
     "110F85343C1A2A49604D2E0E241F3E471D335C3E4D370B141B133E6D7A3AFEE01E1E0A2F2726312E"
     "4C2A4627243B243644014E1B421AA31E3438242E47282A472C172D3728243E452E3C5A3123071018"
     "134E97595E6123281D12272F30252137FEB72C26223A242A452B"},
};

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string out;
  char digits[3];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    out += digits;
  }
  return out;
}

bool RunsUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool HasQuadraticArcs(const outline::Outline& outline) {
  for (const outline::OutlinePoint& p : outline.points) {
    if (p.kind == PointKind::kQuadratic) return true;
  }
  return false;
}

bool SamePoints(const outline::Outline& a, const outline::Outline& b) {
  if (a.contourEnds != b.contourEnds || a.points.size() != b.points.size()) return false;
  for (size_t i = 0; i < a.points.size(); ++i) {
    const outline::OutlinePoint &p = a.points[i], &q = b.points[i];
    if (p.at.x != q.at.x || p.at.y != q.at.y || p.kind != q.kind) return false;
  }
  return true;
}

// GDI's records as they are, read by the parser.
outline::Outline DirectFromGdi(pf::HDC dc, uint32_t glyph) {
  ::GLYPHMETRICS gm{};
  const ::MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  const auto gdc = reinterpret_cast<::HDC>(dc);
  const DWORD size = ::GetGlyphOutlineW(gdc, glyph, kNativeByIndex, &gm, 0, nullptr, &identity);
  std::vector<uint8_t> records(size);
  outline::Outline parsed;
  EXPECT_NE(size, GDI_ERROR);
  EXPECT_EQ(::GetGlyphOutlineW(gdc, glyph, kNativeByIndex, &gm, size, records.data(), &identity),
            size);
  EXPECT_TRUE(ParseNativeOutline(records.data(), records.size(), parsed));
  return parsed;
}

TEST(NativeOutline, CffGlyphsFromGdiAreTheLinuxLibrarys) {
  if (ReadSharedFile(kNimbusSans).empty()) GTEST_SKIP() << kNimbusSans << " missing";
  pf::FontEngine& engine = pf::CurrentFontEngine();
  pf::LOGFONTA lf;
  lf.lfHeight = -1000;  // the font's unitsPerEm: the outline is in font units
  pf::HDC dc = engine.CreateCompatibleDC();
  pf::HFONT font = engine.CreateFontIndirectA(lf, kNimbusSans);
  ASSERT_NE(font, nullptr);
  engine.SelectObject(dc, font);
  for (const LinuxGlyph& expected : kLinuxGlyphs) {
    SCOPED_TRACE(expected.glyph);
    outline::Outline fromEngine;
    ASSERT_TRUE(engine.LoadGlyphOutline(dc, expected.glyph, fromEngine));
    EXPECT_TRUE(SamePoints(fromEngine, DirectFromGdi(dc, expected.glyph)));

    std::vector<outline::QuadContour> quadratic;
    outline::EncodedGlyph glyph;
    ASSERT_TRUE(outline::ConvertContours(fromEngine, outline::ToleranceForEm(1000), quadratic));
    ASSERT_TRUE(outline::EncodeSimpleGlyph(quadratic, glyph));
    if (RunsUnderWine() && HasQuadraticArcs(fromEngine)) {
      // Wine's GDI writes every off-curve point of FreeType's outline into TT_PRIM_QSPLINE
      // records, the control points of a CFF font's cubic curves too: its curves are not the
      // font's. Windows' own GDI gives them as TT_PRIM_CSPLINE.
      continue;
    }
    EXPECT_EQ(Hex(glyph.bytes), expected.hex);
  }
  engine.DeleteDC(dc);
  engine.DeleteObject(font);
}

}  // namespace
}  // namespace tavrfndl::testing
