#include "dump_listing.h"

#include <cinttypes>
#include <cmath>
#include <string_view>

#include "softfont_records.h"
#include "text_utf.h"
#include "xl_names.h"

namespace fndl {
namespace {

constexpr size_t kShownElements = 8;
constexpr size_t kShownCharacters = 64;
constexpr const char* kIndent = "          ";

std::string Number(double v, bool real) {
  char text[48];
  if (real) {
    std::snprintf(text, sizeof(text), "%.7g", v);
  } else {
    std::snprintf(text, sizeof(text), "%.0f", v);
  }
  return text;
}

std::string Hex(uint32_t v, int digits) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%0*" PRIX32, digits, v);
  return text;
}

// Quoted text with controls, quotes and backslashes escaped, cut after kShownCharacters.
std::string Quoted(const XlValue& v) {
  std::u16string units;
  for (uint32_t i = 0; i < v.count; ++i) {
    units.push_back(static_cast<char16_t>(static_cast<uint32_t>(v.Element(i))));
  }
  std::string text = "\"";
  size_t shown = 0;
  for (size_t i = 0; i < units.size() && shown < kShownCharacters; ++i, ++shown) {
    char16_t c = units[i];
    if (c < 0x20 || c == 0x7F || c == '"' || c == '\\' || (c >= 0xD800 && c <= 0xDFFF)) {
      bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                  units[i + 1] <= 0xDFFF;
      if (pair) {
        text += Utf16ToUtf8(std::u16string_view(units).substr(i, 2));
        ++i;
      } else if (c == '"' || c == '\\') {
        text += '\\';
        text += static_cast<char>(c);
      } else {
        char escape[12];
        std::snprintf(escape, sizeof(escape), "\\u%04X", static_cast<unsigned>(c));
        text += escape;
      }
    } else {
      AppendUtf8(text, c);
    }
  }
  text += '"';
  if (shown < units.size()) text += "...";
  return text;
}

bool Printable(const XlValue& v) {
  for (uint32_t i = 0; i < v.count; ++i) {
    double e = v.Element(i);
    if (e < 0x20 || e > 0x7E) return false;
  }
  return true;
}

std::string Elements(const XlValue& v) {
  std::string text = "{";
  for (uint32_t i = 0; i < v.count && i < kShownElements; ++i) {
    if (i) text += ", ";
    text += Number(v.Element(i), v.IsReal());
  }
  if (v.count > kShownElements) {
    text += ", ... " + std::to_string(v.count - kShownElements) + " more";
  }
  return text + "}";
}

}  // namespace

std::string FormatAttribute(const XlAttribute& attribute) {
  const XlValue& v = attribute.value;
  const char* typeName = DataTypeName(v.type);
  std::string text = AttributeName(attribute.id) + "=" + (typeName ? typeName : "?");
  switch (v.shape) {
    case XlShape::kScalar: {
      text += ' ';
      text += Number(v.number[0], v.IsReal());
      if (attribute.id == xlattr::kCharCode && !v.IsReal() && v.number[0] >= 0 &&
          v.number[0] <= 0xFFFF) {
        auto code = static_cast<uint32_t>(v.number[0]);
        text = AttributeName(attribute.id) + "=" + typeName + " " + Hex(code, 4);
        if (code == kComponentCharCode) {
          text += " (component)";
        } else if (code >= 0x20 && code != 0x7F && !(code >= 0xD800 && code <= 0xDFFF)) {
          text += " '";
          AppendUtf8(text, code);
          text += "'";
        }
      } else if (!v.IsReal()) {
        if (const char* meaning =
                EnumerationMeaning(attribute.id, static_cast<int64_t>(v.number[0]))) {
          text += std::string(" (") + meaning + ")";
        }
      }
      break;
    }
    case XlShape::kXY:
      text += " (" + Number(v.number[0], v.IsReal()) + ", " + Number(v.number[1], v.IsReal()) + ")";
      break;
    case XlShape::kBox:
      text += " (" + Number(v.number[0], v.IsReal()) + ", " + Number(v.number[1], v.IsReal()) +
              ", " + Number(v.number[2], v.IsReal()) + ", " + Number(v.number[3], v.IsReal()) + ")";
      break;
    case XlShape::kArray: {
      text += '[';
      text += std::to_string(v.count);
      text += "] ";
      bool textual = attribute.id == xlattr::kTextData || attribute.id == xlattr::kFontName;
      bool byteString = v.type == 0xC8 && v.count > 0 && Printable(v);
      if ((textual && (v.type == 0xC8 || v.type == 0xC9)) || byteString) {
        text += Quoted(v);
      } else {
        text += Elements(v);
      }
      break;
    }
  }
  return text;
}

