// The ANSI conversions on Windows: CP_ACP is the system's code page, or the one a test names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"

#include "platform/windows/win32.h"

namespace tavrfndl::testing {
namespace {

namespace pf = tavrfndl::platform;
constexpr uint32_t kThreadAcp = 3;

std::u16string ToWide(const std::string& bytes, uint32_t codePage = 0) {
  const int n = pf::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                        nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  if (n > 0) {
    EXPECT_EQ(pf::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                      reinterpret_cast<uint16_t*>(out.data()), n),
              n);
  }
  return out;
}

std::string ToAnsi(const std::u16string& text, uint32_t codePage = 0) {
  const auto* units = reinterpret_cast<const uint16_t*>(text.data());
  const int n =
      pf::WideCharToMultiByte(codePage, 0, units, static_cast<int>(text.size()), nullptr, 0);
  std::string out(static_cast<size_t>(n), '\0');
  if (n > 0) {
    EXPECT_EQ(
        pf::WideCharToMultiByte(codePage, 0, units, static_cast<int>(text.size()), out.data(), n),
        n);
  }
  return out;
}

class AnsiCodePage : public ::testing::Test {
 protected:
  void TearDown() override { pf::SetAnsiCodeSetForTesting(nullptr); }
};

TEST_F(AnsiCodePage, IsTheSystemsUnlessATestSetsOne) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  std::vector<wchar_t> direct(all.size());
  ASSERT_EQ(::MultiByteToWideChar(CP_ACP, 0, all.data(), static_cast<int>(all.size()),
                                  direct.data(), static_cast<int>(direct.size())),
            static_cast<int>(all.size()));
  EXPECT_EQ(ToWide(all), std::u16string(direct.begin(), direct.end()));
  EXPECT_EQ(ToWide(all, kThreadAcp), ToWide(all));
}

TEST_F(AnsiCodePage, TerminatorCountsAndShortBuffersFollowWindows) {
  uint16_t out[8] = {};
  // -1: up to and including the terminator.
  EXPECT_EQ(pf::MultiByteToWideChar(0, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(pf::MultiByteToWideChar(0, 0, "abc", -1, out, 8), 4);
  EXPECT_EQ(out[2], u'c');
  EXPECT_EQ(out[3], 0);
  EXPECT_EQ(pf::MultiByteToWideChar(0, 0, "abc", -1, out, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(pf::MultiByteToWideChar(0, 0, "abc", 0, out, 8), 0);

  const uint16_t text[] = {u'x', u'y', 0};
  char bytes[4] = {};
  EXPECT_EQ(pf::WideCharToMultiByte(0, 0, text, -1, nullptr, 0), 3);
  EXPECT_EQ(pf::WideCharToMultiByte(0, 0, text, -1, bytes, 4), 3);
  EXPECT_STREQ(bytes, "xy");
  EXPECT_EQ(pf::WideCharToMultiByte(0, 0, text, -1, bytes, 2), 0);
}

TEST_F(AnsiCodePage, ShiftJisByAnyOfItsNames) {
  for (const char* name : {"CP932", "cp932", "SHIFT_JIS", "Shift-JIS", "sjis", "WINDOWS-31J"}) {
    SCOPED_TRACE(name);
    pf::SetAnsiCodeSetForTesting(name);
    EXPECT_EQ(ToWide("\x82\xA0\x83\x41x"), u"\u3042\u30A2x");
    EXPECT_EQ(ToAnsi(u"\u3042\u30A2x"), "\x82\xA0\x83\x41x");
    // Thai has no place in it.
    EXPECT_EQ(ToAnsi(u"\u0E01"), "?");
    EXPECT_EQ(ToWide("\x82\xA0", kThreadAcp), u"\u3042");
  }
}

TEST_F(AnsiCodePage, OtherCodeSetsAndExplicitCodePagesStayAsAsked) {
  pf::SetAnsiCodeSetForTesting("UTF-8");
  EXPECT_EQ(ToWide("\xC3\xA9\xE2\x82\xAC"), u"\u00e9\u20ac");
  EXPECT_EQ(ToWide("a\xFF"
                   "b"),
            u"a\uFFFDb");
  EXPECT_EQ(ToAnsi(u"\u00e9"), "\xC3\xA9");
  pf::SetAnsiCodeSetForTesting("ISO-8859-5");
  EXPECT_EQ(ToWide("\xB0"), u"\u0410");
  pf::SetAnsiCodeSetForTesting("windows-1251");
  EXPECT_EQ(ToWide("\xC0"), u"\u0410");
  // A plain-ASCII code set stands for UTF-8, as a C-locale process reads names on POSIX.
  pf::SetAnsiCodeSetForTesting("ANSI_X3.4-1968");
  EXPECT_EQ(ToWide("\xC3\xA9"), u"\u00e9");
  // Only CP_ACP and CP_THREAD_ACP are redirected.
  EXPECT_EQ(ToWide("\xE9", 1252), u"\u00e9");
  EXPECT_EQ(ToWide("\xC3\xA9", CP_UTF8), u"\u00e9");
}

TEST_F(AnsiCodePage, UnknownCodeSetFailsEveryAnsiConversionUntilReset) {
  for (const char* name : {"NO-SUCH-CODESET", "CP", "CP99999", "CP1234567"}) {
    SCOPED_TRACE(name);
    pf::SetAnsiCodeSetForTesting(name);
    uint16_t out[4] = {};
    char bytes[4] = {};
    const uint16_t text[] = {u'a', 0};
    EXPECT_EQ(pf::MultiByteToWideChar(0, 0, "a", -1, out, 4), 0);
    EXPECT_EQ(pf::WideCharToMultiByte(0, 0, text, -1, bytes, 4), 0);
    // A code page asked for by number is not affected.
    EXPECT_EQ(pf::MultiByteToWideChar(CP_UTF8, 0, "a", -1, out, 4), 2);
  }
  pf::SetAnsiCodeSetForTesting(nullptr);
  EXPECT_EQ(ToWide("a"), u"a");
  pf::SetAnsiCodeSetForTesting("CP932");
  pf::SetAnsiCodeSetForTesting("");
  EXPECT_EQ(ToWide("\x82\xA0"), ToWide("\x82\xA0", GetACP()));
}

}  // namespace
}  // namespace tavrfndl::testing
