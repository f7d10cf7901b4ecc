// Faces whose glyphs are not TrueType "glyf" data (OpenType fonts with CFF outlines). A format-0
// soft font carries TrueType glyphs only, so such a face goes to the printer as a TrueType font
// of its own making: a header of the face's own metrics ("head", "hhea", "hmtx") and a "maxp"
// whose maxima the converted glyphs are held to; the glyphs themselves are converted from the
// font engine's outlines as they are sent.
#pragma once

#include <cstdint>

#include "sfnt/bytes.h"
#include "sfnt/directory.h"

namespace tavrfndl::sfnt {

// maxp maxPoints and maxContours of a converted face. A rasterizer sizes its glyph zone from
// them, so they are kept to what outlines need (a CJK glyph reaches a few hundred points after
// conversion) and a glyph past them is not sent.
inline constexpr uint16_t kMaxOutlinePoints = 4096;
inline constexpr uint16_t kMaxOutlineContours = 512;

// The made font's em is the face's times this: 2 for the usual 1000-unit em of CFF fonts, so that
// converted points round to half a unit of the face (a whole unit moved edge pixels of up to
// 1.3 % of a glyph's ink at 100 ppem in Nimbus Sans Bold), 1 where twice the em would pass
// the largest em a font may have.
inline constexpr uint32_t kMaxScaledEm = 16384;
uint32_t OutlineFaceScale(uint16_t unitsPerEm);

// A face whose glyphs are CFF outlines ("CFF " or "CFF2" and no "glyf").
bool IsOutlineFace(ByteView font);
// The TrueType font that stands for such a face on the printer: its "cmap", "head" (glyphs with
// long offsets), "hhea" and "hmtx" in the made font's units (OutlineFaceScale), and a "maxp"
// with the maxima its converted glyphs keep to.
bool BuildOutlineFaceFont(ByteView font, StandaloneFont& out);

}  // namespace tavrfndl::sfnt
