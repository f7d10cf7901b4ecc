// The stream checks themselves: a job the library wrote passes, and each kind of damage the
// hostile-font tests and the fuzz targets rely on them to see is reported.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hostile/hostile_fonts.h"
#include "hostile/stream_checks.h"
#include "support/driver.h"
#include "support/fontbuilder.h"
#include "support/xl_ops.h"

namespace tavrfndl::testing {
namespace {

using Bytes = std::vector<uint8_t>;

// A job with one font header, one character bracket and the page records of "ABC", the font
// still on the printer.
class StreamChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    const Library lib = Library::Load();
    lib.SetCursorTo(300, 400);
    TEXTINFOW text = Text(u"ABC", 120);
    PAGEINFOW page = FilePage(font_.path(), out_, 3);
    ASSERT_EQ(lib.FontDownloadW(&text, &page), FNDL_RESULT_OK);
    job_ = ReadFileBytes(out_);
    ops_ = ReadOps(job_);
    ASSERT_EQ(StreamProblem(job_), "");
  }

  // The font goes, so that the next test of the process starts with none.
  void TearDown() override {
    const uint32_t id = 3;
    Library::Load().RemoveFontW(&id);
  }

  // The first operator with the tag.
  const WireOp& First(Operator tag) const {
    for (const WireOp& o : ops_) {
      if (o.tag == tag) return o;
    }
    ADD_FAILURE() << "no " << TagName(tag);
    return ops_.front();
  }
  // Where the operator's embedded data start in the job.
  size_t DataOffset(const WireOp& o) const { return o.offset + o.bytes.size() + 5; }

  test::TempFile font_{test::IntactFont()};
  std::string out_ = TempPath("job.pxl");
  Bytes job_;
  std::vector<WireOp> ops_;
};

TEST_F(StreamChecks, FontHeaderLengthThatDisagreesWithItsData) {
  // FontHeaderLength of the first piece (uint16 right at the operator's start): 8 becomes 9.
  Bytes bad = job_;
  const WireOp& piece = First(Operator::ReadFontHeader);
  ASSERT_EQ(bad[piece.offset], 0xC1);
  bad[piece.offset + 1] = 9;
  EXPECT_NE(StreamProblem(bad).find("FontHeaderLength 9"), std::string::npos) << StreamProblem(bad);
}

TEST_F(StreamChecks, GtSegmentSizeThatDisagreesWithTheHeader) {
  // The second piece is the segment's head: "GT" and the 32-bit size S.
  Bytes bad = job_;
  size_t pieces = 0;
  for (const WireOp& o : ops_) {
    if (o.tag != Operator::ReadFontHeader || ++pieces != 2) continue;
    ASSERT_EQ(o.data.size(), 6u);
    bad[DataOffset(o) + 5] ^= 0x04;
  }
  EXPECT_NE(StreamProblem(bad).find("GT segment size"), std::string::npos) << StreamProblem(bad);
}

TEST_F(StreamChecks, CharDataSizeAndTheRecordsOwnSize) {
  const WireOp& readChar = First(Operator::ReadChar);
  // CharDataSize is the second attribute: uint16 code (5 bytes), then 0xC2 and 32 bits.
  Bytes wrongSize = job_;
  ASSERT_EQ(wrongSize[readChar.offset + 5], 0xC2);
  wrongSize[readChar.offset + 6] += 1;
  EXPECT_NE(StreamProblem(wrongSize).find("CharDataSize"), std::string::npos);

  // The record's own size field (bytes 2..3 of the data).
  Bytes wrongRecord = job_;
  wrongRecord[DataOffset(readChar) + 3] += 2;
  EXPECT_NE(StreamProblem(wrongRecord).find("does not describe its own"), std::string::npos);
}

TEST_F(StreamChecks, DataThatRunsPastTheEnd) {
  const WireOp& readChar = First(Operator::ReadChar);
  const Bytes cut(job_.begin(), job_.begin() + static_cast<long>(DataOffset(readChar) + 3));
  EXPECT_NE(StreamProblem(cut).find("does not parse"), std::string::npos) << StreamProblem(cut);
}

TEST_F(StreamChecks, BracketsLeftOpen) {
  const WireOp& endChar = First(Operator::EndChar);
  const Bytes cut(job_.begin(), job_.begin() + static_cast<long>(endChar.offset));
  EXPECT_NE(StreamProblem(cut).find("ends inside"), std::string::npos) << StreamProblem(cut);
}

TEST_F(StreamChecks, FontsNamedWithoutAHeaderOrDefinedTwice) {
  // Everything from the character bracket on, without the header that defined the font.
  const Bytes headless(job_.begin() + static_cast<long>(First(Operator::BeginChar).offset),
                       job_.end());
  EXPECT_NE(StreamProblem(headless).find("which no header defined"), std::string::npos)
      << StreamProblem(headless);

  Bytes twice = job_;
  twice.insert(twice.end(), job_.begin(), job_.end());
  EXPECT_NE(StreamProblem(twice).find("a second header"), std::string::npos)
      << StreamProblem(twice);

  // Removed, then defined again: fine.
  const Library lib = Library::Load();
  const uint32_t id = 3;
  lib.RemoveFontW(&id);
  Bytes again = ReadFileBytes(out_);
  again.insert(again.end(), job_.begin(), job_.end());
  EXPECT_EQ(StreamProblem(again), "");
}

}  // namespace
}  // namespace tavrfndl::testing
