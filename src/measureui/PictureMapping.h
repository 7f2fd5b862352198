#pragma once

#include "measure/Measurements.h"

#include <QPointF>
#include <QRectF>

namespace qelvo {

// Where a picture lies on a panel: panel = offset + picture * scale, per axis (a picture
// stretched over a panel scales its axes differently).
struct PictureMapping {
    double scaleX = 1.0;
    double scaleY = 1.0;
    double offsetX = 0.0;
    double offsetY = 0.0;

    QPointF toPanel(measure::Point p) const {
        return {offsetX + p.x * scaleX, offsetY + p.y * scaleY};
    }
    measure::Point toPicture(QPointF p) const {
        return {(p.x() - offsetX) / scaleX, (p.y() - offsetY) / scaleY};
    }
    // How many picture pixels one panel pixel covers (the larger of the two axes).
    double picturePixelsPerPanelPixel() const;
    // The panel rectangle shown in picture pixels.
    QRectF pictureRect(const QRectF& panel) const;

    // The whole picture over the whole panel.
    static PictureMapping stretched(double pictureWidth, double pictureHeight, double panelWidth,
                                    double panelHeight);
    // The picture at `scale`, its top left at `origin` on the panel.
    static PictureMapping scaled(double scale, QPointF origin);
};

}  // namespace qelvo
