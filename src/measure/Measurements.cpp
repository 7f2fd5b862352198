#include "measure/Measurements.h"

#include <algorithm>
#include <cmath>

#include "measure/TextFileInternal.h"

namespace qelvo::measure {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct KindInfo {
    ShapeKind kind;
    const char* name;
    const char* article;  // for "a line needs ..."
    int minimum;
    int maximum;
};
constexpr KindInfo kKinds[] = {
    {ShapeKind::Line, "line", "a line", 2, 2},
    {ShapeKind::Polyline, "polyline", "a polyline", 2, 0},
    {ShapeKind::Angle, "angle", "an angle", 3, 3},
    {ShapeKind::Rectangle, "rectangle", "a rectangle", 2, 2},
    {ShapeKind::Ellipse, "ellipse", "an ellipse", 2, 2},
    {ShapeKind::Circle, "circle", "a circle", 3, 3},
    {ShapeKind::Polygon, "polygon", "a polygon", 3, 0},
    {ShapeKind::Points, "points", "a point count", 1, 0},
};

const KindInfo& info(ShapeKind kind) {
    for (const KindInfo& k : kKinds)
        if (k.kind == kind) return k;
    return kKinds[0];
}

double distance(const Point& a, const Point& b) {
    return std::hypot(b.x - a.x, b.y - a.y);
}

std::string pointsNeeded(const KindInfo& k) {
    if (k.minimum == k.maximum)
        return std::string(k.article) + " needs exactly " + std::to_string(k.minimum) +
               (k.minimum == 1 ? " point" : " points");
    return std::string(k.article) + " needs at least " + std::to_string(k.minimum) +
           (k.minimum == 1 ? " point" : " points");
}

}  // namespace

int minimumPoints(ShapeKind kind) {
    return info(kind).minimum;
}
int maximumPoints(ShapeKind kind) {
    return info(kind).maximum;
}
const char* kindName(ShapeKind kind) {
    return info(kind).name;
}
std::optional<ShapeKind> kindFromName(std::string_view name) {
    for (const KindInfo& k : kKinds)
        if (name == k.name) return k.kind;
    return std::nullopt;
}

