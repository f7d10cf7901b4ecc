// `fndl print` as a user runs it: the job it writes is read back with the tool's reader, and
// the soft fonts in it are rebuilt and compared glyph by glyph with the fonts they came from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "font_rebuild.h"
#include "outline_compare.h"
#include "pclxl/format.h"
#include "sample_text.h"
#include "softfont_records.h"
#include "support/fontfile.h"
#include "text_utf.h"
#include "tool_harness.h"

namespace fndl::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr const char* kCjkText =
    "日本語の文章を、ソフトフォントで印刷します。漢字、ひらがな、カタカナ。\n"
    "東京都千代田区丸の内一丁目　ＡＢＣ　１２３　（全角）「かぎ括弧」\n"
    "Latin letters in the same font: The quick brown fox.\n";

struct Printed {
  ScratchDir dir;
  std::string path;
  ToolRun run;
  Job job;
};

// Runs fndl print with the arguments and -o into a scratch directory, then reads the job.
void PrintJob(std::vector<std::string> args, Printed& p, const std::string& input = "") {
  p.path = p.dir.Path("job.pxl");
  if (!input.empty()) {
    WriteText(p.dir.Path("input.txt"), input);
    args.push_back(p.dir.Path("input.txt"));
  }
  args.insert(args.begin(), {"print", "-o", p.path});
  p.run = RunFndl(args);
  ASSERT_TRUE(p.run.exited) << p.run.err;
  ReadJob(p.path, p.job);
}

std::u16string TextOf(const XlOperator& op) {
  std::u16string text;
  const XlAttribute* data = op.Find(Attribute::TextData);
  if (!data) return text;
  for (uint32_t i = 0; i < data->value.count; ++i) {
    text.push_back(static_cast<char16_t>(data->value.Element(i)));
  }
  return text;
}

std::u16string WithoutSpaces(std::u16string text) {
  text.erase(std::remove(text.begin(), text.end(), u' '), text.end());
  return text;
}

// The checksum of a font file's "head" table, from its directory.
uint32_t HeadChecksum(const Bytes& file) {
  if (file.size() < 12) return 0;
  const auto tables = static_cast<uint16_t>(tavrfndl::testing::BeU16(file, 4));
  for (size_t i = 0; i < tables && 12 + 16 * (i + 1) <= file.size(); ++i) {
    size_t record = 12 + 16 * i;
    if (std::memcmp(&file[record], "head", 4) == 0)
      return tavrfndl::testing::BeU32(file, record + 4);
  }
  return 0;
}

uint32_t HeadChecksum(const FontHeaderInfo& header) {
  for (const SfntTableRecord& t : header.tables) {
    if (std::strcmp(t.tag, "head") == 0) return t.checksum;
  }
  return 0;
}

// Every glyph of every font in the job against the source font it came from (found by the
// checksum of "head", which the GT segment copies): each record as stored, each printed
// character's whole outline, and the character-to-glyph mapping.
void ExpectGlyphsMatchTheirSources(const Job& job, const std::vector<std::string>& sources) {
  std::map<uint32_t, std::string> byChecksum;
  for (const std::string& s : sources) {
    if (!s.empty()) byChecksum[HeadChecksum(ReadBytes(s))] = s;
  }
  ASSERT_FALSE(job.fonts.history().empty());
  for (const auto& font : job.fonts.history()) {
    SCOPED_TRACE(font->name);
    auto source = byChecksum.find(HeadChecksum(font->header));
    ASSERT_NE(source, byChecksum.end()) << "the font's head table matches none of the sources";
    RebuiltFont rebuilt;
    std::string error;
    ASSERT_TRUE(RebuildTrueType(*font, rebuilt, error)) << error;
    EXPECT_TRUE(rebuilt.notes.empty());
    FreeTypeFace expected(source->second), actual(rebuilt.file);
    ASSERT_TRUE(expected.ok());
    ASSERT_TRUE(actual.ok());
    EXPECT_EQ(expected.get()->num_glyphs, actual.get()->num_glyphs);
    for (const auto& [glyph, bytes] : font->glyphs) {
      EXPECT_EQ(CompareGlyph(expected.get(), actual.get(), glyph, false), "");
    }
    for (const auto& [code, glyph] : font->charToGlyph) {
      EXPECT_EQ(FT_Get_Char_Index(expected.get(), code), glyph) << DescribeCodePoint(code);
      // Every part of a composite, however deeply nested, reached the printer with it.
      EXPECT_TRUE(MissingComponents(*font, glyph).empty()) << DescribeCodePoint(code);
      EXPECT_EQ(CompareGlyph(expected.get(), actual.get(), glyph, true), "")
          << DescribeCodePoint(code);
    }
  }
}

