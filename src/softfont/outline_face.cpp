// The glyphs of a face without "glyf": each taken from the font engine's unhinted outline in font
// units when it is first sent, converted to quadratic curves and written as a TrueType glyph.
#include <new>

#include "outline/outline.h"
#include "sfnt/outline_face.h"
#include "softfont/softfont.h"

namespace tavrfndl {

std::optional<ByteView> OutlineGlyphData(platform::HDC emFont, uint16_t glyph, uint32_t unitsPerEm,
                                         std::vector<uint8_t>& storage) {
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
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  return ByteView(storage.data(), storage.size());
}

}  // namespace tavrfndl
