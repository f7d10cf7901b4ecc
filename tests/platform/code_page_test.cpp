// MultiByteToWideChar / WideCharToMultiByte with the Windows contract: counts, terminators,
// buffer sizes, and replacement of what cannot be converted.
#include <gtest/gtest.h>
#include <iconv.h>
#include <langinfo.h>

#include <clocale>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tavrfndl::platform {
namespace {

constexpr uint32_t kCpUtf8 = 65001;

std::u16string Wide(const std::string& bytes, uint32_t codePage = CP_ACP) {
  int n =
      MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  if (n > 0) {
    EXPECT_EQ(MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                  reinterpret_cast<uint16_t*>(out.data()), n),
              n);
  }
  return out;
}

std::string Narrow(const std::u16string& text, uint32_t codePage = CP_ACP) {
  auto* units = reinterpret_cast<const uint16_t*>(text.data());
  int n = WideCharToMultiByte(codePage, 0, units, static_cast<int>(text.size()), nullptr, 0);
  std::string out(static_cast<size_t>(n), '\0');
  if (n > 0) {
    EXPECT_EQ(WideCharToMultiByte(codePage, 0, units, static_cast<int>(text.size()), out.data(), n),
              n);
  }
  return out;
}

bool IconvKnows(const char* codeSet) {
  iconv_t cd = iconv_open("UTF-16LE", codeSet);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

class CodePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setlocale(LC_ALL, "C");
    SetAnsiCodeSetForTesting(nullptr);
  }
  void TearDown() override {
    SetAnsiCodeSetForTesting(nullptr);
    setlocale(LC_ALL, "C");
  }
  void UseCodeSet(const char* codeSet) {
    if (!IconvKnows(codeSet)) GTEST_SKIP() << "iconv has no " << codeSet << " (glibc gconv)";
    SetAnsiCodeSetForTesting(codeSet);
  }
};

TEST_F(CodePageTest, CLocaleIsUtf8) {
  ASSERT_STREQ(nl_langinfo(CODESET), "ANSI_X3.4-1968");
  EXPECT_EQ(Wide("A\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80"), u"A\u00E9\u65E5\U0001F600");
  EXPECT_EQ(Narrow(u"A\u00E9\u65E5\U0001F600"), "A\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80");
}

TEST_F(CodePageTest, LocaleCodeSetIsTheAnsiCodePage) {
  if (setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  EXPECT_EQ(Wide("\xE6\x97\xA5"), u"\u65E5");
  // A single-byte locale code set goes through iconv.
  UseCodeSet("ISO-8859-1");
  EXPECT_EQ(Wide("\xE9"), u"\u00E9");
  EXPECT_EQ(Narrow(u"\u00E9\u65E5"), "\xE9?");
}

TEST_F(CodePageTest, InvalidUtf8BecomesReplacementCharacters) {
  struct Case {
    std::string in;
    std::u16string out;
  };
  const Case cases[] = {
      {"A\xFF"
       "B",
       u"A\uFFFDB"},        // a byte that never starts a sequence
      {"\x80", u"\uFFFD"},  // a lone continuation byte
      {"\xE6\x97"
       "B",
       u"\uFFFDB"},                             // cut short: one U+FFFD for the valid prefix
      {"\xE6\x97", u"\uFFFD"},                  // cut short by the end of the input
      {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong '/'
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},  // overlong three-byte form
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"\xF0\x9F\x98"
       "\xE6\x97\xA5",
       u"\uFFFD\u65E5"},  // the next sequence survives
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    EXPECT_EQ(Wide(c.in), c.out);
  }
}

TEST_F(CodePageTest, CountsTerminatorsAndBuffers) {
  uint16_t out[8];
  // -1: up to and including the terminator, which is converted too.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", -1, nullptr, 0), 3);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", -1, out, 8), 3);
  EXPECT_EQ(out[0], u'a');
  EXPECT_EQ(out[2], 0);
  // An explicit length stops before the terminator and writes none.
  out[2] = 0x7777;
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 2, out, 8), 2);
  EXPECT_EQ(out[2], 0x7777);
  // Embedded NULs are characters like any other.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\0b", 3, out, 8), 3);
  // Too small a buffer fails, exactly big enough does not.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xF0\x9F\x98\x80", 4, out, 1), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xF0\x9F\x98\x80", 4, out, 2), 2);
  // Bad arguments.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", 0, out, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, out, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", -2, out, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", 2, out, -1), 0);

  char bytes[8];
  const uint16_t text[] = {u'x', 0x65E5, 0};
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0), 5);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, 5), 5);
  EXPECT_EQ(std::string(bytes), "x\xE6\x97\xA5");
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, 4), 0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, 0, bytes, 8), 0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, nullptr, -1, bytes, 8), 0);
}

