#include "expected.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "pclxl/encoder.h"
#include "sfnt/bytes.h"
#include "support/xl_ops.h"

namespace tavrfndl::bench {
namespace {

using pclxl::Attribute;
using pclxl::Operator;
using XlEncoder = pclxl::Encoder<pclxl::VectorSink>;

// The page geometry: lines end before x 4725, and every run first clips to (0, 0, 4900, 6400).
constexpr int32_t kRightLimit = 4725;
constexpr int16_t kClipBox[4] = {0, 0, 4900, 6400};

// Big-endian font data, read through the library's bounds-checked view; 0 past the end.
uint32_t Be16(const Bytes& b, size_t at) {
  uint16_t v = 0;
  return ByteView(b.data(), b.size()).ReadU16(at, v) ? v : 0;
}

uint32_t Be32(const Bytes& b, size_t at) {
  uint32_t v = 0;
  return ByteView(b.data(), b.size()).ReadU32(at, v) ? v : 0;
}

int64_t RoundDiv(int64_t num, int64_t den) {
  return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

// The bytes `build` places with the library's PCL XL encoder.
template <typename Build>
Bytes Encode(Build build) {
  Bytes out;
  pclxl::VectorSink sink(out);
  XlEncoder encoder(sink);
  build(encoder);
  return out;
}

// UByteArray of the name, then the FontName attribute id.
XlEncoder& FontName(XlEncoder& xl, const std::string& name) {
  return xl
      .UByteArray(reinterpret_cast<const uint8_t*>(name.data()), static_cast<uint16_t>(name.size()))
      .Attr(Attribute::FontName);
}

int16_t Low16(int32_t v) {
  return static_cast<int16_t>(v);
}

// The length of one component record of a composite glyph, from its flags.
size_t ComponentLength(uint32_t flags) {
  size_t length = 4 + ((flags & 0x0001) ? 4 : 2);
  if (flags & 0x0008) {
    length += 2;
  } else if (flags & 0x0040) {
    length += 4;
  } else if (flags & 0x0080) {
    length += 8;
  }
  return length;
}

CharRecord MakeRecord(uint16_t code, uint32_t glyph, const Bytes& glyf) {
  CharRecord r;
  r.code = code;
  const size_t n = glyf.size();
  // Format 1, class 0, the record size after these two bytes, the glyph index: big-endian.
  const uint32_t size = static_cast<uint32_t>(n + 4);
  r.data.resize(6 + n);
  r.data[0] = 1;
  r.data[1] = 0;
  PutU16(&r.data[2], size);
  PutU16(&r.data[4], glyph);
  std::copy(glyf.begin(), glyf.end(), r.data.begin() + 6);
  return r;
}

bool IsComposite(const Bytes& glyf) {
  return (Be16(glyf, 0) & 0x8000) != 0;
}

// The most composites, one inside the other, that are expanded, and the most component records
// one character sends.
constexpr size_t kComponentDepth = 8;
constexpr size_t kComponentRecords = 1024;

// The composites being expanded for one character, outermost first, and the component records
// it has sent.
struct Expansion {
  std::vector<uint32_t> chain;
  size_t records = 0;
};

// The components of a composite, each under 0xFFFF and each composite one followed by its own
// components, depth first; a component naming a composite it lies in (a broken font) is sent but
// not expanded again. False where the walk stops: at an unreadable or empty component, a
// composite nested deeper than the bound, or a character past its number of component records,
// as the printer could not use the rest.
bool AppendComponents(ReferenceFont& font, const Bytes& glyf, Expansion& e,
                      std::vector<CharRecord>& out) {
  size_t pos = 10;
  for (;;) {
    if (pos + 4 > glyf.size()) return false;
    const uint32_t flags = Be16(glyf, pos);
    const uint32_t component = Be16(glyf, pos + 2);
    pos += ComponentLength(flags);
    const Bytes data = font.GlyphBytes(component);
    if (data.empty() || e.records == kComponentRecords) return false;
    ++e.records;
    out.push_back(MakeRecord(0xFFFF, component, data));
    if (IsComposite(data) &&
        std::find(e.chain.begin(), e.chain.end(), component) == e.chain.end()) {
      if (e.chain.size() >= kComponentDepth) return false;
      e.chain.push_back(component);
      const bool sent = AppendComponents(font, data, e, out);
      e.chain.pop_back();
      if (!sent) return false;
    }
    if (!(flags & 0x0020)) return true;
  }
}

std::string Hex(size_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%zx", v);
  return buf;
}

// The pieces of the font header, joined, checked against the font's own tables.
std::string CheckFontHeader(const Bytes& h, ReferenceFont& font) {
  if (h.size() < 20) return "font header shorter than 20 bytes";
  if (!std::equal(h.begin(), h.begin() + 6, Bytes{0, 0, 0, 1, 1, 0}.begin())) {
    return "font header: wrong format, orientation, symbol set or technology";
  }
  if (Be16(h, 6) != font.NumGlyphs()) return "font header: wrong glyph count";
  if (h[8] != 'G' || h[9] != 'T') return "font header: no GT segment";
  const uint32_t s = Be32(h, 10);
  if (h.size() != 14 + size_t{s} + 6) return "font header: GT size disagrees with the data";
  if (!std::equal(h.end() - 6, h.end(), Bytes{0xFF, 0xFF, 0, 0, 0, 0}.begin())) {
    return "font header: no null segment at the end";
  }
  const Bytes gt(h.begin() + 14, h.begin() + 14 + s);
  const uint32_t tables = Be16(gt, 4);
  if (tables == 0 || gt.size() < 28 + 16 * size_t{tables - 1}) return "GT: short directory";
  if (std::string(gt.begin() + 12, gt.begin() + 16) != "gdir") return "GT: no gdir record";
  std::set<std::string> sent;
  for (uint32_t r = 1; r < tables; ++r) {
    const size_t at = 12 + 16 * size_t{r};
    const std::string tag(gt.begin() + static_cast<long>(at),
                          gt.begin() + static_cast<long>(at) + 4);
    const uint32_t offset = Be32(gt, at + 8);
    const uint32_t length = Be32(gt, at + 12);
    const Bytes& table = font.Table(tag.c_str());
    if (table.empty()) return "GT: table " + tag + " is not in the font";
    if (length != table.size()) return "GT: table " + tag + " has the wrong length";
    if (size_t{offset} + length > gt.size()) return "GT: table " + tag + " runs past the segment";
    if (!std::equal(table.begin(), table.end(), gt.begin() + offset)) {
      return "GT: table " + tag + " differs from the font's";
    }
    sent.insert(tag);
  }
  std::set<std::string> wanted;
  for (const char* tag : {"cvt ", "fpgm", "head", "hhea", "hmtx", "maxp", "prep"}) {
    if (!font.Table(tag).empty()) wanted.insert(tag);
  }
  if (sent != wanted) return "GT: not exactly the font's header tables";
  return {};
}

Bytes ReadFontHeaderOperator(size_t length) {
  if (length > 0xFFFF) return {};
  return Encode([&](XlEncoder& xl) {
    xl.UInt16(static_cast<uint16_t>(length))
        .Attr(Attribute::FontHeaderLength)
        .Op(Operator::ReadFontHeader);
  });
}

Bytes ReadCharOperator(const CharRecord& r) {
  return Encode([&](XlEncoder& xl) {
    xl.UInt16(r.code)
        .Attr(Attribute::CharCode)
        .UInt32(static_cast<uint32_t>(r.data.size()))
        .Attr(Attribute::CharDataSize)
        .Op(Operator::ReadChar);
  });
}

Bytes OperatorAlone(Operator op) {
  return Encode([&](XlEncoder& xl) { xl.Op(op); });
}

// The parsed output walked front to back, part by part; each part is empty when it matches and
// otherwise says where the first difference lies.
class OutputCheck {
 public:
  explicit OutputCheck(const std::vector<testing::WireOp>& ops) : ops_(ops) {}

  std::string FontHeader(const DownloadExpectation& e);
  std::string Selection(const DownloadExpectation& e);
  std::string Chars(const DownloadExpectation& e);
  std::string Page(const DownloadExpectation& e);

 private:
  std::string At(const std::string& what) const {
    return what + " at operator " + std::to_string(i_) + " of " + std::to_string(ops_.size()) +
           " (" + (i_ < ops_.size() ? testing::TagName(ops_[i_].tag) : std::string("end")) + ")";
  }
  // Steps over the next operator when it is exactly `bytes`, attributes and tag, without data.
  bool Take(const Bytes& bytes) {
    if (i_ >= ops_.size() || ops_[i_].bytes != bytes || ops_[i_].hasData) return false;
    ++i_;
    return true;
  }

  const std::vector<testing::WireOp>& ops_;
  size_t i_ = 0;
};

std::string OutputCheck::FontHeader(const DownloadExpectation& e) {
  if (e.newFont == nullptr) return {};
  const Bytes begin = Encode([&](XlEncoder& xl) {
    FontName(xl, e.pclName)
        .UByte(pclxl::kFontFormat0)
        .Attr(Attribute::FontFormat)
        .Op(Operator::BeginFontHeader);
  });
  if (!Take(begin)) return At("BeginFontHeader");
  Bytes header;
  for (; i_ < ops_.size() && ops_[i_].tag == Operator::ReadFontHeader; ++i_) {
    const testing::WireOp& op = ops_[i_];
    if (!op.hasData || op.bytes != ReadFontHeaderOperator(op.data.size())) {
      return At("ReadFontHeader piece");
    }
    header.insert(header.end(), op.data.begin(), op.data.end());
  }
  if (!Take(OperatorAlone(Operator::EndFontHeader))) return At("EndFontHeader");
  return CheckFontHeader(header, *e.newFont);
}

// SetFont, SetCharBoldValue, SetCharShear and SetCharAngle, together.
std::string OutputCheck::Selection(const DownloadExpectation& e) {
  Bytes got;
  for (size_t k = 0; k < 4 && i_ < ops_.size(); ++k, ++i_) {
    if (ops_[i_].hasData) return At("data in the font selection");
    got.insert(got.end(), ops_[i_].bytes.begin(), ops_[i_].bytes.end());
  }
  if (got != SelectionOperators(e.pclName, e.charSize)) return At("font selection");
  return {};
}

std::string OutputCheck::Chars(const DownloadExpectation& e) {
  if (e.chars.empty()) return {};
  const Bytes begin =
      Encode([&](XlEncoder& xl) { FontName(xl, e.pclName).Op(Operator::BeginChar); });
  if (!Take(begin)) return At("BeginChar");
  for (const CharRecord& r : e.chars) {
    if (i_ >= ops_.size() || ops_[i_].bytes != ReadCharOperator(r) || !ops_[i_].hasData ||
        ops_[i_].data != r.data) {
      return At("ReadChar of " + Hex(r.code));
    }
    ++i_;
  }
  if (!Take(OperatorAlone(Operator::EndChar))) return At("EndChar");
  return {};
}

// Everything after the characters, byte for byte.
std::string OutputCheck::Page(const DownloadExpectation& e) {
  Bytes got;
  for (size_t k = i_; k < ops_.size(); ++k) {
    if (ops_[k].hasData) return "data among the page records";
    got.insert(got.end(), ops_[k].bytes.begin(), ops_[k].bytes.end());
  }
  if (got != e.page) return At("page records");
  return {};
}

}  // namespace

const Bytes& ReferenceFont::Table(const char* tag) {
  auto it = tables_.find(tag);
  if (it == tables_.end()) it = tables_.emplace(tag, file_.Table(tag)).first;
  return it->second;
}

Bytes ReferenceFont::GlyphBytes(uint32_t glyph) {
  const Bytes& head = Table("head");
  const Bytes& loca = Table("loca");
  const Bytes& glyf = Table("glyf");
  const bool shortLoca = Be16(head, 50) == 0;
  const size_t entries = shortLoca ? loca.size() / 2 : loca.size() / 4;
  if (size_t{glyph} + 1 >= entries) return {};
  auto entry = [&](uint32_t i) -> uint32_t {
    return shortLoca ? 2 * Be16(loca, 2 * size_t{i}) : Be32(loca, 4 * size_t{i});
  };
  const uint32_t from = entry(glyph);
  const uint32_t to = entry(glyph + 1);
  if (to <= from || to > glyf.size()) return {};
  return Bytes(glyf.begin() + from, glyf.begin() + to);
}

int32_t ReferenceFont::EmAdvance(uint32_t code, int32_t ppem) {
  const Bytes& hhea = Table("hhea");
  const Bytes& hmtx = Table("hmtx");
  const int64_t unitsPerEm = Be16(Table("head"), 18);
  const uint32_t metrics = Be16(hhea, 34);
  if (unitsPerEm == 0 || metrics == 0) return -1;
  const uint32_t glyph = GlyphIndex(code);
  const uint32_t i = glyph < metrics ? glyph : metrics - 1;
  return static_cast<int32_t>(RoundDiv(int64_t{Be16(hmtx, 4 * size_t{i})} * ppem, unitsPerEm));
}

std::vector<CharRecord> ExpectedCharRecords(ReferenceFont& font, const std::u16string& chars,
                                            std::string* error) {
  std::vector<CharRecord> out;
  for (char16_t c : chars) {
    const uint32_t glyph = font.GlyphIndex(c);
    const Bytes glyf = font.GlyphBytes(glyph);
    if (glyph == 0 || glyf.empty()) {
      *error = "character " + Hex(c) + " has no glyph or an empty one";
      return {};
    }
    out.push_back(MakeRecord(static_cast<uint16_t>(c), glyph, glyf));
    if (IsComposite(glyf)) {
      Expansion e;
      e.chain.push_back(glyph);
      AppendComponents(font, glyf, e, out);
    }
  }
  return out;
}

std::string PclFontName(uint32_t fontId, const std::string& font) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "OT:%x:", fontId);
  return prefix + font + ":n";
}

