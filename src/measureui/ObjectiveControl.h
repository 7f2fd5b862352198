#pragma once

#include <QSize>
#include <QTimer>
#include <QWidget>

#include <functional>

class QMenu;

namespace qelvo {

class ActiveObjectives;
class OverlayController;

// The compact objective control of the working windows, drawn in the skin's colours: the
// active objective and its pixel size (a click opens the menu: pick an objective,
// Calibrate…, Edit objectives…, the overlay switches, the scale bar in snapshots), and four
// switches for the overlays (crosshair, grid, circles, scale bar).  Wide enough, everything sits in
// one row; at least kTwoRowHeight high, the switches take a second row.
class ObjectiveControl : public QWidget {
    Q_OBJECT
public:
    ObjectiveControl(ActiveObjectives& objectives, OverlayController& overlays,
                     QWidget* parent = nullptr);

    // Which parts the control shows: the objective, the overlay switches, or both.
    enum class Parts { Both, Objective, Switches };
    void setParts(Parts parts);
    Parts parts() const { return parts_; }

    // The capture resolution the pixel size is shown for (the live frame's size).
    void setFrameSizeSource(std::function<QSize()> source);
    // Offers "Scale bar in snapshots" in the menu, checked as `isOn` says when the menu opens;
    // `change` gets the new state.  Not offered without them.
    void setSnapshotScaleBar(std::function<bool()> isOn, std::function<void(bool)> change);

    // The menu as the next click would open it (tests, screenshots).
    QMenu* buildMenu();
    // The text shown for the active objective: "10x", "0.345 µm/px" or "not calibrated".
    QString objectiveText() const;
    QString pixelSizeText() const;

    // Where the objective button and switch `k` (0-3) lie in the control (empty when that
    // part is not shown).
    QRect objectiveArea() const;
    QRect switchArea(int k) const;

    static constexpr int kTwoRowHeight = 56;

signals:
    void calibrateRequested();
    void editRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool twoRows() const { return parts_ == Parts::Both && height() >= kTwoRowHeight; }
    void paintSwitch(QPainter& painter, int k, const QRect& area);
    void updateTip();

    ActiveObjectives& objectives_;
    OverlayController& overlays_;
    std::function<QSize()> frameSize_;
    std::function<bool()> snapshotScaleBarOn_;
    std::function<void(bool)> changeSnapshotScaleBar_;
    QSize lastFrameSize_;
    QTimer frameWatch_;
    int hover_ = -2;
    Parts parts_ = Parts::Both;  // -1 the objective button, 0-3 a switch
};

}  // namespace qelvo
