// UTF-8 and UTF-16 conversions for the tool: input text and paths become UTF-16 for the
// library, and UTF-16 from a stream becomes printable UTF-8 for listings and messages. UTF-8 is
// decoded and encoded by the library's own module (unicode/utf8.h), as the code pages are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fndl {

// Decodes UTF-8; each maximal ill-formed subsequence becomes one U+FFFD and is counted in
// *invalid. Characters beyond the BMP become surrogate pairs.
std::u16string Utf8ToUtf16(std::string_view text, size_t* invalid = nullptr);

// Converts text in a character set iconv knows to UTF-8 in place; each sequence the set cannot
// decode becomes one U+FFFD and is counted in invalid. An empty name, "UTF-8" or "utf8" leaves
// the bytes alone (the UTF-8 decoder counts its own faults). False with *error for a set iconv
// does not know.
bool ConvertToUtf8(const std::string& charset, std::vector<uint8_t>& bytes, size_t& invalid,
                   std::string& error);

// Encodes one code point (a lone surrogate becomes U+FFFD).
void AppendUtf8(std::string& out, char32_t c);

// UTF-16 to UTF-8, pairing surrogates; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// A code point for a message: U+00E9 'é', with controls and lone surrogates shown by number only.
std::string DescribeCodePoint(char32_t c);

}  // namespace fndl
