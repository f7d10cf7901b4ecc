// The simple TrueType glyph ("glyf" entry) of quadratic contours. Coordinates are written as
// the format stores them: each point's x and y as the difference from the previous point (the
// first from 0), one byte with its sign in the flag when it fits, no byte at all when zero, and a
// signed 16-bit value otherwise; a run of equal flags is one flag with a repeat count.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
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

bool FitsInt16(int64_t v) {
  return v >= INT16_MIN && v <= INT16_MAX;
}

uint8_t* PutU16(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v >> 8);
  at[1] = static_cast<uint8_t>(v);
  return at + 2;
}

// One axis's delta: its flag bits, and its bytes (none when zero, one with the sign in the flag
// when short, else 16 bits).
uint8_t PutDelta(int64_t delta, uint8_t shortBit, uint8_t sameBit, uint8_t*& at) {
  if (delta == 0) return sameBit;
  if (delta >= -255 && delta <= 255) {
    *at++ = static_cast<uint8_t>(delta < 0 ? -delta : delta);
    return static_cast<uint8_t>(shortBit | (delta > 0 ? sameBit : 0));
  }
  at = PutU16(at, static_cast<uint16_t>(delta));
  return 0;
}

// The points in one pass: the flags, runs of up to 256 equal flags as one with a repeat count,
// written in place, and each axis's bytes in a region of its own behind them, sized for the
// longest, to be moved up after.
class PointWriter {
 public:
  PointWriter(uint8_t* flags, size_t points)
      : flags_(flags),
        xStart_(flags + points),
        x_(xStart_),
        yStart_(xStart_ + 2 * points),
        y_(yStart_) {}

  // False when a coordinate or the delta from the previous point needs more than 16 bits.
  bool Add(const QuadPoint& p) {
    const int64_t dx = p.x - int64_t{lastX_}, dy = p.y - int64_t{lastY_};
    if (!FitsInt16(p.x) || !FitsInt16(p.y) || !FitsInt16(dx) || !FitsInt16(dy)) return false;
    lastX_ = p.x;
    lastY_ = p.y;
    box_ = {std::min(box_[0], p.x), std::min(box_[1], p.y), std::max(box_[2], p.x),
            std::max(box_[3], p.y)};
    const uint8_t flag = static_cast<uint8_t>((p.onCurve ? kOnCurve : 0) |
                                              PutDelta(dx, kXShort, kXSameOrPositive, x_) |
                                              PutDelta(dy, kYShort, kYSameOrPositive, y_));
    if (run_ > 0 && flag == flag_ && run_ < 256) {
      ++run_;
    } else {
      PutRun();
      flag_ = flag;
      run_ = 1;
    }
    return true;
  }

  // The end of the glyph, once the coordinates are moved up behind the flags.
  uint8_t* Finish() {
    PutRun();
    const size_t xs = static_cast<size_t>(x_ - xStart_), ys = static_cast<size_t>(y_ - yStart_);
    std::memmove(flags_, xStart_, xs);
    std::memmove(flags_ + xs, yStart_, ys);
    return flags_ + xs + ys;
  }

  const std::array<int32_t, 4>& box() const { return box_; }

 private:
  void PutRun() {
    // A repeat costs a byte: worth it from three equal flags on.
    if (run_ >= 3) {
      *flags_++ = flag_ | kRepeat;
      *flags_++ = static_cast<uint8_t>(run_ - 1);
    } else {
      for (size_t i = 0; i < run_; ++i) *flags_++ = flag_;
    }
  }

  uint8_t* flags_;
  uint8_t* const xStart_;
  uint8_t* x_;
  uint8_t* const yStart_;
  uint8_t* y_;
  int32_t lastX_ = 0, lastY_ = 0;
  std::array<int32_t, 4> box_ = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  uint8_t flag_ = 0;
  size_t run_ = 0;
};

// Header, endPtsOfContours, no instructions, flags and coordinates; false when a coordinate or a
// delta needs more than 16 bits.
bool PutGlyph(std::span<const QuadContour> contours, size_t points, size_t counted,
              std::vector<uint8_t>& bytes) {
  bytes.resize(12 + 2 * counted + 5 * points);  // flags and both deltas at their longest
  uint8_t* at = PutU16(bytes.data(), static_cast<uint32_t>(counted)) + 8;  // the box comes last
  size_t end = 0;
  for (const QuadContour& contour : contours) {
    end += contour.size();
    if (!contour.empty()) at = PutU16(at, static_cast<uint32_t>(end - 1));
  }
  at = PutU16(at, 0);
  PointWriter writer(at, points);
  for (const QuadContour& contour : contours) {
    for (const QuadPoint& p : contour) {
      if (!writer.Add(p)) return false;
    }
  }
  at = writer.Finish();
  uint8_t* box = bytes.data() + 2;
  for (int32_t v : writer.box()) box = PutU16(box, static_cast<uint16_t>(v));
  bytes.resize(static_cast<size_t>(at - bytes.data()));
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
      if (!PutGlyph(contours, points, counted, glyph.bytes)) return false;
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
