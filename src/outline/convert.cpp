// Cubic to quadratic conversion.
//
// A cubic is split into n equal pieces (n = 1, 2, ... until the result fits), each piece
// replaced by one quadratic. The quadratics' junctions are not stored: each is the midpoint of
// the two control points beside it, which TrueType implies, so n pieces cost n off-curve points.
// For one piece the control point is where the end tangents meet; for more, the control points
// move evenly from the first piece's start-tangent estimate to the last piece's end-tangent
// estimate, so that the spline leaves and enters the cubic's end points along its tangents.
//
// The fit is tested on the spline as it will be stored, with its control points rounded to
// whole units, against the cubic piece by piece: the difference of a piece and its quadratic
// (raised to a cubic) is itself a cubic Bézier curve, and it stays within tolerance when its
// control points do, or when both halves of it do (the control polygon bounds the curve).
// Matching the two curves parameter for parameter bounds the distance between them from above.
#include <algorithm>
#include <cmath>
#include <new>

#include "outline/outline.h"

namespace tavrfndl::outline {
namespace {

// Enough for any cubic within the coordinate limit at a tolerance of 1 unit: the error of n
// pieces falls with n³. Up to kLinearPieces every n is tried, so that the result is the
// shortest; past it (only for curves far larger than a glyph's em) n is doubled and then
// narrowed down, so that a font of such curves costs a few fits per curve, not hundreds.
constexpr int kLinearPieces = 8;
constexpr int kMaxPieces = 256;
constexpr int kMaxFitDepth = 24;
// A CFF glyph's coordinates stay within ±32767; a TrueType glyph's must.
constexpr double kLargestCoordinate = 1 << 16;

Point operator+(Point a, Point b) {
  return {a.x + b.x, a.y + b.y};
}
Point operator-(Point a, Point b) {
  return {a.x - b.x, a.y - b.y};
}
Point operator*(Point a, double k) {
  return {a.x * k, a.y * k};
}
// Distances are compared squared where only the comparison matters: hypot was the largest cost
// of a glyph's conversion.
double SquaredLength(Point p) {
  return p.x * p.x + p.y * p.y;
}
bool Within(Point p, double tolerance) {
  return SquaredLength(p) <= tolerance * tolerance;
}
double Length(Point p) {
  return std::hypot(p.x, p.y);
}
// Whether a <= b for a and b given squared (both nonnegative), as hypot's lengths compare: the
// squares decide unless they lie within their rounding error of each other, or so small that
// they lost digits, where the lengths are taken (hypot costs more than the rest of a test).
template <typename Exact>
bool SquaresAtMost(double aSquared, double bSquared, Exact&& exact) {
  constexpr double kMargin = 1e-9, kSmallest = 1e-250;
  if (aSquared > kSmallest && bSquared > kSmallest) {
    if (aSquared < bSquared * (1 - kMargin)) return true;
    if (aSquared > bSquared * (1 + kMargin)) return false;
  }
  return exact();
}
double Cross(Point a, Point b) {
  return a.x * b.y - a.y * b.x;
}
// std::round (half away from zero, the sign kept) without the library call, and without
// branches on the fraction, which is as often above a half as below: the fraction of a double
// below 2^52 is exact, and from 2^52 on (or for infinities and NaN) the value is its own
// rounding.
inline double Round(double v) {
  if (!(std::fabs(v) < 0x1p52)) return v;
  const double whole = static_cast<double>(static_cast<int64_t>(v));
  const double fraction = v - whole;
  const double up = fraction >= 0.5 ? 1.0 : 0.0;
  const double down = fraction <= -0.5 ? 1.0 : 0.0;
  return std::copysign(whole + up - down, v);
}
inline Point Rounded(Point p) {
  return {Round(p.x), Round(p.y)};
}
bool Usable(Point p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::fabs(p.x) <= kLargestCoordinate &&
         std::fabs(p.y) <= kLargestCoordinate;
}

QuadPoint Stored(Point p, bool onCurve) {
  return {static_cast<int32_t>(p.x), static_cast<int32_t>(p.y), onCurve};
}

struct Cubic {
  Point p0, p1, p2, p3;
};

// The halves still to test, left uninitialised (clearing them cost as much as a test).
struct PendingHalves {
  struct Half {
    Point p0, p1, p2, p3;
    int depth;
  };
  PendingHalves() {}
  union {
    Half halves[kMaxFitDepth + 1];
  };
  int count = 0;
};

// Whether the cubic Bézier curve through these control points stays within tolerance of the
// origin, knowing that its end points do.
bool FitsInside(Point p0, Point p1, Point p2, Point p3, double tolerance) {
  // The halves in the order a recursion on the first half, then the second, takes them; each
  // split leaves the second half pending, one per level at most.
  PendingHalves pending;
  int depth = 0;
  for (;;) {
    if (Within(p1, tolerance) && Within(p2, tolerance)) {
      if (pending.count == 0) return true;
      const PendingHalves::Half& next = pending.halves[--pending.count];
      p0 = next.p0;
      p1 = next.p1;
      p2 = next.p2;
      p3 = next.p3;
      depth = next.depth;
      continue;
    }
    const Point mid = (p0 + (p1 + p2) * 3 + p3) * 0.125;
    if (!Within(mid, tolerance) || depth == kMaxFitDepth) return false;
    const Point half = (p3 + p2 - p1 - p0) * 0.125;
    pending.halves[pending.count++] = {mid, mid + half, (p2 + p3) * 0.5, p3, depth + 1};
    p2 = mid - half;
    p1 = (p0 + p1) * 0.5;
    p3 = mid;
    ++depth;
  }
}

// The cubic in power form, a t³ + b t² + d t + p0, from which its pieces are taken.
struct PowerForm {
  Point a, b, d, p0;
};

PowerForm PowerFormOf(const Cubic& c) {
  return {c.p3 - c.p0 + (c.p1 - c.p2) * 3, (c.p0 - c.p1 * 2 + c.p2) * 3, (c.p1 - c.p0) * 3, c.p0};
}

// The part of the cubic for t in [t0, t1].
Cubic Piece(const PowerForm& f, double t0, double t1) {
  const double h = t1 - t0;
  const Point start = ((f.a * t0 + f.b) * t0 + f.d) * t0 + f.p0;
  const Point slope = ((f.a * (3 * t0) + f.b * 2) * t0 + f.d) * h;
  const Point bend = (f.a * (3 * t0) + f.b) * (h * h);
  const Point end = ((f.a * t1 + f.b) * t1 + f.d) * t1 + f.p0;
  return {start, start + slope * (1.0 / 3), start + (slope * 2 + bend) * (1.0 / 3), end};
}

// The single quadratic's control point: where the end tangents meet, else the average of the
// two tangent estimates.
Point SingleControl(const Cubic& c) {
  const Point d1 = c.p1 - c.p0, d2 = c.p2 - c.p3;
  const double cross = Cross(d1, d2);
  const bool parallel =
      SquaresAtMost(cross * cross, SquaredLength(d1) * SquaredLength(d2) * 1e-18,
                    [&] { return !(std::fabs(cross) > 1e-9 * (Length(d1) * Length(d2))); });
  if (!parallel) {
    const double s = Cross(c.p3 - c.p0, d2) / cross;
    return c.p0 + d1 * s;
  }
  return (c.p1 * 3 - c.p0 + c.p2 * 3 - c.p3) * 0.25;
}

bool PieceFits(const Cubic& piece, Point start, Point control, Point end, double tolerance) {
  const Point e0 = start - piece.p0, e3 = end - piece.p3;
  if (!Within(e0, tolerance) || !Within(e3, tolerance)) return false;
  const Point q1 = start + (control - start) * (2.0 / 3);
  const Point q2 = end + (control - end) * (2.0 / 3);
  return FitsInside(e0, q1 - piece.p1, q2 - piece.p2, e3, tolerance);
}

// Room for the controls of the most pieces, left uninitialised: most curves need two or three,
// and clearing all of them cost more than fitting.
struct Controls {
  Controls() {}
  union {
    Point points[kMaxPieces];
  };
};

// The rounded control point of piece i of n: the controls move evenly from the first piece's
// start-tangent estimate to the last piece's end-tangent estimate.
Point PieceControl(const Cubic& p, int i, int n) {
  const Point leave = p.p0 + (p.p1 - p.p0) * 1.5, enter = p.p3 + (p.p2 - p.p3) * 1.5;
  return Rounded(leave + (enter - leave) * (double(i) / (n - 1)));
}

// The rounded control points of n pieces, when they fit. Each piece is taken once, and the
// control of the next one with it, since the junction between them is their midpoint.
bool FitPieces(const Cubic& c, int n, double tolerance, Point* controls) {
  if (n == 1) {
    controls[0] = Rounded(SingleControl(c));
    return PieceFits(c, c.p0, controls[0], c.p3, tolerance);
  }
  const PowerForm form = PowerFormOf(c);
  Cubic piece = Piece(form, 0.0, 1.0 / n);
  controls[0] = PieceControl(piece, 0, n);
  Point start = c.p0;
  for (int i = 0; i < n; ++i) {
    Cubic next{};
    Point end = c.p3;
    if (i + 1 < n) {
      next = Piece(form, double(i + 1) / n, double(i + 2) / n);
      controls[i + 1] = PieceControl(next, i + 1, n);
      end = (controls[i] + controls[i + 1]) * 0.5;
    }
    if (!PieceFits(piece, start, controls[i], end, tolerance)) return false;
    start = end;
    piece = next;
  }
  return true;
}

// The controls of the fewest pieces that fit (see kLinearPieces); their count in pieces.
bool FitFewestPieces(const Cubic& c, double tolerance, Point* controls, int& pieces) {
  for (pieces = 1; pieces <= kLinearPieces; ++pieces) {
    if (FitPieces(c, pieces, tolerance, controls)) return true;
  }
  int fails = kLinearPieces, fits = 2 * kLinearPieces;
  while (!FitPieces(c, fits, tolerance, controls)) {
    if (fits == kMaxPieces) return false;
    fails = fits;
    fits = std::min(2 * fits, kMaxPieces);
  }
  while (fits - fails > 1) {
    const int n = (fails + fits) / 2;
    if (FitPieces(c, n, tolerance, controls)) {
      fits = n;
    } else {
      fails = n;
    }
  }
  pieces = fits;
  return FitPieces(c, fits, tolerance, controls);
}

// Whether p lies within tolerance of the segment from a to b.
bool NearSegment(Point p, Point a, Point b, double tolerance) {
  const Point ab = b - a;
  const double lengthSquared = ab.x * ab.x + ab.y * ab.y;
  double t = lengthSquared > 0 ? ((p.x - a.x) * ab.x + (p.y - a.y) * ab.y) / lengthSquared : 0;
  t = std::clamp(t, 0.0, 1.0);
  const Point off = p - (a + ab * t);
  return SquaresAtMost(SquaredLength(off), tolerance * tolerance,
                       [&] { return Length(off) <= tolerance; });
}

// Whether p, between before and after, is an on-curve point TrueType would imply.
bool IsImplied(const QuadPoint& before, const QuadPoint& p, const QuadPoint& after) {
  return p.onCurve && !before.onCurve && !after.onCurve &&
         int64_t{before.x} + after.x == 2 * int64_t{p.x} &&
         int64_t{before.y} + after.y == 2 * int64_t{p.y};
}

// Drops repeated on-curve points, the last ones too when they repeat the first.
void DropRepeated(QuadContour& points) {
  size_t kept = 0;
  for (const QuadPoint& p : points) {
    if (p.onCurve && kept > 0 && points[kept - 1] == p) continue;
    points[kept++] = p;
  }
  while (kept > 1 && points[kept - 1].onCurve && points[kept - 1] == points[0]) --kept;
  points.resize(kept);
}

// Drops the implied on-curve points but, when no other on-curve point is left, the first.
void DropImplied(QuadContour& points) {
  const size_t n = points.size();
  if (n <= 2) return;
  bool onCurveLeft = false;
  for (size_t i = 0; i < n && !onCurveLeft; ++i) {
    onCurveLeft =
        points[i].onCurve && !IsImplied(points[(i + n - 1) % n], points[i], points[(i + 1) % n]);
  }
  // Compacted in place: the neighbours are read as they were.
  const QuadPoint first = points[0];
  QuadPoint before = points[n - 1];
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    const QuadPoint p = points[i];
    bool implied = IsImplied(before, p, i + 1 < n ? points[i + 1] : first);
    if (implied && !onCurveLeft) {  // the first stays
      implied = false;
      onCurveLeft = true;
    }
    if (!implied) points[kept++] = p;
    before = p;
  }
  points.resize(kept);
}

// Drops repeated on-curve points and on-curve points that are the midpoint of two off-curve
// neighbours, then starts the contour on the curve. One on-curve point is always kept: a
// contour of off-curve points only is valid TrueType, but a start on the curve is what every
// rasteriser has been tested with.
void Tidy(QuadContour& points) {
  DropRepeated(points);
  DropImplied(points);
  auto first =
      std::find_if(points.begin(), points.end(), [](const QuadPoint& p) { return p.onCurve; });
  if (first != points.end()) std::rotate(points.begin(), first, points.end());
}

// CubicToQuadratics for end points already rounded and coordinates checked.
bool AppendSpline(Point p0, Point p1, Point p2, Point p3, double tolerance, QuadContour& out) {
  if (NearSegment(p1, p0, p3, tolerance) && NearSegment(p2, p0, p3, tolerance)) {
    out.push_back(Stored(p3, true));
    return true;
  }
  Controls controls;
  int pieces = 0;
  if (!FitFewestPieces({p0, p1, p2, p3}, tolerance, controls.points, pieces)) return false;
  for (int i = 0; i < pieces; ++i) out.push_back(Stored(controls.points[i], false));
  out.push_back(Stored(p3, true));
  return true;
}

Point Midpoint(Point a, Point b) {
  return {(a.x + b.x) / 2, (a.y + b.y) / 2};
}

// One contour's curves, as they are walked, appended as TrueType points. The outline closes by
// itself: a TrueType contour runs from its last point back to its first, so no closing line is
// written.
class ContourWriter {
 public:
  ContourWriter(double tolerance, QuadContour& out) : tolerance_(tolerance), out_(out) {}

