#include "dump_listing.h"

#include <cinttypes>
#include <cmath>
#include <string_view>

#include "softfont_records.h"
#include "text_utf.h"

namespace fndl {
namespace {

using namespace tavrfndl::pclxl;

// What the enumerated values the listing spells out mean.
struct Meaning {
  Attribute attribute;
  uint8_t value;
  const char* text;
};

template <typename Enumeration>
constexpr Meaning Means(Attribute attribute, Enumeration value, const char* text) {
  return {attribute, static_cast<uint8_t>(value), text};
}

constexpr Meaning kMeanings[] = {
    Means(Attribute::Measure, Measure::eInch, "inch"),
    Means(Attribute::Measure, Measure::eMillimeter, "millimeter"),
    Means(Attribute::Measure, Measure::eTenthsOfAMillimeter, "tenth of a millimeter"),
    Means(Attribute::CustomMediaSizeUnits, Measure::eInch, "inch"),
    Means(Attribute::CustomMediaSizeUnits, Measure::eMillimeter, "millimeter"),
    Means(Attribute::CustomMediaSizeUnits, Measure::eTenthsOfAMillimeter, "tenth of a millimeter"),
    Means(Attribute::ErrorReport, ErrorReport::eNoReporting, "none"),
    Means(Attribute::ErrorReport, ErrorReport::eBackChannel, "back channel"),
    Means(Attribute::ErrorReport, ErrorReport::eErrorPage, "error page"),
    Means(Attribute::ErrorReport, ErrorReport::eBackChAndErrPage, "back channel and error page"),
    Means(Attribute::DataOrg, DataOrg::eBinaryHighByteFirst, "binary, high byte first"),
    Means(Attribute::DataOrg, DataOrg::eBinaryLowByteFirst, "binary, low byte first"),
    Means(Attribute::SourceType, DataSource::eDefaultDataSource, "default source"),
    Means(Attribute::Orientation, Orientation::ePortraitOrientation, "portrait"),
    Means(Attribute::Orientation, Orientation::eLandscapeOrientation, "landscape"),
    Means(Attribute::Orientation, Orientation::eReversePortrait, "reverse portrait"),
    Means(Attribute::Orientation, Orientation::eReverseLandscape, "reverse landscape"),
    Means(Attribute::MediaSize, MediaSize::eLetterPaper, "Letter"),
    Means(Attribute::MediaSize, MediaSize::eLegalPaper, "Legal"),
    Means(Attribute::MediaSize, MediaSize::eA4Paper, "A4"),
    Means(Attribute::MediaSize, MediaSize::eExecPaper, "Executive"),
    Means(Attribute::MediaSize, MediaSize::eLedgerPaper, "Ledger"),
    Means(Attribute::MediaSize, MediaSize::eA3Paper, "A3"),
    Means(Attribute::ColorSpace, ColorSpace::eGray, "gray"),
    Means(Attribute::ColorSpace, ColorSpace::eRGB, "RGB"),
    Means(Attribute::ClipRegion, ClipRegion::eInterior, "interior"),
    Means(Attribute::ClipRegion, ClipRegion::eExterior, "exterior"),
};

// What an enumerated attribute's value means; null when the listing does not spell it out.
const char* EnumerationMeaning(uint16_t attributeId, double value) {
  for (const Meaning& meaning : kMeanings) {
    if (static_cast<uint16_t>(meaning.attribute) == attributeId && meaning.value == value) {
      return meaning.text;
    }
  }
  return nullptr;
}

// "Name", or "attribute 0xNN" for an id the protocol does not name.
std::string NameOfAttribute(uint16_t id) {
  if (id <= 0xFF) {
    if (const char* name = AttributeName(static_cast<uint8_t>(id))) return name;
  }
  char text[32];
  std::snprintf(text, sizeof(text), "attribute 0x%02X", static_cast<unsigned>(id));
  return text;
}

bool Is(const XlAttribute& attribute, Attribute id) {
  return attribute.id == static_cast<uint16_t>(id);
}

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

namespace {

// " 0x0041 'A'" and the like: a character code with its character, or a component's.
std::string CharCodeText(double number) {
  auto code = static_cast<uint32_t>(number);
  std::string text = " " + Hex(code, 4);
  if (code == kComponentCharCode) {
    text += " (component)";
  } else if (code >= 0x20 && code != 0x7F && !(code >= 0xD800 && code <= 0xDFFF)) {
    text += " '";
    AppendUtf8(text, code);
    text += "'";
  }
  return text;
}

std::string ScalarText(const XlAttribute& attribute) {
  const XlValue& v = attribute.value;
  if (Is(attribute, Attribute::CharCode) && !v.IsReal() && v.number[0] >= 0 &&
      v.number[0] <= 0xFFFF) {
    return CharCodeText(v.number[0]);
  }
  std::string text = " " + Number(v.number[0], v.IsReal());
  if (v.IsReal()) return text;
  if (const char* meaning = EnumerationMeaning(attribute.id, v.number[0])) {
    text += std::string(" (") + meaning + ")";
  }
  return text;
}

std::string ArrayText(const XlAttribute& attribute) {
  const XlValue& v = attribute.value;
  std::string text = "[";
  text += std::to_string(v.count);
  text += "] ";
  bool textual = Is(attribute, Attribute::TextData) || Is(attribute, Attribute::FontName);
  bool bytes = v.type == DataType::ubyte_array;
  bool byteString = bytes && v.count > 0 && Printable(v);
  if ((textual && (bytes || v.type == DataType::uint16_array)) || byteString) {
    return text + Quoted(v);
  }
  return text + Elements(v);
}

std::string NumbersText(const XlValue& v, size_t count) {
  std::string text = " (";
  for (size_t i = 0; i < count; ++i) {
    if (i) text += ", ";
    text += Number(v.number[i], v.IsReal());
  }
  return text + ")";
}

}  // namespace

std::string FormatAttribute(const XlAttribute& attribute) {
  const XlValue& v = attribute.value;
  const char* typeName = DataTypeName(static_cast<uint8_t>(v.type));
  std::string text = NameOfAttribute(attribute.id) + "=" + (typeName ? typeName : "?");
  switch (v.shape) {
    case XlShape::kScalar:
      return text + ScalarText(attribute);
    case XlShape::kXY:
      return text + NumbersText(v, 2);
    case XlShape::kBox:
      return text + NumbersText(v, 4);
    case XlShape::kArray:
      return text + ArrayText(attribute);
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

namespace {

void ListPrologue(Listing& listing, const XlStreamReader& reader, bool prologueRead) {
  for (const XlPrologueItem& item : reader.prologue()) {
    listing.At(item.offset,
               item.kind == XlPrologueItem::Kind::kExit ? "universal exit" : "PJL " + item.text);
  }
  if (!prologueRead) return;
  const XlStreamHeader& h = reader.header();
  listing.At(h.offset, "stream header \"" + h.line + "\": binary, " +
                           (reader.bigEndian() ? "high" : "low") + " byte first; protocol \"" +
                           h.protocolName + "\" class " + h.protocolClass + " revision " +
                           h.revision);
}

void ListOperator(Listing& listing, const XlOperator& op, SoftFontCollector& fonts) {
  const char* name = OperatorName(static_cast<uint8_t>(op.tag));
  std::string line = name ? name : "unknown operator " + Hex(static_cast<uint8_t>(op.tag), 2);
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

// How the stream ended: where, and whether a universal exit closed it.
std::string EndLine(const XlStreamReader& reader, size_t size) {
  std::string end = "end of stream at " + FormatOffset(reader.endOffset());
  if (!reader.endedWithUniversalExit()) return end + " (no universal exit)";
  size_t after = size - reader.endOffset() - kUniversalExitLength;
  end += ", closed by a universal exit";
  if (after) end += " (" + std::to_string(after) + " bytes follow it, not read)";
  return end;
}

std::string Summary(size_t operators, size_t pages, const SoftFontCollector& fonts) {
  return std::to_string(operators) + " operators, " + std::to_string(pages) + " pages, " +
         std::to_string(fonts.headersDecoded()) + " font headers, " +
         std::to_string(fonts.recordsDecoded()) + " character records (" +
         std::to_string(fonts.componentRecords()) + " components), " +
         std::to_string(fonts.removals()) + " fonts removed, " + std::to_string(fonts.problems()) +
         " problems";
}

}  // namespace

int WriteListing(const uint8_t* data, size_t size, std::FILE* out, std::FILE* err) {
  Listing listing(out);
  XlStreamReader reader(data, size);
  bool prologueRead = reader.ReadPrologue();
  ListPrologue(listing, reader, prologueRead);
  SoftFontCollector fonts;
  size_t operators = 0, pages = 0;
  XlOperator op;
  XlStreamReader::Result result = XlStreamReader::Result::kError;
  while (prologueRead && (result = reader.Next(op)) == XlStreamReader::Result::kOperator) {
    ++operators;
    if (op.tag == Operator::BeginPage) ++pages;
    ListOperator(listing, op, fonts);
  }
  bool broken = !prologueRead || result == XlStreamReader::Result::kError;
  if (broken) {
    std::string message = "error at " + FormatOffset(reader.errorOffset()) + ": " + reader.error();
    listing.Line(message);
    std::fflush(out);
    std::fprintf(err, "fndl dump: %s\n", message.c_str());
  } else {
    listing.Line(EndLine(reader, size));
  }
  listing.Line(Summary(operators, pages, fonts));
  if (!broken && fonts.problems()) {
    std::fprintf(err, "fndl dump: %zu problems in the font data (see the listing)\n",
                 fonts.problems());
  }
  return broken || fonts.problems() ? 1 : 0;
}

}  // namespace fndl