ShapeResult measureShape(const Shape& shape, double micrometresPerPixel) {
    ShapeResult r;
    const KindInfo& k = info(shape.kind);
    const std::vector<Point>& p = shape.points;
    const int n = static_cast<int>(p.size());
    if (n < k.minimum || (k.maximum > 0 && n > k.maximum)) {
        r.problem = pointsNeeded(k);
        return r;
    }
    for (const Point& q : p)
        if (!std::isfinite(q.x) || !std::isfinite(q.y)) {
            r.problem = "a point lies outside any picture";
            return r;
        }
    const double s =
        micrometresPerPixel > 0.0 && std::isfinite(micrometresPerPixel) ? micrometresPerPixel : 1.0;
    switch (shape.kind) {
        case ShapeKind::Line:
        case ShapeKind::Polyline: {
            double length = 0.0;
            for (int i = 1; i < n; ++i) length += distance(p[i - 1], p[i]);
            r.length = length * s;
            break;
        }
        case ShapeKind::Angle: {
            const double ax = p[0].x - p[1].x, ay = p[0].y - p[1].y;
            const double bx = p[2].x - p[1].x, by = p[2].y - p[1].y;
            if (std::hypot(ax, ay) == 0.0 || std::hypot(bx, by) == 0.0) {
                r.problem = "an arm of the angle has no length";
                return r;
            }
            // atan2 of cross and dot product: accurate at 0 and 180 degrees too.
            r.angle = std::atan2(std::fabs(ax * by - ay * bx), ax * bx + ay * by) * 180.0 / kPi;
            break;
        }
        case ShapeKind::Rectangle: {
            const double w = std::fabs(p[1].x - p[0].x) * s, h = std::fabs(p[1].y - p[0].y) * s;
            r.area = w * h;
            r.perimeter = 2.0 * (w + h);
            break;
        }
        case ShapeKind::Ellipse: {
            const double a = std::fabs(p[1].x - p[0].x) * s / 2.0;
            const double b = std::fabs(p[1].y - p[0].y) * s / 2.0;
            r.area = kPi * a * b;
            // Ramanujan's second approximation: exact for a circle, within 0.04% for a flat one.
            const double h = a + b > 0.0 ? (a - b) * (a - b) / ((a + b) * (a + b)) : 0.0;
            r.perimeter = kPi * (a + b) * (1.0 + 3.0 * h / (10.0 + std::sqrt(4.0 - 3.0 * h)));
            break;
        }
        case ShapeKind::Circle: {
            // The circle through three points of its edge (circumcircle), relative to the first
            // point for precision.
            const double bx = p[1].x - p[0].x, by = p[1].y - p[0].y;
            const double cx = p[2].x - p[0].x, cy = p[2].y - p[0].y;
            const double d = 2.0 * (bx * cy - by * cx);
            const double b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
            const double scale = std::max(b2, c2);
            if (scale == 0.0 || std::fabs(d) <= 1e-9 * scale) {
                r.problem = "the three points lie on one line, so no circle passes through them";
                return r;
            }
            const double ux = (cy * b2 - by * c2) / d, uy = (bx * c2 - cx * b2) / d;
            const double radius = std::hypot(ux, uy) * s;
            r.diameter = 2.0 * radius;
            r.perimeter = 2.0 * kPi * radius;
            r.area = kPi * radius * radius;
            break;
        }
        case ShapeKind::Polygon: {
            double twiceArea = 0.0, perimeter = 0.0;
            for (int i = 0; i < n; ++i) {
                const Point& a = p[i];
                const Point& b = p[(i + 1) % n];
                // Relative to the first point, so large coordinates lose no precision.
                twiceArea += (a.x - p[0].x) * (b.y - p[0].y) - (b.x - p[0].x) * (a.y - p[0].y);
                perimeter += distance(a, b);
            }
            r.area = std::fabs(twiceArea) / 2.0 * s * s;
            r.perimeter = perimeter * s;
            break;
        }
        case ShapeKind::Points:
            r.count = n;
            break;
    }
    return r;
}

namespace {

const char* const kColumns[] = {"#",         "kind",     "label", "length", "angle", "area",
                                "perimeter", "diameter", "count", "unit",   "note"};

std::string value(const std::optional<double>& v) {
    return v ? text::formatFixed(*v, 6) : std::string();
}

std::vector<std::vector<std::string>> table(const std::vector<Shape>& shapes,
                                            double micrometresPerPixel) {
    std::vector<std::vector<std::string>> rows;
    rows.emplace_back(std::begin(kColumns), std::end(kColumns));
    const bool calibrated = micrometresPerPixel > 0.0 && std::isfinite(micrometresPerPixel);
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const ShapeResult r = measureShape(shapes[i], micrometresPerPixel);
        rows.push_back({std::to_string(i + 1), kindName(shapes[i].kind), shapes[i].label,
                        value(r.length), value(r.angle), value(r.area), value(r.perimeter),
                        value(r.diameter), r.count ? std::to_string(*r.count) : std::string(),
                        calibrated ? "um" : "px", r.problem});
    }
    return rows;
}

}  // namespace

std::string resultsAsText(const std::vector<Shape>& shapes, double micrometresPerPixel) {
    std::string out;
    for (const auto& row : table(shapes, micrometresPerPixel)) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c > 0) out += '\t';
            for (char ch : row[c]) out += (ch == '\t' || ch == '\n' || ch == '\r') ? ' ' : ch;
        }
        out += '\n';
    }
    return out;
}

std::string resultsAsCsv(const std::vector<Shape>& shapes, double micrometresPerPixel) {
    std::string out;
    for (const auto& row : table(shapes, micrometresPerPixel)) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c > 0) out += ',';
            const std::string& field = row[c];
            if (field.find_first_of(",\"\r\n") == std::string::npos) {
                out += field;
                continue;
            }
            out += '"';
            for (char ch : field) {
                if (ch == '"') out += '"';
                out += ch;
            }
            out += '"';
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace qelvo::measure
