// Measured shapes against values worked out by hand, and the results table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "measure/Measurements.h"

namespace qelvo::measure {
namespace {

constexpr double kPi = 3.14159265358979323846;

ShapeResult measure(ShapeKind kind, std::vector<Point> points, double size = 0.0) {
    return measureShape(Shape{kind, std::move(points), ""}, size);
}

TEST(Shapes, LengthsAndAngles) {
    EXPECT_DOUBLE_EQ(*measure(ShapeKind::Line, {{0, 0}, {3, 4}}).length, 5.0);
    EXPECT_DOUBLE_EQ(*measure(ShapeKind::Line, {{0, 0}, {3, 4}}, 0.5).length, 2.5);
    EXPECT_DOUBLE_EQ(*measure(ShapeKind::Polyline, {{0, 0}, {3, 4}, {3, 10}}, 2).length, 22.0);
    EXPECT_NEAR(*measure(ShapeKind::Angle, {{10, 0}, {0, 0}, {0, 10}}).angle, 90.0, 1e-12);
    EXPECT_NEAR(*measure(ShapeKind::Angle, {{10, 0}, {0, 0}, {5, 5}}).angle, 45.0, 1e-12);
    EXPECT_NEAR(*measure(ShapeKind::Angle, {{10, 0}, {0, 0}, {-10, 0}}).angle, 180.0, 1e-12);
    EXPECT_NEAR(*measure(ShapeKind::Angle, {{10, 0}, {0, 0}, {20, 0}}).angle, 0.0, 1e-12);
    EXPECT_NEAR(*measure(ShapeKind::Angle, {{1, 0}, {0, 0}, {-1, -1}}).angle, 135.0, 1e-12);
    // The calibration does not change an angle.
    EXPECT_NEAR(*measure(ShapeKind::Angle, {{1, 0}, {0, 0}, {-1, -1}}, 3).angle, 135.0, 1e-12);
    EXPECT_FALSE(measure(ShapeKind::Line, {{0, 0}, {3, 4}}).area);
}

TEST(Shapes, AreasAndPerimeters) {
    ShapeResult r = measure(ShapeKind::Rectangle, {{10, 20}, {4, 12}}, 0.5);  // 6 x 8 px
    EXPECT_DOUBLE_EQ(*r.area, 12.0);
    EXPECT_DOUBLE_EQ(*r.perimeter, 14.0);

    r = measure(ShapeKind::Ellipse, {{0, 0}, {20, 20}});  // a circle of radius 10
    EXPECT_NEAR(*r.area, kPi * 100, 1e-9);
    EXPECT_NEAR(*r.perimeter, 2 * kPi * 10, 1e-9);
    r = measure(ShapeKind::Ellipse, {{0, 0}, {20, 10}});  // a = 10, b = 5
    EXPECT_NEAR(*r.area, kPi * 50, 1e-9);
    EXPECT_NEAR(*r.perimeter, 48.44224110273838, 1e-6);   // the exact elliptic integral
    r = measure(ShapeKind::Ellipse, {{0, 0}, {200, 0}});  // flat: twice its length around
    EXPECT_NEAR(*r.perimeter, 400.0, 400.0 * 5e-4);

    // Three points on a circle of radius 5 around (1, 2).
    r = measure(ShapeKind::Circle, {{6, 2}, {1, 7}, {-2, -2}}, 2.0);
    EXPECT_NEAR(*r.diameter, 20.0, 1e-9);
    EXPECT_NEAR(*r.perimeter, 20.0 * kPi, 1e-9);
    EXPECT_NEAR(*r.area, 100.0 * kPi, 1e-9);
    // Far from the origin the circle keeps its precision.
    r = measure(ShapeKind::Circle, {{1e6 + 5, 1e6}, {1e6, 1e6 + 5}, {1e6 - 3, 1e6 - 4}});
    EXPECT_NEAR(*r.diameter, 10.0, 1e-6);

    // An L-shaped polygon, either way round: 3x1 plus 1x2 = area 5, perimeter 12.
    std::vector<Point> l{{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 3}, {0, 3}};
    r = measure(ShapeKind::Polygon, l, 0.1);
    EXPECT_NEAR(*r.area, 0.05, 1e-12);
    EXPECT_NEAR(*r.perimeter, 1.2, 1e-12);
    std::reverse(l.begin(), l.end());
    EXPECT_NEAR(*measure(ShapeKind::Polygon, l, 0.1).area, 0.05, 1e-12);

    EXPECT_EQ(*measure(ShapeKind::Points, {{1, 1}, {2, 2}, {3, 3}}).count, 3);
}

TEST(Shapes, UnmeasurableShapesSayWhy) {
    const ShapeResult collinear = measure(ShapeKind::Circle, {{0, 0}, {1, 1}, {2, 2}});
    EXPECT_NE(collinear.problem.find("one line"), std::string::npos);
    EXPECT_FALSE(collinear.area);
    EXPECT_NE(measure(ShapeKind::Circle, {{1, 1}, {1, 1}, {1, 1}}).problem, "");
    EXPECT_NE(measure(ShapeKind::Polygon, {{0, 0}, {1, 1}}).problem.find("at least 3"),
              std::string::npos);
    EXPECT_NE(measure(ShapeKind::Line, {{0, 0}}).problem.find("exactly 2"), std::string::npos);
    EXPECT_NE(measure(ShapeKind::Line, {{0, 0}, {1, 1}, {2, 2}}).problem, "");
    EXPECT_NE(measure(ShapeKind::Points, {}).problem, "");
    EXPECT_NE(measure(ShapeKind::Angle, {{0, 0}, {0, 0}, {1, 0}}).problem, "");
    EXPECT_NE(measure(ShapeKind::Line, {{0, 0}, {NAN, 1}}).problem, "");
    EXPECT_EQ(measure(ShapeKind::Line, {{2, 2}, {2, 2}}).problem, "");  // zero length is a length
}

TEST(Shapes, KindNamesRoundTrip) {
    for (ShapeKind kind :
         {ShapeKind::Line, ShapeKind::Polyline, ShapeKind::Angle, ShapeKind::Rectangle,
          ShapeKind::Ellipse, ShapeKind::Circle, ShapeKind::Polygon, ShapeKind::Points})
        EXPECT_EQ(kindFromName(kindName(kind)), kind);
    EXPECT_FALSE(kindFromName("Line"));
    EXPECT_FALSE(kindFromName(""));
}

TEST(ResultsTable, TextAndCsv) {
    const std::vector<Shape> shapes{
        {ShapeKind::Line, {{0, 0}, {3, 4}}, "scale, \"big\"\nbar"},
        {ShapeKind::Circle, {{0, 0}, {1, 1}, {2, 2}}, "bad\tone"},
        {ShapeKind::Points, {{1, 1}, {2, 2}}, ""},
    };
    const std::string text = resultsAsText(shapes, 0.25);
    EXPECT_EQ(text,
              "#\tkind\tlabel\tlength\tangle\tarea\tperimeter\tdiameter\tcount\tunit\tnote\n"
              "1\tline\tscale, \"big\" bar\t1.25\t\t\t\t\t\tum\t\n"
              "2\tcircle\tbad one\t\t\t\t\t\t\tum\tthe three points lie on one line, so no "
              "circle passes through them\n"
              "3\tpoints\t\t\t\t\t\t\t2\tum\t\n");
    const std::string csv = resultsAsCsv(shapes, 0.0);
    EXPECT_EQ(csv,
              "#,kind,label,length,angle,area,perimeter,diameter,count,unit,note\r\n"
              "1,line,\"scale, \"\"big\"\"\nbar\",5,,,,,,px,\r\n"
              "2,circle,bad\tone,,,,,,,px,\"the three points lie on one line, so no circle "
              "passes through them\"\r\n"
              "3,points,,,,,,,2,px,\r\n");
    EXPECT_NE(resultsAsText({{ShapeKind::Line, {{0, 0}, {1, 2}}, ""}}, 0).find("2.23607"),
              std::string::npos);
}

}  // namespace
}  // namespace qelvo::measure