Bytes SelectionOperators(const std::string& pclName, float charSize) {
  return Encode([&](XlEncoder& xl) {
    FontName(xl, pclName)
        .Real32(charSize)
        .Attr(Attribute::CharSize)
        .UInt16(1)  // symbol set
        .Attr(Attribute::SymbolSet)
        .Op(Operator::SetFont)
        .Real32(0.0f)
        .Attr(Attribute::CharBoldValue)
        .Op(Operator::SetCharBoldValue)
        .Real32XY(0.0f, 0.0f)
        .Attr(Attribute::CharShear)
        .Op(Operator::SetCharShear)
        .SInt16(0)
        .Attr(Attribute::CharAngle)
        .Op(Operator::SetCharAngle);
  });
}

Bytes ClipOperator() {
  return Encode([](XlEncoder& xl) {
    xl.UByte(pclxl::ClipRegion::eInterior)
        .Attr(Attribute::ClipRegion)
        .SInt16Box(kClipBox[0], kClipBox[1], kClipBox[2], kClipBox[3])
        .Attr(Attribute::BoundingBox)
        .Op(Operator::SetClipRectangle);
  });
}

Bytes SetCursorOperator(int32_t x, int32_t y) {
  return Encode([&](XlEncoder& xl) {
    xl.SInt16XY(Low16(x), Low16(y)).Attr(Attribute::Point).Op(Operator::SetCursor);
  });
}

