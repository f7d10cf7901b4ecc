#include "pclxl/xlstream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "recording_flush.h"

namespace tavrfndl {
namespace {

using testing::Bytes;
using testing::CaseName;
using testing::MakeRecordingStream;
using testing::Recorder;
using testing::RecordingFlush;

using Emit = std::function<void(XlStream*)>;

const Bytes kThree = {0x01, 0x02, 0x03};

Bytes Sequence(size_t count) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  return bytes;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// --- Encoding of single calls --------------------------------------------------------------

struct EncodingCase {
  std::string name;
  Emit emit;
  Bytes expected;
  size_t handOffsBeforeClose;  // only operators hand off on their own in a roomy buffer
};

class EncodingTest : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(EncodingTest, PlacesExactlyTheseBytes) {
  const EncodingCase& c = GetParam();
  Recorder recorder;
  XlStreamPtr stream = MakeRecordingStream(recorder);
  ASSERT_NE(stream, nullptr);
  c.emit(stream.get());
  EXPECT_EQ(recorder.handOffs.size(), c.handOffsBeforeClose);
  EXPECT_EQ(stream->nError, 0);
  EXPECT_EQ(XlStreamClose(stream.release()), c.expected.size());
  EXPECT_EQ(recorder.Joined(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, EncodingTest,
    ::testing::Values(
        EncodingCase{"UByte", [](XlStream* s) { XlStreamUByte(s, 0xAB); }, {0xC0, 0xAB}, 0},
        EncodingCase{
            "UInt16_300", [](XlStream* s) { XlStreamUInt16(s, 300); }, {0xC1, 0x2C, 0x01}, 0},
        EncodingCase{
            "UInt16_Max", [](XlStream* s) { XlStreamUInt16(s, 0xFFFF); }, {0xC1, 0xFF, 0xFF}, 0},
        EncodingCase{
            "SInt16_Minus1", [](XlStream* s) { XlStreamSInt16(s, -1); }, {0xC3, 0xFF, 0xFF}, 0},
        EncodingCase{
            "SInt16_Min", [](XlStream* s) { XlStreamSInt16(s, -32768); }, {0xC3, 0x00, 0x80}, 0},
        EncodingCase{"UInt32",
                     [](XlStream* s) { XlStreamUInt32(s, 0x12345678); },
                     {0xC2, 0x78, 0x56, 0x34, 0x12},
                     0},
        EncodingCase{"Real32_One",
                     [](XlStream* s) { XlStreamReal32(s, 1.0f); },
                     {0xC5, 0x00, 0x00, 0x80, 0x3F},
                     0},
        EncodingCase{"Real32_Negative",
                     [](XlStream* s) { XlStreamReal32(s, -2.5f); },
                     {0xC5, 0x00, 0x00, 0x20, 0xC0},
                     0},
        EncodingCase{"Real32XY_KeepsOrder",
                     [](XlStream* s) { XlStreamReal32XY(s, 1.0f, -2.5f); },
                     {0xD5, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x20, 0xC0},
                     0},
        EncodingCase{"UByteArray_Empty",
                     [](XlStream* s) { XlStreamUByteArray(s, nullptr, 0); },
                     {0xC8, 0xC1, 0x00, 0x00},
                     0},
        EncodingCase{"UByteArray_Three",
                     [](XlStream* s) { XlStreamUByteArray(s, kThree.data(), 3); },
                     {0xC8, 0xC1, 0x03, 0x00, 0x01, 0x02, 0x03},
                     0},
        // A length that fits a byte is still typed uint16.
        EncodingCase{"UByteArray_LengthAbove255",
                     [](XlStream* s) {
                       const Bytes data = Sequence(0x123);
                       XlStreamUByteArray(s, data.data(), 0x123);
                     },
                     Concat({{0xC8, 0xC1, 0x23, 0x01}, Sequence(0x123)}), 0},
        EncodingCase{"DataLength",
                     [](XlStream* s) { XlStreamDataLength(s, 0x01020304); },
                     {0xFA, 0x04, 0x03, 0x02, 0x01},
                     0},
        EncodingCase{"EmbeddedData_Empty",
                     [](XlStream* s) { XlStreamEmbeddedData(s, nullptr, 0); },
                     {0xFA, 0x00, 0x00, 0x00, 0x00},
                     0},
        // Short blocks still use the 4-byte length form.
        EncodingCase{"EmbeddedData_Three",
                     [](XlStream* s) { XlStreamEmbeddedData(s, kThree.data(), 3); },
                     {0xFA, 0x03, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03},
                     0},
        EncodingCase{"Attribute", [](XlStream* s) { XlStreamAttribute(s, 0xA8); }, {0xF8, 0xA8}, 0},
        EncodingCase{"Operator", [](XlStream* s) { XlStreamOperator(s, 0x41); }, {0x41}, 1},
        EncodingCase{"AttributeListThenOperator",
                     [](XlStream* s) {
                       XlStreamUByte(s, 0);
                       XlStreamAttribute(s, 0xA9);
                       XlStreamOperator(s, 0x4F);
                     },
                     {0xC0, 0x00, 0xF8, 0xA9, 0x4F},
                     1}),
    CaseName());

// --- Hand-off boundaries -------------------------------------------------------------------

TEST(XlStreamHandOff, OperatorOnFullBufferHandsOffTwice) {
  Recorder recorder;
  XlStreamPtr stream = MakeRecordingStream(recorder, 4);
  ASSERT_NE(stream, nullptr);
  XlStreamUByte(stream.get(), 1);
  XlStreamUByte(stream.get(), 2);
  ASSERT_TRUE(recorder.handOffs.empty());
  XlStreamOperator(stream.get(), 0x41);
  ASSERT_EQ(recorder.handOffs.size(), 2u);
  EXPECT_EQ(recorder.handOffs[0], (Bytes{0xC0, 0x01, 0xC0, 0x02}));
  EXPECT_EQ(recorder.handOffs[1], (Bytes{0x41}));
}

TEST(XlStreamHandOff, UInt32WithThreeBytesFreeMovesOnlyTheValue) {
  Recorder recorder;
  XlStreamPtr stream = MakeRecordingStream(recorder, 8);
  ASSERT_NE(stream, nullptr);
  XlStreamUByte(stream.get(), 0x11);
  XlStreamUInt16(stream.get(), 0x2233);
  ASSERT_EQ(stream->nBufferSize - stream->nBufferUsed, 3);
  XlStreamUInt32(stream.get(), 0xA1B2C3D4);
  ASSERT_EQ(recorder.handOffs.size(), 1u);
  EXPECT_EQ(recorder.handOffs[0], (Bytes{0xC0, 0x11, 0xC1, 0x33, 0x22, 0xC2}));
  EXPECT_EQ(stream->nBufferUsed, 4);
  XlStreamOperator(stream.get(), 0x41);
  ASSERT_EQ(recorder.handOffs.size(), 2u);
  EXPECT_EQ(recorder.handOffs[1], (Bytes{0xD4, 0xC3, 0xB2, 0xA1, 0x41}));
}

TEST(XlStreamHandOff, EmbeddedBlockLongerThanBufferArrivesWholeAndInOrder) {
  const Bytes data = Sequence(100);
  Recorder recorder;
  XlStreamPtr stream = MakeRecordingStream(recorder, 16);
  ASSERT_NE(stream, nullptr);
  XlStreamEmbeddedData(stream.get(), data.data(), 100);
  // 5 header bytes + 11 data bytes fill the first buffer, then 5 full buffers of data; the last
  // 9 bytes wait for close.
  ASSERT_EQ(recorder.handOffs.size(), 6u);
  for (const Bytes& handOff : recorder.handOffs) EXPECT_EQ(handOff.size(), 16u);
  EXPECT_EQ(XlStreamClose(stream.release()), 105u);
  ASSERT_EQ(recorder.handOffs.size(), 7u);
  EXPECT_EQ(recorder.handOffs.back().size(), 9u);
  EXPECT_EQ(recorder.Joined(), Concat({{0xFA, 100, 0, 0, 0}, data}));
}

TEST(XlStreamHandOff, LongBlocksSurviveEveryBufferSize) {
  const Bytes data = Sequence(300);
  for (int32_t size = kXlMinBufferSize; size <= 40; ++size) {
    SCOPED_TRACE("buffer size " + std::to_string(size));
    Recorder recorder;
    XlStreamPtr stream = MakeRecordingStream(recorder, size);
    ASSERT_NE(stream, nullptr);
    XlStreamUByteArray(stream.get(), data.data(), 300);
    XlStreamEmbeddedData(stream.get(), data.data(), 300);
    EXPECT_EQ(XlStreamClose(stream.release()), 609u);
    EXPECT_EQ(recorder.Joined(),
              Concat({{0xC8, 0xC1, 0x2C, 0x01}, data, {0xFA, 0x2C, 0x01, 0, 0}, data}));
  }
}

// A script of calls with the pieces each must place, for checking hand-off boundaries against
// piece boundaries at every buffer size.
struct Piece {
  Bytes bytes;
  bool endsOperator = false;
};

struct Step {
  Emit emit;
  std::vector<Piece> pieces;
};

std::vector<Step> MixedScript() {
  return {
      {[](XlStream* s) { XlStreamUByte(s, 0x11); }, {{{0xC0}}, {{0x11}}}},
      {[](XlStream* s) { XlStreamUInt16(s, 0x2233); }, {{{0xC1}}, {{0x33, 0x22}}}},
      {[](XlStream* s) { XlStreamUInt32(s, 0x44556677); }, {{{0xC2}}, {{0x77, 0x66, 0x55, 0x44}}}},
      {[](XlStream* s) { XlStreamAttribute(s, 0xA8); }, {{{0xF8}}, {{0xA8}}}},
      {[](XlStream* s) { XlStreamReal32XY(s, 1.0f, -2.5f); },
       {{{0xD5}}, {{0x00, 0x00, 0x80, 0x3F}}, {{0x00, 0x00, 0x20, 0xC0}}}},
      {[](XlStream* s) { XlStreamSInt16(s, -2); }, {{{0xC3}}, {{0xFE, 0xFF}}}},
      {[](XlStream* s) { XlStreamDataLength(s, 5); }, {{{0xFA}}, {{0x05, 0x00, 0x00, 0x00}}}},
      {[](XlStream* s) { XlStreamUByteArray(s, kThree.data(), 2); },
       {{{0xC8}}, {{0xC1}}, {{0x02, 0x00}}, {{0x01}}, {{0x02}}}},
      {[](XlStream* s) { XlStreamOperator(s, 0x41); }, {{{0x41}, true}}},
      {[](XlStream* s) { XlStreamReal32(s, 1.0f); }, {{{0xC5}}, {{0x00, 0x00, 0x80, 0x3F}}}},
      {[](XlStream* s) { XlStreamUInt32(s, 1); }, {{{0xC2}}, {{0x01, 0x00, 0x00, 0x00}}}},
      {[](XlStream* s) { XlStreamOperator(s, 0x42); }, {{{0x42}, true}}},
      {[](XlStream* s) { XlStreamUInt16(s, 7); }, {{{0xC1}}, {{0x07, 0x00}}}},
  };
}

// Checks the hand-offs before the closing one against the pieces: each holds whole pieces, ends
// either right after an operator or because the next piece did not fit, and no operator goes
// without its hand-off. Returns an empty string when all holds.
std::string CheckHandOffs(const std::vector<Bytes>& handOffs, const std::vector<Piece>& pieces,
                          size_t bufferSize) {
  size_t piece = 0;
  size_t operatorHandOffs = 0;
  for (size_t h = 0; h + 1 < handOffs.size(); ++h) {
    const std::string where = "hand-off " + std::to_string(h) + ": ";
    if (handOffs[h].empty()) return where + "empty";
    size_t filled = 0;
    bool endedByOperator = false;
    while (!endedByOperator && piece < pieces.size() &&
           filled + pieces[piece].bytes.size() <= handOffs[h].size()) {
      filled += pieces[piece].bytes.size();
      endedByOperator = pieces[piece++].endsOperator;
    }
    if (filled != handOffs[h].size()) return where + "splits a piece or runs past an operator";
    if (endedByOperator) {
      ++operatorHandOffs;
    } else if (piece == pieces.size() || filled + pieces[piece].bytes.size() <= bufferSize) {
      return where + "made room that the next piece did not need";
    }
  }
  size_t operators = 0;
  for (const Piece& p : pieces) operators += p.endsOperator ? 1 : 0;
  if (operatorHandOffs != operators) return "an operator did not hand off";
  return "";
}

TEST(XlStreamHandOff, HandOffsFallOnPieceBoundariesAndOnlyWhenNeeded) {
  std::vector<Piece> pieces;
  Bytes expected;
  for (const Step& step : MixedScript()) {
    for (const Piece& piece : step.pieces) {
      pieces.push_back(piece);
      expected.insert(expected.end(), piece.bytes.begin(), piece.bytes.end());
    }
  }
  for (int32_t size = kXlMinBufferSize; size <= 24; ++size) {
    SCOPED_TRACE("buffer size " + std::to_string(size));
    Recorder recorder;
    XlStreamPtr stream = MakeRecordingStream(recorder, size);
    ASSERT_NE(stream, nullptr);
    for (const Step& step : MixedScript()) step.emit(stream.get());
    EXPECT_EQ(XlStreamClose(stream.release()), expected.size());
    EXPECT_EQ(recorder.Joined(), expected);
    EXPECT_EQ(CheckHandOffs(recorder.handOffs, pieces, static_cast<size_t>(size)), "");
  }
}

// A callback that takes the bytes but leaves the buffer as it is, to show which hand-offs the
// writer empties the buffer after by itself.
void KeepingFlush(XlStream* pStream, uint32_t, const uint8_t* pbyBuffer, uint32_t nBytes) {
  static_cast<Recorder*>(pStream->pClientData)
      ->handOffs.emplace_back(pbyBuffer, pbyBuffer + nBytes);
}

TEST(XlStreamHandOff, WriterEmptiesTheBufferOnlyAfterMakingRoom) {
  Recorder recorder;
  XlStream* stream = XlStreamCreate(4, KeepingFlush, 0);
  ASSERT_NE(stream, nullptr);
  stream->pClientData = &recorder;
  XlStreamUByte(stream, 1);
  XlStreamUByte(stream, 2);
  XlStreamUByte(stream, 3);  // the tag finds no room: hand-off, then the writer starts over
  ASSERT_EQ(recorder.handOffs.size(), 1u);
  EXPECT_EQ(recorder.handOffs[0].size(), 4u);
  EXPECT_EQ(stream->nBufferUsed, 2);
  XlStreamOperator(stream, 0x41);  // the operator's hand-off leaves emptying to the callback
  ASSERT_EQ(recorder.handOffs.size(), 2u);
  EXPECT_EQ(recorder.handOffs[1], (Bytes{0xC0, 0x03, 0x41}));
  EXPECT_EQ(stream->nBufferUsed, 3);
  EXPECT_EQ(XlStreamClose(stream), 7u);  // and so does the closing one, which sees them again
  ASSERT_EQ(recorder.handOffs.size(), 3u);
  EXPECT_EQ(recorder.handOffs[2], (Bytes{0xC0, 0x03, 0x41}));
}

// --- Closing -------------------------------------------------------------------------------

TEST(XlStreamClose, HandsOffOnceEvenWhenEmptyAndReturnsEveryByteEverPlaced) {
  Recorder recorder;
  XlStreamPtr stream = MakeRecordingStream(recorder, 4);
  ASSERT_NE(stream, nullptr);
  XlStreamUInt32(stream.get(), 9);  // 5 bytes through a 4-byte buffer
  XlStreamOperator(stream.get(), 0x41);
  const size_t before = recorder.handOffs.size();
  EXPECT_EQ(XlStreamClose(stream.release()), 6u);
  ASSERT_EQ(recorder.handOffs.size(), before + 1);
  EXPECT_TRUE(recorder.handOffs.back().empty());
}

TEST(XlStreamClose, FreshWriterHandsOffNothingOnce) {
  Recorder recorder;
  XlStreamPtr stream = MakeRecordingStream(recorder);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(XlStreamClose(stream.release()), 0u);
  ASSERT_EQ(recorder.handOffs.size(), 1u);
  EXPECT_TRUE(recorder.handOffs[0].empty());
}

TEST(XlStreamClose, ByteCountWrapsAt32Bits) {
  Recorder recorder;
  XlStreamPtr stream = MakeRecordingStream(recorder);
  ASSERT_NE(stream, nullptr);
  stream->dwBytesWritten = std::numeric_limits<uint32_t>::max();
  XlStreamUInt16(stream.get(), 1);
  EXPECT_EQ(XlStreamClose(stream.release()), 2u);
}

// --- Error state ---------------------------------------------------------------------------

struct RefusalCase {
  std::string name;
  Emit refused;
  int16_t code;
};

class ErrorStateTest : public ::testing::TestWithParam<RefusalCase> {};

// Every emission once, including an accepted operator and a second refused one.
void EmitEverything(XlStream* s) {
  XlStreamUByte(s, 1);
  XlStreamUInt16(s, 2);
  XlStreamSInt16(s, 3);
  XlStreamUInt32(s, 4);
  XlStreamReal32(s, 5.0f);
  XlStreamReal32XY(s, 6.0f, 7.0f);
  XlStreamUByteArray(s, kThree.data(), 3);
  XlStreamDataLength(s, 8);
  XlStreamEmbeddedData(s, kThree.data(), 3);
  XlStreamAttribute(s, 0xA8);
  XlStreamOperator(s, 0x41);
  XlStreamOperator(s, 0x45);
  XlStreamAttribute(s, 0);
}

TEST_P(ErrorStateTest, RefusalSilencesEverythingButTheClosingHandOff) {
  const RefusalCase& c = GetParam();
  Recorder recorder;
  // A full 4-byte buffer: any further piece would force a room-making hand-off if the writer
  // were still placing.
  XlStreamPtr stream = MakeRecordingStream(recorder, 4);
  ASSERT_NE(stream, nullptr);
  XlStreamUByte(stream.get(), 0x07);
  XlStreamAttribute(stream.get(), 0x05);
  ASSERT_EQ(stream->nBufferUsed, 4);

  c.refused(stream.get());
  EXPECT_EQ(stream->nError, c.code);
  EXPECT_EQ(stream->nErrorCount, 1);
  EXPECT_EQ(stream->nBufferUsed, 4);
  EXPECT_EQ(stream->dwBytesWritten, 4u);

  EmitEverything(stream.get());
  EXPECT_TRUE(recorder.handOffs.empty());
  EXPECT_EQ(stream->nError, c.code);
  EXPECT_EQ(stream->nErrorCount, 1);
  EXPECT_EQ(stream->dwBytesWritten, 4u);

  EXPECT_EQ(XlStreamClose(stream.release()), 4u);
  ASSERT_EQ(recorder.handOffs.size(), 1u);
  EXPECT_EQ(recorder.handOffs[0], (Bytes{0xC0, 0x07, 0xF8, 0x05}));
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, ErrorStateTest,
    ::testing::Values(
        RefusalCase{"Operator45", [](XlStream* s) { XlStreamOperator(s, 0x45); }, kXlErrorOperator},
        RefusalCase{"Operator100", [](XlStream* s) { XlStreamOperator(s, 0x100); },
                    kXlErrorOperator},
        // Low byte 0x41 is an accepted tag: the high byte must not be dropped.
        RefusalCase{"Operator141", [](XlStream* s) { XlStreamOperator(s, 0x141); },
                    kXlErrorOperator},
        RefusalCase{"OperatorFFFF", [](XlStream* s) { XlStreamOperator(s, 0xFFFF); },
                    kXlErrorOperator},
        RefusalCase{"Attribute0", [](XlStream* s) { XlStreamAttribute(s, 0); }, kXlErrorAttribute},
        RefusalCase{"Attribute100", [](XlStream* s) { XlStreamAttribute(s, 0x100); },
                    kXlErrorAttribute},
        RefusalCase{"Attribute1A8", [](XlStream* s) { XlStreamAttribute(s, 0x1A8); },
                    kXlErrorAttribute},
        RefusalCase{"UByteArrayWithoutData", [](XlStream* s) { XlStreamUByteArray(s, nullptr, 3); },
                    kXlErrorNoData},
        RefusalCase{"EmbeddedDataWithoutData",
                    [](XlStream* s) { XlStreamEmbeddedData(s, nullptr, 3); }, kXlErrorNoData}),
    CaseName());

// --- Acceptance tables ---------------------------------------------------------------------

struct Range {
  unsigned first;
  unsigned last;
};

// Written from the refused lists, so that they check the writer's accepted lists independently.
const std::vector<Range> kRefusedOperators = {
    {0x00, 0x40}, {0x45, 0x45}, {0x4D, 0x4E}, {0x57, 0x5A}, {0x83, 0x83},
    {0x87, 0x90}, {0x92, 0x92}, {0x94, 0x94}, {0x9A, 0x9A}, {0x9C, 0x9C},
    {0xA4, 0xA7}, {0xAB, 0xAF}, {0xB7, 0xB7}, {0xBA, 0xBE}, {0xC0, 0xFF},
};
const std::vector<Range> kRefusedAttributes = {
    {0x00, 0x00}, {0x1D, 0x20}, {0x2E, 0x2E}, {0x37, 0x40}, {0x55, 0x60},
    {0x6A, 0x6A}, {0x74, 0x80}, {0x83, 0x85}, {0x87, 0x87}, {0x8D, 0x8E},
    {0x90, 0x90}, {0xAE, 0xAE}, {0xB2, 0xFF},
};

bool InRanges(const std::vector<Range>& ranges, unsigned value) {
  for (const Range& r : ranges) {
    if (value >= r.first && value <= r.last) return true;
  }
  return false;
}

struct TableCase {
  std::string name;
  void (*emit)(XlStream*, uint16_t);
  const std::vector<Range>* refused;
  int16_t code;
  size_t acceptedCount;
  Bytes (*placed)(uint8_t);
};

class AcceptanceTableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(AcceptanceTableTest, AcceptsExactlyTheListedValues) {
  const TableCase& c = GetParam();
  size_t accepted = 0;
  for (unsigned value = 0; value < 256; ++value) {
    SCOPED_TRACE("value " + std::to_string(value));
    Recorder recorder;
    XlStreamPtr stream = MakeRecordingStream(recorder);
    ASSERT_NE(stream, nullptr);
    c.emit(stream.get(), static_cast<uint16_t>(value));
    const bool refused = InRanges(*c.refused, value);
    EXPECT_EQ(stream->nError, refused ? c.code : 0);
    EXPECT_EQ(XlStreamClose(stream.release()),
              refused ? 0u : c.placed(static_cast<uint8_t>(value)).size());
    EXPECT_EQ(recorder.Joined(), refused ? Bytes{} : c.placed(static_cast<uint8_t>(value)));
    accepted += refused ? 0 : 1;
  }
  EXPECT_EQ(accepted, c.acceptedCount);
}

INSTANTIATE_TEST_SUITE_P(Tables, AcceptanceTableTest,
                         ::testing::Values(TableCase{"Operators", XlStreamOperator,
                                                     &kRefusedOperators, kXlErrorOperator, 90,
                                                     [](uint8_t tag) { return Bytes{tag}; }},
                                           TableCase{"Attributes", XlStreamAttribute,
                                                     &kRefusedAttributes, kXlErrorAttribute, 128,
                                                     [](uint8_t id) {
                                                       return Bytes{0xF8, id};
                                                     }}),
                         CaseName());

// --- Creation ------------------------------------------------------------------------------

struct BadCreateCase {
  std::string name;
  int32_t size;
  XlStreamFlushProc flush;
};

class CreateRefusalTest : public ::testing::TestWithParam<BadCreateCase> {};

TEST_P(CreateRefusalTest, ReturnsNoWriter) {
  const BadCreateCase& c = GetParam();
  EXPECT_EQ(XlStreamCreate(c.size, c.flush, 0), nullptr);
}

INSTANTIATE_TEST_SUITE_P(BadArguments, CreateRefusalTest,
                         ::testing::Values(BadCreateCase{"NullCallback", 4096, nullptr},
                                           BadCreateCase{"SizeZero", 0, RecordingFlush},
                                           BadCreateCase{"SizeOne", 1, RecordingFlush},
                                           BadCreateCase{"SizeThree", 3, RecordingFlush},
                                           BadCreateCase{"SizeMinusOne", -1, RecordingFlush},
                                           BadCreateCase{"SizeMinimum",
                                                         std::numeric_limits<int32_t>::min(),
                                                         RecordingFlush}),
                         CaseName());

TEST(XlStreamCreate, SmallestBufferStartsHealthyAndEmpty) {
  XlStream* stream = XlStreamCreate(kXlMinBufferSize, RecordingFlush, 0xDEADBEEF);
  ASSERT_NE(stream, nullptr);
  EXPECT_NE(stream->pbyBuffer, nullptr);
  EXPECT_EQ(stream->nBufferSize, kXlMinBufferSize);
  EXPECT_EQ(stream->nBufferUsed, 0);
  EXPECT_EQ(stream->dwBytesWritten, 0u);
  EXPECT_EQ(stream->nError, 0);
  EXPECT_EQ(stream->nErrorCount, 0);
  EXPECT_EQ(stream->pfnFlush, RecordingFlush);
  EXPECT_EQ(stream->dwFlushContext, 0xDEADBEEFu);
  Recorder recorder;
  stream->dwFlushContext = testing::kRecorderContext;  // what the recorder checks for
  stream->pClientData = &recorder;
  EXPECT_EQ(XlStreamClose(stream), 0u);
}

}  // namespace
}  // namespace tavrfndl
