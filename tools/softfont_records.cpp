#include "softfont_records.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>

#include "sfnt/bytes.h"
#include "sfnt/glyf.h"

namespace fndl {
namespace {

using tavrfndl::ByteView;
using tavrfndl::Cursor;
using tavrfndl::pclxl::Attribute;
using tavrfndl::pclxl::DataType;
using tavrfndl::pclxl::Operator;

std::string SegmentName(uint16_t id) {
  char text[24];
  char hi = static_cast<char>(id >> 8), lo = static_cast<char>(id & 0xFF);
  if (hi >= 0x21 && hi <= 0x7E && lo >= 0x21 && lo <= 0x7E) {
    std::snprintf(text, sizeof(text), "\"%c%c\"", hi, lo);
  } else {
    std::snprintf(text, sizeof(text), "0x%04X", static_cast<unsigned>(id));
  }
  return text;
}

void ReadTableRecord(Cursor& records, uint32_t size, SfntTableRecord& t) {
  ByteView tag;
  records.ReadBytes(4, tag);
  for (int k = 0; k < 4; ++k) t.tag[k] = static_cast<char>(tag.data()[k]);
  records.ReadU32(t.checksum);
  records.ReadU32(t.offset);
  records.ReadU32(t.length);
  t.inside = t.offset <= size && t.length <= size - t.offset;
}

bool DecodeGT(ByteView seg, FontHeaderInfo& out, std::string& error) {
  const auto size = static_cast<uint32_t>(seg.size());
  Cursor c(seg);
  if (!c.ReadU32(out.sfntVersion) || !c.ReadU16(out.numTables) || !c.ReadU16(out.searchRange) ||
      !c.ReadU16(out.entrySelector) || !c.ReadU16(out.rangeShift)) {
    error = "the GT segment has " + std::to_string(size) +
            " bytes, fewer than the 12 of a font directory's offset table";
    return false;
  }
  if (static_cast<size_t>(out.numTables) * 16 > c.remaining()) {
    error = "the GT directory lists " + std::to_string(out.numTables) + " tables (" +
            std::to_string(out.numTables * 16u) + " bytes) but the segment has only " +
            std::to_string(size - 12) + " bytes after its offset table";
    return false;
  }
  for (uint16_t i = 0; i < out.numTables; ++i) {
    SfntTableRecord t;
    ReadTableRecord(c, size, t);
    if (!t.inside) {
      out.warnings.push_back("table " + PrintableTag(t.tag) + " (offset " +
                             std::to_string(t.offset) + ", length " + std::to_string(t.length) +
                             ") lies outside the GT segment of " + std::to_string(size) + " bytes");
    }
    out.tables.push_back(t);
  }
  return true;
}

enum class SegmentStep { kNext, kDone, kFailed };

// The segment heading at `pos` and what follows from it: the next segment, the end of the
// header (the null segment, or no bytes left) or a failure.
SegmentStep ReadSegment(ByteView header, size_t& pos, FontHeaderInfo& out, std::string& error) {
  const size_t size = header.size();
  if (pos == size) {
    out.warnings.push_back("the header ends without a null segment");
    return SegmentStep::kDone;
  }
  FontSegment segment;
  Cursor c(header, pos);
  if (!c.ReadU16(segment.id) || !c.ReadU32(segment.size)) {
    error = "a segment heading at header byte " + std::to_string(pos) + " is cut off (" +
            std::to_string(size - pos) + " of 6 bytes)";
    return SegmentStep::kFailed;
  }
  segment.offset = c.position();
  if (segment.size > size - segment.offset) {
    error = "segment " + SegmentName(segment.id) + " of " + std::to_string(segment.size) +
            " bytes runs past the header's end (" + std::to_string(size - segment.offset) +
            " bytes left)";
    return SegmentStep::kFailed;
  }
  out.segments.push_back(segment);
  pos = segment.offset + segment.size;
  if (segment.id == kSegmentNull) {
    if (segment.size != 0) {
      out.warnings.push_back("the null segment has size " + std::to_string(segment.size));
    }
    if (pos < size)
      out.warnings.push_back(std::to_string(size - pos) + " bytes follow the null segment");
    out.nullSegment = true;
    return SegmentStep::kDone;
  }
  if (segment.id != kSegmentGT) return SegmentStep::kNext;
  if (out.hasGT) {
    out.warnings.push_back("a second GT segment is ignored");
    return SegmentStep::kNext;
  }
  out.hasGT = true;
  out.gtOffset = segment.offset;
  out.gtSize = segment.size;
  bool decoded = DecodeGT(*header.Sub(segment.offset, segment.size), out, error);
  return decoded ? SegmentStep::kNext : SegmentStep::kFailed;
}

}  // namespace

std::string PrintableTag(const char tag[4]) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    auto c = static_cast<unsigned char>(tag[i]);
    if (c >= 0x20 && c <= 0x7E) {
      text += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02X", c);
      text += hex;
    }
  }
  return text;
}

