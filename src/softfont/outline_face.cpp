// The glyphs of a face without "glyf": each taken from the font engine's unhinted outline in font
// units when it is first sent, converted to quadratic curves and written as a TrueType glyph.
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

}  // namespace

std::optional<ByteView> OutlineGlyphData(FontTables& tables, platform::HDC emFont, uint16_t glyph,
                                         uint32_t unitsPerEm, std::vector<uint8_t>& storage) {
  platform::FontEngine& engine = platform::CurrentFontEngine();
  constexpr uint32_t kFormat =
      platform::GGO_NATIVE | platform::GGO_UNHINTED | platform::GGO_GLYPH_INDEX;
  platform::GLYPHMETRICS gm;
  const uint32_t size =
      engine.GetGlyphOutlineW(emFont, glyph, kFormat, &gm, 0, nullptr, &platform::kIdentityMatrix);
  if (emFont == nullptr || size == platform::GDI_ERROR) return std::nullopt;
  try {
    std::vector<uint8_t> records(size);
    if (size > 0 && engine.GetGlyphOutlineW(emFont, glyph, kFormat, &gm, size, records.data(),
                                            &platform::kIdentityMatrix) != size) {
      return std::nullopt;
    }
    std::vector<outline::Contour> contours;
    std::vector<outline::QuadContour> quadratic;
    outline::EncodedGlyph encoded;
    if (!outline::ParseNativeOutline(records.data(), records.size(), contours) ||
        !outline::ConvertContours(contours, outline::ToleranceForEm(unitsPerEm), quadratic) ||
        !outline::EncodeSimpleGlyph(quadratic, encoded) ||
        encoded.points > sfnt::kMaxOutlinePoints || encoded.contours > sfnt::kMaxOutlineContours ||
        encoded.bytes.size() > kMaxGlyphDataSize) {
      return std::nullopt;
    }
    storage = std::move(encoded.bytes);
    // The header's xMin is set to the bearing so that the glyph is drawn where its points lie.
    const std::optional<int16_t> lsb = LeftSideBearing(tables, glyph);
    if (lsb && storage.size() >= sfnt::kGlyphHeaderSize) PutU16(&storage[2], uint16_t(*lsb));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  return ByteView(storage.data(), storage.size());
}

}  // namespace tavrfndl
