// The character-to-glyph map, from the first Windows format-4 subtable of "cmap".
//
// Bounds rule, shared by the fast fills and the reference search so that both give one map: a
// subtable whose header or four segment arrays leave "cmap" is not usable (the map keeps what it
// had), and a code whose glyph index array read leaves "cmap" is unmapped (kUnmappedGlyph).
#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>

#include "sfnt/cmap.h"
#include "truetype/tables.h"

namespace tavrfndl {

namespace {

constexpr uint32_t kLastUnicodeCode = kGlyphMapSize - 1;  // 0xFFFF has no entry
constexpr uint32_t kLastSymbolCode = 254;                 // 255 codes, as the format gives them
constexpr uint32_t kSymbolBase = 0xF000;

using sfnt::Format4;

uint32_t UnicodeEntry(const Format4& f, uint32_t k, uint32_t c) {
  const uint16_t delta = f.Delta(k);
  if (f.RangeOffset(k) == 0) return (c + delta) & 0xFFFFu;
  const std::optional<uint16_t> g = f.GlyphArrayValue(k, c - f.Start(k));
  if (!g) return kUnmappedGlyph;
  return (*g + delta) & 0xFFFFu;
}

// Symbol codes are matched on the low bytes of the segment bounds, and stand for 0xF000 + c.
uint32_t SymbolEntry(const Format4& f, uint32_t k, uint32_t c) {
  const uint16_t delta = f.Delta(k);
  const uint16_t start = f.Start(k);
  if (f.RangeOffset(k) == 0) return (kSymbolBase + c + delta) & 0xFFFFu;
  const std::optional<uint16_t> g = f.GlyphArrayValue(k, c - (start & 0xFFu));
  if (!g) return kUnmappedGlyph;
  if (c == start) return *g;
  return (*g + delta) & 0xFFFFu;
}

// Codes already set by an earlier segment, one bit each: the first segment in array order wins,
// and each code is decided once however much the segments overlap.
class CodeSet {
 public:
  // The lowest code in [from, to] not yet in the set, or to + 1.
  uint32_t NextFree(uint32_t from, uint32_t to) const {
    uint32_t c = from;
    while (c <= to) {
      const uint64_t vacant = ~words_[c / 64] >> (c % 64);
      if (vacant != 0) {
        const uint32_t next = c + static_cast<uint32_t>(std::countr_zero(vacant));
        return next <= to ? next : to + 1;
      }
      c = (c / 64 + 1) * 64;
    }
    return to + 1;
  }
  void Add(uint32_t c) { words_[c / 64] |= uint64_t{1} << (c % 64); }

 private:
  uint64_t words_[65536 / 64] = {};
};

template <typename EntryFn>
void FillFirstSegmentWins(const Format4& f, uint32_t* map, uint32_t lastCode, bool lowBytes,
                          EntryFn entryOf) {
  for (uint32_t c = 0; c <= lastCode; ++c) map[c] = kUnmappedGlyph;
  CodeSet set;
  for (uint32_t k = 0; k < f.segCount(); ++k) {
    uint32_t start = f.Start(k);
    uint32_t end = f.End(k);
    if (lowBytes) {
      start &= 0xFFu;
      end &= 0xFFu;
    }
    if (end > lastCode) end = lastCode;
    for (uint32_t c = set.NextFree(start, end); c <= end; c = set.NextFree(c + 1, end)) {
      map[c] = entryOf(f, k, c);
      set.Add(c);
    }
  }
}

template <typename EntryFn>
void FillPerCode(const Format4& f, uint32_t* map, uint32_t lastCode, bool lowBytes,
                 EntryFn entryOf) {
  for (uint32_t c = 0; c <= lastCode; ++c) {
    map[c] = kUnmappedGlyph;
    for (uint32_t k = 0; k < f.segCount(); ++k) {
      const uint32_t start = lowBytes ? (f.Start(k) & 0xFFu) : f.Start(k);
      const uint32_t end = lowBytes ? (f.End(k) & 0xFFu) : f.End(k);
      if (start <= c && c <= end) {
        map[c] = entryOf(f, k, c);
        break;
      }
    }
  }
}

}  // namespace

void MapUnicodeSegments(std::span<uint32_t> map, ByteView subtable) {
  const std::optional<Format4> f = Format4::Parse(subtable);
  if (!f || map.size() < kGlyphMapSize) return;
  FillFirstSegmentWins(*f, map.data(), kLastUnicodeCode, false, UnicodeEntry);
}

void MapSymbolSegments(std::span<uint32_t> map, ByteView subtable) {
  const std::optional<Format4> f = Format4::Parse(subtable);
  if (!f || map.size() < kGlyphMapSize) return;
  FillFirstSegmentWins(*f, map.data(), kLastSymbolCode, true, SymbolEntry);
}

void MapUnicodeSegmentsReference(std::span<uint32_t> map, ByteView subtable) {
  const std::optional<Format4> f = Format4::Parse(subtable);
  if (!f || map.size() < kGlyphMapSize) return;
  FillPerCode(*f, map.data(), kLastUnicodeCode, false, UnicodeEntry);
}

void MapSymbolSegmentsReference(std::span<uint32_t> map, ByteView subtable) {
  const std::optional<Format4> f = Format4::Parse(subtable);
  if (!f || map.size() < kGlyphMapSize) return;
  FillPerCode(*f, map.data(), kLastSymbolCode, true, SymbolEntry);
}

bool BuildGlyphMap(const FontSource& source, uint32_t nGlyphs, std::span<uint32_t> map) {
  FontTables tables(source);
  if (!tables.Open()) return false;
  const std::optional<ByteView> cmap = tables.Find("cmap");
  const uint32_t prefill = std::min<uint32_t>({nGlyphs, kGlyphMapSize, uint32_t(map.size())});
  for (uint32_t i = 0; i < prefill; ++i) map[i] = i;
  if (!cmap) return false;
  const sfnt::CmapChoice choice = sfnt::ChooseWindowsFormat4(*cmap);
  if (!choice.subtable) return true;
  if (choice.encodingId == 1) {
    MapUnicodeSegments(map, *choice.subtable);
  } else {
    MapSymbolSegments(map, *choice.subtable);
  }
  return true;
}

}  // namespace tavrfndl
