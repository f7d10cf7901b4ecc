#include "pclxl/joboutput.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace tavrfndl::pclxl {
namespace {

using Bytes = std::vector<uint8_t>;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

Bytes Contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  Bytes bytes;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    bytes.push_back(static_cast<uint8_t>(c));
  }
  return bytes;
}

const uint8_t kRecord[] = {0xAA, 0xBB};

// A writer whose hand-offs go to an output on a scratch file.
class JobOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(file);
    ASSERT_TRUE(stream);
    output.Attach(stream.get());
  }
  std::unique_ptr<std::FILE, FileCloser> file{std::tmpfile()};
  JobOutput output{file.get()};
  XlStreamPtr stream{XlStreamCreate(64, JobOutput::Flush, 0)};
};

// A record written while the writer still holds bytes of an unfinished operator lands behind
// them, and the operator's tag behind the record: the file keeps the order of production.
TEST_F(JobOutputTest, RecordFollowsWhatTheWriterWasGiven) {
  XlStreamUByte(stream.get(), 1);
  XlStreamAttribute(stream.get(), 0x2C);
  EXPECT_EQ(output.WriteRecord(kRecord, sizeof kRecord), 1u);
  XlStreamOperator(stream.get(), 0x7B);
  EXPECT_EQ(Contents(file.get()), (Bytes{0xC0, 0x01, 0xF8, 0x2C, 0xAA, 0xBB, 0x7B}));
}

// A writer in the error state keeps what it holds for its closing hand-off; a record does not
// take it out early, and a writer detached from its output hands that off to nowhere.
TEST_F(JobOutputTest, ErrorStateAndDetachedWriterAddNothing) {
  XlStreamUByte(stream.get(), 1);
  XlStreamOperator(stream.get(), 0x01);  // refused: not an operator
  EXPECT_EQ(output.WriteRecord(kRecord, sizeof kRecord), 1u);
  output.Detach(stream.get());
  stream.reset();
  EXPECT_EQ(Contents(file.get()), (Bytes{0xAA, 0xBB}));
}

}  // namespace
}  // namespace tavrfndl::pclxl
