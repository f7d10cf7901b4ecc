#include "spline_distance.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavrfndl::test {
namespace {

using outline::Point;
using outline::QuadContour;

constexpr int kSamples = 16;  // per piece

Point Eval(const Bezier& b, double t) {
  Bezier p = b;
  for (size_t n = p.size(); n > 1; --n) {
    for (size_t i = 0; i + 1 < n; ++i) {
      p[i] = {p[i].x + (p[i + 1].x - p[i].x) * t, p[i].y + (p[i + 1].y - p[i].y) * t};
    }
  }
  return p[0];
}

double Distance(Point a, Point b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

// The nearest point of the piece near parameter k / kSamples: the distance is unimodal this
// close to a local minimum of the samples' distances.
double Refine(Point q, const Bezier& piece, int k) {
  double lo = std::max(0.0, (k - 1.0) / kSamples), hi = std::min(1.0, (k + 1.0) / kSamples);
  for (int i = 0; i < 40; ++i) {
    const double m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
    if (Distance(q, Eval(piece, m1)) < Distance(q, Eval(piece, m2))) {
      hi = m2;
    } else {
      lo = m1;
    }
  }
  return Distance(q, Eval(piece, (lo + hi) / 2));
}

double DistanceToCurve(Point q, const std::vector<Bezier>& curve) {
  double best = std::numeric_limits<double>::infinity();
  for (const Bezier& piece : curve) {
    double d[kSamples + 1];
    for (int k = 0; k <= kSamples; ++k) d[k] = Distance(q, Eval(piece, double(k) / kSamples));
    for (int k = 0; k <= kSamples; ++k) {
      best = std::min(best, d[k]);
      const bool localMinimum = (k == 0 || d[k] <= d[k - 1]) && (k == kSamples || d[k] <= d[k + 1]);
      if (localMinimum) best = std::min(best, Refine(q, piece, k));
    }
  }
  return best;
}

double OneWay(const std::vector<Bezier>& from, const std::vector<Bezier>& to) {
  double worst = 0;
  for (const Bezier& piece : from) {
    for (int k = 0; k <= kSamples; ++k) {
      worst = std::max(worst, DistanceToCurve(Eval(piece, double(k) / kSamples), to));
    }
  }
  return worst;
}

}  // namespace

std::vector<Bezier> SplinePieces(Point start, const QuadContour& points) {
  std::vector<Bezier> pieces;
  Point current = start;
  for (size_t i = 0; i < points.size(); ++i) {
    const Point p{double(points[i].x), double(points[i].y)};
    if (points[i].onCurve) {
      pieces.push_back({current, p});
      current = p;
      continue;
    }
    const Point next{double(points.at(i + 1).x), double(points.at(i + 1).y)};
    const Point end = points[i + 1].onCurve ? next : Point{(p.x + next.x) / 2, (p.y + next.y) / 2};
    pieces.push_back({current, p, end});
    current = end;
    if (points[i + 1].onCurve) ++i;
  }
  return pieces;
}

double CurveDistance(const std::vector<Bezier>& a, const std::vector<Bezier>& b) {
  return std::max(OneWay(a, b), OneWay(b, a));
}

}  // namespace tavrfndl::test
