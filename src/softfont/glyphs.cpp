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

// The glyphs of the font through its tables; false when "glyf", "loca", "head" or "maxp" is
// missing. "maxp" must be there although nothing in it is read: a font without it is not one the
// printer can use.
bool ReadGlyphTable(FontTables& tables, uint32_t numGlyphs, sfnt::GlyphTable& out) {
  auto glyf = tables.Find("glyf");
  auto loca = tables.Find("loca");
  auto head = tables.Find("head");
  auto maxp = tables.Find("maxp");
  if (!glyf || !loca || !head || !maxp) return false;
  int16_t indexToLocFormat = 0;
  if (!head->ReadS16(50, indexToLocFormat)) return false;
  out = sfnt::GlyphTable{*glyf, *loca, indexToLocFormat, numGlyphs, kMaxGlyphDataSize};
  return true;
}

}  // namespace

std::optional<ByteView> GetGlyfData(FontTables& tables, uint16_t glyph) {
  sfnt::GlyphTable table;
  if (!ReadGlyphTable(tables, 0, table)) return std::nullopt;
  return table.Find(glyph);
}

bool CheckIfCompositeGlyph(ByteView glyph) {
  return sfnt::IsCompositeGlyph(glyph);
}

bool HandleCompositeGlyphW(const sfnt::GlyphTable& table, ByteView glyph, XlStream* pStream,
                           uint16_t glyphIndex) {
  auto send = [&](uint16_t index, ByteView bytes) {
    return SendCharRecord(pStream, kComponentCharCode, index, bytes);
  };
  return sfnt::WalkComponents(table, glyph, glyphIndex, send);
}

bool DOWNLOADTYPE15(FontTables& tables, XlStream* pStream, const FONTENTRY& entry, uint16_t code,
                    uint16_t glyph, sfnt::Findings* findings, EmFont* emFont) {
  std::vector<uint8_t> converted;
  // Stays without glyphs for a face without "glyf": its converted glyphs are simple.
  sfnt::GlyphTable table;
  table.numGlyphs = entry.nGlyphs;
  std::optional<ByteView> data;
  if (entry.bOutlineFace) {
    if (emFont) data = OutlineGlyphData(tables, *emFont, glyph, converted);
  } else if (ReadGlyphTable(tables, entry.nGlyphs, table)) {
    data = table.Find(glyph);
  }
  sfnt::Findings unused;
  if (!data || sfnt::JudgeGlyph(table, *data, glyph, findings ? *findings : unused) ==
                   sfnt::GlyphVerdict::kRefused) {
    return false;
  }
  // A blank (a glyph without outline, a space of the font's own) goes out like any glyph: its
  // record tells the printer the character is there and draws nothing, and the text advances
  // over it.
  if (!SendCharRecord(pStream, code, glyph, *data)) return false;
  if (CheckIfCompositeGlyph(*data)) {
    // The composite itself counts as sent whatever becomes of its components.
    HandleCompositeGlyphW(table, *data, pStream, glyph);
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
