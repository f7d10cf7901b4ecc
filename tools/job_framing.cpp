#include "job_framing.h"

#include "pclxl/encoder.h"

namespace fndl {
namespace {

namespace xl = tavrfndl::pclxl;
using xl::Attribute;
using xl::Operator;

constexpr char kEnterLanguage[] = "@PJL ENTER LANGUAGE = PCLXL\r\n";
constexpr uint8_t kBlack = 0;

// The bytes `build` places, in a new vector.
template <typename Build>
std::vector<uint8_t> Encode(Build build) {
  std::vector<uint8_t> bytes;
  xl::VectorSink sink(bytes);
  xl::Encoder<xl::VectorSink> encoder(sink);
  build(encoder);
  return bytes;
}

// The stream header line: the binding (low byte first), the protocol class and the comment.
std::string HeaderLine(std::string comment) {
  for (char& c : comment) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return ") HP-PCL XL;2;0;Comment " + comment + "\n";
}

}  // namespace

const char* NameOf(MediaSize paper) {
  for (const PaperName& known : kPaperNames) {
    if (known.media == paper) return known.name;
  }
  return "?";
}

std::vector<uint8_t> JobOpening(uint16_t resolution, const std::string& comment) {
  const std::string header = HeaderLine(comment);
  return Encode([&](auto& job) {
    job.Raw(xl::kUniversalExit, xl::kUniversalExitLength)
        .Raw(kEnterLanguage, sizeof kEnterLanguage - 1)
        .Raw(header.data(), header.size())
        .UInt16XY(resolution, resolution)
        .Attr(Attribute::UnitsPerMeasure)
        .UByte(xl::Measure::eInch)
        .Attr(Attribute::Measure)
        .UByte(xl::ErrorReport::eErrorPage)
        .Attr(Attribute::ErrorReport)
        .Op(Operator::BeginSession)
        .UByte(xl::DataSource::eDefaultDataSource)
        .Attr(Attribute::SourceType)
        .UByte(xl::DataOrg::eBinaryLowByteFirst)
        .Attr(Attribute::DataOrg)
        .Op(Operator::OpenDataSource);
  });
}

std::vector<uint8_t> PageOpening(MediaSize paper) {
  return Encode([&](auto& job) {
    job.UByte(xl::Orientation::ePortraitOrientation)
        .Attr(Attribute::Orientation)
        .UByte(paper)
        .Attr(Attribute::MediaSize)
        .Op(Operator::BeginPage)
        .UByte(xl::ColorSpace::eGray)
        .Attr(Attribute::ColorSpace)
        .Op(Operator::SetColorSpace)
        .UByte(kBlack)
        .Attr(Attribute::GrayLevel)
        .Op(Operator::SetBrushSource);
  });
}

std::vector<uint8_t> PageClosing() {
  return Encode([](auto& job) { job.Op(Operator::EndPage); });
}

std::vector<uint8_t> JobClosing() {
  return Encode([](auto& job) {
    job.Op(Operator::CloseDataSource)
        .Op(Operator::EndSession)
        .Raw(xl::kUniversalExit, xl::kUniversalExitLength);
  });
}

}  // namespace fndl
