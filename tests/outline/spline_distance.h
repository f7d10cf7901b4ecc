// The distance between a cubic segment and the quadratic spline that replaces it, measured
// independently of the converter: points sampled along each curve, each point's distance to the
// other curve (nearest sample, then a search along the curve nearby), the largest either way.
#pragma once

#include <vector>

#include "outline/outline.h"

namespace tavrfndl::test {

// A Bézier curve of 3 (quadratic) or 4 (cubic) control points.
using Bezier = std::vector<outline::Point>;

// The spline from start through points as TrueType reads them: the midpoint of two consecutive
// off-curve points is on the curve.
std::vector<Bezier> SplinePieces(outline::Point start, const outline::QuadContour& points);
// The largest distance from a point of one curve to the other, both ways.
double CurveDistance(const std::vector<Bezier>& a, const std::vector<Bezier>& b);

}  // namespace tavrfndl::test