// Every character a Text operator prints (spaces aside) has a record in the font selected then.
void ExpectTextHasGlyphs(const Job& job) {
  SoftFontCollector fonts;
  std::string current;
  for (const XlOperator& op : job.ops) {
    fonts.Feed(op);
    if (op.tag == Operator::SetFont) current = FontNameOf(op);
    if (op.tag != Operator::Text) continue;
    const SoftFont* font = fonts.Find(current);
    ASSERT_NE(font, nullptr) << "Text at " << FormatOffset(op.offset) << " without a font";
    for (char16_t c : TextOf(op)) {
      if (c == u' ') continue;
      EXPECT_TRUE(font->charToGlyph.count(c)) << DescribeCodePoint(c) << " printed at "
                                              << FormatOffset(op.offset) << " before its glyph";
    }
  }
}

// Pages open and close in turn; each starts with gray and a black brush; text, cursors and
// glyph downloads only inside pages; a cursor never below the library's clip box. Returns the
// pages.
size_t ExpectPagesInTurn(const Job& job) {
  bool inPage = false;
  size_t pages = 0;
  for (size_t i = 2; i < job.ops.size(); ++i) {
    const XlOperator& op = job.ops[i];
    if (op.tag == Operator::BeginPage) {
      EXPECT_FALSE(inPage);
      inPage = true;
      ++pages;
      EXPECT_EQ(op.Find(Attribute::MediaSize)->value.number[0], 2);
      if (i + 2 >= job.ops.size()) {
        ADD_FAILURE() << "a page opening cut short";
        return pages;
      }
      EXPECT_EQ(job.ops[i + 1].tag, Operator::SetColorSpace);
      EXPECT_EQ(job.ops[i + 2].tag, Operator::SetBrushSource);
      EXPECT_EQ(job.ops[i + 2].Find(Attribute::GrayLevel)->value.number[0], 0);
    } else if (op.tag == Operator::EndPage) {
      EXPECT_TRUE(inPage);
      inPage = false;
    } else if (op.tag == Operator::Text || op.tag == Operator::SetCursor ||
               op.tag == Operator::ReadChar) {
      EXPECT_TRUE(inPage) << OperatorName(static_cast<uint8_t>(op.tag)) << " at "
                          << FormatOffset(op.offset);
    }
    if (op.tag == Operator::SetCursor) {
      const XlValue& point = op.Find(Attribute::Point)->value;
      EXPECT_GE(point.number[0], 300);
      EXPECT_LE(point.number[1], 6400)
          << "a line below the clip box at " << FormatOffset(op.offset);
    }
  }
  EXPECT_FALSE(inPage);
  return pages;
}

// Every header and record decodes; every font is removed after the last page.
void ExpectFontsRemoved(const Job& job) {
  EXPECT_TRUE(job.problems.empty()) << job.problems[0].message;
  EXPECT_EQ(job.fonts.headersDecoded(), job.Count(Operator::BeginFontHeader));
  EXPECT_EQ(job.fonts.headersDecoded(), 2u);
  EXPECT_EQ(job.fonts.recordsDecoded(), job.Count(Operator::ReadChar));
  EXPECT_TRUE(job.fonts.fonts().empty()) << "a font is left on the printer";
  size_t n = job.ops.size();
  EXPECT_EQ(job.ops[n - 1].tag, Operator::EndSession);
  EXPECT_EQ(job.ops[n - 2].tag, Operator::CloseDataSource);
  EXPECT_EQ(job.ops[n - 3].tag, Operator::RemoveFont);
  EXPECT_EQ(job.ops[n - 4].tag, Operator::RemoveFont);
  EXPECT_EQ(job.ops[n - 5].tag, Operator::EndPage);
}

