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

Segment Line(double x, double y) {
  return {SegmentKind::kLine, {}, {x, y}};
}

TEST(ConvertContours, DropsRepeatedAndImpliedPointsAndStartsOnTheCurve) {
  // A square with a zero-length line and an explicit closing line; quadratic segments of which
  // all but one end at the midpoint of their control points; a contour that is one point.
  const std::vector<Contour> contours = {
      {{0, 0}, {Line(100, 0), Line(100, 0), Line(100, 100), Line(0, 100), Line(0, 0)}},
      {{10, 0},
       {{SegmentKind::kQuadratic, {{20, 0}}, {20, 12}},
        {SegmentKind::kQuadratic, {{20, 20}}, {10, 20}},
        {SegmentKind::kQuadratic, {{0, 20}}, {0, 10}},
        {SegmentKind::kQuadratic, {{0, 0}}, {10, 0}}}},
      {{5, 5}, {Line(5, 5)}},
  };
  std::vector<QuadContour> out;
  ASSERT_TRUE(ConvertContours(contours, 1, out));
  const std::vector<QuadContour> expected = {
      {{0, 0, true}, {100, 0, true}, {100, 100, true}, {0, 100, true}},
      {{20, 12, true}, {20, 20, false}, {0, 20, false}, {0, 0, false}, {20, 0, false}},
  };
  EXPECT_EQ(out, expected);

  // The junctions of four quadratics around a diamond are all midpoints: one stays, so that the
  // contour starts on the curve.
  const std::vector<Contour> diamond = {{{10, 0},
                                         {{SegmentKind::kQuadratic, {{20, -10}}, {30, 0}},
                                          {SegmentKind::kQuadratic, {{40, 10}}, {30, 20}},
                                          {SegmentKind::kQuadratic, {{20, 30}}, {10, 20}},
                                          {SegmentKind::kQuadratic, {{0, 10}}, {10, 0}}}}};
  ASSERT_TRUE(ConvertContours(diamond, 1, out));
  ASSERT_EQ(out.size(), 1u);
  const QuadContour diamondPoints = {
      {10, 0, true}, {20, -10, false}, {40, 10, false}, {20, 30, false}, {0, 10, false}};
  EXPECT_EQ(out[0], diamondPoints);
}

TEST(ConvertContours, ACircleOfFourCubicsNeedsFewPoints) {
  constexpr double k = 276;  // 500 × 0.552, the control distance of a quarter circle
  const std::vector<Contour> circle = {{{500, 0},
                                        {{SegmentKind::kCubic, {{500, k}, {k, 500}}, {0, 500}},
                                         {SegmentKind::kCubic, {{-k, 500}, {-500, k}}, {-500, 0}},
                                         {SegmentKind::kCubic, {{-500, -k}, {-k, -500}}, {0, -500}},
                                         {SegmentKind::kCubic, {{k, -500}, {500, -k}}, {500, 0}}}}};
  std::vector<QuadContour> out;
  ASSERT_TRUE(ConvertContours(circle, 1, out));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_TRUE(out[0].front().onCurve);
  // Four off-curve points a quarter, the junctions implied but the first.
  EXPECT_EQ(out[0].size(), 17u);
}

}  // namespace
}  // namespace tavrfndl::outline
