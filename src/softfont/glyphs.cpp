// Character records: each glyph's bytes from "glyf", unchanged, behind a 6-byte header (format 1,
// class 0), sent with ReadChar. The tables of the font are held for one run (FontTables), so a
// glyph costs in proportion to its own size, not to the size of the font.
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include "pagetext/pagetext.h"
#include "pclxl/sequences.h"
#include "softfont/softfont.h"

namespace tavrfndl {
namespace {

constexpr uint16_t kSpace = 0x20;
constexpr uint16_t kNoMapEntry = 0xFFFF;  // the map covers codes 0..65534 only

constexpr uint16_t kArgsAreWords = 0x0001;
constexpr uint16_t kHaveScale = 0x0008;
constexpr uint16_t kMoreComponents = 0x0020;
constexpr uint16_t kHaveXYScale = 0x0040;
constexpr uint16_t kHaveTwoByTwo = 0x0080;

// The length of one component record of a composite glyph, from its flags.
size_t ComponentRecordLength(uint16_t flags) {
  size_t length = 4 + ((flags & kArgsAreWords) ? 4 : 2);
  if (flags & kHaveScale) {
    length += 2;
  } else if (flags & kHaveXYScale) {
    length += 4;
  } else if (flags & kHaveTwoByTwo) {
    length += 8;
  }
  return length;
}

// One ReadChar with its record: format 1, class 0, size n + 4, the glyph index, the glyph bytes.
bool SendCharRecord(XlStream* pStream, uint16_t code, uint16_t glyph, ByteView data) {
  const uint32_t n = static_cast<uint32_t>(data.size());
  std::unique_ptr<uint8_t[]> record(new (std::nothrow) uint8_t[n + 6]);
  if (!record) return false;
  record[0] = 1;
  record[1] = 0;
  record[2] = static_cast<uint8_t>((n + 4) >> 8);
  record[3] = static_cast<uint8_t>(n + 4);
  record[4] = static_cast<uint8_t>(glyph >> 8);
  record[5] = static_cast<uint8_t>(glyph);
  if (n) std::memcpy(&record[6], data.data(), n);
  XlReadChar(pStream, code, n + 6);
  XlStreamEmbeddedData(pStream, record.get(), n + 6);
  return true;
}

}  // namespace

std::optional<ByteView> GetGlyfData(FontTables& tables, uint16_t glyph) {
  auto glyf = tables.Find("glyf");
  auto loca = tables.Find("loca");
  auto head = tables.Find("head");
  // "maxp" must be there although nothing in it is read: a font without it is not one the
  // printer can use.
  auto maxp = tables.Find("maxp");
  if (!glyf || !loca || !head || !maxp) return std::nullopt;

  int16_t indexToLocFormat = 0;
  if (!head->ReadS16(50, indexToLocFormat)) return std::nullopt;
  uint32_t off = 0;
  uint32_t next = 0;
  if (indexToLocFormat == 0) {
    uint16_t a = 0;
    uint16_t b = 0;
    if (!loca->ReadU16(2 * size_t{glyph}, a) || !loca->ReadU16(2 * size_t{glyph} + 2, b)) {
      return std::nullopt;
    }
    off = 2u * a;
    next = 2u * b;
  } else if (!loca->ReadU32(4 * size_t{glyph}, off) ||
             !loca->ReadU32(4 * size_t{glyph} + 4, next)) {
    return std::nullopt;
  }
  // Offsets compared as signed 32-bit numbers, as printer drivers always have; the view below
  // refuses whatever still lies outside "glyf".
  if (next == 0 || static_cast<int32_t>(next) < static_cast<int32_t>(off)) return std::nullopt;
  const uint32_t size = next - off;
  if (size > kMaxGlyphDataSize) return std::nullopt;
  return glyf->Sub(off, size);
}

bool CheckIfCompositeGlyph(ByteView glyph) {
  uint16_t numberOfContours = 0;
  return glyph.ReadU16(0, numberOfContours) && (numberOfContours & 0x8000) != 0;
}

namespace {

// The composites being expanded, outermost first.
struct CompositeChain {
  uint16_t glyphs[kMaxComponentDepth];
  int depth = 0;
  int records = 0;  // component records sent for the character so far
  bool Contains(uint16_t glyph) const {
    for (int i = 0; i < depth; ++i) {
      if (glyphs[i] == glyph) return true;
    }
    return false;
  }
};

bool SendComponents(FontTables& tables, ByteView glyph, XlStream* pStream, CompositeChain& chain) {
  // Each record is at least 6 bytes and must lie inside the glyph, so the walk ends.
  size_t pos = 10;
  for (;;) {
    uint16_t flags = 0;
    uint16_t component = 0;
    if (!glyph.ReadU16(pos, flags) || !glyph.ReadU16(pos + 2, component)) return false;
    pos += ComponentRecordLength(flags);
    auto data = GetGlyfData(tables, component);
    if (!data || data->empty()) return false;
    if (chain.records == kMaxComponentRecords) return false;
    ++chain.records;
    if (!SendCharRecord(pStream, kComponentCharCode, component, *data)) return false;
    // A component may itself be a composite (accented Greek capitals in DejaVu Sans are built
    // from a composite letter): without its own components the printer draws it with parts
    // missing. A component that names one of the composites it lies in (a broken font) is sent
    // but not expanded again, and the depth is bounded, so the walk always ends.
    if (CheckIfCompositeGlyph(*data) && !chain.Contains(component)) {
      if (chain.depth >= kMaxComponentDepth) return false;
      chain.glyphs[chain.depth++] = component;
      const bool sent = SendComponents(tables, *data, pStream, chain);
      --chain.depth;
      if (!sent) return false;
    }
    if (!(flags & kMoreComponents)) return true;
  }
}

}  // namespace

bool HandleCompositeGlyphW(FontTables& tables, ByteView glyph, XlStream* pStream,
                           uint16_t glyphIndex) {
  CompositeChain chain;
  chain.glyphs[chain.depth++] = glyphIndex;
  return SendComponents(tables, glyph, pStream, chain);
}

bool DOWNLOADTYPE15(FontTables& tables, XlStream* pStream, const FONTENTRY& /*entry*/,
                    uint16_t code, uint16_t glyph) {
  auto data = GetGlyfData(tables, glyph);
  if (!data) return false;
  // An empty glyph still goes out as a 6-byte record, but the character counts as failed so
  // that the page shows it as missing rather than as a blank.
  if (!SendCharRecord(pStream, code, glyph, *data)) return false;
  if (data->empty()) return false;
  if (CheckIfCompositeGlyph(*data)) {
    // The composite itself counts as sent whatever becomes of its components.
    HandleCompositeGlyphW(tables, *data, pStream, glyph);
  }
  return true;
}

bool AddCharsToFontW(FONTLIST& list, FONTENTRY& entry, bool /*bNewFont*/, XlStream* pStream,
                     const TEXTINFOW& text, DOWNLOADCONTEXT& context, bool bTTE,
                     int32_t* pbFontFileError) {
  BuildPCLFontName(entry);
  SelectTextFont(pStream, entry, text);

  // Glyph data come from this call's font in the engine, but from the entry's own file in file
  // mode: a later run may name another file under the same font number.
  FontSource source;
  source.bTTE = bTTE;
  source.hDC = list.hDC;
  source.path = entry.chFont;
  source.pbFontFileError = pbFontFileError;
  FontTables tables(source);

  const auto* name = reinterpret_cast<const uint8_t*>(entry.chPCLFontName);
  const uint32_t nameLength = static_cast<uint32_t>(std::strlen(entry.chPCLFontName));
  bool bracketOpen = false;
  for (size_t i = 0; i < std::size(text.chText) && text.chText[i] != 0; ++i) {
    const uint16_t c = text.chText[i];
    if (c == kNoMapEntry) {
      context.anGlyphIndex[i] = kUnmappedGlyph;
      continue;
    }
    const uint32_t g = entry.pdwGlyphMap[c];
    context.anGlyphIndex[i] = g;
    if (g >= entry.nGlyphs || entry.IsDownloaded(c)) continue;
    if (c == kSpace) {
      // The printer never draws a space; its advance comes with the text.
      entry.MarkDownloaded(c);
      continue;
    }
    if (!bracketOpen) {
      XlBeginChar(pStream, name, nameLength);
      bracketOpen = true;
    }
    if (tables.Open() && DOWNLOADTYPE15(tables, pStream, entry, c, static_cast<uint16_t>(g))) {
      entry.MarkDownloaded(c);
    } else {
      // Tried again at the character's next occurrence.
      context.anGlyphIndex[i] = kUnmappedGlyph;
    }
  }
  if (bracketOpen) XlEndChar(pStream);
  return true;
}

}  // namespace tavrfndl
