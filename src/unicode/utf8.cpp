#include "unicode/utf8.h"

namespace tavrfndl::unicode {
namespace {

// What a lead byte promises: its continuation bytes, its own bits, and the range of the first
// continuation byte, which alone rules out overlong forms, surrogates and values past U+10FFFF.
struct Lead {
  size_t continuations = 0;
  char32_t bits = 0;
  unsigned char lo = 0x80, hi = 0xBF;
};

bool ReadLead(unsigned char b, Lead& lead) {
  if (b >= 0xC2 && b <= 0xDF) {
    lead = {1, b & 0x1Fu};
  } else if (b >= 0xE0 && b <= 0xEF) {
    lead = {2, b & 0x0Fu, static_cast<unsigned char>(b == 0xE0 ? 0xA0 : 0x80),
            static_cast<unsigned char>(b == 0xED ? 0x9F : 0xBF)};
  } else if (b >= 0xF0 && b <= 0xF4) {
    lead = {3, b & 0x07u, static_cast<unsigned char>(b == 0xF0 ? 0x90 : 0x80),
            static_cast<unsigned char>(b == 0xF4 ? 0x8F : 0xBF)};
  } else {
    return false;
  }
  return true;
}

}  // namespace

Utf8Step DecodeUtf8(std::string_view text, size_t pos) {
  const auto b = static_cast<unsigned char>(text[pos]);
  if (b < 0x80) return {b, 1, true};
  Lead lead;
  if (!ReadLead(b, lead)) return {kReplacementCharacter, 1, false};
  Utf8Step step{lead.bits, 1, true};
  for (size_t k = 0; k < lead.continuations; ++k) {
    const size_t at = pos + step.length;
    const auto c = at < text.size() ? static_cast<unsigned char>(text[at]) : 0;
    // The bytes read so far are the maximal subpart; the offending byte starts anew.
    if (c < lead.lo || c > lead.hi) return {kReplacementCharacter, step.length, false};
    step.codePoint = (step.codePoint << 6) | (c & 0x3Fu);
    ++step.length;
    lead.lo = 0x80;
    lead.hi = 0xBF;
  }
  return step;
}

size_t EncodeUtf8(char32_t c, char out[4]) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  size_t n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  static constexpr unsigned char kLeadMarks[5] = {0, 0, 0xC0, 0xE0, 0xF0};
  for (size_t i = n - 1; i > 0; --i, c >>= 6) out[i] = static_cast<char>(0x80 | (c & 0x3F));
  out[0] = static_cast<char>(kLeadMarks[n] | c);
  return n;
}

}  // namespace tavrfndl::unicode
