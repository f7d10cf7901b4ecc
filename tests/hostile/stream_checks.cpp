#include "hostile/stream_checks.h"

#include <set>

#include "pclxl/xlstream_reader.h"
#include "sfnt/bytes.h"

namespace tavrfndl::testing {
namespace {

using pclxl::Attribute;
using pclxl::DataType;
using pclxl::Operator;
using pclxl::XlOperator;
using pclxl::XlStreamReader;

uint32_t Be16(const std::vector<uint8_t>& b, size_t at) {
  uint16_t v = 0;
  ByteView(b.data(), b.size()).ReadU16(at, v);
  return v;
}

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v = 0;
  ByteView(b.data(), b.size()).ReadU32(at, v);
  return v;
}

std::string At(const XlOperator& op, const std::string& what) {
  const char* name = pclxl::OperatorName(static_cast<uint8_t>(op.tag));
  return std::string(name ? name : "operator") + " at offset " + std::to_string(op.start) + ": " +
         what;
}

std::string HeaderProblem(const std::vector<uint8_t>& d) {
  constexpr size_t kFixed = 8;
  constexpr size_t kSegmentHead = 6;
  constexpr size_t kNullSegment = 6;
  if (d.size() < kFixed + kSegmentHead + kNullSegment) {
    return "font header of " + std::to_string(d.size()) + " bytes";
  }
  if (d[8] != 'G' || d[9] != 'T') return "font header without its GT segment";
  const uint64_t s = Be32(d, 10);
  if (kFixed + kSegmentHead + s + kNullSegment != d.size()) {
    return "GT segment size " + std::to_string(s) + " in a header of " + std::to_string(d.size()) +
           " bytes";
  }
  const size_t tail = d.size() - kNullSegment;
  const uint8_t kNull[kNullSegment] = {0xFF, 0xFF, 0, 0, 0, 0};
  for (size_t i = 0; i < kNullSegment; ++i) {
    if (d[tail + i] != kNull[i]) return "font header does not end with the null segment";
  }
  const size_t gt = kFixed + kSegmentHead;
  if (s < 28) return "GT segment of " + std::to_string(s) + " bytes has no room for its directory";
  const uint64_t tables = Be16(d, gt + 4);
  const uint64_t directory = 12 + 16 * tables;
  if (tables == 0 || directory > s) {
    return "GT directory of " + std::to_string(tables) + " tables in a segment of " +
           std::to_string(s) + " bytes";
  }
  if (d[gt + 12] != 'g' || d[gt + 13] != 'd' || d[gt + 14] != 'i' || d[gt + 15] != 'r') {
    return "GT directory does not start with gdir";
  }
  uint64_t previous = directory;
  for (uint64_t i = 1; i < tables; ++i) {
    const uint64_t offset = Be32(d, gt + 12 + 16 * i + 8);
    if (offset < previous || offset > s) {
      return "GT table " + std::to_string(i) + " at offset " + std::to_string(offset) +
             " (previous " + std::to_string(previous) + ", segment " + std::to_string(s) + ")";
    }
    previous = offset;
  }
  return "";
}

// What the stream's fonts and brackets have been so far, operator by operator.
class Follower {
 public:
  std::string Feed(const XlOperator& op);
  bool InBracket() const { return bracket_ != Bracket::kNone; }

 private:
  std::string Names(const XlOperator& op);
  std::string Bracketed(const XlOperator& op);
  std::string ReadHeader(const XlOperator& op);
  std::string ReadChar(const XlOperator& op);

