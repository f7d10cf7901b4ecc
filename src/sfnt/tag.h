// Table tags. A directory stores a tag as four bytes, read here as a big-endian number; the font
// engine takes the same four bytes packed first byte least significant.
#pragma once

#include <cstdint>

namespace tavrfndl::sfnt {

struct Tag {
  uint32_t value = 0;

  constexpr Tag() = default;
  constexpr explicit Tag(uint32_t v) : value(v) {}
  // From a 4-character literal ("glyf", "cvt ").
  constexpr Tag(const char (&text)[5])
      : value((uint32_t{static_cast<uint8_t>(text[0])} << 24) |
              (uint32_t{static_cast<uint8_t>(text[1])} << 16) |
              (uint32_t{static_cast<uint8_t>(text[2])} << 8) |
              uint32_t{static_cast<uint8_t>(text[3])}) {}

  // From the four bytes as a directory stores them, whatever they are.
  static constexpr Tag FromBytes(const char bytes[4]) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | uint32_t{static_cast<uint8_t>(bytes[i])};
    return Tag(v);
  }
  // From a name of up to four characters; missing bytes are 0, so "cvt" is not "cvt ".
  static constexpr Tag FromText(const char* text) {
    uint32_t v = 0;
    bool ended = false;
    for (int i = 0; i < 4; ++i) {
      ended = ended || text[i] == '\0';
      v = (v << 8) | (ended ? 0u : uint32_t{static_cast<uint8_t>(text[i])});
    }
    return Tag(v);
  }

  // The font engine's table identifier (GetFontData's dwTable), and back: the bytes reversed.
  constexpr uint32_t EngineId() const { return Reversed(value); }
  static constexpr Tag FromEngineId(uint32_t id) { return Tag(Reversed(id)); }
  // The four bytes and a terminator, for messages and for comparisons as text.
  constexpr void Text(char out[5]) const {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (24 - 8 * i));
    out[4] = '\0';
  }
  constexpr bool operator==(const Tag&) const = default;

 private:
  static constexpr uint32_t Reversed(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
  }
};

inline constexpr Tag kCollectionTag("ttcf");

}  // namespace tavrfndl::sfnt
