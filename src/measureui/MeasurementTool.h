#pragma once

#include "measureui/MeasurementSession.h"
#include "measureui/PictureMapping.h"

#include <QPointF>

#include <optional>

namespace qelvo {

// Turns pointer input over a picture panel (panel coordinates, whatever the zoom and pan)
// into shapes of the session.  Each click places a point; a shape with a fixed number of
// points ends with its last one (two-point shapes also by dragging), polylines, polygons
// and point counts end with a double click, a right click or finish().  With no shape under
// way a press on a handle drags that point, a press on a shape selects it.
class MeasurementTool {
public:
    explicit MeasurementTool(MeasurementSession& session) : session_(session) {}

    // The kind the next clicks draw; nothing = select and move only.  Drops a shape under way
    // (a point count or polyline long enough is kept).
    void setKind(std::optional<measure::ShapeKind> kind);
    std::optional<measure::ShapeKind> kind() const { return kind_; }

    // Return true when the event was taken.
    bool press(QPointF panel, const PictureMapping& mapping, bool rightButton = false);
    bool move(QPointF panel, const PictureMapping& mapping);
    bool release(QPointF panel, const PictureMapping& mapping);
    bool doubleClick(QPointF panel, const PictureMapping& mapping);

    // Ends the shape under way (keeps it when it has enough points); cancel() drops it.
    void finish();
    void cancel();

    // The shape under way, with the point following the pointer last; for drawing.
    const std::optional<measure::Shape>& pending() const { return pending_; }
    bool busy() const { return pending_.has_value() || session_.moving(); }

    // How near (panel pixels) a press must be to a handle or outline to take it.
    static constexpr double kGrabDistance = 7.0;
    // A press and release further apart than this (panel pixels) are a drag.
    static constexpr double kDragDistance = 4.0;

private:
    // Places the floating point where it is and starts a new one, or ends a full shape.
    void placePoint();
    void commit();

    MeasurementSession& session_;
    std::optional<measure::ShapeKind> kind_;
    std::optional<measure::Shape> pending_;
    QPointF pressedAt_;
    bool pressed_ = false;
};

}  // namespace qelvo
