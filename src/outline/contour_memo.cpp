// The memo of converted contours: points compared bit for bit, so that a remembered conversion
// is exactly the one the converter would make again.
#include <algorithm>
#include <bit>

#include "outline/outline.h"

namespace tavrfndl::outline {
namespace {

uint64_t Bits(double v) {
  return std::bit_cast<uint64_t>(v);
}

bool Same(const OutlinePoint& a, const OutlinePoint& b) {
  return Bits(a.at.x) == Bits(b.at.x) && Bits(a.at.y) == Bits(b.at.y) && a.kind == b.kind;
}

// FNV-1a over the points' bits, a word at a time.
uint64_t Hash(std::span<const OutlinePoint> points) {
  uint64_t hash = 0xCBF29CE484222325u;
  for (const OutlinePoint& p : points) {
    for (const uint64_t word : {Bits(p.at.x), Bits(p.at.y), static_cast<uint64_t>(p.kind)}) {
      hash = (hash ^ word) * 0x100000001B3u;
    }
  }
  return hash;
}

}  // namespace

const QuadContour* ContourMemo::Find(std::span<const OutlinePoint> points) const {
  const auto [first, last] = entries_.equal_range(Hash(points));
  for (auto it = first; it != last; ++it) {
    const std::vector<OutlinePoint>& known = it->second.points;
    if (std::equal(known.begin(), known.end(), points.begin(), points.end(), Same)) {
      return &it->second.converted;
    }
  }
  return nullptr;
}

void ContourMemo::Remember(std::span<const OutlinePoint> points, const QuadContour& converted) {
  entries_.emplace(Hash(points),
                   Entry{std::vector<OutlinePoint>(points.begin(), points.end()), converted});
}

}  // namespace tavrfndl::outline
