// The shape of a font's character-to-glyph map.
#pragma once

#include <cstdint>

namespace tavrfndl {

// Character codes 0..65534 have a map entry; 0xFFFF has none.
inline constexpr uint32_t kGlyphMapSize = 65535;
// The glyph index of a code no segment covers, and of a character without a usable glyph.
inline constexpr uint32_t kUnmappedGlyph = 32;

}  // namespace tavrfndl
