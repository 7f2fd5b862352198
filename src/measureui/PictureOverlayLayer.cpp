#include "measureui/PictureOverlayLayer.h"

#include "measureui/OverlayController.h"

#include <QEvent>
#include <QPainter>

namespace qelvo {

PictureOverlayLayer::PictureOverlayLayer(OverlayController& overlays, Sources sources,
                                         QWidget* panel)
    : QWidget(panel), overlays_(overlays), sources_(std::move(sources)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(panel->rect());
    panel->installEventFilter(this);
    connect(&overlays_, &OverlayController::settingsChanged, this, [this] { update(); });
    show();
}

bool PictureOverlayLayer::eventFilter(QObject* watched, QEvent* event) {
    // The layer follows the panel's size (it is repainted with the panel beneath it).
    if (event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void PictureOverlayLayer::paintEvent(QPaintEvent*) {
    const OverlaySettings& settings = overlays_.settings();
    if (!settings.any() || !sources_.mapping) return;
    const std::optional<PictureMapping> mapping = sources_.mapping();
    const QSize picture = sources_.pictureSize ? sources_.pictureSize() : QSize();
    if (!mapping || picture.isEmpty()) return;
    const double size = sources_.micrometresPerPixel ? sources_.micrometresPerPixel() : 0.0;
    const OverlayGeometry geometry =
        OverlayGeometry::compute(QSizeF(picture), *mapping, QRectF(rect()), size, settings);
    const QImage shown = sources_.shown ? sources_.shown() : QImage();
    QPainter painter(this);
    renderer_.paint(painter, geometry, shown.isNull() ? nullptr : &shown);
}

}  // namespace qelvo
