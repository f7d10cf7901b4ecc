// The readable listing of a PCL XL stream: the prologue, one operator per line with its
// attributes and embedded data, the font headers and character records decoded where they
// complete, and a summary. A stream that breaks ends the listing with the offset and the reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "pclxl/xlstream_reader.h"

namespace fndl {

// Writes the listing to out and the error, if any, also to err. Returns 0 for a stream that
// reads to its end without a problem, 1 otherwise.
int WriteListing(const uint8_t* data, size_t size, std::FILE* out, std::FILE* err);

// One attribute as the listing shows it: "Name=type value".
std::string FormatAttribute(const tavrfndl::pclxl::XlAttribute& attribute);

}  // namespace fndl