TEST(FndlPrint, TheSampleIsACompleteMultiPageJob) {
  Printed p;
  PrintJob({}, p);
  ASSERT_EQ(p.run.status, 0) << p.run.err;
  const Job& job = p.job;
  ASSERT_TRUE(job.complete) << job.error;
  EXPECT_TRUE(job.endedWithUniversalExit);
  EXPECT_EQ(job.endOffset + kUniversalExitLength, job.bytes.size());
  ASSERT_EQ(job.prologue.size(), 2u);
  EXPECT_EQ(job.prologue[0].kind, XlPrologueItem::Kind::kExit);
  EXPECT_EQ(job.prologue[1].text, "@PJL ENTER LANGUAGE = PCLXL");
  EXPECT_EQ(job.header.binding, ')');
  EXPECT_EQ(job.header.protocolName, "HP-PCL XL");
  EXPECT_EQ(job.header.protocolClass, "2");

  ASSERT_GE(job.ops.size(), 8u);
  const XlOperator& session = job.ops[0];
  ASSERT_EQ(session.tag, Operator::BeginSession);
  EXPECT_EQ(session.Find(Attribute::UnitsPerMeasure)->value.number[0], 600);
  EXPECT_EQ(session.Find(Attribute::Measure)->value.number[0], 0);
  ASSERT_EQ(job.ops[1].tag, Operator::OpenDataSource);
  EXPECT_EQ(job.ops[1].Find(Attribute::DataOrg)->value.number[0], 1);

  const size_t pages = ExpectPagesInTurn(job);
  EXPECT_GT(pages, 1u);
  EXPECT_NE(p.run.err.find("wrote " + std::to_string(pages) + " pages"), std::string::npos)
      << p.run.err;

  ExpectFontsRemoved(job);

  // Every character of the sample is on a page, in order.
  std::u16string printed, expected;
  for (const XlOperator& op : job.ops) {
    if (op.tag == Operator::Text) printed += WithoutSpaces(TextOf(op));
  }
  for (const SampleParagraph& paragraph : SampleDocument()) {
    for (const SampleSpan& span : paragraph) expected += WithoutSpaces(Utf8ToUtf16(span.text));
  }
  EXPECT_EQ(Utf16ToUtf8(printed), Utf16ToUtf8(expected));
  ExpectTextHasGlyphs(job);
}

// A run longer than the lines left on the page stops with a full page; the tool starts the next
// page and goes on with the same run at its top.
TEST(FndlPrint, ARunThatFillsThePageGoesOnAtTheTopOfTheNext) {
  std::string paragraph;
  for (int i = 0; i < 120; ++i) paragraph += "abcd efghi ";
  Printed p;
  PrintJob({"--size", "40"}, p, paragraph + "\n");
  ASSERT_EQ(p.run.status, 0) << p.run.err;
  ASSERT_TRUE(p.job.complete) << p.job.error;

  // 40 points at 600 dpi: a size of 333, lines 399 apart from y 633. DejaVu Sans reaches 79
  // units below the baseline, so the clip box (down to 6400) shows 15 lines, the last at 6219.
  std::vector<int32_t> firstY, lastY;
  std::u16string printed;
  for (const XlOperator& op : p.job.ops) {
    if (op.tag == Operator::BeginPage) firstY.push_back(-1);
    if (op.tag == Operator::SetCursor) {
      const auto y = static_cast<int32_t>(op.Find(Attribute::Point)->value.number[1]);
      if (firstY.back() < 0) firstY.back() = y;
      lastY.resize(firstY.size());
      lastY.back() = y;
    }
    if (op.tag == Operator::Text) printed += WithoutSpaces(TextOf(op));
  }
  ASSERT_GE(firstY.size(), 3u);
  for (size_t page = 0; page + 1 < firstY.size(); ++page) {
    EXPECT_EQ(firstY[page], 633) << "page " << page + 1;
    EXPECT_EQ(lastY[page], 6219) << "page " << page + 1;
  }
  EXPECT_EQ(Utf16ToUtf8(printed), Utf16ToUtf8(WithoutSpaces(Utf8ToUtf16(paragraph))));
}