namespace {

class Listing {
 public:
  Listing(std::FILE* out) : out_(out) {}

  void Line(const std::string& text) {
    std::fputs(text.c_str(), out_);
    std::fputc('\n', out_);
  }
  void At(size_t offset, const std::string& text) {
    char prefix[32];
    std::snprintf(prefix, sizeof(prefix), "%08zx  ", offset);
    Line(prefix + text);
  }
  void Detail(const std::string& text) { Line(kIndent + text); }

  void Header(const SoftFont& font, const FontHeaderInfo& h) {
    Detail("font \"" + font.name + "\": format " + std::to_string(h.format) + ", orientation " +
           std::to_string(h.orientation) + ", mapping " + std::to_string(h.mapping) +
           ", technology " + std::to_string(h.technology) +
           (h.technology == 1     ? " (TrueType)"
            : h.technology == 254 ? " (bitmap)"
                                  : "") +
           ", variety " + std::to_string(h.variety) + ", " + std::to_string(h.characterCount) +
           " characters, " + std::to_string(font.headerBytes.size()) + " header bytes");
    for (const FontSegment& s : h.segments) {
      if (s.id == kSegmentNull) {
        Detail("  null segment (0xFFFF), " + std::to_string(s.size) + " bytes");
        continue;
      }
      char id[3] = {static_cast<char>(s.id >> 8), static_cast<char>(s.id & 0xFF), 0};
      bool printableId = id[0] > 0x20 && id[0] < 0x7F && id[1] > 0x20 && id[1] < 0x7F;
      std::string name = printableId ? std::string("\"") + id + "\"" : Hex(s.id, 4);
      Detail("  segment " + name + ", " + std::to_string(s.size) + " bytes at header byte " +
             std::to_string(s.offset));
      if (s.id != kSegmentGT || s.offset != h.gtOffset) continue;
      Detail("    sfnt version " + Hex(h.sfntVersion, 8) + ", " + std::to_string(h.numTables) +
             " tables, searchRange " + std::to_string(h.searchRange) + ", entrySelector " +
             std::to_string(h.entrySelector) + ", rangeShift " + std::to_string(h.rangeShift));
      for (const SfntTableRecord& t : h.tables) {
        char row[160];
        std::snprintf(row, sizeof(row),
                      "    %-6s checksum 0x%08" PRIX32 "  offset %8" PRIu32 "  length %8" PRIu32
                      "%s",
                      PrintableTag(t.tag).c_str(), t.checksum, t.offset, t.length,
                      t.inside ? "" : "  (outside the segment)");
        Detail(row);
      }
    }
    for (const std::string& w : h.warnings) Detail("  warning: " + w);
  }

