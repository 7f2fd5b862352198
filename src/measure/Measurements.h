#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelvo::measure {

struct Point {
    double x = 0.0;
    double y = 0.0;
};

// What the operator drew, in picture pixels (not screen pixels).
enum class ShapeKind {
    Line,       // 2 points
    Polyline,   // 2 or more points, open
    Angle,      // 3 points: arm end, vertex, arm end
    Rectangle,  // 2 opposite corners
    Ellipse,    // 2 opposite corners of its bounding box
    Circle,     // 3 points on the edge
    Polygon,    // 3 or more points, closed
    Points,     // 1 or more counted points
};

struct Shape {
    ShapeKind kind = ShapeKind::Line;
    std::vector<Point> points;
    std::string label;  // free text, may be empty
};

// Results in micrometres (lengths) and square micrometres (areas) when calibrated, in
// pixels otherwise; fields that do not apply to the kind are absent.
struct ShapeResult {
    std::optional<double> length;     // line, polyline
    std::optional<double> angle;      // degrees, 0-180
    std::optional<double> area;       // rectangle, ellipse, circle, polygon
    std::optional<double> perimeter;  // rectangle, ellipse, circle, polygon
    std::optional<double> diameter;   // circle
    std::optional<int> count;         // points
    std::string problem;  // why the shape cannot be measured ("" when it can); no values then
};
ShapeResult measureShape(const Shape& shape, double micrometresPerPixel);

// How many points a kind needs at least (and at most: 0 = no limit).
int minimumPoints(ShapeKind kind);
int maximumPoints(ShapeKind kind);
const char* kindName(ShapeKind kind);  // "line", "polyline", ... (stable: stored in sidecars)
std::optional<ShapeKind> kindFromName(std::string_view name);

// The results table: a header and one row per shape ("#", kind, label, length, angle, area,
// perimeter, diameter, count, unit, note).  Unit "um" (areas in square micrometres) or "px";
// angles are in degrees either way; the note says why a shape has no values.  Numbers carry
// a decimal point whatever the locale.  Tab-separated with line feeds for the clipboard
// (tabs and line breaks inside labels become spaces); CSV with CR LF line ends and fields
// quoted as RFC 4180 says.
std::string resultsAsText(const std::vector<Shape>& shapes, double micrometresPerPixel);
std::string resultsAsCsv(const std::vector<Shape>& shapes, double micrometresPerPixel);

}  // namespace qelvo::measure
