// Hostile fonts: one small, intact font and variants of it that each break one thing a font
// reader must not trust. The hostile-font tests run every one through the C interface; the seed
// generator (fuzz/seedgen) writes them to tests/fonts/bad/ and into the fuzz corpus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrfndl::test {

// The intact font: glyph 0 empty, 1 and 2 simple, 3 a composite of 1 and 2, 4 simple; "cmap"
// maps 'A'..'D' to 1..4 by delta and 'a'..'b' to 1..2 through the glyph index array.
std::vector<uint8_t> IntactFont();

// The run printed with the fonts: a simple glyph, another, then the composite.
inline const std::u16string kHostileText = u"ABC";

struct HostileFont {
  std::string name;  // file name under tests/fonts/bad/
  std::string what;  // what is broken
  std::vector<uint8_t> bytes;
  // The answer in file mode when the run is kHostileText, and where the run stops on result 1.
  int32_t result = 0;
  int32_t stopOffset = 0;
};

std::vector<HostileFont> HostileFonts();
// The font of that name (the test fails when there is none).
HostileFont FindHostileFont(const std::string& name);

}  // namespace tavrfndl::test
