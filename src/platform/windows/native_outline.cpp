// GDI's native outline records (GetGlyphOutlineW, GGO_NATIVE) as the library's outline.
//
// Layout, little-endian as Windows keeps it in memory:
//   TTPOLYGONHEADER  cb (uint32: the contour's bytes, header included), dwType (uint32, 24),
//                    pfxStart (POINTFX)
//   TTPOLYCURVE      wType (uint16), cpfx (uint16), cpfx POINTFX
//   POINTFX          x, y as FIXED: fract (uint16), value (int16), i.e. 16.16 fixed point
// A line record's points are on the curve. A quadratic spline record's last point is on the
// curve and the others are control points, with the midpoint of two consecutive control points
// on the curve between them, as in the outline's quadratic control points. A cubic spline
// record holds (control, control, end) triples. A contour closes on its start by itself.
#include "platform/windows/native_outline.h"

#include <new>

namespace tavrfndl::platform::windows {
namespace {

using outline::OutlinePoint;
using outline::Point;
using outline::PointKind;

constexpr uint32_t kPolygonType = 24;  // TT_POLYGON_TYPE
constexpr uint16_t kLine = 1;          // TT_PRIM_LINE
constexpr uint16_t kQuadratic = 2;     // TT_PRIM_QSPLINE
constexpr uint16_t kCubic = 3;         // TT_PRIM_CSPLINE
constexpr size_t kPolygonHeaderSize = 16;
constexpr size_t kPointSize = 8;

// A window of the records; a read past its end fails and reads nothing.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t left() const { return size_ - pos_; }
  bool U16(uint16_t& out) {
    if (left() < 2) return false;
    out = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return true;
  }
  bool U32(uint32_t& out) {
    uint16_t low = 0, high = 0;
    if (left() < 4 || !U16(low) || !U16(high)) return false;
    out = low | (uint32_t{high} << 16);
    return true;
  }
  bool PointFx(Point& out) {
    uint32_t x = 0, y = 0;
    if (left() < kPointSize || !U32(x) || !U32(y)) return false;
    out = {static_cast<int32_t>(x) / 65536.0, static_cast<int32_t>(y) / 65536.0};
    return true;
  }
  // The next length bytes as a reader of their own.
  bool Take(size_t length, Reader& out) {
    if (length > left()) return false;
    out = Reader(data_ + pos_, length);
    pos_ += length;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// The kind of the point at index i of a curve record of count points.
bool KindOf(uint16_t type, uint16_t count, size_t i, PointKind& kind) {
  if (type == kLine) {
    kind = PointKind::kOnCurve;
  } else if (type == kQuadratic && count >= 2) {
    kind = i + 1 == count ? PointKind::kOnCurve : PointKind::kQuadratic;
  } else if (type == kCubic && count % 3 == 0) {
    kind = i % 3 == 2 ? PointKind::kOnCurve : PointKind::kCubic;
  } else {
    return false;
  }
  return true;
}

bool ReadCurve(Reader& curve, uint16_t type, uint16_t count, outline::Outline& out) {
  if (size_t{count} * kPointSize > curve.left()) return false;
  for (size_t i = 0; i < count; ++i) {
    OutlinePoint p;
    if (!KindOf(type, count, i, p.kind) || !curve.PointFx(p.at)) return false;
    out.points.push_back(p);
  }
  return true;
}

bool ReadPolygon(Reader& records, outline::Outline& out) {
  uint32_t cb = 0, type = 0;
  if (!records.U32(cb) || cb < kPolygonHeaderSize) return false;
  Reader polygon(nullptr, 0);
  if (!records.Take(cb - 4, polygon)) return false;
  OutlinePoint start;
  if (!polygon.U32(type) || type != kPolygonType || !polygon.PointFx(start.at)) return false;
  out.points.push_back(start);
  while (polygon.left() > 0) {
    uint16_t curveType = 0, count = 0;
    if (!polygon.U16(curveType) || !polygon.U16(count) || count == 0) return false;
    if (!ReadCurve(polygon, curveType, count, out)) return false;
  }
  out.contourEnds.push_back(out.points.size());
  return true;
}

}  // namespace

bool ParseNativeOutline(const uint8_t* data, size_t size, outline::Outline& out) {
  try {
    out.points.clear();
    out.contourEnds.clear();
    Reader records(data, data != nullptr ? size : 0);
    while (records.left() > 0) {
      if (!ReadPolygon(records, out)) return false;
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace tavrfndl::platform::windows
