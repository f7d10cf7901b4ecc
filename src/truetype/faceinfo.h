// What the printer needs to know of a face's design beyond its tables: whether its outlines
// already lean, and how far its glyphs reach below the baseline.
#pragma once

#include <cstdint>

#include "truetype/tables.h"

namespace tavrfndl {

// Whether the face's own outlines are slanted (an italic or oblique face): "post" italicAngle not
// 0, or the italic bit of "head" macStyle or of "OS/2" fsSelection. A missing or short table says
// nothing; no table at all means upright.
bool IsSlantedFace(FontTables& tables);

// How far the face's glyphs reach below the baseline, in its own units.
struct FaceDescent {
  uint16_t unitsPerEm = 0;  // 0: unknown ("head" missing or short), and the descent unusable
  uint16_t descent = 0;     // at most one em
};

// "OS/2" usWinDescent (the depth below which Windows clips the face's glyphs), or, without it,
// the depth of "hhea" descender. A descent of more than an em is taken as one em: a face cannot
// make a line need more room below it than its whole size.
FaceDescent ReadFaceDescent(FontTables& tables);

}  // namespace tavrfndl
