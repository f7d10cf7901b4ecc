// `fndl check`: validates a TrueType font file as the library does before it sends one, so that a
// person whose font does not print learns why.
#pragma once

#include <cstdio>
#include <string>

namespace fndl {

// Prints each finding to out; the font-wide ones mean the library refuses the font (exit 1),
// glyph findings name the characters it would leave out (exit 0). Exit 1 also when the file
// cannot be read.
int RunCheck(const std::string& path, std::FILE* out);

}  // namespace fndl
