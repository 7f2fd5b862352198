#pragma once

#include "measure/Measurements.h"

#include <optional>
#include <vector>

namespace qelvo::shape_geometry {

struct Circle {
    measure::Point centre;
    double radius = 0.0;
};

// The circle through three points; nothing when they lie on one line.
std::optional<Circle> circleThrough(measure::Point a, measure::Point b, measure::Point c);

double distance(measure::Point a, measure::Point b);
double distanceToSegment(measure::Point p, measure::Point a, measure::Point b);

// The outline of a shape as a polyline in picture pixels (closed shapes repeat their first
// point at the end; ellipses and circles as `segments` straight pieces).  Empty for point
// counts, and for a circle whose points lie on one line.
std::vector<measure::Point> outline(const measure::Shape& shape, int segments = 72);

}  // namespace qelvo::shape_geometry
