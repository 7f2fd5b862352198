#pragma once

#include "measureui/OverlayRenderer.h"
#include "measureui/PictureMapping.h"

#include <QWidget>

#include <functional>
#include <optional>

namespace qelvo {

class OverlayController;

// A see-through layer over a still picture's panel that draws the overlays switched on
// (crosshair, grid, circles, scale bar) where the panel shows the picture, in the picture's
// own calibration.  It takes no pointer input.
class PictureOverlayLayer : public QWidget {
    Q_OBJECT
public:
    struct Sources {
        std::function<std::optional<PictureMapping>()> mapping;  // nothing: no picture shown
        std::function<QSize()> pictureSize;                      // picture pixels
        std::function<double()> micrometresPerPixel;             // 0 uncalibrated
        std::function<QImage()> shown;                           // what the panel shows
    };
    PictureOverlayLayer(OverlayController& overlays, Sources sources, QWidget* panel);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    OverlayController& overlays_;
    Sources sources_;
    OverlayRenderer renderer_;
};

}  // namespace qelvo