  void Record(uint16_t code, const CharRecordInfo& r) {
    std::string who = code == kComponentCharCode ? "component" : "character " + Hex(code, 4);
    std::string shape;
    if (r.glyphLength == 0) {
      shape = "empty glyph";
    } else if (r.composite) {
      shape = "composite of " + std::to_string(r.componentGlyphs.size()) + " (glyphs";
      for (size_t i = 0; i < r.componentGlyphs.size() && i < kShownElements; ++i) {
        shape += ' ';
        shape += std::to_string(r.componentGlyphs[i]);
      }
      if (r.componentGlyphs.size() > kShownElements) shape += " ...";
      shape += ")";
    } else {
      shape = "simple, " + std::to_string(r.contours) + " contour" + (r.contours == 1 ? "" : "s");
    }
    Detail(who + " -> glyph " + std::to_string(r.glyphIndex) + ": format " +
           std::to_string(r.format) + ", class " + std::to_string(r.charClass) + ", size " +
           std::to_string(r.sizeField) + ", " + std::to_string(r.glyphLength) + " glyph bytes, " +
           shape);
  }

 private:
  std::FILE* out_;
};

}  // namespace

int WriteListing(const uint8_t* data, size_t size, std::FILE* out, std::FILE* err) {
  Listing listing(out);
  XlStreamReader reader(data, size);
  bool prologueRead = reader.ReadPrologue();
  for (const XlPrologueItem& item : reader.prologue()) {
    listing.At(item.offset, item.kind == XlPrologueItem::Kind::kUniversalExit ? "universal exit"
                                                                              : "PJL " + item.text);
  }
  if (prologueRead) {
    const XlStreamHeader& h = reader.header();
    listing.At(h.offset, "stream header \"" + h.line + "\": binary, " +
                             (reader.bigEndian() ? "high" : "low") + " byte first; protocol \"" +
                             h.protocolName + "\" class " + h.protocolClass + " revision " +
                             h.revision);
  }
  SoftFontCollector fonts;
  size_t operators = 0, pages = 0;
  XlOperator op;
  XlStreamReader::Result result = XlStreamReader::Result::kError;
  while (prologueRead && (result = reader.Next(op)) == XlStreamReader::Result::kOperator) {
    ++operators;
    if (op.tag == xlop::kBeginPage) ++pages;
    const char* name = OperatorName(op.tag);
    std::string line = name ? name : "unknown operator " + Hex(op.tag, 2);
    for (const XlAttribute& a : op.attributes) line += "  " + FormatAttribute(a);
    if (op.hasData) line += "  + data " + std::to_string(op.dataLength) + " bytes";
    listing.At(op.start, line);
    FontEvent event = fonts.Feed(op);
    switch (event.kind) {
      case FontEvent::Kind::kHeaderDecoded:
        listing.Header(*event.font, *event.header);
        break;
      case FontEvent::Kind::kCharDecoded:
        listing.Record(event.charCode, event.record);
        break;
      case FontEvent::Kind::kProblem:
        listing.Detail("problem: " + event.message);
        break;
      default:
        break;
    }
  }
  bool broken = !prologueRead || result == XlStreamReader::Result::kError;
  if (broken) {
    std::string message = "error at " + FormatOffset(reader.errorOffset()) + ": " + reader.error();
    listing.Line(message);
    std::fflush(out);
    std::fprintf(err, "fndl dump: %s\n", message.c_str());
  } else {
    std::string end = "end of stream at " + FormatOffset(reader.endOffset());
    if (reader.endedWithUniversalExit()) {
      size_t after = size - reader.endOffset() - kUniversalExitLength;
      end += ", closed by a universal exit";
      if (after) end += " (" + std::to_string(after) + " bytes follow it, not read)";
    } else {
      end += " (no universal exit)";
    }
    listing.Line(end);
  }
  listing.Line(std::to_string(operators) + " operators, " + std::to_string(pages) + " pages, " +
               std::to_string(fonts.headersDecoded()) + " font headers, " +
               std::to_string(fonts.recordsDecoded()) + " character records (" +
               std::to_string(fonts.componentRecords()) + " components), " +
               std::to_string(fonts.removals()) + " fonts removed, " +
               std::to_string(fonts.problems()) + " problems");
  if (!broken && fonts.problems()) {
    std::fprintf(err, "fndl dump: %zu problems in the font data (see the listing)\n",
                 fonts.problems());
  }
  return broken || fonts.problems() ? 1 : 0;
}

}  // namespace fndl
