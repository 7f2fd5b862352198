#include "measureui/PictureMapping.h"

#include <algorithm>
#include <cmath>

namespace qelvo {

double PictureMapping::picturePixelsPerPanelPixel() const {
    return 1.0 / std::max(1e-9, std::min(std::abs(scaleX), std::abs(scaleY)));
}

QRectF PictureMapping::pictureRect(const QRectF& panel) const {
    const measure::Point a = toPicture(panel.topLeft());
    const measure::Point b = toPicture(panel.bottomRight());
    return QRectF(QPointF(std::min(a.x, b.x), std::min(a.y, b.y)),
                  QPointF(std::max(a.x, b.x), std::max(a.y, b.y)));
}

PictureMapping PictureMapping::stretched(double pictureWidth, double pictureHeight,
                                         double panelWidth, double panelHeight) {
    PictureMapping m;
    if (pictureWidth > 0 && pictureHeight > 0) {
        m.scaleX = panelWidth / pictureWidth;
        m.scaleY = panelHeight / pictureHeight;
    }
    return m;
}

PictureMapping PictureMapping::scaled(double scale, QPointF origin) {
    PictureMapping m;
    m.scaleX = m.scaleY = scale;
    m.offsetX = origin.x();
    m.offsetY = origin.y();
    return m;
}

}  // namespace qelvo
