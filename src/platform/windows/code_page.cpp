// MultiByteToWideChar / WideCharToMultiByte are the system's own. A test can make CP_ACP stand
// for a named code set; the name is resolved to a Windows code page number once, when it is set,
// so that the conversions themselves only pass a number on.
#include "platform/windows/code_page.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>

#include "platform/platform.h"

namespace tavrfndl::platform {
namespace {

// Captured before <windows.h> turns the names into macros.
constexpr uint32_t kLibraryCpAcp = CP_ACP;

}  // namespace
}  // namespace tavrfndl::platform

#include "platform/windows/win32.h"

namespace tavrfndl::platform {
namespace {

static_assert(kLibraryCpAcp == CP_ACP);
static_assert(sizeof(wchar_t) == sizeof(uint16_t), "WCHAR holds one UTF-16 code unit");

// No override: CP_ACP is the system's. A name that resolves to no code page the system has
// makes every CP_ACP conversion fail, as an unknown code set does on POSIX.
constexpr uint32_t kNoOverride = 0;
constexpr uint32_t kUnusableOverride = 0xFFFFFFFFu;

std::atomic<uint32_t> g_ansiOverride{kNoOverride};

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsIgnoreCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (UpperAscii(*a) != UpperAscii(*b)) return false;
  }
  return *a == *b;
}

// The digits after a prefix (case-insensitive), as a code page number; 0 when the name is not
// the prefix followed by 1 to 5 decimal digits.
uint32_t NumberAfter(const char* name, const char* prefix) {
  for (; *prefix != '\0'; ++name, ++prefix) {
    if (UpperAscii(*name) != *prefix) return 0;
  }
  uint32_t number = 0;
  int digits = 0;
  for (; *name >= '0' && *name <= '9'; ++name) {
    if (++digits > 5) return 0;
    number = number * 10 + static_cast<uint32_t>(*name - '0');
  }
  return digits > 0 && *name == '\0' ? number : 0;
}

struct NamedCodePage {
  const char* name;
  uint32_t codePage;
};

// The iconv names tests use for the code sets of Windows ANSI code pages. A plain-ASCII code set
// stands for UTF-8, as on POSIX, where a process in the C locale reads names as UTF-8.
constexpr NamedCodePage kNamedCodePages[] = {
    {"UTF-8", CP_UTF8},
    {"UTF8", CP_UTF8},
    {"ASCII", CP_UTF8},
    {"US-ASCII", CP_UTF8},
    {"ANSI_X3.4-1968", CP_UTF8},
    {"ANSI_X3.4-1986", CP_UTF8},
    {"646", CP_UTF8},
    {"SHIFT_JIS", 932},
    {"SHIFT-JIS", 932},
    {"SJIS", 932},
    {"MS_KANJI", 932},
    {"WINDOWS-31J", 932},
    {"EUC-JP", 20932},
    {"GBK", 936},
    {"GB2312", 936},
    {"EUC-CN", 936},
    {"BIG5", 950},
    {"BIG-5", 950},
    {"UHC", 949},
    {"EUC-KR", 949},
    {"KOI8-R", 20866},
    {"KOI8-U", 21866},
    {"LATIN1", 28591},
};

uint32_t ResolveCodeSet(const char* name) {
  uint32_t codePage = 0;
  for (const NamedCodePage& named : kNamedCodePages) {
    if (EqualsIgnoreCase(name, named.name)) {
      codePage = named.codePage;
      break;
    }
  }
  if (codePage == 0) codePage = NumberAfter(name, "CP");
  if (codePage == 0) codePage = NumberAfter(name, "WINDOWS-");
  if (codePage == 0) codePage = NumberAfter(name, "IBM");
  if (codePage == 0) {
    const uint32_t part = NumberAfter(name, "ISO-8859-");
    // ISO 8859 part n is code page 28590 + n (parts 1 to 9, 13 and 15 exist on Windows).
    if (part >= 1 && part <= 16) codePage = 28590 + part;
  }
  if (codePage == 0 || !::IsValidCodePage(codePage)) {
    return kUnusableOverride;
  }
  return codePage;
}

// The code page a conversion runs in: CP_ACP and CP_THREAD_ACP follow the override.
bool Effective(uint32_t codePage, uint32_t& out) {
  out = codePage;
  if (codePage != CP_ACP && codePage != CP_THREAD_ACP) return true;
  const uint32_t override = g_ansiOverride.load(std::memory_order_acquire);
  if (override == kUnusableOverride) return false;
  if (override != kNoOverride) out = override;
  return true;
}

}  // namespace

int MultiByteToWideChar(uint32_t codePage, uint32_t dwFlags, const char* lpMultiByteStr,
                        int cbMultiByte, uint16_t* lpWideCharStr, int cchWideChar) {
  uint32_t effective = 0;
  if (!Effective(codePage, effective)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return ::MultiByteToWideChar(effective, dwFlags, lpMultiByteStr, cbMultiByte,
                               reinterpret_cast<wchar_t*>(lpWideCharStr), cchWideChar);
}

int WideCharToMultiByte(uint32_t codePage, uint32_t dwFlags, const uint16_t* lpWideCharStr,
                        int cchWideChar, char* lpMultiByteStr, int cbMultiByte) {
  uint32_t effective = 0;
  if (!Effective(codePage, effective)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return ::WideCharToMultiByte(effective, dwFlags, reinterpret_cast<const wchar_t*>(lpWideCharStr),
                               cchWideChar, lpMultiByteStr, cbMultiByte, nullptr, nullptr);
}

void SetAnsiCodeSetForTesting(const char* codeset) {
  const uint32_t codePage =
      codeset == nullptr || *codeset == '\0' ? kNoOverride : ResolveCodeSet(codeset);
  g_ansiOverride.store(codePage, std::memory_order_release);
}

namespace windows {

bool AnsiCodePageOverridden() {
  return g_ansiOverride.load(std::memory_order_acquire) != kNoOverride;
}

std::unique_ptr<wchar_t[]> AnsiToWide(const char* text) {
  if (text == nullptr) return nullptr;
  const int count = platform::MultiByteToWideChar(kLibraryCpAcp, 0, text, -1, nullptr, 0);
  if (count <= 0) return nullptr;
  std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[static_cast<size_t>(count)]);
  if (!wide ||
      platform::MultiByteToWideChar(kLibraryCpAcp, 0, text, -1,
                                    reinterpret_cast<uint16_t*>(wide.get()), count) != count) {
    return nullptr;
  }
  return wide;
}

}  // namespace windows
}  // namespace tavrfndl::platform
