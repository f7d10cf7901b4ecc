#include "job_framing.h"

#include "pclxl/format.h"

namespace fndl {
namespace {

using tavrfndl::pclxl::Attribute;
using tavrfndl::pclxl::kUniversalExit;
using tavrfndl::pclxl::Operator;

class Encoder {
 public:
  Encoder& UByte(uint8_t v) {
    bytes_.push_back(0xC0);
    bytes_.push_back(v);
    return *this;
  }
  Encoder& UInt16XY(uint16_t x, uint16_t y) {
    bytes_.push_back(0xD1);
    Put16(x);
    Put16(y);
    return *this;
  }
  Encoder& Attr(Attribute id) {
    bytes_.push_back(0xF8);
    bytes_.push_back(static_cast<uint8_t>(id));
    return *this;
  }
  Encoder& Op(Operator tag) {
    bytes_.push_back(static_cast<uint8_t>(tag));
    return *this;
  }
  Encoder& Text(const std::string& text) {
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  void Put16(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
  }
  std::vector<uint8_t> bytes_;
};

constexpr uint8_t kMeasureInch = 0;
constexpr uint8_t kErrorReportPage = 2;
constexpr uint8_t kDefaultSource = 0;
constexpr uint8_t kLowByteFirst = 1;
constexpr uint8_t kPortrait = 0;
constexpr uint8_t kMediaLetter = 0;
constexpr uint8_t kMediaLegal = 1;
constexpr uint8_t kMediaA4 = 2;
constexpr uint8_t kMediaExecutive = 3;
constexpr uint8_t kMediaA3 = 5;
constexpr uint8_t kGray = 1;
constexpr uint8_t kBlack = 0;

uint8_t MediaOf(Paper paper) {
  switch (paper) {
    case Paper::kA4:
      return kMediaA4;
    case Paper::kA3:
      return kMediaA3;
    case Paper::kLegal:
      return kMediaLegal;
    case Paper::kExecutive:
      return kMediaExecutive;
    case Paper::kLetter:
      break;
  }
  return kMediaLetter;
}

}  // namespace

std::vector<uint8_t> JobOpening(uint16_t resolution, const std::string& comment) {
  std::string line = comment;
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return Encoder()
      .Text(kUniversalExit)
      .Text("@PJL ENTER LANGUAGE = PCLXL\r\n")
      .Text(") HP-PCL XL;2;0;Comment " + line + "\n")
      .UInt16XY(resolution, resolution)
      .Attr(Attribute::UnitsPerMeasure)
      .UByte(kMeasureInch)
      .Attr(Attribute::Measure)
      .UByte(kErrorReportPage)
      .Attr(Attribute::ErrorReport)
      .Op(Operator::BeginSession)
      .UByte(kDefaultSource)
      .Attr(Attribute::SourceType)
      .UByte(kLowByteFirst)
      .Attr(Attribute::DataOrg)
      .Op(Operator::OpenDataSource)
      .Take();
}

std::vector<uint8_t> PageOpening(Paper paper) {
  return Encoder()
      .UByte(kPortrait)
      .Attr(Attribute::Orientation)
      .UByte(MediaOf(paper))
      .Attr(Attribute::MediaSize)
      .Op(Operator::BeginPage)
      .UByte(kGray)
      .Attr(Attribute::ColorSpace)
      .Op(Operator::SetColorSpace)
      .UByte(kBlack)
      .Attr(Attribute::GrayLevel)
      .Op(Operator::SetBrushSource)
      .Take();
}

std::vector<uint8_t> PageClosing() {
  return Encoder().Op(Operator::EndPage).Take();
}

std::vector<uint8_t> JobClosing() {
  return Encoder()
      .Op(Operator::CloseDataSource)
      .Op(Operator::EndSession)
      .Text(kUniversalExit)
      .Take();
}

void PaperSize(Paper paper, uint32_t resolution, uint32_t& width, uint32_t& height) {
  // A4 is 210 x 297 mm, A3 297 x 420 mm, Letter 8.5 x 11 inches, Legal 8.5 x 14 inches.
  if (paper == Paper::kA4 || paper == Paper::kA3) {
    bool a3 = paper == Paper::kA3;
    width = static_cast<uint32_t>((a3 ? 297.0 : 210.0) / 25.4 * resolution);
    height = static_cast<uint32_t>((a3 ? 420.0 : 297.0) / 25.4 * resolution);
  } else if (paper == Paper::kExecutive) {
    width = resolution * 29 / 4;
    height = resolution * 21 / 2;
  } else {
    width = resolution * 17 / 2;
    height = resolution * (paper == Paper::kLegal ? 14 : 11);
  }
}

}  // namespace fndl
