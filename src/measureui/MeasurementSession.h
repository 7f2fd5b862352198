#pragma once

#include "measure/Measurements.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace qelvo {

// The measurements drawn on one picture: the shapes in picture pixels, which one is
// selected, and an undo/redo history of every change.  No Qt: the window, the painter and
// the sidecar keeper all read it, and its tests run without a display.
class MeasurementSession {
public:
    struct Handle {
        int shape = -1;
        int point = -1;
    };

    // Replaces every shape (a picture was opened); the history starts afresh.
    void reset(std::vector<measure::Shape> shapes);
    const std::vector<measure::Shape>& shapes() const { return shapes_; }
    bool empty() const { return shapes_.empty(); }

    int selected() const { return selected_; }
    void select(int index);

    // Each of these is one step of the history.  Shapes with too few points are refused.
    bool add(measure::Shape shape);
    bool remove(int index);
    bool removeSelected() { return remove(selected_); }
    void clear();

    // Moving a point by its handle: begin, any number of moves, end; the whole drag is one
    // step of the history (nothing when the point did not move).
    bool beginMove(Handle handle);
    void moveTo(measure::Point to);
    void endMove();
    bool moving() const { return moving_.shape >= 0; }

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    bool undo();
    bool redo();

    // The handle within `tolerance` picture pixels of `at`, the selected shape's first.
    std::optional<Handle> handleAt(measure::Point at, double tolerance) const;
    // The top-most shape whose outline (or point) lies within `tolerance` of `at`; -1 none.
    int shapeAt(measure::Point at, double tolerance) const;

    // Grows by one with every change of the shapes (not of the selection).
    std::uint64_t revision() const { return revision_; }
    // Called after every change of the shapes or the selection.
    std::function<void()> onChanged;

private:
    void remember();
    void changed(bool shapes);

    std::vector<measure::Shape> shapes_;
    int selected_ = -1;
    std::vector<std::vector<measure::Shape>> undo_;
    std::vector<std::vector<measure::Shape>> redo_;
    Handle moving_;
    std::vector<measure::Shape> beforeMove_;
    std::uint64_t revision_ = 0;
};

// Whether `shape` has a number of points its kind allows.
bool shapeComplete(const measure::Shape& shape);

}  // namespace qelvo
