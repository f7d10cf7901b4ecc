// The glyphs of a face without "glyf": each taken from the font engine's unhinted outline in font
// units when it is first sent, converted to quadratic curves and written as a TrueType glyph.
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "outline/outline.h"
#include "sfnt/glyf.h"
#include "sfnt/outline_face.h"
#include "softfont/softfont.h"

namespace tavrfndl {
namespace {

// The glyph's left side bearing in "hmtx". A TrueType rasterizer draws a glyph shifted by its
// bearing less the xMin of its header; a CFF font's bearing is the extent of its cubic outline,
// which the converted glyph's points can miss by a few units (psi in Nimbus Sans: 90 against
// 83), and the glyph would land that far off where the original draws.
std::optional<int16_t> LeftSideBearing(FontTables& tables, uint16_t glyph) {
  const auto hhea = tables.Find("hhea");
  const auto hmtx = tables.Find("hmtx");
  uint16_t longMetrics = 0;
  if (!hhea || !hmtx || !hhea->ReadU16(34, longMetrics) || longMetrics == 0) return std::nullopt;
  const size_t at = glyph < longMetrics ? 4 * size_t{glyph} + 2
                                        : 4 * size_t{longMetrics} + 2 * (glyph - longMetrics);
  int16_t lsb = 0;
  if (!hmtx->ReadS16(at, lsb)) return std::nullopt;
  return lsb;
}

void Scale(outline::Point& p, double scale) {
  p.x *= scale;
  p.y *= scale;
}

void ScaleContours(std::vector<outline::Contour>& contours, double scale) {
  for (outline::Contour& contour : contours) {
    Scale(contour.start, scale);
    for (outline::Segment& segment : contour.segments) {
      for (outline::Point& control : segment.control) Scale(control, scale);
      Scale(segment.end, scale);
    }
  }
}

constexpr uint32_t kUsualRecordBytes = 8192;

// The glyph's outline as the engine gives it for emFont: font units.
bool FetchOutline(platform::HDC emFont, uint16_t glyph, std::vector<outline::Contour>& contours) {
  platform::FontEngine& engine = platform::CurrentFontEngine();
  constexpr uint32_t kFormat =
      platform::GGO_NATIVE | platform::GGO_UNHINTED | platform::GGO_GLYPH_INDEX;
  platform::GLYPHMETRICS gm;
  const auto* identity = &platform::kIdentityMatrix;
  if (emFont == nullptr) return false;
  // Most glyphs' records fit a few kilobytes: asked for at once, the engine loads the glyph once
  // instead of once for the size and once for the records.
  std::vector<uint8_t> records(kUsualRecordBytes);
  uint32_t size = engine.GetGlyphOutlineW(emFont, glyph, kFormat, &gm, kUsualRecordBytes,
                                          records.data(), identity);
  if (size == platform::GDI_ERROR) {
    size = engine.GetGlyphOutlineW(emFont, glyph, kFormat, &gm, 0, nullptr, identity);
    if (size == platform::GDI_ERROR) return false;
    records.resize(size);
    if (size > 0 && engine.GetGlyphOutlineW(emFont, glyph, kFormat, &gm, size, records.data(),
                                            identity) != size) {
      return false;
    }
  }
  return size <= records.size() && outline::ParseNativeOutline(records.data(), size, contours);
}

// The contours in the made font's units as a TrueType glyph within what its "maxp" promises.
// The deviation allowed is half that of the face's em: rounding to whole units of the made
// font takes the rest.
bool ConvertGlyph(std::vector<outline::Contour>& contours, uint16_t unitsPerEm,
                  outline::EncodedGlyph& encoded) {
  const uint32_t scale = sfnt::OutlineFaceScale(unitsPerEm);
  ScaleContours(contours, scale);
  std::vector<outline::QuadContour> quadratic;
  return outline::ConvertContours(contours, outline::ToleranceForEm(unitsPerEm) * scale / 2,
                                  quadratic) &&
         outline::EncodeSimpleGlyph(quadratic, encoded) &&
         encoded.points <= sfnt::kMaxOutlinePoints &&
         encoded.contours <= sfnt::kMaxOutlineContours && encoded.bytes.size() <= kMaxGlyphDataSize;
}

}  // namespace

EmFont::~EmFont() {
  platform::FontEngine& engine = platform::CurrentFontEngine();
  if (dc_) engine.DeleteDC(dc_);  // deselects the font, which can then go
  if (font_) engine.DeleteObject(font_);
}

platform::HDC EmFont::dc() {
  if (!made_) {
    made_ = true;
    platform::FontEngine& engine = platform::CurrentFontEngine();
    lf_.lfHeight = -static_cast<int32_t>(unitsPerEm_);
    std::strncpy(lf_.lfFaceName, name_ ? name_ : "", sizeof lf_.lfFaceName - 1);
    dc_ = engine.CreateCompatibleDC();
    font_ = engine.CreateFontIndirectA(lf_, name_);
    if (dc_ && font_) engine.SelectObject(dc_, font_);
  }
  return font_ ? dc_ : nullptr;
}

std::optional<ByteView> OutlineGlyphData(FontTables& tables, EmFont& emFont, uint16_t glyph,
                                         std::vector<uint8_t>& storage) {
  const uint16_t em = emFont.unitsPerEm();
  try {
    std::vector<outline::Contour> contours;
    outline::EncodedGlyph encoded;
    if (!FetchOutline(emFont.dc(), glyph, contours) || !ConvertGlyph(contours, em, encoded)) {
      return std::nullopt;
    }
    storage = std::move(encoded.bytes);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  // The header's xMin is set to the bearing so that the glyph is drawn where its points lie.
  const std::optional<int16_t> lsb = LeftSideBearing(tables, glyph);
  if (lsb && storage.size() >= sfnt::kGlyphHeaderSize) {
    const int32_t scaled = int32_t{*lsb} * static_cast<int32_t>(sfnt::OutlineFaceScale(em));
    PutU16(&storage[2], static_cast<uint16_t>(std::clamp<int32_t>(scaled, INT16_MIN, INT16_MAX)));
  }
  return ByteView(storage.data(), storage.size());
}

}  // namespace tavrfndl
