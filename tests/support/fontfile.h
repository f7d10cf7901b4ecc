// A real font file read with FreeType, for checking what the library sent against the font's
// own bytes without going through the library's table code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sfnt/bytes.h"

namespace tavrfndl::testing {

// Big-endian fields of font data, read through the library's bounds-checked view: 0 past the end.
inline uint32_t BeU16(const std::vector<uint8_t>& b, size_t at) {
  uint16_t v = 0;
  ByteView(b.data(), b.size()).ReadU16(at, v);
  return v;
}
inline uint32_t BeU32(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v = 0;
  ByteView(b.data(), b.size()).ReadU32(at, v);
  return v;
}

class FontFile {
 public:
  explicit FontFile(const std::string& path);
  ~FontFile();
  FontFile(const FontFile&) = delete;
  FontFile& operator=(const FontFile&) = delete;

  bool ok() const { return face_ != nullptr; }
  uint32_t NumGlyphs() const;
  uint32_t GlyphIndex(uint32_t codePoint) const;
  std::vector<uint8_t> Table(const char* tag) const;
  uint32_t UnitsPerEm() const;
  // The advance width of a glyph in font units, from "hmtx".
  uint32_t Advance(uint32_t glyph) const;
  // The glyph's bytes in "glyf", located through "loca" and "head".
  std::vector<uint8_t> GlyphBytes(uint32_t glyph) const;

 private:
  void* library_ = nullptr;
  void* face_ = nullptr;
};

}  // namespace tavrfndl::testing
