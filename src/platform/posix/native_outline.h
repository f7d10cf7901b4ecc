// A FreeType outline as the native outline records of Windows' GetGlyphOutlineW (GGO_NATIVE).
#pragma once

#include <ft2build.h>

#include <cstdint>
#include <vector>
#include FT_FREETYPE_H

namespace tavrfndl::platform::posix {

// The records of an outline in font units, scaled to ppem pixels per em: per contour a
// TTPOLYGONHEADER, then TTPOLYCURVE records (consecutive lines and consecutive cubic segments
// share one record; each quadratic segment is a record of its own), little-endian, coordinates
// 16.16 fixed. False when a coordinate leaves the 16-bit range of FIXED, the outline is
// malformed, or there is no memory.
bool WriteNativeOutline(const FT_Outline& outline, int64_t ppem, int64_t unitsPerEm,
                        std::vector<uint8_t>& out);

}  // namespace tavrfndl::platform::posix
