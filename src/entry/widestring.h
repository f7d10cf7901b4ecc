// Heap copies of the head or tail of a zero-terminated UTF-16 string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tavrfndl {

using WideString = std::unique_ptr<uint16_t[]>;

// Length of s up to its terminator, never reading past max units.
size_t WideLength(const uint16_t* s, size_t max);

// The first n units of s (the empty string when n is 0 or longer than s); null only when no
// memory is left.
WideString CopyHeadW(const uint16_t* s, size_t n);
// The last n units of s (the empty string when n is 0); null when n is longer than s or no
// memory is left.
WideString CopyTailW(const uint16_t* s, size_t n);

}  // namespace tavrfndl
