#pragma once

#include "measure/Measurements.h"
#include "measureui/MeasurementPanel.h"
#include "measureui/MeasurementTool.h"
#include "measureui/PictureMapping.h"
#include "multiview/PanePicture.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace qelvo {

class MeasurementDocument;
class MeasurementLayer;
class MeasurementPanel;

// Measuring on the frozen panes of the multi-view window.  Each frozen pane keeps its own
// measurements, drawn over it, until another picture is frozen into it; the measuring
// controls act on the pane measured last.  A press on a frozen pane measures when a drawing
// tool is chosen or the press takes a point or shape; otherwise the pane gets it as before
// (a click shows the picture full size).  Nothing is kept on disk: the panes have no files.
class PaneMeasuring : public QObject {
    Q_OBJECT
public:
    using PictureOf = std::function<const PanePicture*(int pane)>;

    // `picture` gives a pane's frozen picture (null while it shows live frames or is hidden);
    // `allowed` says whether measuring takes pointer input now (not in pen mode).
    PaneMeasuring(QWidget* window, std::array<QWidget*, 4> panes, PictureOf picture,
                  std::function<bool()> allowed);
    ~PaneMeasuring() override;

    MeasurementPanel& panel() { return *panel_; }
    MeasurementDocument& document() { return *document_; }
    MeasurementTool& tool() { return *tool_; }
    int activePane() const { return active_; }
    const std::vector<measure::Shape>& shapesOf(int pane) const;

    // The pixel size of the objective in use for a frame of that size, asked when it is
    // frozen (0: measured in pixels).  The window sets it from its active objective.
    std::function<double(int width, int height)> micrometresPerPixel;

    // A pane was repainted: measurements of a picture it no longer shows are dropped.
    void paneRefreshed(int pane);

    // Keys for the measurements: Return ends the shape under way, Escape drops it, Delete
    // removes the selected shape, Ctrl+Z and Ctrl+Y undo and redo.  True when taken.
    bool keyPressed(int key, Qt::KeyboardModifiers modifiers);

    // Where pane `pane`'s picture lies on it; nothing without a frozen picture.
    std::optional<PictureMapping> mapping(int pane) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct PaneState {
        std::weak_ptr<const FrameRecord> frame;
        std::vector<measure::Shape> shapes;
        double micrometresPerPixel = 0.0;
    };
    void activate(int pane);
    void keep();
    void updateLayer(int pane);
    bool takesPress(int pane, QPointF at) const;

    std::array<QWidget*, 4> panes_;
    PictureOf picture_;
    std::function<bool()> allowed_;
    std::array<PaneState, 4> states_;
    std::array<QPointer<MeasurementLayer>, 4> layers_{};
    MeasurementDocument* document_ = nullptr;
    std::unique_ptr<MeasurementTool> tool_;
    QPointer<MeasurementPanel> panel_;
    int active_ = -1;
    bool pressTaken_ = false;
};

}  // namespace qelvo
