// GDI's native outline records (GetGlyphOutlineW with GGO_NATIVE) as the library's outline.
#pragma once

#include <cstddef>
#include <cstdint>

#include "outline/outline.h"

namespace tavrfndl::platform::windows {

// The records, little-endian as GDI writes them: per contour a TTPOLYGONHEADER (cb, dwType 24,
// pfxStart), then TTPOLYCURVE records (wType 1 line, 2 quadratic spline, 3 cubic spline; cpfx;
// cpfx POINTFX), coordinates 16.16 fixed. The records are untrusted: every count and length is
// checked against the data, and anything not laid out so fails. Empty data is a glyph without
// outline. After a failure out holds nothing to use.
bool ParseNativeOutline(const uint8_t* data, size_t size, outline::Outline& out);

}  // namespace tavrfndl::platform::windows
