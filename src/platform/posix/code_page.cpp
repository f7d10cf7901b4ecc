// MultiByteToWideChar / WideCharToMultiByte on POSIX. The ANSI code page is the code set of the
// process's locale; where that is plain ASCII (the C locale, which a process has until it calls
// setlocale) the conversions use UTF-8 instead, because a Linux file name or face name with any
// byte above 0x7F is UTF-8 far more often than it is anything else.
//
// UTF-8 goes through the library's own decoder (unicode/utf8.h), where each maximal ill-formed
// subpart becomes one U+FFFD, as Windows does for CP_UTF8. Every other code set goes through
// iconv, where each byte iconv rejects becomes one U+FFFD.
#include "platform/posix/code_page.h"

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>

#include "platform/platform.h"
#include "unicode/utf8.h"

namespace tavrfndl::platform {
namespace {

constexpr uint32_t kCpThreadAcp = 3;
constexpr uint32_t kCpUtf8 = 65001;
constexpr uint16_t kReplacementChar = unicode::kReplacementCharacter;
constexpr char kDefaultChar = '?';

std::mutex g_codeSetMutex;
char g_codeSetOverride[64] = {};

bool EqualsIgnoreCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    char ca = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 'a' + 'A') : *a;
    char cb = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 'a' + 'A') : *b;
    if (ca != cb) return false;
  }
  return *a == *b;
}

struct CodeSet {
  char name[64] = {};
  bool utf8 = false;
};

void CopyName(char (&out)[64], const char* name) {
  size_t n = strnlen(name, sizeof(out) - 1);
  memcpy(out, name, n);
  out[n] = '\0';
}

CodeSet ResolveCodeSet(uint32_t codePage) {
  CodeSet out;
  if (codePage == CP_ACP || codePage == kCpThreadAcp) {
    {
      std::lock_guard<std::mutex> lock(g_codeSetMutex);
      CopyName(out.name, g_codeSetOverride);
    }
    if (out.name[0] == '\0') {
      const char* locale = nl_langinfo(CODESET);
      CopyName(out.name, locale != nullptr ? locale : "");
    }
    if (out.name[0] == '\0' || EqualsIgnoreCase(out.name, "ANSI_X3.4-1968") ||
        EqualsIgnoreCase(out.name, "ANSI_X3.4-1986") || EqualsIgnoreCase(out.name, "ASCII") ||
        EqualsIgnoreCase(out.name, "US-ASCII") || EqualsIgnoreCase(out.name, "646")) {
      CopyName(out.name, "UTF-8");
    }
  } else if (codePage == kCpUtf8) {
    CopyName(out.name, "UTF-8");
  } else {
    snprintf(out.name, sizeof(out.name), "CP%u", static_cast<unsigned>(codePage));
  }
  out.utf8 = EqualsIgnoreCase(out.name, "UTF-8") || EqualsIgnoreCase(out.name, "UTF8");
  return out;
}

// Where converted units go: the caller's buffer, or nowhere when only the count is wanted.
template <typename T>
class Sink {
 public:
  Sink(T* out, int capacity) : out_(capacity > 0 ? out : nullptr), capacity_(capacity) {}

  bool Put(T value) {
    if (failed_) return false;
    if (count_ == INT_MAX || (out_ != nullptr && count_ >= capacity_)) {
      failed_ = true;
      return false;
    }
    if (out_ != nullptr) out_[count_] = value;
    ++count_;
    return true;
  }
  bool failed() const { return failed_; }
  int count() const { return count_; }

 private:
  T* out_;
  int capacity_;
  int count_ = 0;
  bool failed_ = false;
};

void DecodeUtf8(const char* s, size_t n, Sink<uint16_t>& sink) {
  unicode::Utf8ToUtf16(std::string_view(s, n), [&sink](char16_t unit) { return sink.Put(unit); });
}

