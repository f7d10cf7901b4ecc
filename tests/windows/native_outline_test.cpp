// Native outlines of a font with CFF outlines from GDI: the engine passes GDI's records through,
// and the glyphs the outline module makes of them are the ones the Linux library makes of
// FreeType's outlines of the same file (under Wine: those of straight lines only, see below).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "outline/outline.h"
#include "platform/platform.h"
#include "support/shared_read.h"

// After the library's header, whose constants <windows.h> would turn into macros.
#include "platform/windows/win32.h"

namespace tavrfndl::testing {
namespace {

namespace pf = tavrfndl::platform;

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

bool HasQuadraticSegments(const std::vector<outline::Contour>& contours) {
  for (const outline::Contour& contour : contours) {
    for (const outline::Segment& segment : contour.segments) {
      if (segment.kind == outline::SegmentKind::kQuadratic) return true;
    }
  }
  return false;
}

TEST(NativeOutline, CffGlyphsFromGdiAreTheLinuxLibrarys) {
  if (ReadSharedFile(kNimbusSans).empty()) GTEST_SKIP() << kNimbusSans << " missing";
  pf::FontEngine& engine = pf::CurrentFontEngine();
  pf::LOGFONTA lf;
  lf.lfHeight = -1000;  // the font's unitsPerEm: the records are in font units
  pf::HDC dc = engine.CreateCompatibleDC();
  pf::HFONT font = engine.CreateFontIndirectA(lf, kNimbusSans);
  ASSERT_NE(font, nullptr);
  engine.SelectObject(dc, font);
  for (const LinuxGlyph& expected : kLinuxGlyphs) {
    SCOPED_TRACE(expected.glyph);
    pf::GLYPHMETRICS gm;
    const uint32_t size = engine.GetGlyphOutlineW(dc, expected.glyph, kNativeByIndex, &gm, 0,
                                                  nullptr, &pf::kIdentityMatrix);
    ASSERT_NE(size, GDI_ERROR);
    std::vector<uint8_t> records(size), direct(size);
    ASSERT_EQ(engine.GetGlyphOutlineW(dc, expected.glyph, kNativeByIndex, &gm, size, records.data(),
                                      &pf::kIdentityMatrix),
              size);
    ::GLYPHMETRICS directMetrics{};
    const ::MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    ASSERT_EQ(::GetGlyphOutlineW(reinterpret_cast<::HDC>(dc), expected.glyph, kNativeByIndex,
                                 &directMetrics, size, direct.data(), &identity),
              size);
    EXPECT_EQ(records, direct);

    std::vector<outline::Contour> contours;
    std::vector<outline::QuadContour> quadratic;
    outline::EncodedGlyph glyph;
    ASSERT_TRUE(outline::ParseNativeOutline(records.data(), records.size(), contours));
    ASSERT_TRUE(outline::ConvertContours(contours, outline::ToleranceForEm(1000), quadratic));
    ASSERT_TRUE(outline::EncodeSimpleGlyph(quadratic, glyph));
    if (RunsUnderWine() && HasQuadraticSegments(contours)) {
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
