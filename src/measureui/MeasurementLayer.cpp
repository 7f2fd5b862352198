#include "measureui/MeasurementLayer.h"

#include "measureui/MeasurementDocument.h"
#include "measureui/MeasurementPainter.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

namespace qelvo {

MeasurementLayer::MeasurementLayer(MeasurementDocument& document, MeasurementTool& tool,
                                   MappingSource mapping, QWidget* panel)
    : QWidget(panel), document_(document), tool_(tool), mapping_(std::move(mapping)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(panel->rect());
    panel->installEventFilter(this);
    connect(&document_, &MeasurementDocument::changed, this, qOverload<>(&QWidget::update));
    show();
}

bool MeasurementLayer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void MeasurementLayer::paintEvent(QPaintEvent* event) {
    const std::optional<PictureMapping> mapping = mapping_();
    if (!mapping) return;
    const auto& session = document_.session();
    if (session.empty() && !tool_.pending()) return;
    QPainter painter(this);
    painter.setClipRect(event->rect());
    const measure::Shape* pending = tool_.pending() ? &*tool_.pending() : nullptr;
    paintMeasurements(painter, session.shapes(), *mapping, document_.micrometresPerPixel(),
                      session.selected(), pending, QRectF(rect()));
}

}  // namespace qelvo