void EncodeUtf8(const uint16_t* s, size_t n, Sink<char>& sink) {
  for (size_t i = 0; i < n && !sink.failed(); ++i) {
    char32_t c = s[i];
    if (unicode::IsHighSurrogate(c) && i + 1 < n && unicode::IsLowSurrogate(s[i + 1])) {
      c = unicode::FromSurrogates(c, s[++i]);
    } else if (unicode::IsHighSurrogate(c) || unicode::IsLowSurrogate(c)) {
      sink.Put(kDefaultChar);
      continue;
    }
    char bytes[4];
    const size_t count = unicode::EncodeUtf8(c, bytes);
    for (size_t k = 0; k < count; ++k) sink.Put(bytes[k]);
  }
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Runs iconv over the whole input. onOutput receives each block of converted bytes; onInvalid is
// told where the input is bad (and whether it is only cut short) and answers how many bytes to
// skip. False when iconv fails otherwise.
template <typename Output, typename Invalid>
bool RunIconv(iconv_t cd, char* in, size_t inLeft, Output onOutput, Invalid onInvalid) {
  char block[512];
  const char* start = in;
  bool flushing = false;
  for (;;) {
    char* out = block;
    size_t outLeft = sizeof(block);
    size_t r;
    if (inLeft > 0) {
      r = iconv(cd, &in, &inLeft, &out, &outLeft);
    } else {
      // Lets a stateful code set close its last shift sequence.
      flushing = true;
      r = iconv(cd, nullptr, nullptr, &out, &outLeft);
    }
    int err = r == static_cast<size_t>(-1) ? errno : 0;
    if (!onOutput(block, static_cast<size_t>(out - block))) return false;
    if (err == 0) {
      if (flushing) return true;
      continue;
    }
    if (err == E2BIG) continue;
    if (flushing || (err != EILSEQ && err != EINVAL)) return false;
    size_t skip = onInvalid(static_cast<size_t>(in - start), err == EINVAL);
    if (skip > inLeft) skip = inLeft;
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
}

bool DecodeIconv(const char* codeSet, const char* s, size_t n, Sink<uint16_t>& sink) {
  Iconv cd("UTF-16LE", codeSet);
  if (!cd.ok()) return false;
  auto output = [&sink](const char* bytes, size_t count) {
    for (size_t i = 0; i + 1 < count; i += 2) {
      sink.Put(static_cast<uint16_t>(static_cast<uint8_t>(bytes[i]) |
                                     (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    }
    return !sink.failed();
  };
  auto invalid = [&sink, n](size_t, bool truncated) -> size_t {
    sink.Put(kReplacementChar);
    return truncated ? n : 1;
  };
  return RunIconv(cd.get(), const_cast<char*>(s), n, output, invalid);
}

bool EncodeIconv(const char* codeSet, const uint16_t* s, size_t n, Sink<char>& sink) {
  Iconv cd(codeSet, "UTF-16LE");
  if (!cd.ok()) return false;
  if (n > SIZE_MAX / 2) return false;
  std::unique_ptr<char[]> bytes(new (std::nothrow) char[n * 2]);
  if (!bytes) return false;
  for (size_t i = 0; i < n; ++i) {
    bytes[2 * i] = static_cast<char>(s[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(s[i] >> 8);
  }
  auto output = [&sink](const char* out, size_t count) {
    for (size_t i = 0; i < count; ++i) sink.Put(out[i]);
    return !sink.failed();
  };
  auto invalid = [&sink, s, n](size_t byteOffset, bool truncated) -> size_t {
    sink.Put(kDefaultChar);
    size_t unit = byteOffset / 2;
    if (truncated) return (n - unit) * 2;
    // A pair the code set cannot hold is one character: one '?'.
    bool pair =
        unit + 1 < n && unicode::IsHighSurrogate(s[unit]) && unicode::IsLowSurrogate(s[unit + 1]);
    return pair ? 4 : 2;
  };
  return RunIconv(cd.get(), bytes.get(), n * 2, output, invalid);
}

}  // namespace

int MultiByteToWideChar(uint32_t codePage, uint32_t /*dwFlags*/, const char* lpMultiByteStr,
                        int cbMultiByte, uint16_t* lpWideCharStr, int cchWideChar) {
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0) {
    return 0;
  }
  size_t n = cbMultiByte == -1 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  CodeSet codeSet = ResolveCodeSet(codePage);
  Sink<uint16_t> sink(lpWideCharStr, cchWideChar);
  if (codeSet.utf8) {
    DecodeUtf8(lpMultiByteStr, n, sink);
  } else if (!DecodeIconv(codeSet.name, lpMultiByteStr, n, sink)) {
    return 0;
  }
  return sink.failed() ? 0 : sink.count();
}

int WideCharToMultiByte(uint32_t codePage, uint32_t /*dwFlags*/, const uint16_t* lpWideCharStr,
                        int cchWideChar, char* lpMultiByteStr, int cbMultiByte) {
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0) {
    return 0;
  }
  size_t n = 0;
  if (cchWideChar == -1) {
    while (lpWideCharStr[n] != 0) ++n;
    ++n;
  } else {
    n = static_cast<size_t>(cchWideChar);
  }
  CodeSet codeSet = ResolveCodeSet(codePage);
  Sink<char> sink(lpMultiByteStr, cbMultiByte);
  if (codeSet.utf8) {
    EncodeUtf8(lpWideCharStr, n, sink);
  } else if (!EncodeIconv(codeSet.name, lpWideCharStr, n, sink)) {
    return 0;
  }
  return sink.failed() ? 0 : sink.count();
}

void SetAnsiCodeSetForTesting(const char* codeset) {
  std::lock_guard<std::mutex> lock(g_codeSetMutex);
  CopyName(g_codeSetOverride, codeset != nullptr ? codeset : "");
}

namespace posix {

std::unique_ptr<char[]> AnsiToUtf8(const char* text) {
  if (text == nullptr) return nullptr;
  int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (units <= 0) return nullptr;
  std::unique_ptr<uint16_t[]> wide(new (std::nothrow) uint16_t[static_cast<size_t>(units)]);
  if (!wide || MultiByteToWideChar(CP_ACP, 0, text, -1, wide.get(), units) != units) {
    return nullptr;
  }
  int bytes = WideCharToMultiByte(kCpUtf8, 0, wide.get(), units, nullptr, 0);
  if (bytes <= 0) return nullptr;
  std::unique_ptr<char[]> utf8(new (std::nothrow) char[static_cast<size_t>(bytes)]);
  if (!utf8 || WideCharToMultiByte(kCpUtf8, 0, wide.get(), units, utf8.get(), bytes) != bytes) {
    return nullptr;
  }
  return utf8;
}

}  // namespace posix
}  // namespace tavrfndl::platform
