// The shape of a font's character-to-glyph map.
#pragma once

#include <cstdint>

namespace tavrfndl {

// Character codes 0..65534 have a map entry; 0xFFFF has none.
inline constexpr uint32_t kGlyphMapSize = 65535;
// The map's entry for a code no segment covers, and the glyph index recorded for a character
// without a usable glyph. It lies above every glyph index (they are 16-bit), so that no real
// glyph is taken for a missing one: glyph 32 is '?' in every font with the standard CFF order
// of glyphs and '=' in DejaVu Sans.
inline constexpr uint32_t kUnmappedGlyph = 0xFFFFFFFF;

}  // namespace tavrfndl
