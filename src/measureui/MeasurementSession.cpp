#include "measureui/MeasurementSession.h"

#include "measureui/ShapeGeometry.h"

#include <utility>

namespace qelvo {

using measure::Point;
using measure::Shape;

bool shapeComplete(const Shape& shape) {
    const int n = static_cast<int>(shape.points.size());
    const int most = measure::maximumPoints(shape.kind);
    return n >= measure::minimumPoints(shape.kind) && (most == 0 || n <= most);
}

void MeasurementSession::reset(std::vector<Shape> shapes) {
    shapes_ = std::move(shapes);
    selected_ = -1;
    undo_.clear();
    redo_.clear();
    moving_ = {};
    changed(true);
}

void MeasurementSession::select(int index) {
    if (index < -1 || index >= static_cast<int>(shapes_.size())) index = -1;
    if (index == selected_) return;
    selected_ = index;
    changed(false);
}

void MeasurementSession::remember() {
    undo_.push_back(shapes_);
    redo_.clear();
}

void MeasurementSession::changed(bool shapes) {
    if (shapes) ++revision_;
    if (selected_ >= static_cast<int>(shapes_.size())) selected_ = -1;
    if (onChanged) onChanged();
}

bool MeasurementSession::add(Shape shape) {
    if (!shapeComplete(shape)) return false;
    remember();
    shapes_.push_back(std::move(shape));
    selected_ = static_cast<int>(shapes_.size()) - 1;
    changed(true);
    return true;
}

bool MeasurementSession::remove(int index) {
    if (index < 0 || index >= static_cast<int>(shapes_.size())) return false;
    remember();
    shapes_.erase(shapes_.begin() + index);
    selected_ = -1;
    changed(true);
    return true;
}

void MeasurementSession::clear() {
    if (shapes_.empty()) return;
    remember();
    shapes_.clear();
    selected_ = -1;
    changed(true);
}

bool MeasurementSession::beginMove(Handle handle) {
    if (handle.shape < 0 || handle.shape >= static_cast<int>(shapes_.size())) return false;
    if (handle.point < 0 || handle.point >= static_cast<int>(shapes_[handle.shape].points.size()))
        return false;
    beforeMove_ = shapes_;
    moving_ = handle;
    if (selected_ != handle.shape) {
        selected_ = handle.shape;
        changed(false);
    }
    return true;
}

void MeasurementSession::moveTo(Point to) {
    if (!moving()) return;
    Point& point = shapes_[moving_.shape].points[moving_.point];
    if (point.x == to.x && point.y == to.y) return;
    point = to;
    changed(true);
}

void MeasurementSession::endMove() {
    if (!moving()) return;
    const Point before = beforeMove_[moving_.shape].points[moving_.point];
    const Point after = shapes_[moving_.shape].points[moving_.point];
    if (before.x != after.x || before.y != after.y) {
        undo_.push_back(std::move(beforeMove_));
        redo_.clear();
    }
    beforeMove_.clear();
    moving_ = {};
}

bool MeasurementSession::undo() {
    if (moving()) endMove();
    if (undo_.empty()) return false;
    redo_.push_back(std::move(shapes_));
    shapes_ = std::move(undo_.back());
    undo_.pop_back();
    selected_ = -1;
    changed(true);
    return true;
}

bool MeasurementSession::redo() {
    if (moving()) endMove();
    if (redo_.empty()) return false;
    undo_.push_back(std::move(shapes_));
    shapes_ = std::move(redo_.back());
    redo_.pop_back();
    selected_ = -1;
    changed(true);
    return true;
}

std::optional<MeasurementSession::Handle> MeasurementSession::handleAt(Point at,
                                                                       double tolerance) const {
    std::optional<Handle> best;
    double bestDistance = tolerance;
    auto look = [&](int s) {
        const auto& points = shapes_[s].points;
        for (int k = 0; k < static_cast<int>(points.size()); ++k) {
            const double d = shape_geometry::distance(points[k], at);
            if (d <= bestDistance) {
                bestDistance = d;
                best = Handle{s, k};
            }
        }
    };
    if (selected_ >= 0) look(selected_);
    if (best) return best;
    for (int s = static_cast<int>(shapes_.size()) - 1; s >= 0; --s) look(s);
    return best;
}

int MeasurementSession::shapeAt(Point at, double tolerance) const {
    for (int s = static_cast<int>(shapes_.size()) - 1; s >= 0; --s) {
        const Shape& shape = shapes_[s];
        for (const Point& p : shape.points)
            if (shape_geometry::distance(p, at) <= tolerance) return s;
        const std::vector<Point> line = shape_geometry::outline(shape);
        for (std::size_t k = 1; k < line.size(); ++k)
            if (shape_geometry::distanceToSegment(at, line[k - 1], line[k]) <= tolerance) return s;
    }
    return -1;
}

}  // namespace qelvo
