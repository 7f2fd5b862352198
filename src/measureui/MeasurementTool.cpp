#include "measureui/MeasurementTool.h"

#include <QLineF>

namespace qelvo {

using measure::Shape;
using measure::ShapeKind;

void MeasurementTool::setKind(std::optional<ShapeKind> kind) {
    finish();
    kind_ = kind;
}

void MeasurementTool::commit() {
    if (!pending_) return;
    Shape shape = std::move(*pending_);
    pending_.reset();
    session_.add(std::move(shape));  // refused when too short
}

void MeasurementTool::finish() {
    if (!pending_) return;
    // The floating point is not one the operator placed.
    if (pending_->kind != ShapeKind::Points) pending_->points.pop_back();
    commit();
}

void MeasurementTool::cancel() {
    pending_.reset();
    if (session_.moving()) {
        session_.endMove();
        session_.undo();
    }
}

void MeasurementTool::placePoint() {
    const int most = measure::maximumPoints(pending_->kind);
    const int placed = static_cast<int>(pending_->points.size());
    if (most > 0 && placed >= most) {
        commit();
        return;
    }
    pending_->points.push_back(pending_->points.back());
}

bool MeasurementTool::press(QPointF panel, const PictureMapping& mapping, bool rightButton) {
    const measure::Point at = mapping.toPicture(panel);
    if (rightButton) {
        if (!pending_) return false;
        finish();
        return true;
    }
    pressed_ = true;
    pressedAt_ = panel;
    if (pending_) {
        if (pending_->kind == ShapeKind::Points) {
            pending_->points.push_back(at);
        } else {
            pending_->points.back() = at;
            placePoint();
        }
        return true;
    }
    const double tolerance = kGrabDistance * mapping.picturePixelsPerPanelPixel();
    if (const auto handle = session_.handleAt(at, tolerance)) {
        session_.beginMove(*handle);
        return true;
    }
    if (!kind_) {
        session_.select(session_.shapeAt(at, tolerance));
        return true;
    }
    Shape shape;
    shape.kind = *kind_;
    shape.points.push_back(at);
    if (shape.kind != ShapeKind::Points) shape.points.push_back(at);  // the floating point
    pending_ = std::move(shape);
    return true;
}

bool MeasurementTool::move(QPointF panel, const PictureMapping& mapping) {
    const measure::Point at = mapping.toPicture(panel);
    if (session_.moving()) {
        session_.moveTo(at);
        return true;
    }
    if (pending_ && pending_->kind != ShapeKind::Points) {
        pending_->points.back() = at;
        return true;
    }
    return false;
}

bool MeasurementTool::release(QPointF panel, const PictureMapping& mapping) {
    const bool wasPressed = pressed_;
    pressed_ = false;
    if (session_.moving()) {
        session_.moveTo(mapping.toPicture(panel));
        session_.endMove();
        return true;
    }
    if (!pending_) return wasPressed && kind_.has_value();
    // A drag from the first point draws a two-point shape (or places a second point) at once.
    if (wasPressed && pending_->kind != ShapeKind::Points && pending_->points.size() == 2 &&
        QLineF(pressedAt_, panel).length() > kDragDistance) {
        pending_->points.back() = mapping.toPicture(panel);
        placePoint();
    }
    return true;
}

bool MeasurementTool::doubleClick(QPointF, const PictureMapping&) {
    // The first press of a double click placed its point already (the second press comes
    // as the double click itself): open-ended shapes end there.
    if (!pending_) return false;
    if (measure::maximumPoints(pending_->kind) == 0) finish();
    return true;
}

}  // namespace qelvo