TEST(FndlPrint, DejaVuGlyphsSurviveTheRoundTripThroughTheFontEngine) {
  ASSERT_FALSE(DejaVuSans().empty()) << "fonts-dejavu-core is not installed";
  Printed p;
  PrintJob({}, p);
  ASSERT_EQ(p.run.status, 0) << p.run.err;
  ASSERT_TRUE(p.job.complete) << p.job.error;
  ExpectGlyphsMatchTheirSources(p.job, {DejaVuSans(), DejaVuSansOblique()});
}

TEST(FndlPrint, DejaVuGlyphsSurviveTheRoundTripFromTheFontFile) {
  ASSERT_FALSE(DejaVuSans().empty()) << "fonts-dejavu-core is not installed";
  Printed p;
  PrintJob({"--face", DejaVuSans()}, p);
  ASSERT_EQ(p.run.status, 0) << p.run.err;
  ASSERT_TRUE(p.job.complete) << p.job.error;
  for (const auto& font : p.job.fonts.history()) {
    EXPECT_NE(font->name.find(DejaVuSans()), std::string::npos) << font->name;
  }
  ExpectGlyphsMatchTheirSources(p.job, {DejaVuSans()});
  ExpectTextHasGlyphs(p.job);
}

TEST(FndlPrint, CjkTextInATrueTypeFileRoundTrips) {
  std::string ipa = IpaGothic();
  ASSERT_FALSE(ipa.empty()) << "fonts-ipafont-gothic is not installed";
  // The package keeps it under "opentype", but the font has TrueType outlines.
  Bytes file = ReadBytes(ipa);
  ASSERT_GE(file.size(), 4u);
  EXPECT_EQ(tavrfndl::testing::BeU32(file, 0), 0x00010000u);
  FreeTypeFace face(ipa);
  ASSERT_TRUE(face.ok());
  FT_ULong glyfLength = 0;
  EXPECT_EQ(
      FT_Load_Sfnt_Table(face.get(), FT_MAKE_TAG('g', 'l', 'y', 'f'), 0, nullptr, &glyfLength), 0);
  EXPECT_GT(glyfLength, 0u);

  Printed p;
  PrintJob({"--face", ipa}, p, kCjkText);
  ASSERT_EQ(p.run.status, 0) << p.run.err;
  ASSERT_TRUE(p.job.complete) << p.job.error;
  EXPECT_TRUE(p.job.problems.empty());
  EXPECT_EQ(p.run.err.find("no glyph"), std::string::npos) << p.run.err;
  std::u16string printed;
  for (const XlOperator& op : p.job.ops) {
    if (op.tag == Operator::Text) printed += TextOf(op);
  }
  EXPECT_NE(printed.find(u"日本語の文章を"), std::u16string::npos);
  EXPECT_NE(printed.find(u"「かぎ括弧」"), std::u16string::npos);
  ExpectGlyphsMatchTheirSources(p.job, {ipa});
  ExpectTextHasGlyphs(p.job);
}

TEST(FndlPrint, CharactersWithoutAGlyphAreLeftOutAndListed) {
  ASSERT_FALSE(DejaVuSans().empty());
  Printed p;
  PrintJob({"--face", DejaVuSans()}, p, "Hello 日本 world 😀 end\nsecond 日 line\n");
  ASSERT_EQ(p.run.status, 0) << p.run.err;
  ASSERT_TRUE(p.job.complete) << p.job.error;
  const std::string& err = p.run.err;
  EXPECT_NE(err.find("4 characters had no glyph"), std::string::npos) << err;
  EXPECT_NE(err.find("U+65E5 '日' (2 times)"), std::string::npos) << err;
  EXPECT_NE(err.find("U+672C '本'"), std::string::npos) << err;
  // A character beyond the BMP is one character, not two surrogates.
  EXPECT_NE(err.find("U+1F600"), std::string::npos) << err;
  EXPECT_EQ(err.find("U+D83D"), std::string::npos) << err;
  std::u16string printed;
  for (const XlOperator& op : p.job.ops) {
    if (op.tag == Operator::Text) printed += WithoutSpaces(TextOf(op));
  }
  EXPECT_EQ(Utf16ToUtf8(printed), "Helloworldendsecondline");
}

