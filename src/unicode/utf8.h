// UTF-8 for the library's code pages and for the fndl tool: one decoder, one encoder.
//
// Ill-formed input is replaced as the Unicode standard recommends and as Windows does for
// CP_UTF8: each maximal subpart (the longest start of a well-formed sequence, else one byte)
// becomes one U+FFFD, so one fault costs one replacement and the sequence after it survives.
// ICU's u_strFromUTF8WithSub replaces the same way, but would make every process that loads the
// driver library map ICU and its 30 MB data library, for these few lines.
#pragma once

#include <cstddef>
#include <string_view>

namespace tavrfndl::unicode {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

constexpr bool IsHighSurrogate(char32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}
constexpr char32_t FromSurrogates(char32_t high, char32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

struct Utf8Step {
  char32_t codePoint = kReplacementCharacter;
  size_t length = 0;  // bytes read: at least one
  bool valid = false;
};

// The character starting at text[pos], which must lie inside the text. An ill-formed sequence
// gives U+FFFD over its maximal subpart.
Utf8Step DecodeUtf8(std::string_view text, size_t pos);

// The UTF-8 bytes of a scalar value (not a surrogate, at most U+10FFFF): 1 to 4 of out.
size_t EncodeUtf8(char32_t c, char out[4]);

// Decodes text, handing each UTF-16 unit to put (characters past the BMP as surrogate pairs)
// until put answers false. Returns how many ill-formed subparts were replaced.
template <typename Put>
size_t Utf8ToUtf16(std::string_view text, Put put) {
  size_t replaced = 0;
  for (size_t pos = 0; pos < text.size();) {
    const Utf8Step step = DecodeUtf8(text, pos);
    pos += step.length;
    if (!step.valid) ++replaced;
    const char32_t c = step.codePoint;
    const bool more = c < 0x10000 ? put(static_cast<char16_t>(c))
                                  : put(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10))) &&
                                        put(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    if (!more) break;
  }
  return replaced;
}

}  // namespace tavrfndl::unicode
