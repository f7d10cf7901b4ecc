// The operators the tool writes around the library's output read back as written: the types and
// values of the session, data source and page attributes, through the library's reader.
#include <gtest/gtest.h>

#include "job_framing.h"
#include "support/xl_ops.h"
#include "tool_harness.h"

namespace fndl::test {
namespace {

using tavrfndl::testing::ExpectedOp;
using T = DataType;
using A = Attribute;

TEST(JobFraming, ReadsBackAsWritten) {
  std::vector<uint8_t> job = JobOpening(1200, "a comment");
  for (const std::vector<uint8_t>& part :
       {PageOpening(MediaSize::eA3Paper), PageClosing(), JobClosing()}) {
    job.insert(job.end(), part.begin(), part.end());
  }
  const auto media = static_cast<double>(MediaSize::eA3Paper);
  const std::vector<ExpectedOp> expected = {
      {Operator::BeginSession,
       {{A::UnitsPerMeasure, T::uint16_xy, {1200, 1200}},
        {A::Measure, T::ubyte, {0}},
        {A::ErrorReport, T::ubyte, {static_cast<double>(ErrorReport::eErrorPage)}}}},
      {Operator::OpenDataSource,
       {{A::SourceType, T::ubyte, {0}},
        {A::DataOrg, T::ubyte, {static_cast<double>(DataOrg::eBinaryLowByteFirst)}}}},
      {Operator::BeginPage, {{A::Orientation, T::ubyte, {0}}, {A::MediaSize, T::ubyte, {media}}}},
      {Operator::SetColorSpace,
       {{A::ColorSpace, T::ubyte, {static_cast<double>(ColorSpace::eGray)}}}},
      {Operator::SetBrushSource, {{A::GrayLevel, T::ubyte, {0}}}},
      {Operator::EndPage, {}},
      {Operator::CloseDataSource, {}},
      {Operator::EndSession, {}},
  };
  EXPECT_EQ(tavrfndl::testing::ReadsBackAs(job, expected, true), "");
}

}  // namespace
}  // namespace fndl::test
