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

// The glyph's outline as the engine gives it for emFont (font units), scaled to the made font.
bool FetchOutline(platform::HDC emFont, uint16_t glyph, uint32_t scale, outline::Outline& out) {
  if (emFont == nullptr || !platform::CurrentFontEngine().LoadGlyphOutline(emFont, glyph, out)) {
    return false;
  }
  for (outline::OutlinePoint& p : out.points) {
    p.at.x *= scale;
    p.at.y *= scale;
  }
  return true;
}

// The outline in the made font's units as a TrueType glyph within what its "maxp" promises.
// The deviation allowed is half that of the face's em: rounding to whole units of the made
// font takes the rest.
bool ConvertGlyph(const outline::Outline& outline, uint16_t unitsPerEm, uint32_t scale,
                  outline::EncodedGlyph& encoded) {
  std::vector<outline::QuadContour> quadratic;
  return outline::ConvertContours(outline, outline::ToleranceForEm(unitsPerEm) * scale / 2,
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
  const uint32_t scale = sfnt::OutlineFaceScale(em);
  try {
    outline::Outline outline;
    outline::EncodedGlyph encoded;
    if (!FetchOutline(emFont.dc(), glyph, scale, outline) ||
        !ConvertGlyph(outline, em, scale, encoded)) {
      return std::nullopt;
    }
    storage = std::move(encoded.bytes);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  // The header's xMin is set to the bearing so that the glyph is drawn where its points lie.
  const std::optional<int16_t> lsb = LeftSideBearing(tables, glyph);
  if (lsb && storage.size() >= sfnt::kGlyphHeaderSize) {
    const int32_t scaled = int32_t{*lsb} * static_cast<int32_t>(scale);
    PutU16(&storage[2], static_cast<uint16_t>(std::clamp<int32_t>(scaled, INT16_MIN, INT16_MAX)));
  }
  return ByteView(storage.data(), storage.size());
}

}  // namespace tavrfndl
