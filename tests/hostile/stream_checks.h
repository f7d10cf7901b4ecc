// Whether what the library appended to a job is a stream a printer can follow whatever font it
// was given: every length the library announces is followed by exactly that many bytes, so that
// font data are never read as operators or operators as font data. Shared by the hostile-font
// tests and the fuzz targets, which treat a violation like a crash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrfndl::testing {

// What is wrong with the stream, or an empty string when nothing is. Checked:
// - the bytes parse into operators with attributes and embedded data;
// - font headers and character brackets open and close in order and never nest, and only
//   ReadFontHeader and ReadChar carry embedded data;
// - ReadFontHeader's FontHeaderLength equals its data size;
// - ReadChar's CharDataSize equals its data size, and the record inside gives its own size as
//   the data size less 2;
// - a header's pieces together are the 8 fixed bytes, a "GT" segment whose size S is followed
//   by exactly S bytes, and the null segment; the GT directory fits in S with its table offsets
//   ascending from the end of the directory and none past S;
// - Text carries as many advances as characters;
// - every font that characters, a selection or a removal name was defined by a header earlier
//   in the stream and not removed since, and no header defines a font that is defined already
//   (the printer would reject the job). The stream must therefore start where the printer holds
//   none of the library's fonts: a whole job, or the output since the library was loaded or
//   last released its fonts.
std::string StreamProblem(const std::vector<uint8_t>& stream);

}  // namespace tavrfndl::testing