bool DecodeFontHeader(const uint8_t* data, size_t size, FontHeaderInfo& out, std::string& error) {
  out = FontHeaderInfo{};
  ByteView header(data, size);
  Cursor fixed(header);
  if (!fixed.ReadU8(out.format) || !fixed.ReadU8(out.orientation) || !fixed.ReadU16(out.mapping) ||
      !fixed.ReadU8(out.technology) || !fixed.ReadU8(out.variety) ||
      !fixed.ReadU16(out.characterCount)) {
    error = "the font header has " + std::to_string(size) + " bytes, fewer than its 8 fixed bytes";
    return false;
  }
  if (out.format != 0) {
    error = "font header format " + std::to_string(out.format) + " is not decoded (only format 0)";
    return false;
  }
  size_t pos = fixed.position();
  SegmentStep step = SegmentStep::kNext;
  while ((step = ReadSegment(header, pos, out, error)) == SegmentStep::kNext) {
  }
  if (step == SegmentStep::kFailed) return false;
  if (out.technology == 1 && !out.hasGT) {
    out.warnings.push_back("a TrueType font header without a GT segment");
  }
  return true;
}

bool DecodeCharRecord(const uint8_t* data, size_t size, CharRecordInfo& out, std::string& error) {
  out = CharRecordInfo{};
  Cursor c(ByteView(data, size));
  if (!c.ReadU8(out.format) || !c.ReadU8(out.charClass) || !c.ReadU16(out.sizeField)) {
    error = "the character record has " + std::to_string(size) +
            " bytes, fewer than its 4-byte heading";
    return false;
  }
  if (out.format != 1) {
    error = "character format " + std::to_string(out.format) +
            " is not decoded (TrueType characters are format 1)";
    return false;
  }
  if (static_cast<size_t>(out.sizeField) + 2 != size) {
    error = "the size field says " + std::to_string(out.sizeField) + " + 2 bytes, the record has " +
            std::to_string(size);
    return false;
  }
  if (out.charClass != 0) {
    error = "character class " + std::to_string(out.charClass) + " is not decoded (only class 0)";
    return false;
  }
  if (!c.ReadU16(out.glyphIndex)) {
    error = "the class-0 record has no glyph index";
    return false;
  }
  out.glyph = data + c.position();
  out.glyphLength = c.remaining();
  if (out.glyphLength == 0) return true;
  if (out.glyphLength < 10) {
    error = "the glyph data has " + std::to_string(out.glyphLength) +
            " bytes, fewer than the 10 of a glyph heading";
    return false;
  }
  c.ReadS16(out.contours);
  out.composite = out.contours < 0;
  return !out.composite || ComponentGlyphs(out.glyph, out.glyphLength, out.componentGlyphs, error);
}

bool ComponentGlyphs(const uint8_t* glyph, size_t length, std::vector<uint16_t>& out,
                     std::string& error) {
  namespace sfnt = tavrfndl::sfnt;
  out.clear();
  const tavrfndl::ByteView view(glyph, length);
  if (!view.Contains(0, sfnt::kGlyphHeaderSize) || !sfnt::IsCompositeGlyph(view)) return true;
  sfnt::ComponentReader reader(view);
  sfnt::Component component;
  while (!reader.done()) {
    if (!reader.Next(component)) {
      error = "component " + std::to_string(out.size() + 1) +
              " runs past the end of the composite glyph";
      return false;
    }
    out.push_back(component.glyphIndex);
  }
  return true;
}

