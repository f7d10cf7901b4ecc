// Hostile records through the C interface: numbers at the ends of their ranges, and a cursor a
// driver may have put anywhere. Whatever the numbers, a call ends soon with a defined answer and
// leaves a self-consistent job of bounded size.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "hostile/hostile_fonts.h"
#include "hostile/stream_checks.h"
#include "support/driver.h"
#include "support/fontbuilder.h"
#include "support/xl_ops.h"

namespace tavrfndl::testing {
namespace {

constexpr uint32_t kFontId = 5;
// A character size far wider than a line: FontHeight 100000 is 10000 points, 83333 units at
// 600 dpi against a right limit of 4725.
constexpr int32_t kHugeHeight = 100000;
// At that size the font's glyphs reach 16276 units below the baseline (400 of its 2048 units):
// the page shows whole lines only down to y 6400 - 16276.
constexpr int32_t kLowestBaseline = -9876;

size_t CountTag(const std::vector<uint8_t>& job, Operator tag) {
  size_t n = 0;
  for (const WireOp& o : ReadOps(job)) n += o.tag == tag;
  return n;
}

class HostileRecords : public ::testing::Test {
 protected:
  int32_t Run(int32_t cursorY, int32_t fontHeight, uint32_t lineSpacing) {
    lib_.SetCursorTo(300, cursorY);
    TEXTINFOW text = Text(u"AB", fontHeight);
    text.nStartX = 300;
    PAGEINFOW page = FilePage(font_.path(), out_, kFontId, 600, lineSpacing);
    return lib_.FontDownloadW(&text, &page);
  }
  void TearDown() override {
    lib_.RemoveFontW(&kFontId);
    EXPECT_EQ(StreamProblem(Job()), "");
  }
  std::vector<uint8_t> Job() const { return ReadFileBytes(out_); }

  Library lib_ = Library::Load();
  test::TempFile font_{test::IntactFont()};
  std::string out_ = TempPath("job.pxl");
};

// A character wider than any line leaves every continuation line empty; from a cursor at the
// top of the 32-bit range with a spacing of 1, the bottom of the page is 2^31 lines away. The
// run used to write all of them (gigabytes of empty Text) before answering 2.
TEST_F(HostileRecords, EmptyLinesFromFarAboveThePageFailInsteadOfFillingTheJob) {
  EXPECT_EQ(Run(INT32_MIN, kHugeHeight, 1), FNDL_RESULT_FAILED);
  EXPECT_LT(std::filesystem::file_size(out_), 4096u);
}

// The bottom within 65536 lines: the empty lines are written and the page fills, as for a
// cursor on the page.
TEST_F(HostileRecords, EmptyLinesThatReachTheBottomStillFillThePage) {
  // One line 6300 units above the lowest, then one every 100 units down to it: 64 lines in all.
  EXPECT_EQ(Run(kLowestBaseline - 6300, kHugeHeight, 100), FNDL_RESULT_PAGE_FULL);
  EXPECT_EQ(CountTag(Job(), Operator::Text), 64u);

  const size_t before = Job().size();
  // 64780 lines to the bottom at a spacing of 1, one on the first line's place.
  EXPECT_EQ(Run(kLowestBaseline - 64780, kHugeHeight, 1), FNDL_RESULT_PAGE_FULL);
  std::vector<uint8_t> job = Job();
  job.erase(job.begin(), job.begin() + static_cast<long>(before));
  EXPECT_EQ(CountTag(job, Operator::Text), 64781u);
}

// Spacings that never get the cursor to the bottom: 0, and one that wraps it back up.
TEST_F(HostileRecords, SpacingThatNeverReachesTheBottomFails) {
  EXPECT_EQ(Run(kLowestBaseline, kHugeHeight, 0), FNDL_RESULT_FAILED);
  EXPECT_EQ(Run(kLowestBaseline, kHugeHeight, 0xFFFFFFFFu), FNDL_RESULT_FAILED);
}

// Numbers at the ends of their ranges, one field at a time.
struct ExtremeCase {
  const char* what;
  int32_t fontHeight = 120;
  uint32_t resolution = 600;
  uint32_t lineSpacing = 100;
  int32_t startX = 300;
  int32_t cursorX = 300;
  int32_t cursorY = 400;
  int32_t offset = 0;
  int32_t bold = 0;
  int32_t italic = 0;
  int32_t underline = 1;
};
const ExtremeCase kExtremes[] = {
    {"FontHeight INT32_MIN", INT32_MIN},
    {"FontHeight INT32_MAX", INT32_MAX},
    {"FontHeight -1", -1},
    {"resolution 0", 120, 0},
    {"resolution UINT32_MAX", 120, UINT32_MAX},
    {"line spacing UINT32_MAX", 2400, 600, UINT32_MAX},
    {"start x INT32_MIN", 2400, 600, 100, INT32_MIN},
    {"start x INT32_MAX", 2400, 600, 100, INT32_MAX},
    {"cursor at INT32_MAX", 120, 600, 100, 300, INT32_MAX, INT32_MAX},
    {"cursor at INT32_MIN", 120, 600, 100, 300, INT32_MIN, INT32_MIN},
    {"offset at the end of the text", 120, 600, 100, 300, 300, 400, 26},
    {"bold, italic, underline -1", 120, 600, 100, 300, 300, 400, 0, -1, -1, -1},
    {"bold, italic, underline INT32_MIN", 120, 600, 100, 300, 300, 400, 0, INT32_MIN, INT32_MIN,
     INT32_MIN},
};
TEST(HostileRecordNumbers, EveryExtremeEndsWithADefinedAnswer) {
  const Library lib = Library::Load();
  test::TempFile font(test::IntactFont());
  uint32_t id = 100;
  for (const ExtremeCase& c : kExtremes) {
    SCOPED_TRACE(c.what);
    const std::string out = TempPath("job-" + std::to_string(id) + ".pxl");
    lib.SetCursorTo(c.cursorX, c.cursorY);
    TEXTINFOW text = Text(u"ABCD abcd ABCD abcd ABCD a", c.fontHeight);
    text.nStartX = c.startX;
    text.nOffsetToText = c.offset;
    text.bBold = c.bold;
    text.bItalic = c.italic;
    text.bUnderline = c.underline;
    PAGEINFOW page = FilePage(font.path(), out, id, c.resolution, c.lineSpacing);
    const int32_t result = lib.FontDownloadW(&text, &page);
    EXPECT_GE(result, FNDL_RESULT_OK);
    EXPECT_LE(result, FNDL_RESULT_FAILED);
    lib.RemoveFontW(&id);
    EXPECT_EQ(StreamProblem(ReadFileBytes(out)), "");
    EXPECT_LT(std::filesystem::file_size(out), 2u << 20);
    ++id;
  }
}

}  // namespace
}  // namespace tavrfndl::testing