Bytes TextOperator(const std::u16string& text, const std::vector<int32_t>& widths) {
  return Encode([&](XlEncoder& xl) {
    xl.UInt16Array(static_cast<uint16_t>(text.size()), [&](uint16_t i) { return text[i]; })
        .Attr(Attribute::TextData)
        .UInt16Array(static_cast<uint16_t>(widths.size()),
                     [&](uint16_t i) { return static_cast<uint16_t>(widths[i]); })
        .Attr(Attribute::XSpacingData)
        .Op(Operator::Text);
  });
}

Bytes PageRecords(const std::u16string& text, const std::vector<int32_t>& widths, int32_t x,
                  int32_t y, int32_t startX, int32_t lineSpacing, std::string* error) {
  int64_t total = x;
  for (int32_t w : widths) total += w;
  if (widths.size() != text.size() ||
      (total > kRightLimit && text.find(u' ') != std::u16string::npos)) {
    *error = "page records: one width per character, and no space in a text that breaks";
    return {};
  }
  Bytes out = ClipOperator();
  size_t from = 0;
  while (from < text.size()) {
    size_t to = from;
    int32_t edge = x;
    while (to < text.size() && edge + widths[to] <= kRightLimit) edge += widths[to++];
    if (to == from) {
      *error = "page records: a character is wider than a line";
      return {};
    }
    Bytes cursor = SetCursorOperator(x, y);
    Bytes line = TextOperator(text.substr(from, to - from),
                              std::vector<int32_t>(widths.begin() + static_cast<long>(from),
                                                   widths.begin() + static_cast<long>(to)));
    out.insert(out.end(), cursor.begin(), cursor.end());
    out.insert(out.end(), line.begin(), line.end());
    from = to;
    if (from < text.size()) {
      x = startX;
      y += lineSpacing;
    }
  }
  return out;
}

std::string CheckDownloadOutput(const Bytes& out, const DownloadExpectation& e) {
  std::string parseError;
  const std::vector<testing::WireOp> ops = testing::ReadOps(out, &parseError);
  if (!parseError.empty()) return "output does not parse: " + parseError;
  OutputCheck check(ops);
  for (auto part : {&OutputCheck::FontHeader, &OutputCheck::Selection, &OutputCheck::Chars,
                    &OutputCheck::Page}) {
    if (std::string why = (check.*part)(e); !why.empty()) return why;
  }
  return {};
}

}  // namespace tavrfndl::bench
