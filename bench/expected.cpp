#include "expected.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <set>

#include "support/xl_ops.h"

namespace tavrfndl::bench {
namespace {

constexpr int32_t kRightLimit = 4725;

uint32_t Be16(const Bytes& b, size_t at) {
  return at + 2 <= b.size() ? (uint32_t{b[at]} << 8) | b[at + 1] : 0;
}

uint32_t Be32(const Bytes& b, size_t at) {
  return at + 4 <= b.size() ? (Be16(b, at) << 16) | Be16(b, at + 2) : 0;
}

void Le16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Le32(Bytes& out, uint32_t v) {
  Le16(out, v & 0xFFFF);
  Le16(out, v >> 16);
}

void Append(Bytes& out, std::initializer_list<uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

int64_t RoundDiv(int64_t num, int64_t den) {
  return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

// UByteArray of the name, then the FontName attribute id.
Bytes FontNameAttribute(const std::string& name) {
  Bytes out = {0xC8, 0xC1};
  Le16(out, static_cast<uint32_t>(name.size()));
  out.insert(out.end(), name.begin(), name.end());
  Append(out, {0xF8, 0xA8});
  return out;
}

Bytes Real32(float v) {
  Bytes out = {0xC5};
  Le32(out, std::bit_cast<uint32_t>(v));
  return out;
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

uint8_t High(uint32_t v) {
  return static_cast<uint8_t>(v >> 8);
}

uint8_t Low(uint32_t v) {
  return static_cast<uint8_t>(v);
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
  r.data[2] = High(size);
  r.data[3] = Low(size);
  r.data[4] = High(glyph);
  r.data[5] = Low(glyph);
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

int32_t ReferenceFont::CellHeightAdvance(uint32_t code, int32_t lfHeight) {
  const Bytes& head = Table("head");
  const Bytes& os2 = Table("OS/2");
  const Bytes& hhea = Table("hhea");
  const Bytes& hmtx = Table("hmtx");
  const int64_t unitsPerEm = Be16(head, 18);
  const int64_t cell = int64_t{Be16(os2, 74)} + Be16(os2, 76);
  const uint32_t metrics = Be16(hhea, 34);
  if (unitsPerEm == 0 || cell == 0 || metrics == 0) return -1;
  const int64_t ppem = RoundDiv(int64_t{lfHeight} * unitsPerEm, cell);
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
  Bytes out = FontNameAttribute(pclName);
  Bytes size = Real32(charSize);
  out.insert(out.end(), size.begin(), size.end());
  Append(out, {0xF8, 0xA6, 0xC1, 0x01, 0x00, 0xF8, 0xAA, 0x6F});  // CharSize, SymbolSet 1, SetFont
  Bytes bold = Real32(0.0f);
  out.insert(out.end(), bold.begin(), bold.end());
  Append(out, {0xF8, 0xB1, 0x7D});  // CharBoldValue, SetCharBoldValue
  out.push_back(0xD5);              // real32_xy shear 0, 0
  Le32(out, std::bit_cast<uint32_t>(0.0f));
  Le32(out, std::bit_cast<uint32_t>(0.0f));
  Append(out, {0xF8, 0xA5, 0x66});                    // CharShear, SetCharShear
  Append(out, {0xC3, 0x00, 0x00, 0xF8, 0xA1, 0x64});  // CharAngle 0, SetCharAngle
  return out;
}

Bytes ClipOperator() {
  // Clip region 0 (interior), box 0, 0, 4900, 6400, SetClipRectangle.
  return {0xC0, 0x00, 0xF8, 0x53, 0xE3, 0x00, 0x00, 0x00,
          0x00, 0x24, 0x13, 0x00, 0x19, 0xF8, 0x42, 0x68};
}

Bytes SetCursorOperator(int32_t x, int32_t y) {
  Bytes out = {0xD3};
  Le16(out, static_cast<uint32_t>(x) & 0xFFFF);
  Le16(out, static_cast<uint32_t>(y) & 0xFFFF);
  Append(out, {0xF8, 0x4C, 0x6B});
  return out;
}

Bytes TextOperator(const std::u16string& text, const std::vector<int32_t>& widths) {
  Bytes out = {0xC9, 0xC1};
  Le16(out, static_cast<uint32_t>(text.size()));
  for (char16_t c : text) Le16(out, c);
  Append(out, {0xF8, 0xAB, 0xC9, 0xC1});
  Le16(out, static_cast<uint32_t>(widths.size()));
  for (int32_t w : widths) Le16(out, static_cast<uint32_t>(w) & 0xFFFF);
  Append(out, {0xF8, 0xAF, 0xA8});
  return out;
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
  const std::vector<testing::XlOperator> ops = testing::ParseXl(out, &parseError);
  if (!parseError.empty()) return "output does not parse: " + parseError;
  size_t i = 0;
  auto at = [&](const char* what) -> std::string {
    return std::string(what) + " at operator " + std::to_string(i) + " of " +
           std::to_string(ops.size()) + " (" +
           (i < ops.size() ? testing::TagName(ops[i].tag) : std::string("end")) + ")";
  };

  if (e.newFont != nullptr) {
    Bytes begin = FontNameAttribute(e.pclName);
    Append(begin, {0xC0, 0x00, 0xF8, 0xA9, 0x4F});  // FontFormat 0, BeginFontHeader
    if (i >= ops.size() || ops[i].bytes != begin || ops[i].hasData) return at("BeginFontHeader");
    ++i;
    Bytes header;
    for (; i < ops.size() && ops[i].tag == testing::op::kReadFontHeader; ++i) {
      const Bytes& a = ops[i].bytes;
      const size_t announced = a.size() == 6 ? (a[1] | (size_t{a[2]} << 8)) : 0;
      if (a.size() != 6 || a[0] != 0xC1 || a[3] != 0xF8 || a[4] != 0xA7 || !ops[i].hasData ||
          ops[i].data.size() != announced) {
        return at("ReadFontHeader piece");
      }
      header.insert(header.end(), ops[i].data.begin(), ops[i].data.end());
    }
    if (i >= ops.size() || ops[i].bytes != Bytes{0x51}) return at("EndFontHeader");
    ++i;
    if (std::string why = CheckFontHeader(header, *e.newFont); !why.empty()) return why;
  }

  const Bytes selection = SelectionOperators(e.pclName, e.charSize);
  Bytes got;
  for (size_t k = 0; k < 4 && i < ops.size(); ++k, ++i) {
    if (ops[i].hasData) return at("data in the font selection");
    got.insert(got.end(), ops[i].bytes.begin(), ops[i].bytes.end());
  }
  if (got != selection) return at("font selection");

  if (!e.chars.empty()) {
    Bytes begin = FontNameAttribute(e.pclName);
    begin.push_back(0x52);
    if (i >= ops.size() || ops[i].bytes != begin) return at("BeginChar");
    ++i;
    for (const CharRecord& r : e.chars) {
      Bytes readChar = {0xC1};
      Le16(readChar, r.code);
      Append(readChar, {0xF8, 0xA2, 0xC2});
      Le32(readChar, static_cast<uint32_t>(r.data.size()));
      Append(readChar, {0xF8, 0xA3, 0x53});
      if (i >= ops.size() || ops[i].bytes != readChar || !ops[i].hasData || ops[i].data != r.data) {
        return at(("ReadChar of " + Hex(r.code)).c_str());
      }
      ++i;
    }
    if (i >= ops.size() || ops[i].bytes != Bytes{0x54}) return at("EndChar");
    ++i;
  }

  got.clear();
  for (size_t k = i; k < ops.size(); ++k) {
    if (ops[k].hasData) return "data among the page records";
    got.insert(got.end(), ops[k].bytes.begin(), ops[k].bytes.end());
  }
  if (got != e.page) return at("page records");
  return {};
}

}  // namespace tavrfndl::bench
