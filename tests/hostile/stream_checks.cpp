#include "hostile/stream_checks.h"

#include <map>
#include <optional>
#include <set>

#include "support/xlparse.h"

namespace tavrfndl::testing {
namespace {

constexpr uint8_t kFontHeaderLength = 0xA7;
constexpr uint8_t kCharDataSize = 0xA3;
constexpr uint8_t kTextData = 0xAB;
constexpr uint8_t kXSpacingData = 0xAF;
constexpr uint8_t kFontName = 0xA8;

uint32_t Be16(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t{b[at]} << 8) | b[at + 1];
}

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return (Be16(b, at) << 16) | Be16(b, at + 2);
}

std::string At(const XlOperator& op, const std::string& what) {
  return TagName(op.tag) + " at offset " + std::to_string(op.offset) + ": " + what;
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

}  // namespace

std::string StreamProblem(const std::vector<uint8_t>& stream) {
  std::string parseError;
  const std::vector<XlOperator> ops = ParseXl(stream, &parseError);
  if (!parseError.empty()) return "stream does not parse: " + parseError;

  enum class Bracket { kNone, kHeader, kChar } bracket = Bracket::kNone;
  std::vector<uint8_t> header;
  std::set<std::string> fonts;  // defined and not removed since
  for (const XlOperator& op : ops) {
    const auto attributes = Attributes(op);
    if (!attributes) return At(op, "attribute list does not decode");
    const bool carriesData = op.tag == op::kReadFontHeader || op.tag == op::kReadChar;
    const bool namesFont = op.tag == op::kBeginFontHeader || op.tag == op::kBeginChar ||
                           op.tag == op::kSetFont || op.tag == op::kRemoveFont;
    std::string name;
    if (namesFont) {
      const auto found = attributes->find(kFontName);
      if (found == attributes->end() || found->second.type != 0xC8) return At(op, "no FontName");
      name = found->second.bytes;
      const bool defined = fonts.count(name) != 0;
      if (op.tag == op::kBeginFontHeader && defined) {
        return At(op, "a second header for \"" + name + "\"");
      }
      if (op.tag != op::kBeginFontHeader && !defined) {
        return At(op, "names \"" + name + "\", which no header defined");
      }
      if (op.tag == op::kBeginFontHeader) fonts.insert(name);
      if (op.tag == op::kRemoveFont) fonts.erase(name);
    }
    if (op.hasData != carriesData) {
      return At(op, op.hasData ? "unexpected embedded data" : "embedded data missing");
    }
    switch (op.tag) {
      case op::kBeginFontHeader:
      case op::kBeginChar:
        if (bracket != Bracket::kNone) return At(op, "opened inside another bracket");
        bracket = op.tag == op::kBeginChar ? Bracket::kChar : Bracket::kHeader;
        header.clear();
        break;
      case op::kReadFontHeader: {
        if (bracket != Bracket::kHeader) return At(op, "outside a font header");
        const auto length = attributes->find(kFontHeaderLength);
        if (length == attributes->end() || length->second.type != 0xC1) {
          return At(op, "no uint16 FontHeaderLength");
        }
        if (length->second.scalar != op.data.size()) {
          return At(op, "FontHeaderLength " + std::to_string(length->second.scalar) + " but " +
                            std::to_string(op.data.size()) + " data bytes");
        }
        header.insert(header.end(), op.data.begin(), op.data.end());
        break;
      }
      case op::kEndFontHeader: {
        if (bracket != Bracket::kHeader) return At(op, "without BeginFontHeader");
        const std::string problem = HeaderProblem(header);
        if (!problem.empty()) return At(op, problem);
        bracket = Bracket::kNone;
        break;
      }
      case op::kReadChar: {
        if (bracket != Bracket::kChar) return At(op, "outside BeginChar");
        const auto size = attributes->find(kCharDataSize);
        if (size == attributes->end()) return At(op, "no CharDataSize");
        const std::vector<uint8_t>& d = op.data;
        if (size->second.scalar != d.size()) {
          return At(op, "CharDataSize " + std::to_string(size->second.scalar) + " but " +
                            std::to_string(d.size()) + " data bytes");
        }
        if (d.size() < 6 || d[0] != 1 || d[1] != 0 || Be16(d, 2) + 2 != d.size()) {
          return At(op, "character record does not describe its own " + std::to_string(d.size()) +
                            " bytes");
        }
        break;
      }
      case op::kEndChar:
        if (bracket != Bracket::kChar) return At(op, "without BeginChar");
        bracket = Bracket::kNone;
        break;
      default:
        if (bracket != Bracket::kNone) return At(op, "inside a font header or character bracket");
        if (op.tag == op::kText) {
          const auto text = attributes->find(kTextData);
          const auto spacing = attributes->find(kXSpacingData);
          if (text == attributes->end() || spacing == attributes->end() ||
              text->second.count != spacing->second.count) {
            return At(op, "characters and advances differ in number");
          }
        }
        break;
    }
  }
  if (bracket != Bracket::kNone) return "stream ends inside a font header or character bracket";
  return "";
}

}  // namespace tavrfndl::testing
