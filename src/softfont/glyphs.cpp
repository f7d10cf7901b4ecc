// Character records: each glyph's bytes from "glyf", unchanged, behind a 6-byte header (format 1,
// class 0), sent with ReadChar. The tables of the font are held for one run (FontTables), so a
// glyph costs in proportion to its own size, not to the size of the font.
//
// A glyph goes out only when it, and every component it names, is a valid TrueType glyph, and
// every component placed by matching points names points that are there: a printer's rasterizer
// that meets a broken glyph record stops the job, which costs every page after it, while a
// character without a glyph costs one character.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include "pclxl/sequences.h"
#include "sfnt/glyf.h"
#include "softfont/softfont.h"

namespace tavrfndl {
namespace {

constexpr uint16_t kSpace = 0x20;
constexpr uint16_t kNoMapEntry = 0xFFFF;  // the map covers codes 0..65534 only

// One ReadChar with its record: format 1, class 0, size n + 4, the glyph index, the glyph bytes.
bool SendCharRecord(XlStream* pStream, uint16_t code, uint16_t glyph, ByteView data) {
  const uint32_t n = static_cast<uint32_t>(data.size());
  std::unique_ptr<uint8_t[]> record(new (std::nothrow) uint8_t[n + 6]);
  if (!record) return false;
  record[0] = 1;
  record[1] = 0;
  PutU16(&record[2], n + 4);
  PutU16(&record[4], glyph);
  if (n) std::memcpy(&record[6], data.data(), n);
  XlReadChar(pStream, code, n + 6);
  XlStreamEmbeddedData(pStream, record.get(), n + 6);
  return true;
}

// The composites being expanded, outermost first.
struct CompositeChain {
  uint16_t glyphs[kMaxComponentDepth];
  int depth = 0;
  int records = 0;  // component records visited for the character so far
  bool Contains(uint16_t glyph) const {
    for (int i = 0; i < depth; ++i) {
      if (glyphs[i] == glyph) return true;
    }
    return false;
  }
};

// Calls visit(index, bytes) for every component of a composite glyph, depth first in record
// order. False when a component cannot be read, a bound is reached or visit says false. The
// validation pass and the sending pass walk the same way, so what was checked is what is sent.
template <typename Visit>
bool ForEachComponent(FontTables& tables, ByteView glyph, CompositeChain& chain, Visit& visit) {
  sfnt::ComponentReader reader(glyph);
  while (!reader.done()) {
    sfnt::Component component;
    if (!reader.Next(component)) return false;
    auto data = GetGlyfData(tables, component.glyphIndex);
    if (!data || data->empty() || chain.records == kMaxComponentRecords) return false;
    ++chain.records;
    if (!visit(component.glyphIndex, *data)) return false;
    // A component may itself be a composite (accented Greek capitals in DejaVu Sans are built
    // from a composite letter): without its own components the printer draws it with parts
    // missing. A component that names one of the composites it lies in (a broken font) would
    // send a rasterizer round in a circle: the walk fails there, and the depth is bounded.
    if (!CheckIfCompositeGlyph(*data)) continue;
    if (chain.Contains(component.glyphIndex)) return false;
    if (chain.depth >= kMaxComponentDepth) return false;
    chain.glyphs[chain.depth++] = component.glyphIndex;
    const bool walked = ForEachComponent(tables, *data, chain, visit);
    --chain.depth;
    if (!walked) return false;
  }
  return true;
}

template <typename Visit>
bool WalkComponents(FontTables& tables, ByteView glyph, uint16_t glyphIndex, Visit visit) {
  CompositeChain chain;
  chain.glyphs[chain.depth++] = glyphIndex;
  return ForEachComponent(tables, glyph, chain, visit);
}

// The points of the outline a glyph draws (for a composite, those of all its components), through
// points. False where a component placed by matching points names a point that the components
// before it, or the component itself, do not have: a rasterizer refuses the glyph there. Takes a
// glyph whose component walk has passed, so that the recursion ends.
bool CountPoints(FontTables& tables, ByteView glyph, int depth, uint32_t& points) {
  points = 0;
  if (!CheckIfCompositeGlyph(glyph)) {
    points = sfnt::SimpleGlyphPoints(glyph);
    return true;
  }
  sfnt::ComponentReader reader(glyph);
  sfnt::Component c;
  while (reader.Next(c)) {
    auto data = GetGlyfData(tables, c.glyphIndex);
    uint32_t added = 0;
    if (!data || (CheckIfCompositeGlyph(*data) && depth >= kMaxComponentDepth) ||
        !CountPoints(tables, *data, depth + 1, added)) {
      return false;
    }
    // A component that adds no points is passed over, its arguments unread.
    const bool matches = (c.flags & sfnt::kArgsAreXYValues) == 0 && added > 0;
    if (matches && (c.arg1 >= points || c.arg2 >= added)) return false;
    points += added;
  }
  return reader.done();
}

// The glyph and everything it draws with, checked before anything of it is sent.
bool IsSendable(FontTables& tables, ByteView glyph, uint16_t glyphIndex, uint32_t numGlyphs,
                sfnt::Findings& findings) {
  if (!sfnt::ValidateGlyph(glyph, glyphIndex, numGlyphs, findings)) return false;
  if (!CheckIfCompositeGlyph(glyph)) return true;
  auto validate = [&](uint16_t index, ByteView bytes) {
    return sfnt::ValidateGlyph(bytes, index, numGlyphs, findings);
  };
  const size_t before = findings.count();
  uint32_t points = 0;
  if (WalkComponents(tables, glyph, glyphIndex, validate)) {
    if (CountPoints(tables, glyph, 1, points)) return true;
    findings.Add(sfnt::Tag("glyf"), "component", "matches a point that is not there", glyphIndex);
    return false;
  }
  // A walk that stopped at a component it could not read, or at a bound, has said nothing yet.
  if (findings.count() == before) {
    findings.Add(sfnt::Tag("glyf"), "component", "cannot be read or nests too far", glyphIndex);
  }
  return false;
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
  return sfnt::LocateGlyph(*glyf, *loca, indexToLocFormat, glyph, kMaxGlyphDataSize);
}

bool CheckIfCompositeGlyph(ByteView glyph) {
  return sfnt::IsCompositeGlyph(glyph);
}

bool HandleCompositeGlyphW(FontTables& tables, ByteView glyph, XlStream* pStream,
                           uint16_t glyphIndex) {
  return WalkComponents(tables, glyph, glyphIndex, [&](uint16_t index, ByteView bytes) {
    return SendCharRecord(pStream, kComponentCharCode, index, bytes);
  });
}

bool DOWNLOADTYPE15(FontTables& tables, XlStream* pStream, const FONTENTRY& entry, uint16_t code,
                    uint16_t glyph, sfnt::Findings* findings, EmFont* emFont) {
  std::vector<uint8_t> converted;
  auto data = entry.bOutlineFace
                  ? (emFont ? OutlineGlyphData(tables, *emFont, glyph, converted) : std::nullopt)
                  : GetGlyfData(tables, glyph);
  if (!data) return false;
  sfnt::Findings unused;
  if (!IsSendable(tables, *data, glyph, entry.nGlyphs, findings ? *findings : unused)) return false;
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
                     const TEXTINFOW& text, std::span<uint32_t> anGlyphIndex, bool bTTE,
                     int32_t* pbFontFileError, sfnt::Findings* findings, EmFont* emFont) {
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
  const size_t count = std::min(std::size(text.chText), anGlyphIndex.size());
  for (size_t i = 0; i < count && text.chText[i] != 0; ++i) {
    const uint16_t c = text.chText[i];
    if (c == kNoMapEntry) {
      anGlyphIndex[i] = kUnmappedGlyph;
      continue;
    }
    const uint32_t g = entry.pdwGlyphMap[c];
    anGlyphIndex[i] = g;
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
    if (tables.Open() &&
        DOWNLOADTYPE15(tables, pStream, entry, c, static_cast<uint16_t>(g), findings, emFont)) {
      entry.MarkDownloaded(c);
    } else {
      // Tried again at the character's next occurrence.
      anGlyphIndex[i] = kUnmappedGlyph;
    }
  }
  if (bracketOpen) XlEndChar(pStream);
  return true;
}

}  // namespace tavrfndl
