#pragma once

#include "measureui/PictureMapping.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <vector>

namespace qelvo {

// Which overlays are drawn over the live picture and the picture view.
struct OverlaySettings {
    bool crosshair = false;
    bool grid = false;
    bool reticle = false;
    bool scaleBar = false;

    bool any() const { return crosshair || grid || reticle || scaleBar; }
    friend bool operator==(const OverlaySettings&, const OverlaySettings&) = default;
};

// The smallest of 1, 2, 5, 10, 20, 50, ... (and 0.5, 0.2, 0.1, ...) that is at least
// `atLeast`; 0 for a value that is not a positive number.
double niceStep(double atLeast);

// Where the overlays lie on a panel that shows a picture `picture` pixels large through
// `mapping`, of which `visible` (panel coordinates) is seen.  Lengths are in micrometres
// when `micrometresPerPixel` > 0, in picture pixels otherwise; a stretched picture keeps
// its lengths true on both axes (its circles are drawn as ellipses).
struct OverlayGeometry {
    struct Line {
        QPointF a, b;
    };
    struct Ring {
        QPointF centre;
        double radiusX = 0.0, radiusY = 0.0;
    };

    bool calibrated = false;
    QPointF centre;  // the picture's centre on the panel

    // Two lines through the centre, each with a gap around it.
    std::vector<Line> crosshair;
    // Lines a whole step apart, one of them through the centre, over the visible part.
    std::vector<Line> grid;
    double gridStep = 0.0;  // micrometres or pixels
    QString gridLabel;      // "grid 50 µm", "grid 100 px"
    // Concentric circles a step apart around the centre.
    std::vector<Ring> rings;
    double ringStep = 0.0;
    QString ringLabel;  // "rings 20 µm"
    // The scale bar: its bar in the bottom right corner and the label's place above it.
    QRectF scaleBar;
    QString scaleLabel;  // "50 µm"

    // Where the colour of each overlay is judged: points of the panel under it.
    std::vector<QPointF> crosshairSamples() const;
    std::vector<QPointF> gridSamples() const;
    std::vector<QPointF> ringSamples() const;
    std::vector<QPointF> scaleBarSamples() const;

    // How many steps across the visible width the grid aims at, and how many rings.
    static constexpr double kGridCells = 8.0;
    static constexpr int kRings = 4;
    static constexpr double kCrosshairGap = 8.0;  // panel pixels each side of the centre
    static constexpr double kMargin = 16.0;       // scale bar from the visible edges
    static constexpr double kBarThickness = 5.0;

    static OverlayGeometry compute(QSizeF picture, const PictureMapping& mapping,
                                   const QRectF& visible, double micrometresPerPixel,
                                   const OverlaySettings& settings);
};

}  // namespace qelvo
