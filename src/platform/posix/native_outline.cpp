#include "platform/posix/native_outline.h"

#include <limits>
#include <new>
#include FT_OUTLINE_H

#include "platform/platform.h"

namespace tavrfndl::platform::posix {
namespace {

struct Writer {
  std::vector<uint8_t>& out;
  int64_t ppem;
  int64_t unitsPerEm;
  size_t polygon = SIZE_MAX;  // where the open contour's header starts
  size_t curve = SIZE_MAX;    // where the open record's header starts
  uint16_t curveType = 0;
  uint16_t curvePoints = 0;
  FT_Vector current{};
  bool ok = true;

  void PutU16(size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  void AddU32(uint32_t v) {
    out.resize(out.size() + 4);
    PutU16(out.size() - 4, v & 0xFFFF);
    PutU16(out.size() - 2, v >> 16);
  }
  // A coordinate in font units as FIXED at the font's size, rounded half away from zero.
  void AddFixed(FT_Pos units) {
    const int64_t num = static_cast<int64_t>(units) * ppem * 65536;
    const int64_t v =
        num >= 0 ? (num + unitsPerEm / 2) / unitsPerEm : -((-num + unitsPerEm / 2) / unitsPerEm);
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
      ok = false;
    }
    AddU32(static_cast<uint32_t>(v));
  }
  void AddPoint(const FT_Vector& p) {
    AddFixed(p.x);
    AddFixed(p.y);
    current = p;
  }
  void CloseCurve() {
    if (curve != SIZE_MAX) PutU16(curve + 2, curvePoints);
    curve = SIZE_MAX;
  }
  void ClosePolygon() {
    CloseCurve();
    if (polygon == SIZE_MAX) return;
    const size_t size = out.size() - polygon;
    PutU16(polygon, size & 0xFFFF);
    PutU16(polygon + 2, size >> 16);
    polygon = SIZE_MAX;
  }
  // Starts a record of the type unless the open one is of it and may grow.
  void Record(uint16_t type, bool extend, uint16_t points) {
    if (polygon == SIZE_MAX) {
      ok = false;
      return;
    }
    if (!(extend && curve != SIZE_MAX && curveType == type && curvePoints <= 0xFFFF - points)) {
      CloseCurve();
      curve = out.size();
      curveType = type;
      curvePoints = 0;
      out.resize(out.size() + 4);
      PutU16(curve, type);
    }
    curvePoints = static_cast<uint16_t>(curvePoints + points);
  }
};

// FreeType calls back from C: nothing may be thrown through it.
template <typename F>
int Guarded(void* user, F&& body) {
  Writer& w = *static_cast<Writer*>(user);
  try {
    if (w.ok) body(w);
  } catch (...) {
    w.ok = false;
  }
  return w.ok ? 0 : 1;
}

int MoveTo(const FT_Vector* to, void* user) {
  return Guarded(user, [&](Writer& w) {
    w.ClosePolygon();
    w.polygon = w.out.size();
    w.out.resize(w.out.size() + 4);  // cb, written when the contour closes
    w.AddU32(TT_POLYGON_TYPE);
    w.AddPoint(*to);
  });
}

int LineTo(const FT_Vector* to, void* user) {
  return Guarded(user, [&](Writer& w) {
    // FreeType closes every contour with a line to its start, of no length when the contour
    // already ends there; the records close by themselves.
    if (to->x == w.current.x && to->y == w.current.y) return;
    w.Record(TT_PRIM_LINE, true, 1);
    if (w.ok) w.AddPoint(*to);
  });
}

int ConicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
  return Guarded(user, [&](Writer& w) {
    w.Record(TT_PRIM_QSPLINE, false, 2);
    if (!w.ok) return;
    w.AddPoint(*control);
    w.AddPoint(*to);
  });
}

int CubicTo(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to, void* user) {
  return Guarded(user, [&](Writer& w) {
    w.Record(TT_PRIM_CSPLINE, true, 3);
    if (!w.ok) return;
    w.AddPoint(*control1);
    w.AddPoint(*control2);
    w.AddPoint(*to);
  });
}

}  // namespace

bool WriteNativeOutline(const FT_Outline& outline, int64_t ppem, int64_t unitsPerEm,
                        std::vector<uint8_t>& out) {
  if (ppem <= 0 || unitsPerEm <= 0) return false;
  try {
    std::vector<uint8_t> records;
    Writer writer{records, ppem, unitsPerEm};
    FT_Outline_Funcs funcs{};
    funcs.move_to = MoveTo;
    funcs.line_to = LineTo;
    funcs.conic_to = ConicTo;
    funcs.cubic_to = CubicTo;
    if (FT_Outline_Decompose(const_cast<FT_Outline*>(&outline), &funcs, &writer) != 0 ||
        !writer.ok) {
      return false;
    }
    writer.ClosePolygon();
    out = std::move(records);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace tavrfndl::platform::posix