  bool Start(Point p) {
    current_ = Rounded(p);
    if (!Usable(current_)) return false;
    out_.push_back(Stored(current_, true));
    return true;
  }
  bool Line(Point end) {
    return Arc(end, [&](Point e) { out_.push_back(Stored(e, true)); });
  }
  bool Quadratic(Point control, Point end) {
    if (!Usable(control)) return false;
    return Arc(end, [&](Point e) {
      out_.push_back(Stored(Rounded(control), false));
      out_.push_back(Stored(e, true));
    });
  }
  bool Cubic(Point control1, Point control2, Point end) {
    if (!Usable(control1) || !Usable(control2) || !(tolerance_ > 0)) return false;
    bool fits = true;
    const bool usable = Arc(end, [&](Point e) {
      fits = AppendSpline(current_, control1, control2, e, tolerance_, out_);
    });
    return usable && fits;
  }

 private:
  // The arc to end, rounded, written by write; end becomes the current point.
  template <typename Write>
  bool Arc(Point end, Write&& write) {
    const Point rounded = Rounded(end);
    if (!Usable(rounded)) return false;
    write(rounded);
    current_ = rounded;
    return true;
  }

  double tolerance_;
  QuadContour& out_;
  Point current_;
};

// A walk of one contour's points as FreeType decomposes them: lines, quadratic arcs (with the
// implied on-curve points between control points) and cubic arcs, the last arc closing on the
// start.
class ContourWalk {
 public:
  ContourWalk(std::span<const OutlinePoint> points, ContourWriter& writer)
      : points_(points), writer_(writer), last_(points.size() - 1) {}