TEST_F(CodePageTest, UnpairedSurrogatesBecomeQuestionMarks) {
  EXPECT_EQ(Narrow(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a?b");
  EXPECT_EQ(Narrow(std::u16string(u"a") + char16_t(0xDC00)), "a?");
  EXPECT_EQ(Narrow(std::u16string(1, char16_t(0xD83D))), "?") << "a high surrogate at the end";
  EXPECT_EQ(Narrow(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST_F(CodePageTest, ExplicitUtf8IgnoresTheAnsiCodeSet) {
  UseCodeSet("CP932");
  EXPECT_EQ(Wide("\xE6\x97\xA5", kCpUtf8), u"\u65E5");
  EXPECT_EQ(Narrow(u"\u65E5", kCpUtf8), "\xE6\x97\xA5");
}

TEST_F(CodePageTest, Cp932DoubleByteText) {
  for (const char* name : {"CP932", "SHIFT_JIS"}) {
    SCOPED_TRACE(name);
    UseCodeSet(name);
    // 日本 (two double-byte characters), half-width katakana ｱ (one byte), ASCII.
    const std::string sjis =
        "\x93\xFA\x96\x7B\xB1"
        "A";
    EXPECT_EQ(Wide(sjis), u"\u65E5\u672C\uFF71A");
    EXPECT_EQ(Narrow(u"\u65E5\u672C\uFF71A"), sjis);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\x93\xFA", -1, nullptr, 0), 2);
  }
}

TEST_F(CodePageTest, Cp932InvalidAndUnconvertible) {
  UseCodeSet("CP932");
  // A lead byte cut short by the end, a lead byte followed by an invalid trail byte.
  EXPECT_EQ(Wide("A\x93"), u"A\uFFFD");
  EXPECT_EQ(Wide("\x81\x20"
                 "B"),
            u"\uFFFD B");
  EXPECT_EQ(Wide("\xA0"
                 "B"),
            u"\uFFFDB")
      << "0xA0 is no character in CP932";
  // Characters CP932 does not have: one '?' each, a surrogate pair included.
  EXPECT_EQ(Narrow(u"a\u0100b\U0001F600c"), "a?b?c");
  EXPECT_EQ(Narrow(std::u16string(u"x") + char16_t(0xDFFF) + u"y"), "x?y");
}

TEST_F(CodePageTest, StatefulCodeSetClosesItsShiftSequence) {
  UseCodeSet("ISO-2022-JP");
  // ESC $ B switches to JIS X 0208; the text must end back in ASCII (ESC ( B).
  EXPECT_EQ(Narrow(u"\u65E5"), "\x1B$BF|\x1B(B");
  EXPECT_EQ(Wide("\x1B$BF|\x1B(B"), u"\u65E5");
}

TEST_F(CodePageTest, UnknownCodeSetFails) {
  SetAnsiCodeSetForTesting("NO-SUCH-CODESET-42");
  uint16_t out[4];
  char bytes[4];
  const uint16_t text[] = {u'a', 0};
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a", -1, out, 4), 0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, 4), 0);
  SetAnsiCodeSetForTesting(nullptr);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a", -1, out, 4), 2) << "null restores the locale's";
}

TEST_F(CodePageTest, LongInputCrossesIconvBlocks) {
  UseCodeSet("CP932");
  std::string sjis;
  std::u16string expected;
  for (int i = 0; i < 1000; ++i) {
    sjis +=
        "\x93\xFA"
        "a";
    expected += u"\u65E5a";
  }
  sjis += "\x93";  // cut short at the very end
  expected += u"\uFFFD";
  EXPECT_EQ(Wide(sjis), expected);
}

}  // namespace
}  // namespace tavrfndl::platform
