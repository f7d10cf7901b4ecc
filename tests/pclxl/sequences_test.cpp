#include "pclxl/sequences.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "recording_flush.h"

namespace tavrfndl {
namespace {

using testing::Bytes;
using testing::CaseName;
using testing::MakeRecordingStream;
using testing::Recorder;

const Bytes kName = {'F', '1'};

// A name buffer longer than 65535 whose first bytes differ from the rest, so that sending the
// full length or the wrong bytes shows.
const Bytes& LongName() {
  static const Bytes name = [] {
    Bytes bytes(65536 + 5, 'x');
    for (uint8_t i = 0; i < 5; ++i) bytes[i] = static_cast<uint8_t>('A' + i);
    return bytes;
  }();
  return name;
}

struct SequenceCase {
  std::string name;
  std::function<void(XlStream*)> emit;
  Bytes expected;
};

class SequenceTest : public ::testing::TestWithParam<SequenceCase> {};

// In a roomy buffer the whole sequence goes out in the single hand-off that its operator makes.
TEST_P(SequenceTest, PlacesItsBytesAndHandsOffOnce) {
  const SequenceCase& c = GetParam();
  Recorder recorder;
  XlStreamPtr stream = MakeRecordingStream(recorder);
  ASSERT_NE(stream, nullptr);
  c.emit(stream.get());
  EXPECT_EQ(stream->nError, 0);
  ASSERT_EQ(recorder.handOffs.size(), 1u);
  EXPECT_EQ(recorder.handOffs[0], c.expected);
  EXPECT_EQ(stream->dwBytesWritten, c.expected.size());
}

TEST_P(SequenceTest, SmallBuffersChangeOnlyTheHandOffBoundaries) {
  const SequenceCase& c = GetParam();
  for (int32_t size : {kXlMinBufferSize, 5, 7}) {
    SCOPED_TRACE("buffer size " + std::to_string(size));
    Recorder recorder;
    XlStreamPtr stream = MakeRecordingStream(recorder, size);
    ASSERT_NE(stream, nullptr);
    c.emit(stream.get());
    ASSERT_FALSE(recorder.handOffs.empty());
    EXPECT_EQ(recorder.handOffs.back().back(), c.expected.back()) << "ends with the operator";
    EXPECT_EQ(recorder.Joined(), c.expected);
  }
}

TEST_P(SequenceTest, PlacesNothingInTheErrorState) {
  const SequenceCase& c = GetParam();
  Recorder recorder;
  XlStreamPtr stream = MakeRecordingStream(recorder);
  ASSERT_NE(stream, nullptr);
  XlStreamOperator(stream.get(), 0x45);
  ASSERT_EQ(stream->nError, kXlErrorOperator);
  c.emit(stream.get());
  EXPECT_TRUE(recorder.handOffs.empty());
  EXPECT_EQ(stream->nBufferUsed, 0);
  EXPECT_EQ(stream->dwBytesWritten, 0u);
  EXPECT_EQ(stream->nErrorCount, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Operators, SequenceTest,
    ::testing::Values(
        SequenceCase{"BeginFontHeader",
                     [](XlStream* s) { XlBeginFontHeader(s, kName.data(), 2, 0); },
                     {0xC8, 0xC1, 0x02, 0x00, 'F', '1', 0xF8, 0xA8, 0xC0, 0x00, 0xF8, 0xA9, 0x4F}},
        SequenceCase{"BeginFontHeaderOtherFormat",
                     [](XlStream* s) { XlBeginFontHeader(s, kName.data(), 1, 0x12); },
                     {0xC8, 0xC1, 0x01, 0x00, 'F', 0xF8, 0xA8, 0xC0, 0x12, 0xF8, 0xA9, 0x4F}},
        SequenceCase{"ReadFontHeader",
                     [](XlStream* s) { XlReadFontHeader(s, 0x1234); },
                     {0xC1, 0x34, 0x12, 0xF8, 0xA7, 0x50}},
        SequenceCase{"EndFontHeader", [](XlStream* s) { XlEndFontHeader(s); }, {0x51}},
        SequenceCase{"BeginChar",
                     [](XlStream* s) { XlBeginChar(s, kName.data(), 2); },
                     {0xC8, 0xC1, 0x02, 0x00, 'F', '1', 0xF8, 0xA8, 0x52}},
        SequenceCase{
            "ReadChar",
            [](XlStream* s) { XlReadChar(s, 0x41, 100); },
            {0xC1, 0x41, 0x00, 0xF8, 0xA2, 0xC2, 0x64, 0x00, 0x00, 0x00, 0xF8, 0xA3, 0x53}},
        SequenceCase{
            "ReadCharComponent",
            [](XlStream* s) { XlReadChar(s, 0xFFFF, 0x00012345); },
            {0xC1, 0xFF, 0xFF, 0xF8, 0xA2, 0xC2, 0x45, 0x23, 0x01, 0x00, 0xF8, 0xA3, 0x53}},
        SequenceCase{"EndChar", [](XlStream* s) { XlEndChar(s); }, {0x54}},
        SequenceCase{"RemoveFont",
                     [](XlStream* s) { XlRemoveFont(s, kName.data(), 2); },
                     {0xC8, 0xC1, 0x02, 0x00, 'F', '1', 0xF8, 0xA8, 0x55}},
        SequenceCase{"SetFont",
                     [](XlStream* s) { XlSetFont(s, kName.data(), 2, 50.0f, 1); },
                     {0xC8, 0xC1, 0x02, 0x00, 'F',  '1',  0xF8, 0xA8, 0xC5, 0x00, 0x00,
                      0x48, 0x42, 0xF8, 0xA6, 0xC1, 0x01, 0x00, 0xF8, 0xAA, 0x6F}},
        SequenceCase{"SetCharAngleZero",
                     [](XlStream* s) { XlSetCharAngle(s, 0); },
                     {0xC3, 0x00, 0x00, 0xF8, 0xA1, 0x64}},
        SequenceCase{"SetCharAngleNegative",
                     [](XlStream* s) { XlSetCharAngle(s, -90); },
                     {0xC3, 0xA6, 0xFF, 0xF8, 0xA1, 0x64}},
        SequenceCase{"SetCharShearZero",
                     [](XlStream* s) { XlSetCharShear(s, 0.0f, 0.0f); },
                     {0xD5, 0, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0xA5, 0x66}},
        SequenceCase{"SetCharShearItalic",
                     [](XlStream* s) { XlSetCharShear(s, 0.1583f, 0.0f); },
                     {0xD5, 0x65, 0x19, 0x22, 0x3E, 0, 0, 0, 0, 0xF8, 0xA5, 0x66}},
        SequenceCase{"SetCharShearYSecond",
                     [](XlStream* s) { XlSetCharShear(s, 0.0f, 1.0f); },
                     {0xD5, 0, 0, 0, 0, 0x00, 0x00, 0x80, 0x3F, 0xF8, 0xA5, 0x66}},
        SequenceCase{"SetCharBoldValue",
                     [](XlStream* s) { XlSetCharBoldValue(s, 0.01f); },
                     {0xC5, 0x0A, 0xD7, 0x23, 0x3C, 0xF8, 0xB1, 0x7D}},
        SequenceCase{"EmptyName",
                     [](XlStream* s) { XlBeginChar(s, kName.data(), 0); },
                     {0xC8, 0xC1, 0x00, 0x00, 0xF8, 0xA8, 0x52}},
        // Only the low 16 bits of a name length count, for the array length and the bytes sent.
        SequenceCase{"NameLengthAbove16Bits",
                     [](XlStream* s) { XlRemoveFont(s, LongName().data(), 65536 + 5); },
                     {0xC8, 0xC1, 0x05, 0x00, 'A', 'B', 'C', 'D', 'E', 0xF8, 0xA8, 0x55}},
        SequenceCase{"NameLength65536SendsNoName",
                     [](XlStream* s) { XlSetFont(s, nullptr, 65536, 1.0f, 1); },
                     {0xC8, 0xC1, 0x00, 0x00, 0xF8, 0xA8, 0xC5, 0x00, 0x00, 0x80, 0x3F, 0xF8, 0xA6,
                      0xC1, 0x01, 0x00, 0xF8, 0xAA, 0x6F}}),
    CaseName());

}  // namespace
}  // namespace tavrfndl
