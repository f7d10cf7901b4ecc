// The character-to-glyph map, from the first Windows format-4 subtable of "cmap".
//
// Bounds rule, shared by the fast fills and the reference search so that both give one map: a
// subtable whose header or four segment arrays leave "cmap" is not usable (the map keeps what it
// had), and a code whose glyph index array read leaves "cmap" gets the unmapped value 32.
#include <bit>
#include <cstdint>
#include <optional>

#include "truetype/tables.h"

namespace tavrfndl {

namespace {

constexpr uint32_t kLastUnicodeCode = kGlyphMapSize - 1;  // 0xFFFF has no entry
constexpr uint32_t kLastSymbolCode = 254;                 // 255 codes, as the format gives them
constexpr uint32_t kSymbolBase = 0xF000;

// The segment arrays of a format-4 subtable, read in place.
class Format4 {
 public:
  // Nothing when the header or the segment arrays leave the data.
  static std::optional<Format4> Parse(ByteView subtable) {
    uint16_t segCountX2 = 0;
    if (!subtable.ReadU16(6, segCountX2)) return std::nullopt;
    Format4 f;
    f.sub_ = subtable;
    f.segCount_ = segCountX2 / 2;
    const size_t n = f.segCount_;
    f.endPos_ = 14;
    f.startPos_ = 16 + 2 * n;
    f.deltaPos_ = 16 + 4 * n;
    f.rangePos_ = 16 + 6 * n;
    if (!subtable.Contains(0, 16 + 8 * n)) return std::nullopt;
    return f;
  }

  uint32_t segCount() const { return segCount_; }
  uint16_t End(uint32_t k) const { return At(endPos_, k); }
  uint16_t Start(uint32_t k) const { return At(startPos_, k); }
  uint16_t Delta(uint32_t k) const { return At(deltaPos_, k); }
  uint16_t RangeOffset(uint32_t k) const { return At(rangePos_, k); }

  // The glyph index array value for segment k, `index` entries past where its idRangeOffset
  // points; nothing when the read leaves the data.
  std::optional<uint16_t> GlyphArrayValue(uint32_t k, uint32_t index) const {
    const size_t position =
        rangePos_ + 2 * size_t{k} + 2 * (size_t{RangeOffset(k)} / 2 + size_t{index});
    uint16_t g = 0;
    if (!sub_.ReadU16(position, g)) return std::nullopt;
    return g;
  }

 private:
  uint16_t At(size_t base, uint32_t k) const {
    uint16_t v = 0;
    sub_.ReadU16(base + 2 * size_t{k}, v);  // inside the data: Parse checked the arrays
    return v;
  }
  ByteView sub_;
  uint32_t segCount_ = 0;
  size_t endPos_ = 0, startPos_ = 0, deltaPos_ = 0, rangePos_ = 0;
};

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

void MapUnicodeSegments(FONTENTRY& entry, ByteView subtable) {
  const std::optional<Format4> f = Format4::Parse(subtable);
  if (!f || !entry.pdwGlyphMap) return;
  FillFirstSegmentWins(*f, entry.pdwGlyphMap.get(), kLastUnicodeCode, false, UnicodeEntry);
}

void MapSymbolSegments(FONTENTRY& entry, ByteView subtable) {
  const std::optional<Format4> f = Format4::Parse(subtable);
  if (!f || !entry.pdwGlyphMap) return;
  FillFirstSegmentWins(*f, entry.pdwGlyphMap.get(), kLastSymbolCode, true, SymbolEntry);
}

void MapUnicodeSegmentsReference(FONTENTRY& entry, ByteView subtable) {
  const std::optional<Format4> f = Format4::Parse(subtable);
  if (!f || !entry.pdwGlyphMap) return;
  FillPerCode(*f, entry.pdwGlyphMap.get(), kLastUnicodeCode, false, UnicodeEntry);
}

void MapSymbolSegmentsReference(FONTENTRY& entry, ByteView subtable) {
  const std::optional<Format4> f = Format4::Parse(subtable);
  if (!f || !entry.pdwGlyphMap) return;
  FillPerCode(*f, entry.pdwGlyphMap.get(), kLastSymbolCode, true, SymbolEntry);
}

bool BuildGlyphMap(const FontSource& source, FONTENTRY& entry) {
  FontTables tables(source);
  if (!tables.Open()) return false;
  const std::optional<ByteView> cmap = tables.Find("cmap");

  if (entry.pdwGlyphMap) {
    const uint32_t prefill = entry.nGlyphs < kGlyphMapSize ? entry.nGlyphs : kGlyphMapSize;
    for (uint32_t i = 0; i < prefill; ++i) entry.pdwGlyphMap[i] = i;
  }
  if (!cmap) return false;

  uint16_t recordCount = 0;
  cmap->ReadU16(2, recordCount);
  for (uint32_t i = 0; i < recordCount; ++i) {
    const size_t record = 4 + 8 * size_t{i};
    uint16_t platformId = 0;
    uint16_t encodingId = 0;
    uint32_t offset = 0;
    // Records that leave the table end the walk.
    if (!cmap->ReadU16(record, platformId) || !cmap->ReadU16(record + 2, encodingId) ||
        !cmap->ReadU32(record + 4, offset)) {
      break;
    }
    if (platformId != 3) continue;
    uint16_t format = 0;
    if (!cmap->ReadU16(offset, format) || format != 4) continue;
    // The glyph index array has no length of its own: its reads are bounded by "cmap".
    const ByteView subtable = cmap->Tail(offset);
    // A subtable whose segment arrays leave the table is passed over like any unusable one.
    if (!Format4::Parse(subtable)) continue;
    if (encodingId == 1) {
      MapUnicodeSegments(entry, subtable);
    } else {
      MapSymbolSegments(entry, subtable);
    }
    break;
  }
  return true;
}

}  // namespace tavrfndl
