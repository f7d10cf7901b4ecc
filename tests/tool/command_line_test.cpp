// What a user of fndl sees: the text laid out as written (proportional advances from a font
// file, paragraphs flowing across the library's runs, form feeds and tabs), the names of the
// files written, the exit codes and the help.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "pclxl/format.h"
#include "tavrfndl.h"
#include "text_utf.h"
#include "tool_harness.h"

namespace fndl::test {
namespace {

// One Text operator: where its SetCursor put it, where its advances end, and its characters.
struct Line {
  size_t page = 0;
  int32_t x = 0, y = 0, endX = 0;
  std::vector<uint32_t> advances;
  std::u16string text;
};

std::vector<Line> LinesOf(const Job& job) {
  std::vector<Line> lines;
  size_t page = 0;
  int32_t x = 0, y = 0;
  for (const XlOperator& op : job.ops) {
    if (op.tag == Operator::BeginPage) ++page;
    if (op.tag == Operator::SetCursor) {
      x = static_cast<int32_t>(op.Find(Attribute::Point)->value.number[0]);
      y = static_cast<int32_t>(op.Find(Attribute::Point)->value.number[1]);
    }
    if (op.tag != Operator::Text) continue;
    Line line{page, x, y, x, {}, {}};
    const XlValue& text = op.Find(Attribute::TextData)->value;
    const XlValue& advances = op.Find(Attribute::XSpacingData)->value;
    for (uint32_t i = 0; i < text.count; ++i) {
      line.text.push_back(static_cast<char16_t>(text.Element(i)));
      line.advances.push_back(static_cast<uint32_t>(advances.Element(i)));
      line.endX += static_cast<int32_t>(advances.Element(i));
    }
    lines.push_back(line);
  }
  return lines;
}

std::vector<Line> PrintLines(const std::string& text, std::vector<std::string> args,
                             ToolRun* runOut = nullptr) {
  ScratchDir dir;
  WriteText(dir.Path("in.txt"), text);
  args.insert(args.begin(), {"print", "-o", dir.Path("job.pxl"), dir.Path("in.txt")});
  ToolRun run = RunFndl(args);
  EXPECT_EQ(run.status, 0) << run.err;
  if (runOut) *runOut = run;
  Job job;
  ReadJob(dir.Path("job.pxl"), job);
  EXPECT_TRUE(job.complete) << job.error;
  return LinesOf(job);
}

// 12 points are 100 units: the library's file source gives every character that advance; the
// font engine gives each its own.
TEST(FndlPrintText, AFontFileIsTheEnginesFaceUnlessFileModeIsAsked) {
  ASSERT_FALSE(DejaVuSans().empty());
  for (bool fileMode : {false, true}) {
    SCOPED_TRACE(fileMode ? "--file-mode" : "engine");
    std::vector<std::string> args = {"--face", DejaVuSans()};
    if (fileMode) args.push_back("--file-mode");
    std::vector<Line> lines = PrintLines("Mixed case\n", args);
    ASSERT_EQ(lines.size(), 1u);
    const std::vector<uint32_t>& a = lines[0].advances;
    if (fileMode) {
      EXPECT_EQ(a, std::vector<uint32_t>(10, 100));
    } else {
      EXPECT_GT(a[0], a[1]) << "M is wider than i";
      EXPECT_LT(a[0], 100u);
    }
  }
}

// A paragraph of 3,000 characters takes six runs; every line but its last is filled up to
// where the next word would not fit, and no run starts a line of its own.
TEST(FndlPrintText, AParagraphFlowsAcrossRunsWithoutStubLines) {
  std::string paragraph;
  while (paragraph.size() < 3000) paragraph += "words of unequal length flow on ";
  std::vector<Line> lines = PrintLines(paragraph + "\nNext.\n", {});
  ASSERT_GE(lines.size(), 10u);
  const std::u16string expected = Utf8ToUtf16(paragraph);
  std::u16string printed;
  size_t rows = 0;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    printed += lines[i].text;
    if (lines[i + 1].y == lines[i].y) {
      EXPECT_EQ(lines[i + 1].x, lines[i].endX) << "a run goes on where the last one ended";
      continue;
    }
    ++rows;
    EXPECT_EQ(lines[i + 1].y - lines[i].y, 120);
    if (i + 2 < lines.size()) {
      // Room left on the line is less than the next word ("unequal " is the longest).
      EXPECT_GT(lines[i].endX, 4725 - 500) << "a stub line ending at " << lines[i].endX;
    }
  }
  EXPECT_EQ(Utf16ToUtf8(printed), Utf16ToUtf8(expected).substr(0, printed.size()));
  EXPECT_EQ(lines.back().text, u"Next.");
  EXPECT_LE(rows, 60u);
}

TEST(FndlPrintText, AFormFeedStartsAPageAndTabsGoToStops) {
  std::vector<Line> lines = PrintLines("a\tbc\tdefghijk\tl\fpage two\n\f\n", {});
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[4].page, 2u) << "one page more, none for the form feed at the end";
  EXPECT_EQ(lines[4].text, u"page two");
  // Each segment is printed with its tab as a space; the next starts at the next stop.
  const int32_t left = lines[0].x, space = static_cast<int32_t>(lines[0].advances.back());
  const int32_t stop = 8 * space;
  EXPECT_EQ(lines[0].text, u"a ");
  EXPECT_EQ(lines[1].x, left + stop);
  EXPECT_EQ(lines[2].x, left + 2 * stop);
  EXPECT_GT(lines[2].endX, left + 3 * stop) << "the test wants a segment past a stop";
  EXPECT_EQ(lines[3].x, left + 4 * stop);
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(lines[i].y, lines[0].y) << "stops on one line";
}

