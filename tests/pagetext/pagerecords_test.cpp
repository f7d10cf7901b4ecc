#include "pagetext/pagerecords.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tavrfndl {
namespace {

using Bytes = std::vector<uint8_t>;

// Names a parameterised test after its case's `name` field.
struct CaseName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& param) const {
    return param.param.name;
  }
};
using pclxl::Attribute;
using pclxl::JobOutput;
using WriteRecord = std::function<size_t(JobOutput&)>;

// Everything written to a temporary file, read back from its start.
Bytes ReadAll(std::FILE* file) {
  Bytes bytes;
  std::rewind(file);
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    bytes.push_back(static_cast<uint8_t>(c));
  }
  return bytes;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Runs `write` against a fresh temporary file; returns its result and the file's content.
std::pair<size_t, Bytes> WriteToTempFile(const WriteRecord& write) {
  FilePtr file(std::tmpfile());
  if (!file) {
    ADD_FAILURE() << "tmpfile() failed";
    return {0, {}};
  }
  JobOutput out(file.get());
  const size_t result = write(out);
  return {result, ReadAll(file.get())};
}

const uint16_t kHi[] = {0x0048, 0x0069};
const int32_t kHiWidths[] = {30, 12};
const uint16_t kOne[] = {0x1234};
const int32_t kWide[] = {70000};
const int32_t kNegativeWidth[] = {-2};

struct RecordCase {
  std::string name;
  WriteRecord write;
  Bytes expected;
};

class RecordTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordTest, WritesTheWholeRecordAsOneItem) {
  const RecordCase& c = GetParam();
  const auto [result, written] = WriteToTempFile(c.write);
  EXPECT_EQ(result, 1u);
  EXPECT_EQ(written, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Records, RecordTest,
    ::testing::Values(
        RecordCase{"SetCursor",
                   [](JobOutput& f) { return WriteSetCursor(f, 100, 200); },
                   {0xD3, 0x64, 0x00, 0xC8, 0x00, 0xF8, 0x4C, 0x6B}},
        RecordCase{"SetCursorNegativeX",
                   [](JobOutput& f) { return WriteSetCursor(f, -5, 0); },
                   {0xD3, 0xFB, 0xFF, 0x00, 0x00, 0xF8, 0x4C, 0x6B}},
        RecordCase{"SetCursorTruncatesY",
                   [](JobOutput& f) { return WriteSetCursor(f, 1, 65536 + 200); },
                   {0xD3, 0x01, 0x00, 0xC8, 0x00, 0xF8, 0x4C, 0x6B}},
        RecordCase{"TextHi",
                   [](JobOutput& f) { return WriteText(f, kHi, 2, kHiWidths); },
                   {0xC9, 0xC1, 0x02, 0x00, 0x48, 0x00, 0x69, 0x00, 0xF8, 0xAB, 0xC9,
                    0xC1, 0x02, 0x00, 0x1E, 0x00, 0x0C, 0x00, 0xF8, 0xAF, 0xA8}},
        RecordCase{"TextEmpty",
                   [](JobOutput& f) { return WriteText(f, nullptr, 0, nullptr); },
                   {0xC9, 0xC1, 0x00, 0x00, 0xF8, 0xAB, 0xC9, 0xC1, 0x00, 0x00, 0xF8, 0xAF, 0xA8}},
        RecordCase{"TextWidthTruncated",
                   [](JobOutput& f) { return WriteText(f, kOne, 1, kWide); },
                   {0xC9, 0xC1, 0x01, 0x00, 0x34, 0x12, 0xF8, 0xAB, 0xC9, 0xC1, 0x01, 0x00, 0x70,
                    0x11, 0xF8, 0xAF, 0xA8}},
        RecordCase{"TextWidthNegative",
                   [](JobOutput& f) { return WriteText(f, kOne, 1, kNegativeWidth); },
                   {0xC9, 0xC1, 0x01, 0x00, 0x34, 0x12, 0xF8, 0xAB, 0xC9, 0xC1, 0x01, 0x00, 0xFE,
                    0xFF, 0xF8, 0xAF, 0xA8}},
        RecordCase{"SetROP240",
                   [](JobOutput& f) { return WriteSetROP(f, 240); },
                   {0xC0, 0xF0, 0xF8, 0x2C, 0x7B}},
        RecordCase{"SetROP252",
                   [](JobOutput& f) { return WriteSetROP(f, 252); },
                   {0xC0, 0xFC, 0xF8, 0x2C, 0x7B}},
        RecordCase{"SetROPTruncatesTo8Bits",
                   [](JobOutput& f) { return WriteSetROP(f, 0x1F0); },
                   {0xC0, 0xF0, 0xF8, 0x2C, 0x7B}},
        RecordCase{"SetPenSourceNullPen",
                   [](JobOutput& f) { return WriteSetPenSource(f, Attribute::NullPen, 0); },
                   {0xC0, 0x00, 0xF8, 0x05, 0x79}},
        RecordCase{"SetPenSourceOrderAndTruncation",
                   [](JobOutput& f) { return WriteSetPenSource(f, Attribute::PaletteData, 0x1AB); },
                   {0xC0, 0xAB, 0xF8, 0x06, 0x79}},
        RecordCase{
            "PaintRectangle",
            [](JobOutput& f) { return WritePaintRectangle(f, 1000, 2150, 1600, 2200); },
            {0x85, 0xE3, 0xE8, 0x03, 0x66, 0x08, 0x40, 0x06, 0x98, 0x08, 0xF8, 0x42, 0xA1, 0x86}},
        RecordCase{
            "PaintRectangleNegativeAndWide",
            [](JobOutput& f) { return WritePaintRectangle(f, -1, 70000, -32768, 32767); },
            {0x85, 0xE3, 0xFF, 0xFF, 0x70, 0x11, 0x00, 0x80, 0xFF, 0x7F, 0xF8, 0x42, 0xA1, 0x86}},
        RecordCase{"ClipRectangle",
                   [](JobOutput& f) { return WriteClipRectangle(f, 0, 0, 4900, 6400); },
                   {0xC0, 0x00, 0xF8, 0x53, 0xE3, 0x00, 0x00, 0x00, 0x00, 0x24, 0x13, 0x00, 0x19,
                    0xF8, 0x42, 0x68}},
        RecordCase{"ClipRectangleKeepsBoxOrder",
                   [](JobOutput& f) { return WriteClipRectangle(f, 1, 2, 3, 4); },
                   {0xC0, 0x00, 0xF8, 0x53, 0xE3, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00,
                    0xF8, 0x42, 0x68}}),
    CaseName());

TEST(WriteText, LargestRecordFitsAndKeepsEveryUnitAndWidth) {
  std::vector<uint16_t> text(kMaxTextRecordUnits);
  std::vector<int32_t> widths(kMaxTextRecordUnits);
  for (int32_t i = 0; i < kMaxTextRecordUnits; ++i) {
    text[i] = static_cast<uint16_t>(0x100 + i);
    widths[i] = 65536 * 3 + i;  // the high bits must vanish
  }
  const auto [result, written] = WriteToTempFile(
      [&](JobOutput& f) { return WriteText(f, text.data(), kMaxTextRecordUnits, widths.data()); });
  EXPECT_EQ(result, 1u);
  const size_t n = kMaxTextRecordUnits;
  ASSERT_EQ(written.size(), 13 + 4 * n);
  EXPECT_EQ(Bytes(written.begin(), written.begin() + 4), (Bytes{0xC9, 0xC1, 0xDE, 0x04}));
  EXPECT_EQ(Bytes(written.begin() + 4 + 2 * n, written.begin() + 10 + 2 * n),
            (Bytes{0xF8, 0xAB, 0xC9, 0xC1, 0xDE, 0x04}));
  EXPECT_EQ(Bytes(written.end() - 3, written.end()), (Bytes{0xF8, 0xAF, 0xA8}));
  for (size_t i = 0; i < n; ++i) {
    EXPECT_EQ(written[4 + 2 * i] | (written[5 + 2 * i] << 8), text[i]) << "unit " << i;
    EXPECT_EQ(written[10 + 2 * n + 2 * i] | (written[11 + 2 * n + 2 * i] << 8), i) << "width " << i;
  }
}

struct RefusedTextCase {
  std::string name;
  int32_t n;
  bool nullText;
  bool nullWidths;
};

class RefusedTextTest : public ::testing::TestWithParam<RefusedTextCase> {};

TEST_P(RefusedTextTest, WritesNothing) {
  const RefusedTextCase& c = GetParam();
  // Arrays long enough for any n tried here, so that a refusal is the routine's own doing.
  const std::vector<uint16_t> text(kMaxTextRecordUnits + 1, 0x41);
  const std::vector<int32_t> widths(kMaxTextRecordUnits + 1, 10);
  const uint16_t* pwText = c.nullText ? nullptr : text.data();
  const int32_t* pnWidths = c.nullWidths ? nullptr : widths.data();
  const auto [result, written] =
      WriteToTempFile([&](JobOutput& f) { return WriteText(f, pwText, c.n, pnWidths); });
  EXPECT_EQ(result, 0u);
  EXPECT_TRUE(written.empty());
}

INSTANTIATE_TEST_SUITE_P(Refusals, RefusedTextTest,
                         ::testing::Values(RefusedTextCase{"TooMany", kMaxTextRecordUnits + 1,
                                                           false, false},
                                           RefusedTextCase{"FarTooMany", 1 << 20, false, false},
                                           RefusedTextCase{"Negative", -1, false, false},
                                           RefusedTextCase{"NullText", 1, true, false},
                                           RefusedTextCase{"NullWidths", 1, false, true}),
                         CaseName());

// Every kind of record written once: the item count of each write.
std::vector<size_t> WriteEachRecord(JobOutput& out) {
  return {WriteSetCursor(out, 1, 2),
          WriteText(out, kHi, 2, kHiWidths),
          WriteSetROP(out, 240),
          WriteSetPenSource(out, Attribute::NullPen, 0),
          WritePaintRectangle(out, 0, 0, 1, 1),
          WriteClipRectangle(out, 0, 0, 1, 1)};
}

TEST(PageRecords, NullFileWritesNothing) {
  JobOutput none(nullptr);
  EXPECT_EQ(WriteEachRecord(none), std::vector<size_t>(6, 0));
}

// A stream opened for reading refuses every write, which must come back as 0 items.
TEST(PageRecords, FailedWriteReportsZeroItems) {
  FilePtr file(std::fopen(TAVRFNDL_SOURCE_DIR "/CMakeLists.txt", "rb"));
  ASSERT_TRUE(file);
  JobOutput out(file.get());
  EXPECT_EQ(WriteEachRecord(out), std::vector<size_t>(6, 0));
}

#if defined(__GLIBC__)
// A stream without a buffer whose every underlying write is recorded: glibc passes one fwrite
// to the cookie as one write, so a record assembled in pieces would show up as several.
struct WriteLog {
  std::vector<Bytes> writes;
};

ssize_t LogWrite(void* cookie, const char* data, size_t size) {
  auto* log = static_cast<WriteLog*>(cookie);
  log->writes.emplace_back(data, data + size);
  return static_cast<ssize_t>(size);
}

FilePtr OpenLog(WriteLog& log) {
  cookie_io_functions_t io{};
  io.write = LogWrite;
  FilePtr file(fopencookie(&log, "w", io));
  if (file) std::setvbuf(file.get(), nullptr, _IONBF, 0);
  return file;
}

TEST(PageRecords, EachRecordIsOneWrite) {
  const std::vector<std::pair<WriteRecord, size_t>> records = {
      {[](JobOutput& f) { return WriteSetCursor(f, 1, 2); }, 8},
      {[](JobOutput& f) { return WriteText(f, kHi, 2, kHiWidths); }, 21},
      {[](JobOutput& f) { return WriteSetROP(f, 240); }, 5},
      {[](JobOutput& f) { return WriteSetPenSource(f, Attribute::NullPen, 0); }, 5},
      {[](JobOutput& f) { return WritePaintRectangle(f, 0, 0, 1, 1); }, 14},
      {[](JobOutput& f) { return WriteClipRectangle(f, 0, 0, 1, 1); }, 16},
  };
  for (size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i));
    WriteLog log;
    FilePtr file = OpenLog(log);
    ASSERT_TRUE(file);
    JobOutput out(file.get());
    EXPECT_EQ(records[i].first(out), 1u);
    ASSERT_EQ(log.writes.size(), 1u);
    EXPECT_EQ(log.writes[0].size(), records[i].second);
  }
}

#endif

}  // namespace
}  // namespace tavrfndl
