// The simple TrueType glyph ("glyf" entry) of quadratic contours. Coordinates are written as
// the format stores them: each point's x and y as the difference from the previous point (the
// first from 0), one byte with its sign in the flag when it fits, no byte at all when zero, and a
// signed 16-bit value otherwise; a run of equal flags is one flag with a repeat count.
#include <algorithm>
#include <cstdint>
#include <new>

#include "outline/outline.h"
#include "sfnt/glyf.h"

namespace tavrfndl::outline {
namespace {

using sfnt::kOnCurve;
using sfnt::kRepeat;
using sfnt::kXSameOrPositive;
using sfnt::kXShort;
using sfnt::kYSameOrPositive;
using sfnt::kYShort;

// Big-endian output appended to a growing glyph (the common writers fill fixed blocks).
void PutU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

bool FitsInt16(int64_t v) {
  return v >= INT16_MIN && v <= INT16_MAX;
}

struct Box {
  int32_t xMin = INT32_MAX, yMin = INT32_MAX, xMax = INT32_MIN, yMax = INT32_MIN;
};

// The flag bits of one delta on one axis, and its bytes.
uint8_t PutDelta(int64_t delta, uint8_t shortBit, uint8_t sameBit, std::vector<uint8_t>& bytes) {
  if (delta == 0) return sameBit;
  if (delta >= -255 && delta <= 255) {
    bytes.push_back(static_cast<uint8_t>(delta < 0 ? -delta : delta));
    return static_cast<uint8_t>(shortBit | (delta > 0 ? sameBit : 0));
  }
  PutU16(bytes, static_cast<uint16_t>(delta));
  return 0;
}

void PutFlags(const std::vector<uint8_t>& flags, std::vector<uint8_t>& out) {
  for (size_t i = 0; i < flags.size();) {
    size_t run = 1;
    while (i + run < flags.size() && run < 256 && flags[i + run] == flags[i]) ++run;
    // A repeat costs a byte: worth it from three equal flags on.
    if (run >= 3) {
      out.push_back(flags[i] | kRepeat);
      out.push_back(static_cast<uint8_t>(run - 1));
    } else {
      out.insert(out.end(), run, flags[i]);
    }
    i += run;
  }
}

// Flags and coordinate bytes of every point; false when a coordinate or delta needs more than
// 16 bits.
bool PutPoints(std::span<const QuadContour> contours, std::vector<uint8_t>& out, Box& box) {
  std::vector<uint8_t> flags, xs, ys;
  int64_t x = 0, y = 0;
  for (const QuadContour& contour : contours) {
    for (const QuadPoint& p : contour) {
      if (!FitsInt16(p.x) || !FitsInt16(p.y) || !FitsInt16(p.x - x) || !FitsInt16(p.y - y)) {
        return false;
      }
      uint8_t flag = p.onCurve ? kOnCurve : 0;
      flag |= PutDelta(p.x - x, kXShort, kXSameOrPositive, xs);
      flag |= PutDelta(p.y - y, kYShort, kYSameOrPositive, ys);
      flags.push_back(flag);
      x = p.x;
      y = p.y;
      box = {std::min(box.xMin, p.x), std::min(box.yMin, p.y), std::max(box.xMax, p.x),
             std::max(box.yMax, p.y)};
    }
  }
  PutFlags(flags, out);
  out.insert(out.end(), xs.begin(), xs.end());
  out.insert(out.end(), ys.begin(), ys.end());
  return true;
}

}  // namespace

bool EncodeSimpleGlyph(std::span<const QuadContour> contours, EncodedGlyph& out) {
  try {
    size_t points = 0, counted = 0;
    for (const QuadContour& contour : contours) {
      points += contour.size();
      counted += contour.empty() ? 0 : 1;
    }
    if (points > 0xFFFF || counted > 0x7FFF) return false;
    EncodedGlyph glyph;
    if (points > 0) {
      std::vector<uint8_t> body;
      PutU16(body, 0);  // no instructions
      Box box;
      if (!PutPoints(contours, body, box)) return false;
      std::vector<uint8_t>& bytes = glyph.bytes;
      PutU16(bytes, static_cast<uint32_t>(counted));
      for (int32_t v : {box.xMin, box.yMin, box.xMax, box.yMax})
        PutU16(bytes, static_cast<uint16_t>(v));
      size_t end = 0;
      for (const QuadContour& contour : contours) {
        end += contour.size();
        if (!contour.empty()) PutU16(bytes, static_cast<uint32_t>(end - 1));
      }
      bytes.insert(bytes.end(), body.begin(), body.end());
      glyph.points = static_cast<uint16_t>(points);
      glyph.contours = static_cast<uint16_t>(counted);
    }
    out = std::move(glyph);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace tavrfndl::outline
