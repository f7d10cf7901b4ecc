#include "sfnt/cmap.h"

namespace tavrfndl::sfnt {
namespace {

constexpr uint16_t kWindowsPlatform = 3;
constexpr uint16_t kSegmentMapping = 4;

}  // namespace

std::optional<Format4> Format4::Parse(ByteView subtable) {
  uint16_t segCountX2 = 0;
  if (!subtable.ReadU16(6, segCountX2)) return std::nullopt;
  Format4 f;
  f.sub_ = subtable;
  f.segCount_ = segCountX2 / 2;
  const size_t n = f.segCount_;
  f.startPos_ = 16 + 2 * n;
  f.deltaPos_ = 16 + 4 * n;
  f.rangePos_ = 16 + 6 * n;
  if (!subtable.Contains(0, 16 + 8 * n)) return std::nullopt;
  return f;
}

std::optional<uint16_t> Format4::GlyphArrayValue(uint32_t k, uint32_t index) const {
  const size_t position =
      rangePos_ + 2 * size_t{k} + 2 * (size_t{RangeOffset(k)} / 2 + size_t{index});
  uint16_t g = 0;
  if (!sub_.ReadU16(position, g)) return std::nullopt;
  return g;
}

CmapChoice ChooseWindowsFormat4(ByteView cmap) {
  CmapChoice choice;
  uint16_t recordCount = 0;
  cmap.ReadU16(2, recordCount);
  for (uint32_t i = 0; i < recordCount; ++i) {
    Cursor record(cmap, 4 + 8 * size_t{i});
    uint16_t platformId = 0;
    uint16_t encodingId = 0;
    uint32_t offset = 0;
    if (!record.ReadU16(platformId) || !record.ReadU16(encodingId) || !record.ReadU32(offset)) {
      choice.recordsCut = true;
      break;
    }
    uint16_t format = 0;
    if (platformId != kWindowsPlatform || !cmap.ReadU16(offset, format) ||
        format != kSegmentMapping) {
      continue;
    }
    const ByteView subtable = cmap.Tail(offset);
    if (!Format4::Parse(subtable)) {
      choice.skippedBroken = true;
      continue;
    }
    choice.subtable = subtable;
    choice.encodingId = encodingId;
    break;
  }
  return choice;
}

}  // namespace tavrfndl::sfnt
