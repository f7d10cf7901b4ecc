#include "text_utf.h"

#include <iconv.h>
#include <strings.h>

#include <cerrno>
#include <cstdio>

#include "unicode/utf8.h"

namespace fndl {
namespace {

namespace unicode = tavrfndl::unicode;

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
  const size_t bad = unicode::Utf8ToUtf16(text, [&out](char16_t unit) {
    out.push_back(unit);
    return true;
  });
  if (invalid) *invalid = bad;
  return out;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (IsSurrogate(c) || c > 0x10FFFF) c = unicode::kReplacementCharacter;
  char bytes[4];
  out.append(bytes, unicode::EncodeUtf8(c, bytes));
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (unicode::IsHighSurrogate(c) && i + 1 < text.size() &&
        unicode::IsLowSurrogate(text[i + 1])) {
      c = unicode::FromSurrogates(c, text[++i]);
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