  bool Run() {
    if (!Begin()) return false;
    while (next_ <= last_ && !closed_) {
      if (!Step()) return false;
    }
    return true;
  }

 private:
  // The start, and the first point to walk from.
  bool Begin() {
    const OutlinePoint& first = points_[0];
    if (first.kind == PointKind::kCubic) return false;
    if (first.kind == PointKind::kOnCurve) {
      start_ = first.at;
      next_ = 1;
    } else if (points_[last_].kind == PointKind::kOnCurve) {
      start_ = points_[last_].at;
      --last_;
    } else {
      start_ = Midpoint(points_[last_].at, first.at);
    }
    return writer_.Start(start_);
  }

  bool Step() {
    const OutlinePoint& p = points_[next_++];
    switch (p.kind) {
      case PointKind::kOnCurve:
        return writer_.Line(p.at);
      case PointKind::kQuadratic:
        return Quadratics(p.at);
      case PointKind::kCubic:
        return Cubic(p.at);
    }
    return false;
  }

  // From control on, up to the next on-curve point or the start.
  bool Quadratics(Point control) {
    while (next_ <= last_) {
      const OutlinePoint& p = points_[next_++];
      if (p.kind == PointKind::kOnCurve) return writer_.Quadratic(control, p.at);
      if (p.kind != PointKind::kQuadratic) return false;
      if (!writer_.Quadratic(control, Midpoint(control, p.at))) return false;
      control = p.at;
    }
    closed_ = true;
    return writer_.Quadratic(control, start_);
  }

