// What the printer needs to know of a face's design beyond its tables: whether its outlines
// already lean.
#pragma once

#include <cstdint>

#include "truetype/tables.h"

namespace tavrfndl {

// Whether the face's own outlines are slanted (an italic or oblique face): "post" italicAngle not
// 0, or the italic bit of "head" macStyle or of "OS/2" fsSelection. A missing or short table says
// nothing; no table at all means upright.
bool IsSlantedFace(FontTables& tables);

}  // namespace tavrfndl
