// Every operator the library writes, with every attribute and data type it gives them, goes out
// through the library's writers and back through the stream reader: what comes back must be the
// same operator, attribute ids, data types and values. A number copied wrong into a writer or the
// reader shows here, whichever side it is on.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "pagetext/pagerecords.h"
#include "pclxl/joboutput.h"
#include "pclxl/sequences.h"
#include "pclxl/xlstream.h"
#include "recording_flush.h"
#include "support/driver.h"
#include "support/xl_ops.h"

namespace tavrfndl::testing {
namespace {

using pclxl::DataType;
using T = DataType;
using A = Attribute;
using O = Operator;

const uint8_t kName[] = {'F', '1'};
const uint8_t kData[] = {1, 2, 3, 4, 5};

// What the stream writer and the sequences over it place.
Bytes Streamed(const std::function<void(XlStream*)>& write) {
  Recorder recorder;
  XlStreamPtr stream = MakeRecordingStream(recorder);
  write(stream.get());
  stream.reset();
  return recorder.Joined();
}

// What a page record writes to its file.
Bytes Recorded(const std::function<size_t(pclxl::JobOutput&)>& write) {
  const std::string path = TempPath("record.pxl");
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return {};
  pclxl::JobOutput output(file);
  const size_t written = write(output);
  std::fclose(file);
  return written == 1 ? ReadFileBytes(path) : Bytes{};
}

struct RoundTrip {
  std::string name;
  std::function<Bytes()> write;
  std::vector<ExpectedOp> expected;
};

const uint16_t kUnits[] = {'A', 0x3042};
const int32_t kAdvances[] = {600, 0xFFFF};

const RoundTrip kRoundTrips[] = {
    {"BeginFontHeader",
     [] { return Streamed([](XlStream* s) { XlBeginFontHeader(s, kName, 2, 0); }); },
     {{O::BeginFontHeader,
       {{A::FontName, T::ubyte_array, {'F', '1'}}, {A::FontFormat, T::ubyte, {0}}}}}},
    {"ReadFontHeaderWithItsData",
     [] {
       return Streamed([](XlStream* s) {
         XlReadFontHeader(s, 5);
         XlStreamEmbeddedData(s, kData, 5);
       });
     },
     {{O::ReadFontHeader, {{A::FontHeaderLength, T::uint16, {5}}}, {1, 2, 3, 4, 5}}}},
    {"EndFontHeader", [] { return Streamed(XlEndFontHeader); }, {{O::EndFontHeader, {}}}},
    {"BeginChar",
     [] { return Streamed([](XlStream* s) { XlBeginChar(s, kName, 2); }); },
     {{O::BeginChar, {{A::FontName, T::ubyte_array, {'F', '1'}}}}}},
    {"ReadChar",
     [] { return Streamed([](XlStream* s) { XlReadChar(s, 0xFFFF, 70000); }); },
     {{O::ReadChar, {{A::CharCode, T::uint16, {0xFFFF}}, {A::CharDataSize, T::uint32, {70000}}}}}},
    {"EndChar", [] { return Streamed(XlEndChar); }, {{O::EndChar, {}}}},
    {"RemoveFont",
     [] { return Streamed([](XlStream* s) { XlRemoveFont(s, kName, 2); }); },
     {{O::RemoveFont, {{A::FontName, T::ubyte_array, {'F', '1'}}}}}},
    {"SetFont",
     [] { return Streamed([](XlStream* s) { XlSetFont(s, kName, 2, 83.25f, 590); }); },
     {{O::SetFont,
       {{A::FontName, T::ubyte_array, {'F', '1'}},
        {A::CharSize, T::real32, {83.25}},
        {A::SymbolSet, T::uint16, {590}}}}}},
    {"SetCharAngle",
     [] { return Streamed([](XlStream* s) { XlSetCharAngle(s, -90); }); },
     {{O::SetCharAngle, {{A::CharAngle, T::sint16, {-90}}}}}},
    {"SetCharShear",
     [] { return Streamed([](XlStream* s) { XlSetCharShear(s, 0.25f, -0.5f); }); },
     {{O::SetCharShear, {{A::CharShear, T::real32_xy, {0.25, -0.5}}}}}},
    {"SetCharBoldValue",
     [] { return Streamed([](XlStream* s) { XlSetCharBoldValue(s, 0.125f); }); },
     {{O::SetCharBoldValue, {{A::CharBoldValue, T::real32, {0.125}}}}}},
    {"SetCursor",
     [] { return Recorded([](pclxl::JobOutput& f) { return WriteSetCursor(f, -300, 32767); }); },
     {{O::SetCursor, {{A::Point, T::sint16_xy, {-300, 32767}}}}}},
    {"Text",
     [] {
       return Recorded([](pclxl::JobOutput& f) { return WriteText(f, kUnits, 2, kAdvances); });
     },
     {{O::Text,
       {{A::TextData, T::uint16_array, {'A', 0x3042}},
        {A::XSpacingData, T::uint16_array, {600, 0xFFFF}}}}}},
    {"SetROP",
     [] { return Recorded([](pclxl::JobOutput& f) { return WriteSetROP(f, 252); }); },
     {{O::SetROP, {{A::ROP3, T::ubyte, {252}}}}}},
    {"SetPenSource",
     [] {
       return Recorded([](pclxl::JobOutput& f) { return WriteSetPenSource(f, A::NullPen, 0); });
     },
     {{O::SetPenSource, {{A::NullPen, T::ubyte, {0}}}}}},
    {"PaintRectangle",
     [] {
       return Recorded(
           [](pclxl::JobOutput& f) { return WritePaintRectangle(f, 10, -20, 300, 400); });
     },
     {{O::NewPath, {}},
      {O::RectanglePath, {{A::BoundingBox, T::sint16_box, {10, -20, 300, 400}}}},
      {O::PaintPath, {}}}},
    {"SetClipRectangle",
     [] {
       return Recorded([](pclxl::JobOutput& f) { return WriteClipRectangle(f, 0, 0, 4900, 6400); });
     },
     {{O::SetClipRectangle,
       {{A::ClipRegion, T::ubyte, {0}}, {A::BoundingBox, T::sint16_box, {0, 0, 4900, 6400}}}}}},
};

class WriterToReader : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(WriterToReader, ReadsBackWhatWasWritten) {
  const Bytes bytes = GetParam().write();
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(ReadsBackAs(bytes, GetParam().expected), "");
}

INSTANTIATE_TEST_SUITE_P(Writers, WriterToReader, ::testing::ValuesIn(kRoundTrips), CaseName());

}  // namespace
}  // namespace tavrfndl::testing