  enum class Bracket { kNone, kHeader, kChar } bracket_ = Bracket::kNone;
  std::vector<uint8_t> header_;
  std::set<std::string> fonts_;  // defined and not removed since
};

// The font an operator names must exist, or, for a header, must not.
std::string Follower::Names(const XlOperator& op) {
  const pclxl::XlAttribute* found = op.Find(Attribute::FontName);
  if (!found || found->value.type != DataType::ubyte_array) return At(op, "no FontName");
  const std::string name(reinterpret_cast<const char*>(found->value.elements), found->value.count);
  const bool defined = fonts_.count(name) != 0;
  if (op.tag == Operator::BeginFontHeader && defined) {
    return At(op, "a second header for \"" + name + "\"");
  }
  if (op.tag != Operator::BeginFontHeader && !defined) {
    return At(op, "names \"" + name + "\", which no header defined");
  }
  if (op.tag == Operator::BeginFontHeader) fonts_.insert(name);
  if (op.tag == Operator::RemoveFont) fonts_.erase(name);
  return "";
}

std::string Follower::ReadHeader(const XlOperator& op) {
  if (bracket_ != Bracket::kHeader) return At(op, "outside a font header");
  const pclxl::XlAttribute* length = op.Find(Attribute::FontHeaderLength);
  if (!length || length->value.type != DataType::uint16)
    return At(op, "no uint16 FontHeaderLength");
  if (length->value.number[0] != op.dataLength) {
    return At(op, "FontHeaderLength " + std::to_string(uint32_t(length->value.number[0])) +
                      " but " + std::to_string(op.dataLength) + " data bytes");
  }
  header_.insert(header_.end(), op.data, op.data + op.dataLength);
  return "";
}

std::string Follower::ReadChar(const XlOperator& op) {
  if (bracket_ != Bracket::kChar) return At(op, "outside BeginChar");
  const pclxl::XlAttribute* size = op.Find(Attribute::CharDataSize);
  if (!size) return At(op, "no CharDataSize");
  const std::vector<uint8_t> d(op.data, op.data + op.dataLength);
  if (size->value.number[0] != d.size()) {
    return At(op, "CharDataSize " + std::to_string(uint32_t(size->value.number[0])) + " but " +
                      std::to_string(d.size()) + " data bytes");
  }
  if (d.size() < 6 || d[0] != 1 || d[1] != 0 || Be16(d, 2) + 2 != d.size()) {
    return At(op,
              "character record does not describe its own " + std::to_string(d.size()) + " bytes");
  }
  return "";
}

// Brackets open and close in order; everything else stands outside them.
std::string Follower::Bracketed(const XlOperator& op) {
  switch (op.tag) {
    case Operator::BeginFontHeader:
    case Operator::BeginChar:
      if (bracket_ != Bracket::kNone) return At(op, "opened inside another bracket");
      bracket_ = op.tag == Operator::BeginChar ? Bracket::kChar : Bracket::kHeader;
      header_.clear();
      return "";
    case Operator::ReadFontHeader:
      return ReadHeader(op);
    case Operator::EndFontHeader: {
      if (bracket_ != Bracket::kHeader) return At(op, "without BeginFontHeader");
      const std::string problem = HeaderProblem(header_);
      bracket_ = Bracket::kNone;
      return problem.empty() ? "" : At(op, problem);
    }
    case Operator::ReadChar:
      return ReadChar(op);
    case Operator::EndChar:
      if (bracket_ != Bracket::kChar) return At(op, "without BeginChar");
      bracket_ = Bracket::kNone;
      return "";
    default:
      return bracket_ != Bracket::kNone ? At(op, "inside a font header or character bracket") : "";
  }
}

std::string Follower::Feed(const XlOperator& op) {
  const bool carriesData = op.tag == Operator::ReadFontHeader || op.tag == Operator::ReadChar;
  const bool namesFont = op.tag == Operator::BeginFontHeader || op.tag == Operator::BeginChar ||
                         op.tag == Operator::SetFont || op.tag == Operator::RemoveFont;
  std::string problem = namesFont ? Names(op) : "";
  if (!problem.empty()) return problem;
  if (op.hasData != carriesData) {
    return At(op, op.hasData ? "unexpected embedded data" : "embedded data missing");
  }
  problem = Bracketed(op);
  if (!problem.empty() || op.tag != Operator::Text) return problem;
  const pclxl::XlAttribute* text = op.Find(Attribute::TextData);
  const pclxl::XlAttribute* spacing = op.Find(Attribute::XSpacingData);
  if (!text || !spacing || text->value.count != spacing->value.count) {
    return At(op, "characters and advances differ in number");
  }
  return "";
}

}  // namespace

std::string StreamProblem(const std::vector<uint8_t>& stream) {
  XlStreamReader reader = XlStreamReader::Fragment(stream.data(), stream.size());
  Follower follower;
  XlOperator op;
  XlStreamReader::Result result;
  while ((result = reader.Next(op)) == XlStreamReader::Result::kOperator) {
    const std::string problem = follower.Feed(op);
    if (!problem.empty()) return problem;
  }
  if (result == XlStreamReader::Result::kError) {
    return "stream does not parse: " + reader.error() + " at " +
           pclxl::FormatOffset(reader.errorOffset());
  }
  if (follower.InBracket()) return "stream ends inside a font header or character bracket";
  return "";
}

}  // namespace tavrfndl::testing
