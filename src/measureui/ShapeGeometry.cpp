#include "measureui/ShapeGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace qelvo::shape_geometry {

using measure::Point;
using measure::ShapeKind;

std::optional<Circle> circleThrough(Point a, Point b, Point c) {
    const double d = 2.0 * (a.x * (b.y - c.y) + b.x * (c.y - a.y) + c.x * (a.y - b.y));
    const double scale = std::max({std::abs(a.x), std::abs(a.y), std::abs(b.x), std::abs(b.y),
                                   std::abs(c.x), std::abs(c.y), 1.0});
    if (std::abs(d) < 1e-9 * scale * scale) return std::nullopt;
    const double a2 = a.x * a.x + a.y * a.y, b2 = b.x * b.x + b.y * b.y, c2 = c.x * c.x + c.y * c.y;
    Circle circle;
    circle.centre.x = (a2 * (b.y - c.y) + b2 * (c.y - a.y) + c2 * (a.y - b.y)) / d;
    circle.centre.y = (a2 * (c.x - b.x) + b2 * (a.x - c.x) + c2 * (b.x - a.x)) / d;
    circle.radius = distance(circle.centre, a);
    return circle;
}

double distance(Point a, Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

double distanceToSegment(Point p, Point a, Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    if (length2 <= 0.0) return distance(p, a);
    const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0);
    return distance(p, {a.x + t * dx, a.y + t * dy});
}

std::vector<Point> outline(const measure::Shape& shape, int segments) {
    const auto& p = shape.points;
    std::vector<Point> out;
    auto round = [&](Point centre, double rx, double ry) {
        for (int k = 0; k <= segments; ++k) {
            const double t = 2.0 * std::numbers::pi * k / segments;
            out.push_back({centre.x + rx * std::cos(t), centre.y + ry * std::sin(t)});
        }
    };
    switch (shape.kind) {
        case ShapeKind::Line:
        case ShapeKind::Polyline:
        case ShapeKind::Angle:
            out = p;
            break;
        case ShapeKind::Polygon:
            out = p;
            if (!p.empty()) out.push_back(p.front());
            break;
        case ShapeKind::Rectangle:
            if (p.size() >= 2) out = {p[0], {p[1].x, p[0].y}, p[1], {p[0].x, p[1].y}, p[0]};
            break;
        case ShapeKind::Ellipse:
            if (p.size() >= 2)
                round({(p[0].x + p[1].x) / 2, (p[0].y + p[1].y) / 2}, std::abs(p[1].x - p[0].x) / 2,
                      std::abs(p[1].y - p[0].y) / 2);
            break;
        case ShapeKind::Circle:
            if (p.size() >= 3)
                if (const auto circle = circleThrough(p[0], p[1], p[2]))
                    round(circle->centre, circle->radius, circle->radius);
            break;
        case ShapeKind::Points:
            break;
    }
    return out;
}

}  // namespace qelvo::shape_geometry