bool IsFile(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

TEST(FndlCommandLine, HelpVersionAndExitCodes) {
  for (const char* command : {"print", "dump", "render", "check"}) {
    ToolRun run = RunFndl({command, "--help"});
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_NE(run.out.find(std::string("Usage: fndl ") + command), std::string::npos) << run.out;
  }
  ToolRun help = RunFndl({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("render"), std::string::npos);
  ToolRun version = RunFndl({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "fndl " TAVRFNDL_VERSION_STRING "\n");
  EXPECT_EQ(RunFndl({}).status, 2);
  ToolRun unknown = RunFndl({"frobnicate"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown command frobnicate"), std::string::npos);
}

// print names the job after its input, in the working directory; standard input goes to
// standard output. render names a one-page job's image NAME.png and writes only regular files.
TEST(FndlCommandLine, FilesWrittenAndRefused) {
  ScratchDir dir;
  WriteText(dir.Path("doc.txt"), "One page.\f");
  ASSERT_EQ(RunFndl({"print", "doc.txt"}, "", dir.Path("")).status, 0);
  EXPECT_TRUE(IsFile(dir.Path("doc.pxl")));
  EXPECT_FALSE(Exists(dir.Path("sample.pxl")));
  ToolRun piped = RunFndl({"print", "-"}, dir.Path("doc.txt"), dir.Path(""));
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out.rfind("\x1b%-12345X", 0), 0u) << "the job on standard output";

  ASSERT_EQ(RunFndl({"render", "doc.pxl", "-o", "page.png"}, "", dir.Path("")).status, 0);
  EXPECT_TRUE(IsFile(dir.Path("page.png")));
  EXPECT_FALSE(Exists(dir.Path("page-1.png")));

  WriteText(dir.Path("three.txt"), "1\f2\f3\n");
  ASSERT_EQ(RunFndl({"print", "three.txt"}, "", dir.Path("")).status, 0);
  ToolRun some = RunFndl({"render", "three.pxl", "-o", "p.png", "--pages", "2-"}, "", dir.Path(""));
  EXPECT_EQ(some.status, 0) << some.err;
  EXPECT_FALSE(Exists(dir.Path("p-1.png")));
  EXPECT_TRUE(IsFile(dir.Path("p-2.png")));
  EXPECT_EQ(
      RunFndl({"render", "three.pxl", "-o", "p.png", "--pages", "999"}, "", dir.Path("")).status,
      1);

  ASSERT_EQ(symlink("/dev/null", dir.Path("link.png").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.Path("fifo.png").c_str(), 0600), 0);
  struct Refused {
    std::string output, message;
  } refused[] = {
      {dir.Path("link.png"), "cannot open " + dir.Path("link.png")},
      {dir.Path("fifo.png"), "cannot open " + dir.Path("fifo.png")},
      {dir.Path("doc.txt/x.png"), "is not a directory"},
      {dir.Path("none/x.png"), "is not a directory"},
  };
  for (const Refused& r : refused) {
    ToolRun run = RunFndl({"render", dir.Path("doc.pxl"), "-o", r.output});
    EXPECT_EQ(run.status, 1) << r.output;
    EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace fndl::test
