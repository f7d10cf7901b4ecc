// The cubic-to-quadratic conversion on hand-made curves: the deviation, measured by sampling
// both curves, stays within the tolerance, and the spline stays short.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "outline/outline.h"
#include "spline_distance.h"

namespace tavrfndl::outline {
namespace {

struct CubicCase {
  const char* name;
  Point p[4];
  double tolerance;
  // Off-curve points plus the end point, as this converter gives them: a bound that catches
  // growth. A real font's glyphs come out with fewer points than their CFF outlines.
  size_t maxPoints;
};

const CubicCase kCubics[] = {
    {"straight", {{0, 0}, {100, 0}, {200, 0}, {300, 0}}, 1, 1},
    {"straight, slightly bent", {{0, 0}, {100, 0.9}, {200, -0.9}, {300, 0}}, 1, 1},
    {"straight with overshoot", {{0, 0}, {400, 0}, {-100, 0}, {300, 0}}, 1, 9},
    {"quarter circle", {{500, 0}, {500, 276}, {276, 500}, {0, 500}}, 1, 5},
    {"inflection", {{0, 0}, {300, 400}, {700, -400}, {1000, 0}}, 1, 11},
    {"cusp", {{0, 0}, {1000, 1000}, {0, 1000}, {1000, 0}}, 1, 12},
    {"loop", {{0, 0}, {1200, 1000}, {-200, 1000}, {1000, 0}}, 1, 13},
    {"zero tangent at the start", {{0, 0}, {0, 0}, {300, 500}, {600, 0}}, 1, 10},
    {"degenerate", {{500, 500}, {500, 500}, {500, 500}, {500, 500}}, 1, 1},
    {"em 2048", {{0, 0}, {600, 1400}, {1500, 1400}, {2000, 0}}, 2.048, 6},
    {"very large", {{-32000, -32000}, {20000, 32000}, {-20000, 32000}, {32000, -32000}}, 1, 41},
};

TEST(CubicToQuadratics, StaysWithinToleranceWithFewPoints) {
  for (const CubicCase& c : kCubics) {
    SCOPED_TRACE(c.name);
    QuadContour out;
    ASSERT_TRUE(CubicToQuadratics(c.p[0], c.p[1], c.p[2], c.p[3], c.tolerance, out));
    ASSERT_FALSE(out.empty());
    EXPECT_TRUE(out.back().onCurve);
    EXPECT_EQ(out.back().x, c.p[3].x);
    EXPECT_EQ(out.back().y, c.p[3].y);
    for (size_t i = 0; i + 1 < out.size(); ++i) EXPECT_FALSE(out[i].onCurve);
    EXPECT_LE(out.size(), c.maxPoints);
    const double deviation =
        test::CurveDistance({{c.p[0], c.p[1], c.p[2], c.p[3]}}, test::SplinePieces(c.p[0], out));
    EXPECT_LE(deviation, c.tolerance) << out.size() << " points";
  }
}

TEST(CubicToQuadratics, RefusesCoordinatesNoGlyphCanHold) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (Point bad : {Point{1 << 17, 0}, Point{0, -(1 << 17)}, Point{inf, 0}, Point{0, nan}}) {
    QuadContour out;
    EXPECT_FALSE(CubicToQuadratics({0, 0}, bad, {100, 100}, {200, 0}, 1, out));
    EXPECT_TRUE(out.empty());
  }
}

// An outline of contours written as points: 'o' on the curve, 'q' and 'c' quadratic and cubic
// control points.
struct Written {
  double x, y;
  char kind;
};

Outline Make(const std::vector<std::vector<Written>>& contours) {
  Outline outline;
  for (const auto& contour : contours) {
    for (const Written& p : contour) {
      const PointKind kind = p.kind == 'o'   ? PointKind::kOnCurve
                             : p.kind == 'q' ? PointKind::kQuadratic
                                             : PointKind::kCubic;
      outline.points.push_back({{p.x, p.y}, kind});
    }
    outline.contourEnds.push_back(outline.points.size());
  }
  return outline;
}

TEST(ConvertContours, DropsRepeatedAndImpliedPointsAndStartsOnTheCurve) {
  // A square with a repeated point and an explicit closing point; quadratic arcs of which all
  // but one end at the midpoint of their control points; contours that are one point.
  const Outline outline = Make({
      {{0, 0, 'o'}, {100, 0, 'o'}, {100, 0, 'o'}, {100, 100, 'o'}, {0, 100, 'o'}, {0, 0, 'o'}},
      {{10, 0, 'o'},
       {20, 0, 'q'},
       {20, 12, 'o'},
       {20, 20, 'q'},
       {10, 20, 'o'},
       {0, 20, 'q'},
       {0, 10, 'o'},
       {0, 0, 'q'}},
      {{5, 5, 'o'}, {5, 5, 'o'}},
      {{7, 7, 'o'}},
  });
  std::vector<QuadContour> out;
  ASSERT_TRUE(ConvertContours(outline, 1, out));
  const std::vector<QuadContour> expected = {
      {{0, 0, true}, {100, 0, true}, {100, 100, true}, {0, 100, true}},
      {{20, 12, true}, {20, 20, false}, {0, 20, false}, {0, 0, false}, {20, 0, false}},
  };
  EXPECT_EQ(out, expected);

  // A diamond of control points only starts at the midpoint of the last and the first; the
  // junctions are all midpoints, and one stays so that the contour starts on the curve.
  ASSERT_TRUE(ConvertContours(Make({{{20, -10, 'q'}, {40, 10, 'q'}, {20, 30, 'q'}, {0, 10, 'q'}}}),
                              1, out));
  const QuadContour diamond = {
      {10, 0, true}, {20, -10, false}, {40, 10, false}, {20, 30, false}, {0, 10, false}};
  EXPECT_EQ(out, std::vector<QuadContour>{diamond});
  // A contour that begins with a control point starts at its last point.
  ASSERT_TRUE(ConvertContours(Make({{{10, 10, 'q'}, {20, 0, 'o'}, {0, 0, 'o'}}}), 1, out));
  const QuadContour arc = {{0, 0, true}, {10, 10, false}, {20, 0, true}};
  EXPECT_EQ(out, std::vector<QuadContour>{arc});
}

TEST(ConvertContours, RefusesPointsThatMakeNoCurves) {
  Outline endsBackwards = Make({{{0, 0, 'o'}, {10, 0, 'o'}}, {{5, 5, 'o'}}});
  std::swap(endsBackwards.contourEnds[0], endsBackwards.contourEnds[1]);
  Outline endsPastThePoints = Make({{{0, 0, 'o'}, {10, 0, 'o'}}});
  endsPastThePoints.contourEnds[0] = 3;
  const Outline refused[] = {
      Make({{{0, 0, 'c'}, {10, 0, 'c'}, {10, 10, 'o'}}}),               // starts with a cubic
      Make({{{0, 0, 'o'}, {10, 0, 'c'}, {10, 10, 'o'}}}),               // a lone cubic control
      Make({{{0, 0, 'o'}, {10, 0, 'c'}, {10, 10, 'c'}, {5, 5, 'q'}}}),  // cubic before quadratic
      endsBackwards,
      endsPastThePoints,
  };
  for (const Outline& outline : refused) {
    std::vector<QuadContour> out(1);
    EXPECT_FALSE(ConvertContours(outline, 1, out));
    EXPECT_EQ(out.size(), 1u);
  }
}

TEST(ConvertContours, ACircleOfFourCubicsNeedsFewPoints) {
  constexpr double k = 276;  // 500 × 0.552, the control distance of a quarter circle
  // The last arc's control points close the contour on its start.
  const Outline circle = Make({{{500, 0, 'o'},
                                {500, k, 'c'},
                                {k, 500, 'c'},
                                {0, 500, 'o'},
                                {-k, 500, 'c'},
                                {-500, k, 'c'},
                                {-500, 0, 'o'},
                                {-500, -k, 'c'},
                                {-k, -500, 'c'},
                                {0, -500, 'o'},
                                {k, -500, 'c'},
                                {500, -k, 'c'}}});
  std::vector<QuadContour> out;
  ASSERT_TRUE(ConvertContours(circle, 1, out));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_TRUE(out[0].front().onCurve);
  // Four off-curve points a quarter, the junctions implied but the first.
  EXPECT_EQ(out[0].size(), 17u);
}

}  // namespace
}  // namespace tavrfndl::outline