  bool Cubic(Point control1) {
    if (next_ > last_ || points_[next_].kind != PointKind::kCubic) return false;
    const Point control2 = points_[next_++].at;
    if (next_ > last_) {
      closed_ = true;
      return writer_.Cubic(control1, control2, start_);
    }
    const OutlinePoint& end = points_[next_++];
    return end.kind == PointKind::kOnCurve && writer_.Cubic(control1, control2, end.at);
  }

  std::span<const OutlinePoint> points_;
  ContourWriter& writer_;
  size_t last_;
  size_t next_ = 0;
  Point start_;
  bool closed_ = false;
};

bool ConvertContour(std::span<const OutlinePoint> points, double tolerance, QuadContour& out) {
  out.reserve(points.size() + 4);  // CFF glyphs convert to about as many points
  ContourWriter writer(tolerance, out);
  if (!ContourWalk(points, writer).Run()) return false;
  Tidy(out);
  return true;
}

}  // namespace

double ToleranceForEm(uint32_t unitsPerEm) {
  return std::max(1.0, unitsPerEm / 1000.0);
}

bool CubicToQuadratics(Point p0, Point p1, Point p2, Point p3, double tolerance, QuadContour& out) {
  if (!Usable(p0) || !Usable(p1) || !Usable(p2) || !Usable(p3) || !(tolerance > 0)) return false;
  try {
    return AppendSpline(Rounded(p0), p1, p2, Rounded(p3), tolerance, out);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool ConvertContours(const Outline& outline, double tolerance, std::vector<QuadContour>& out) {
  try {
    std::vector<QuadContour> converted;
    converted.reserve(outline.contourEnds.size());
    const std::span<const OutlinePoint> points(outline.points);
    size_t begin = 0;
    for (const size_t end : outline.contourEnds) {
      if (end < begin || end > points.size()) return false;
      const std::span<const OutlinePoint> contour = points.subspan(begin, end - begin);
      begin = end;
      if (contour.size() < 2) continue;
      QuadContour quadratic;
      if (!ConvertContour(contour, tolerance, quadratic)) return false;
      if (quadratic.size() > 1) converted.push_back(std::move(quadratic));
    }
    out = std::move(converted);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace tavrfndl::outline
