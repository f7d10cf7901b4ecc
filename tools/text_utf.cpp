#include "text_utf.h"

#include <iconv.h>
#include <strings.h>

#include <cerrno>
#include <cstdio>

namespace fndl {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

bool IsUtf8Name(const std::string& charset) {
  return charset.empty() || strcasecmp(charset.c_str(), "UTF-8") == 0 ||
         strcasecmp(charset.c_str(), "utf8") == 0;
}

class Converter {
 public:
  explicit Converter(const std::string& charset) : cd_(iconv_open("UTF-8", charset.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts everything; a byte iconv rejects (or an incomplete sequence at the end) becomes
  // U+FFFD and the conversion goes on after it.
  std::vector<uint8_t> Run(std::vector<uint8_t>& in, size_t& invalid) {
    std::vector<uint8_t> out(in.size() * 4 + 16);
    char* from = reinterpret_cast<char*>(in.data());
    size_t left = in.size();
    size_t used = 0;
    while (left > 0) {
      char* to = reinterpret_cast<char*>(out.data() + used);
      size_t room = out.size() - used;
      size_t done = iconv(cd_, &from, &left, &to, &room);
      used = out.size() - room;
      if (done != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      if (out.size() - used < 3) out.resize(out.size() * 2);
      for (uint8_t b : {0xEF, 0xBF, 0xBD}) out[used++] = b;
      ++invalid;
      ++from;
      --left;
    }
    out.resize(used);
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

bool ConvertToUtf8(const std::string& charset, std::vector<uint8_t>& bytes, size_t& invalid,
                   std::string& error) {
  if (IsUtf8Name(charset)) return true;
  Converter converter(charset);
  if (!converter.ok()) {
    error = "the character set \"" + charset + "\" is not known";
    return false;
  }
  bytes = converter.Run(bytes, invalid);
  return true;
}

std::u16string Utf8ToUtf16(std::string_view text, size_t* invalid) {
  std::u16string out;
  out.reserve(text.size());
  size_t bad = 0;
  size_t i = 0;
  while (i < text.size()) {
    auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    size_t need = 0;
    char32_t c = 0;
    // The first continuation byte has a narrower range for some leads; that is what rules out
    // overlong forms, surrogates and values above U+10FFFF.
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      c = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      c = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      out.push_back(static_cast<char16_t>(kReplacement));
      ++bad;
      ++i;
      continue;
    }
    size_t j = i + 1;
    size_t got = 0;
    while (got < need && j < text.size()) {
      auto cb = static_cast<unsigned char>(text[j]);
      if (cb < lo || cb > hi) break;
      c = (c << 6) | (cb & 0x3F);
      lo = 0x80;
      hi = 0xBF;
      ++j;
      ++got;
    }
    i = j;
    if (got < need) {
      out.push_back(static_cast<char16_t>(kReplacement));
      ++bad;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  if (invalid) *invalid = bad;
  return out;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (IsSurrogate(c) || c > 0x10FFFF) c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string DescribeCodePoint(char32_t c) {
  char number[16];
  std::snprintf(number, sizeof(number), "U+%04X", static_cast<unsigned>(c));
  std::string text = number;
  bool printable =
      c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0) && !IsSurrogate(c) && c <= 0x10FFFF;
  if (printable) {
    text += " '";
    AppendUtf8(text, c);
    text += "'";
  }
  return text;
}

}  // namespace fndl
