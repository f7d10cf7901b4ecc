// Turns a downloaded soft font back into a TrueType font file that FreeType can load: the
// font-wide tables of the GT segment as they came, a "glyf" table assembled from the character
// records by glyph index, and a long-offset "loca" for it ("head" is patched to say so). No
// "cmap" is made: the preview draws by glyph index, which the character records give for every
// character code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "softfont_records.h"

namespace fndl {

struct RebuiltFont {
  std::vector<uint8_t> file;
  uint16_t numGlyphs = 0;  // from the font's "maxp"
  // Things that were dropped or repaired on the way (a glyph index beyond numGlyphs, a table
  // that runs past the GT segment and was cut).
  std::vector<std::string> notes;
};

// False with *error when no usable font can be made (no GT segment, no "head" or "maxp").
bool RebuildTrueType(const SoftFont& font, RebuiltFont& out, std::string& error);

}  // namespace fndl