TEST(FndlPrint, OptionsReachTheJob) {
  Printed p;
  PrintJob({"--page", "letter", "--bold", "--underline", "--size", "10"}, p, "Short text.\n");
  ASSERT_EQ(p.run.status, 0) << p.run.err;
  ASSERT_TRUE(p.job.complete);
  std::set<std::string> names;
  bool sawPage = false, sawBold = false, sawSize = false;
  for (const XlOperator& op : p.job.ops) {
    if (op.tag == Operator::BeginPage) {
      sawPage = true;
      EXPECT_EQ(op.Find(Attribute::MediaSize)->value.number[0], 0);  // Letter
    }
    if (op.tag == Operator::SetCharBoldValue) {
      sawBold = true;
      EXPECT_FLOAT_EQ(static_cast<float>(op.Find(Attribute::CharBoldValue)->value.number[0]),
                      0.01f);
    }
    if (op.tag == Operator::SetFont) {
      sawSize = true;
      EXPECT_EQ(op.Find(Attribute::CharSize)->value.number[0], 83);  // 10 pt at 600 units per inch
      names.insert(FontNameOf(op));
    }
  }
  EXPECT_TRUE(sawPage && sawBold && sawSize);
  EXPECT_EQ(names, (std::set<std::string>{"OT:1:DejaVu Sans:n"}));
  EXPECT_EQ(p.job.Count(Operator::RectanglePath), 1u);  // the underline of the one line
}

TEST(FndlPrint, ItalicRunsUseASecondFontWithAShear) {
  Printed p;
  PrintJob({"--italic", "--face", DejaVuSans()}, p, "Leaning text.\n");
  ASSERT_EQ(p.run.status, 0) << p.run.err;
  bool sheared = false;
  for (const XlOperator& op : p.job.ops) {
    if (op.tag == Operator::SetFont) {
      EXPECT_EQ(FontNameOf(op).rfind("OT:2:", 0), 0u);
    }
    if (op.tag == Operator::SetCharShear) {
      sheared = true;
      EXPECT_FLOAT_EQ(static_cast<float>(op.Find(Attribute::CharShear)->value.number[0]), 0.1583f);
    }
  }
  EXPECT_TRUE(sheared);
}

