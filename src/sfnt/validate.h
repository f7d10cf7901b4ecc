// Font validation before a font header goes out.
//
// What a font that passes ValidateFont guarantees: its table directory and every table the
// header carries lie inside the font data and clear of the directory; "head", "hhea", "maxp",
// "hmtx" and "loca" are long enough for what a rasterizer reads of them, with the values it
// depends on in range (the magic number, unitsPerEm, indexToLocFormat, numGlyphs,
// numberOfHMetrics); "glyf" is there; the character map subtable the library reads is whole; the
// font's programs are well formed, and what their opening stretches plainly demand (functions,
// opcode definitions, stack, calls of functions defined) fits the limits of "maxp".
// What it does not guarantee: anything about individual glyphs, which ValidateGlyph checks as
// each is sent, nor what the programs do past those opening stretches, which needs running them.
#pragma once

#include <cstdint>

#include "sfnt/bytes.h"
#include "sfnt/findings.h"
#include "sfnt/tag.h"

namespace tavrfndl::sfnt {

// The tables a font header carries as they are, the font-wide tables a TrueType rasterizer
// needs: "cvt ", "fpgm", "head", "hhea", "hmtx", "maxp", "prep", each also in upper case, and
// the control value table also as the 3-letter "cvt"/"CVT" some old fonts spell.
bool IsHeaderTable(Tag tag);

// The facts later reads rely on, valid when the font passed.
struct FontFacts {
  uint16_t numGlyphs = 0;
  uint16_t unitsPerEm = 0;
  int16_t indexToLocFormat = 0;
};

// Validates the font at the start of data, and that every header table lies inside it (one font: a
// collection header is not followed). Tables are looked up by their lower-case tag or its
// upper-case form, the first record deciding, as file-mode lookups do. True when nothing was found
// wrong.
// Where a font's glyphs come from: "glyf" (located through "loca"), or the font engine's
// outlines of a face without "glyf" (CFF), for which those two tables are not read.
enum class GlyphSource { kGlyf, kEngineOutlines };

bool ValidateFont(ByteView data, Findings& findings, FontFacts* facts = nullptr,
                  GlyphSource glyphs = GlyphSource::kGlyf);

}  // namespace tavrfndl::sfnt
