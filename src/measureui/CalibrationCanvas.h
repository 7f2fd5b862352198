#pragma once

#include "measureui/PictureMapping.h"

#include <QWidget>

#include <optional>

namespace qelvo {

class CalibrationFlow;

// The calibration dialog's picture: fitted at first, the wheel (or + and -) zooms about the
// pointer, the right or middle button pans.  Draws the ruling the flow found over the
// picture; in manual mode a left drag draws the line (or moves the end grabbed), with a
// loupe that enlarges what lies under the pointer meanwhile.
class CalibrationCanvas : public QWidget {
    Q_OBJECT
public:
    explicit CalibrationCanvas(CalibrationFlow& flow, QWidget* parent = nullptr);

    // Where the picture lies on the canvas.
    PictureMapping mapping() const;
    double zoom() const { return zoom_; }
    // Zooms by `factor` keeping the picture point under `anchor` (canvas) in place.
    void zoomAt(QPointF anchor, double factor);
    void fit();
    bool loupeShown() const { return dragging_; }

    static constexpr double kLoupeZoom = 4.0;
    static constexpr int kLoupeSize = 140;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void clampPan();
    void paintLoupe(QPainter& painter);

    CalibrationFlow& flow_;
    bool fitted_ = true;
    double zoom_ = 1.0;  // canvas pixels per picture pixel
    QPointF origin_;     // where the picture's top left lies on the canvas
    bool dragging_ = false;
    int draggedEnd_ = 1;  // 0 the line's start, 1 its end
    std::optional<QPointF> panFrom_;
    QPointF pointer_;
};

}  // namespace qelvo
