// The character map subtable the library reads: the first Windows (platform 3) subtable of
// format 4 in "cmap" record order, read in place.
#pragma once

#include <cstdint>
#include <optional>

#include "sfnt/bytes.h"

namespace tavrfndl::sfnt {

// The segment arrays of a format-4 subtable.
class Format4 {
 public:
  // Nothing when the header or the four segment arrays leave the data.
  static std::optional<Format4> Parse(ByteView subtable);

  uint32_t segCount() const { return segCount_; }
  uint16_t End(uint32_t k) const { return At(kEndPos, k); }
  uint16_t Start(uint32_t k) const { return At(startPos_, k); }
  uint16_t Delta(uint32_t k) const { return At(deltaPos_, k); }
  uint16_t RangeOffset(uint32_t k) const { return At(rangePos_, k); }

  // The glyph index array value for segment k, `index` entries past where its idRangeOffset
  // points; nothing when the read leaves the data.
  std::optional<uint16_t> GlyphArrayValue(uint32_t k, uint32_t index) const;

 private:
  static constexpr size_t kEndPos = 14;
  uint16_t At(size_t base, uint32_t k) const {
    uint16_t v = 0;
    sub_.ReadU16(base + 2 * size_t{k}, v);  // inside the data: Parse checked the arrays
    return v;
  }
  ByteView sub_;
  uint32_t segCount_ = 0;
  size_t startPos_ = 0, deltaPos_ = 0, rangePos_ = 0;
};

struct CmapChoice {
  // The chosen subtable, from its first byte to the end of "cmap": the glyph index array has no
  // length of its own, so its reads are bounded by the table.
  std::optional<ByteView> subtable;
  uint16_t encodingId = 0;  // 1: Unicode; any other: symbol
  // What the walk passed over before it chose (or gave up): a Windows format-4 subtable whose
  // arrays leave the table, and encoding records that leave it (which end the walk).
  bool skippedBroken = false;
  bool recordsCut = false;
};

CmapChoice ChooseWindowsFormat4(ByteView cmap);

}  // namespace tavrfndl::sfnt