std::vector<uint16_t> MissingComponents(const SoftFont& font, uint16_t glyph) {
  std::vector<uint16_t> missing;
  std::set<uint16_t> seen{glyph};
  std::vector<uint16_t> todo{glyph};
  std::vector<uint16_t> components;
  std::string error;
  // Each glyph is visited once, so a composite that refers to itself ends too.
  while (!todo.empty()) {
    uint16_t g = todo.back();
    todo.pop_back();
    auto found = font.glyphs.find(g);
    if (found == font.glyphs.end()) {
      missing.push_back(g);
      continue;
    }
    ComponentGlyphs(found->second.data(), found->second.size(), components, error);
    for (uint16_t c : components) {
      if (seen.insert(c).second) todo.push_back(c);
    }
  }
  std::sort(missing.begin(), missing.end());
  return missing;
}

std::string FontNameOf(const XlOperator& op, bool* ok) {
  const XlAttribute* attr = op.Find(Attribute::FontName);
  bool good = attr && (attr->value.type == DataType::ubyte_array ||
                       attr->value.type == DataType::uint16_array);
  if (ok) *ok = good;
  if (!good) return {};
  std::string name;
  name.reserve(attr->value.count);
  for (uint32_t i = 0; i < attr->value.count; ++i) {
    // 16-bit names are taken by their low bytes, which is how printers compare them.
    name += static_cast<char>(static_cast<uint32_t>(attr->value.Element(i)) & 0xFF);
  }
  return name;
}

FontEvent SoftFontCollector::Problem(std::string message) {
  ++problems_;
  FontEvent event;
  event.kind = FontEvent::Kind::kProblem;
  event.message = std::move(message);
  return event;
}

const SoftFont* SoftFontCollector::Find(const std::string& name) const {
  auto it = fonts_.find(name);
  return it == fonts_.end() ? nullptr : it->second.get();
}

FontEvent SoftFontCollector::Feed(const XlOperator& op) {
  switch (op.tag) {
    case Operator::BeginFontHeader:
      return BeginHeader(op);
    case Operator::ReadFontHeader:
      return ReadHeader(op);
    case Operator::EndFontHeader:
      return EndHeader();
    case Operator::BeginChar:
      return BeginChar(op);
    case Operator::ReadChar:
      return ReadChar(op);
    case Operator::EndChar:
      charTarget_.reset();
      return {};
    case Operator::RemoveFont:
      return RemoveFont(op);
    default:
      return {};
  }
}

FontEvent SoftFontCollector::BeginHeader(const XlOperator& op) {
  bool named = false;
  std::string name = FontNameOf(op, &named);
  if (!named) return Problem("BeginFontHeader without a FontName array");
  bool wasOpen = pendingHeader_ != nullptr;
  pendingHeader_ = std::make_shared<SoftFont>();
  pendingHeader_->name = name;
  if (wasOpen) return Problem("BeginFontHeader while another header is open; it is dropped");
  if (fonts_.count(name))
    return Problem("font \"" + name + "\" is defined again without RemoveFont");
  return {};
}

FontEvent SoftFontCollector::ReadHeader(const XlOperator& op) {
  if (!pendingHeader_) return Problem("ReadFontHeader outside BeginFontHeader/EndFontHeader");
  if (!op.hasData) return Problem("ReadFontHeader without embedded data");
  std::vector<uint8_t>& bytes = pendingHeader_->headerBytes;
  if (op.dataLength > kMaxHeaderBytes - bytes.size()) {
    pendingHeader_.reset();
    return Problem("the font header grows beyond " + std::to_string(kMaxHeaderBytes >> 20) +
                   " MiB; it is dropped");
  }
  bytes.insert(bytes.end(), op.data, op.data + op.dataLength);
  const XlAttribute* length = op.Find(Attribute::FontHeaderLength);
  if (!length || length->value.shape != XlShape::kScalar ||
      length->value.number[0] != op.dataLength) {
    return Problem("FontHeaderLength does not match the " + std::to_string(op.dataLength) +
                   " bytes of embedded data");
  }
  return {};
}

