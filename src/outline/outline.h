// Glyph outlines for fonts whose glyphs are not stored as TrueType "glyf" data: a font engine's
// outline of on-curve points and quadratic and cubic control points is converted to quadratic
// curves, the cubic arcs replaced by quadratic splines within a stated tolerance, and the result
// is written as a simple TrueType glyph (the only kind of glyph a format-0 soft font carries).
//
// The module stands alone: it reads nothing of the font and knows neither the font engine nor the
// stream. Everything here is coordinates in font units, y upwards. Failures (an outline whose
// points do not make curves, coordinates a TrueType glyph cannot hold, no memory) return false
// and leave nothing half-usable to the caller, who treats the glyph as missing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tavrfndl::outline {

struct Point {
  double x = 0;
  double y = 0;
};

// What a point of an outline is, as FreeType tags it: on the curve, the control point of a
// quadratic arc, or one of the two control points of a cubic arc.
enum class PointKind : uint8_t { kOnCurve, kQuadratic, kCubic };

struct OutlinePoint {
  Point at;
  PointKind kind = PointKind::kOnCurve;
};

// A glyph's outline as font engines keep it: closed contours of points, contour i running from
// the end of contour i - 1 (or the first point) up to contourEnds[i], exclusive. Between two
// consecutive quadratic control points lies an implied on-curve point, their midpoint; cubic
// control points come in pairs before an on-curve point, or before the contour's start when they
// close it. A contour that begins with a quadratic control point starts at its last point, or
// at the midpoint of its last and first points when both are control points.
struct Outline {
  std::vector<OutlinePoint> points;
  std::vector<size_t> contourEnds;
};

// A point of a TrueType contour in whole font units. Between two consecutive off-curve points
// lies an implied on-curve point, their midpoint.
struct QuadPoint {
  int32_t x = 0;
  int32_t y = 0;
  bool onCurve = true;

  bool operator==(const QuadPoint&) const = default;
};
using QuadContour = std::vector<QuadPoint>;

// The deviation allowed between a cubic outline and its quadratic replacement: 1 unit at 1000
// units per em, scaled to the em. Never below 1 unit: a glyph on the whole-unit grid of a
// smaller em cannot follow the curve closer than half a unit on each axis anyway.
double ToleranceForEm(uint32_t unitsPerEm);

// Appends the quadratic spline that replaces the cubic from p0 to p3: off-curve points, then
// p3 on the curve; the points between the off-curve points are implied. p0 and p3 are taken
// rounded to whole units, as every on-curve point of the result is, and every point of the
// spline (its off-curve points rounded too) lies within tolerance of that cubic, and the
// reverse: the curve is split into as few equal pieces as meet it (the fewest when eight or
// fewer do). A cubic whose control points lie within tolerance of the chord becomes a line. False
// for coordinates that are not finite or lie beyond ±2^16, where no glyph reaches.
bool CubicToQuadratics(Point p0, Point p1, Point p2, Point p3, double tolerance, QuadContour& out);

// The outline's contours as TrueType contours: on-curve points rounded to whole units, cubic
// arcs through CubicToQuadratics, quadratic arcs kept (their control points rounded). Repeated
// on-curve points are dropped, and so is an on-curve point that is exactly the midpoint of two
// off-curve neighbours, except that one on-curve point always stays and the contour starts
// there. Contours of one point, or whose points all coincide, are left out. False, besides the
// coordinates, for points that do not make curves: cubic control points not in pairs before an
// on-curve point or the contour's start, a contour starting with one, contour ends out of order.
bool ConvertContours(const Outline& outline, double tolerance, std::vector<QuadContour>& out);

struct EncodedGlyph {
  std::vector<uint8_t> bytes;  // the "glyf" entry, unpadded; empty for a glyph without outline
  uint16_t points = 0;         // for "maxp" maxPoints
  uint16_t contours = 0;       // for "maxp" maxContours
};

// A simple TrueType glyph of the contours: header with the points' bounding box,
// endPtsOfContours, no instructions, flags (on-curve, short and same-or-positive vectors, runs
// of equal flags as repeats) and the coordinates as deltas. No contours (or none with points)
// gives an empty glyph. False when the glyph cannot be written: a coordinate or a delta beyond
// 16 bits, more than 65535 points or 32767 contours.
bool EncodeSimpleGlyph(std::span<const QuadContour> contours, EncodedGlyph& out);

}  // namespace tavrfndl::outline
