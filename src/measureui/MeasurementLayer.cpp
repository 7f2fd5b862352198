#include "measureui/MeasurementLayer.h"

#include "measureui/MeasurementDocument.h"
#include "measureui/MeasurementPainter.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

namespace qelvo {

MeasurementLayer::MeasurementLayer(MeasurementDocument& document, MeasurementTool& tool,
                                   MappingSource mapping, QWidget* panel)
    : MeasurementLayer(
          [&document, &tool] {
              Content c;
              c.shapes = &document.session().shapes();
              c.micrometresPerPixel = document.micrometresPerPixel();
              c.selected = document.session().selected();
              c.pending = tool.pending() ? &*tool.pending() : nullptr;
              return c;
          },
          std::move(mapping), panel) {
    connect(&document, &MeasurementDocument::changed, this, qOverload<>(&QWidget::update));
}

MeasurementLayer::MeasurementLayer(ContentSource content, MappingSource mapping, QWidget* panel)
    : QWidget(panel), content_(std::move(content)), mapping_(std::move(mapping)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(panel->rect());
    panel->installEventFilter(this);
    show();
}

bool MeasurementLayer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void MeasurementLayer::paintEvent(QPaintEvent* event) {
    const Content content = content_();
    if (!content.shapes || (content.shapes->empty() && !content.pending)) return;
    const std::optional<PictureMapping> mapping = mapping_();
    if (!mapping) return;
    QPainter painter(this);
    painter.setClipRect(event->rect());
    paintMeasurements(painter, *content.shapes, *mapping, content.micrometresPerPixel,
                      content.selected, content.pending, QRectF(rect()));
}

}  // namespace qelvo