// The tool asks which face the font engine takes with the engine's own question, and both ask
// on the process's fontconfig configuration: read once however many questions a job asks (an
// italic run asks for two faces). fontconfig's debugging names the top file at each load.
TEST(FndlPrint, FontconfigIsLoadedOnce) {
  ScratchDir dir;
  WriteText(dir.Path("in.txt"), "Leaning text.\n");
  ToolRun run = RunProgram({"/usr/bin/env", "-u", "FONTCONFIG_FILE", "FC_DEBUG=1024",
                            FNDL_EXECUTABLE, "print", "--italic", "--face", "DejaVu Sans", "-o",
                            dir.Path("job.pxl"), dir.Path("in.txt")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string load = "\tLoading config file from /etc/fonts/fonts.conf\n";
  size_t loads = 0;
  for (size_t at = run.out.find(load); at != std::string::npos; at = run.out.find(load, at + 1)) {
    ++loads;
  }
  EXPECT_EQ(loads, 1u) << run.out.substr(0, 2000);
}

TEST(FndlPrint, WritesTheJobToStandardOutput) {
  ScratchDir dir;
  WriteText(dir.Path("in.txt"), "To a pipe.\n");
  ToolRun run = RunFndl({"print", "-o", "-", dir.Path("in.txt")});
  ASSERT_TRUE(run.exited);
  ASSERT_EQ(run.status, 0) << run.err;
  Job job;
  ReadJobBytes(Bytes(run.out.begin(), run.out.end()), job);
  EXPECT_TRUE(job.complete) << job.error;
  EXPECT_TRUE(job.endedWithUniversalExit);
  EXPECT_EQ(job.Count(Operator::Text), 1u);
  EXPECT_NE(run.err.find("standard output"), std::string::npos);
}

TEST(FndlPrint, ReadsTheTextFromStandardInput) {
  ScratchDir dir;
  WriteText(dir.Path("in.txt"), "From standard input.\n");
  std::string out = dir.Path("job.pxl");
  ToolRun run = RunFndl({"print", "-o", out, "-"}, dir.Path("in.txt"));
  ASSERT_EQ(run.status, 0) << run.err;
  Job job;
  ReadJob(out, job);
  ASSERT_EQ(job.Count(Operator::Text), 1u);
  for (const XlOperator& op : job.ops) {
    if (op.tag == Operator::Text) {
      EXPECT_EQ(Utf16ToUtf8(TextOf(op)), "From standard input.");
    }
  }
}

TEST(FndlPrint, FailuresAreReportedAndNeverLeaveAnUnfinishedJob) {
  ScratchDir dir;
  WriteText(dir.Path("text.txt"), "Some text.\n");
  WriteText(dir.Path("notafont.ttf"), "This is plain text, not a font.\n");
  WriteBytes(dir.Path("pair.ttc"), {'t', 't', 'c', 'f', 0, 1, 0, 0});
  WriteBytes(dir.Path("latin1.txt"), {0xE9, 't', 0xE9, ' ', 0xE0, ' ', 0xF4, 't', 0xE9});
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {"missing input",
       {"print", "-o", dir.Path("a.pxl"), dir.Path("missing.txt")},
       1,
       "cannot open"},
      {"not a font",
       {"print", "--face", dir.Path("notafont.ttf"), "-o", dir.Path("b.pxl")},
       1,
       "is not a TrueType or OpenType font file"},
      {"font collection",
       {"print", "--face", dir.Path("pair.ttc"), "-o", dir.Path("c.pxl")},
       1,
       "is a font collection"},
      {"font path missing",
       {"print", "--face", dir.Path("none/x.ttf"), "-o", dir.Path("d.pxl")},
       1,
       "font file not found"},
      {"output directory missing",
       {"print", "-o", dir.Path("none/job.pxl"), dir.Path("text.txt")},
       1,
       "cannot open"},
      {"unknown option", {"print", "--colour", "red"}, 2, "not expected: --colour"},
      {"size out of range", {"print", "--size", "0", "-o", dir.Path("e.pxl")}, 2, "--size"},
      {"paper not known", {"print", "--page", "a5"}, 2, "--page: a5 not in"},
      {"paper smaller than the lines",
       {"print", "--page", "executive", "-o", dir.Path("e.pxl")},
       2,
       "Executive (7.25 in x 10.50 in) is too small: the library's lines reach 7.88 in"},
      {"not text", {"print", "/bin/sh", "-o", dir.Path("e.pxl")}, 1, "(it has NUL bytes)"},
      {"not UTF-8",
       {"print", dir.Path("latin1.txt"), "-o", dir.Path("e.pxl")},
       1,
       "(5 of its 9 characters are invalid UTF-8); --force prints it anyway"},
      {"no face of the family",
       {"print", "--strict", "--face", "No Such Font XYZ", "-o", dir.Path("e.pxl")},
       1,
       "no face of \"No Such Font XYZ\" is installed; the font engine uses"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ToolRun run = RunFndl(c.args);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    for (const char* job : {"a.pxl", "b.pxl", "c.pxl", "d.pxl", "e.pxl"}) {
      EXPECT_FALSE(Exists(dir.Path(job))) << "a job was started: " << job;
    }
  }
}

TEST(FndlPrint, ALibraryFailureEndsAJobThatStillCloses) {
  ScratchDir dir;
  // A TrueType signature and nothing usable behind it: the tool lets it pass, the library
  // cannot download it.
  Bytes broken(64, 0xEE);
  const uint8_t directory[] = {0x00, 0x01, 0x00, 0x00, 0x00, 0x01,
                               0x00, 0x10, 0x00, 0x00, 0x00, 0x00};
  std::copy(std::begin(directory), std::end(directory), broken.begin());
  WriteBytes(dir.Path("broken.ttf"), broken);
  WriteText(dir.Path("text.txt"), "Some text.\n");
  std::string out = dir.Path("job.pxl");
  ToolRun run =
      RunFndl({"print", "--face", dir.Path("broken.ttf"), "-o", out, dir.Path("text.txt")});
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("result 3"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("text stops at the failure"), std::string::npos) << run.err;
  Job job;
  ReadJob(out, job);
  EXPECT_TRUE(job.complete) << job.error;
  EXPECT_TRUE(job.endedWithUniversalExit);
  EXPECT_EQ(job.Count(Operator::BeginPage), job.Count(Operator::EndPage));
  EXPECT_EQ(job.Count(Operator::EndSession), 1u);
}

}  // namespace
}  // namespace fndl::test