FontEvent SoftFontCollector::EndHeader() {
  if (!pendingHeader_) return Problem("EndFontHeader without BeginFontHeader");
  std::shared_ptr<SoftFont> font = std::move(pendingHeader_);
  pendingHeader_.reset();
  std::string error;
  if (!DecodeFontHeader(font->headerBytes.data(), font->headerBytes.size(), font->header, error)) {
    return Problem("font header of \"" + font->name + "\": " + error);
  }
  font->headerComplete = true;
  fonts_[font->name] = font;
  history_.push_back(font);
  ++headersDecoded_;
  FontEvent event;
  event.kind = FontEvent::Kind::kHeaderDecoded;
  event.font = font.get();
  event.header = &font->header;
  return event;
}

FontEvent SoftFontCollector::BeginChar(const XlOperator& op) {
  bool named = false;
  std::string name = FontNameOf(op, &named);
  charTarget_.reset();
  if (!named) return Problem("BeginChar without a FontName array");
  auto it = fonts_.find(name);
  if (it == fonts_.end()) return Problem("BeginChar for \"" + name + "\", no such font");
  charTarget_ = it->second;
  return {};
}

FontEvent SoftFontCollector::ReadChar(const XlOperator& op) {
  if (!charTarget_) return Problem("ReadChar without a font (no BeginChar for a known font)");
  const XlAttribute* code = op.Find(Attribute::CharCode);
  if (!code || code->value.shape != XlShape::kScalar || code->value.IsReal() ||
      code->value.number[0] < 0 || code->value.number[0] > 0xFFFF) {
    return Problem("ReadChar without a 16-bit CharCode");
  }
  if (!op.hasData) return Problem("ReadChar without embedded data");
  const XlAttribute* dataSize = op.Find(Attribute::CharDataSize);
  if (!dataSize || dataSize->value.shape != XlShape::kScalar ||
      dataSize->value.number[0] != op.dataLength) {
    return Problem("CharDataSize does not match the " + std::to_string(op.dataLength) +
                   " bytes of embedded data");
  }
  FontEvent event;
  event.charCode = static_cast<uint16_t>(code->value.number[0]);
  std::string error;
  if (!DecodeCharRecord(op.data, op.dataLength, event.record, error)) {
    char prefix[64];
    std::snprintf(prefix, sizeof(prefix), "character 0x%04X: ", event.charCode);
    return Problem(prefix + error);
  }
  return AddGlyph(std::move(event));
}

// A decoded character record joins the font of the open BeginChar.
FontEvent SoftFontCollector::AddGlyph(FontEvent event) {
  SoftFont& font = *charTarget_;
  const CharRecordInfo& r = event.record;
  font.glyphs[r.glyphIndex].assign(r.glyph, r.glyph + r.glyphLength);
  if (event.charCode == kComponentCharCode) {
    ++font.componentRecords;
    ++componentRecords_;
  } else {
    font.charToGlyph[event.charCode] = r.glyphIndex;
    ++font.charRecords;
  }
  ++font.generation;
  ++recordsDecoded_;
  event.kind = FontEvent::Kind::kCharDecoded;
  event.font = &font;
  return event;
}

FontEvent SoftFontCollector::RemoveFont(const XlOperator& op) {
  bool named = false;
  std::string name = FontNameOf(op, &named);
  if (!named) return Problem("RemoveFont without a FontName array");
  auto it = fonts_.find(name);
  if (it == fonts_.end()) return Problem("RemoveFont for \"" + name + "\", no such font");
  if (charTarget_ == it->second) charTarget_.reset();
  FontEvent event;
  event.kind = FontEvent::Kind::kFontRemoved;
  event.font = it->second.get();  // kept alive by history_
  fonts_.erase(it);
  ++removals_;
  return event;
}

}  // namespace fndl
