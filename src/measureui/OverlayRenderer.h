#pragma once

#include "measureui/OverlayGeometry.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>

#include <array>

class QPainter;

namespace qelvo {

// The two colours of an overlay: its line and the thin outline around it.
struct OverlayInk {
    QColor line;
    QColor outline;
};
// Light ink with a dark outline, or dark ink with a light outline.
OverlayInk overlayInk(bool light);

// Mean brightness (0-255, Rec. 601 weights) of `shown` at the samples inside it; -1 when no
// sample lies inside.
double meanBrightness(const QImage& shown, const std::vector<QPointF>& samples);

// Draws the overlays of a geometry on screen.  Each overlay's ink follows the picture under
// it: light over a dark specimen, dark over a bright one, switching only when the brightness
// clearly crosses over (no flicker on a picture near the middle).  Labels are laid out once
// and kept.  GUI thread.
class OverlayRenderer {
public:
    OverlayRenderer();

    // `shown`: what the panel shows under the overlays (null or empty: light ink).
    void paint(QPainter& painter, const OverlayGeometry& geometry, const QImage* shown);

    enum Part { Crosshair, Grid, Rings, ScaleBar, kParts };
    // Whether that part was last drawn in light ink (tests).
    bool lightInk(Part part) const { return light_[part]; }

    // Below this brightness the ink turns light, above the second dark.
    static constexpr double kTurnLight = 110.0;
    static constexpr double kTurnDark = 150.0;

private:
    void judge(Part part, const QImage* shown, const std::vector<QPointF>& samples);
    const QImage& label(const QString& text, bool light);
    void drawLabel(QPainter& painter, const QString& text, bool light, QPointF anchor,
                   Qt::Alignment alignment);

    std::array<bool, kParts> light_{};
    QFont font_;
    QHash<QString, QImage> labels_;
};

}  // namespace qelvo
