#include "measureui/CalibrationCanvas.h"

#include "measureui/CalibrationFlow.h"
#include "skin/SkinPalette.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace qelvo {

CalibrationCanvas::CalibrationCanvas(CalibrationFlow& flow, QWidget* parent)
    : QWidget(parent), flow_(flow) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 240);
    connect(&flow_, &CalibrationFlow::changed, this, [this] {
        if (fitted_) fit();
        update();
    });
}

PictureMapping CalibrationCanvas::mapping() const {
    return PictureMapping::scaled(zoom_, origin_);
}

void CalibrationCanvas::fit() {
    const QSize picture = flow_.picture().size();
    fitted_ = true;
    if (picture.isEmpty() || width() <= 0 || height() <= 0) return;
    zoom_ = std::min(static_cast<double>(width()) / picture.width(),
                     static_cast<double>(height()) / picture.height());
    origin_ =
        QPointF((width() - picture.width() * zoom_) / 2, (height() - picture.height() * zoom_) / 2);
    update();
}

void CalibrationCanvas::zoomAt(QPointF anchor, double factor) {
    const QSize picture = flow_.picture().size();
    if (picture.isEmpty()) return;
    const double fitZoom = std::min(static_cast<double>(width()) / picture.width(),
                                    static_cast<double>(height()) / picture.height());
    const double zoom = std::clamp(zoom_ * factor, fitZoom, 32.0);
    const measure::Point under = mapping().toPicture(anchor);
    zoom_ = zoom;
    origin_ = anchor - QPointF(under.x * zoom_, under.y * zoom_);
    fitted_ = zoom_ <= fitZoom * 1.0001;
    if (fitted_)
        fit();
    else
        clampPan();
    update();
}

void CalibrationCanvas::clampPan() {
    const QSize picture = flow_.picture().size();
    const double w = picture.width() * zoom_, h = picture.height() * zoom_;
    // A picture larger than the canvas never leaves a gap at an edge; a smaller one stays
    // centred.
    origin_.setX(w <= width() ? (width() - w) / 2 : std::clamp(origin_.x(), width() - w, 0.0));
    origin_.setY(h <= height() ? (height() - h) / 2 : std::clamp(origin_.y(), height() - h, 0.0));
}

void CalibrationCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (fitted_)
        fit();
    else
        clampPan();
}

void CalibrationCanvas::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0.0) zoomAt(event->position(), std::pow(1.25, steps));
    event->accept();
}

void CalibrationCanvas::keyPressEvent(QKeyEvent* event) {
    const QPointF middle(width() / 2.0, height() / 2.0);
    if (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Equal)
        zoomAt(middle, 1.25);
    else if (event->key() == Qt::Key_Minus)
        zoomAt(middle, 0.8);
    else if (event->key() == Qt::Key_0)
        fit();
    else
        QWidget::keyPressEvent(event);
}

void CalibrationCanvas::mousePressEvent(QMouseEvent* event) {
    pointer_ = event->position();
    if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
        panFrom_ = event->position();
        return;
    }
    if (event->button() != Qt::LeftButton || flow_.mode() != CalibrationFlow::Mode::Manual ||
        flow_.picture().isNull())
        return;
    const PictureMapping m = mapping();
    const measure::Point p = m.toPicture(event->position());
    const QLineF line = flow_.line();
    // An end within a few canvas pixels is grabbed; elsewhere a new line begins.
    const auto near = [&](QPointF end) {
        return QLineF(m.toPanel({end.x(), end.y()}), event->position()).length() <= 8.0;
    };
    if (line.length() > 0 && near(line.p1())) {
        draggedEnd_ = 0;
    } else if (line.length() > 0 && near(line.p2())) {
        draggedEnd_ = 1;
    } else {
        draggedEnd_ = 1;
        flow_.setLine(QLineF(QPointF(p.x, p.y), QPointF(p.x, p.y)));
    }
    dragging_ = true;
    update();
}

void CalibrationCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (panFrom_) {
        origin_ += event->position() - *panFrom_;
        panFrom_ = event->position();
        clampPan();
        update();
        return;
    }
    pointer_ = event->position();
    if (!dragging_) return;
    const QSize picture = flow_.picture().size();
    measure::Point p = mapping().toPicture(event->position());
    p.x = std::clamp(p.x, 0.0, static_cast<double>(picture.width()));
    p.y = std::clamp(p.y, 0.0, static_cast<double>(picture.height()));
    QLineF line = flow_.line();
    if (draggedEnd_ == 0)
        line.setP1(QPointF(p.x, p.y));
    else
        line.setP2(QPointF(p.x, p.y));
    flow_.setLine(line);
}

void CalibrationCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
        panFrom_.reset();
        return;
    }
    if (event->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        update();
    }
}

void CalibrationCanvas::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(palette::kWell));
    const QImage& picture = flow_.picture();
    if (picture.isNull()) {
        p.setPen(QColor(palette::kTextDim));
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("No picture"));
        return;
    }
    const PictureMapping m = mapping();
    const QRectF target(origin_, QSizeF(picture.width() * zoom_, picture.height() * zoom_));
    // Enlarged pixels stay sharp: the operator places line ends on them.
    p.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ < 1.0);
    p.drawImage(target, picture);

    p.setRenderHint(QPainter::Antialiasing);
    const std::vector<QLineF> lines = flow_.rulingLines();
    if (flow_.mode() == CalibrationFlow::Mode::Automatic && !lines.empty()) {
        const measure::Ruling& r = *flow_.ruling();
        const QRectF box(m.toPanel({double(r.left), double(r.top)}),
                         m.toPanel({double(r.right), double(r.bottom)}));
        std::vector<QLineF> shown;
        shown.reserve(lines.size());
        for (const QLineF& l : lines)
            shown.emplace_back(m.toPanel({l.x1(), l.y1()}), m.toPanel({l.x2(), l.y2()}));
        p.setPen(QPen(QColor(0, 0, 0, 150), 3.0));
        for (const QLineF& l : shown) p.drawLine(l);
        p.setPen(QPen(QColor(palette::kAccent), 1.2));
        for (const QLineF& l : shown) p.drawLine(l);
        p.setPen(QPen(QColor(palette::kWarm), 1.5, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(box);
    }
    const QLineF line = flow_.line();
    if (flow_.mode() == CalibrationFlow::Mode::Manual && line.length() > 0) {
        const QLineF shown(m.toPanel({line.x1(), line.y1()}), m.toPanel({line.x2(), line.y2()}));
        p.setPen(QPen(QColor(0, 0, 0, 170), 4.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(shown);
        p.setPen(QPen(QColor(palette::kWarm), 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(shown);
        p.setBrush(QColor(palette::kWell));
        for (QPointF end : {shown.p1(), shown.p2()}) {
            p.setPen(QPen(QColor(palette::kWarm), 1.5));
            p.drawEllipse(end, 4.5, 4.5);
        }
    }
    if (dragging_) paintLoupe(p);
}

void CalibrationCanvas::paintLoupe(QPainter& p) {
    const QImage& picture = flow_.picture();
    const PictureMapping m = mapping();
    const int size = kLoupeSize;
    // In the corner away from the pointer.
    const bool left = pointer_.x() > width() / 2.0;
    const QRectF box(left ? 10 : width() - size - 10, 10, size, size);
    const measure::Point at = m.toPicture(pointer_);
    const double scale = zoom_ * kLoupeZoom;  // canvas pixels per picture pixel in the loupe
    const double half = size / 2.0 / scale;
    const QRectF source(at.x - half, at.y - half, 2 * half, 2 * half);
    p.save();
    QPainterPath round;
    round.addEllipse(box);
    p.setClipPath(round);
    p.fillRect(box, QColor(palette::kWell));
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(box, picture, source);
    // The line as it lies under the loupe.
    const QLineF line = flow_.line();
    const auto inLoupe = [&](QPointF q) {
        return box.center() + (q - QPointF(at.x, at.y)) * scale;
    };
    p.setPen(QPen(QColor(palette::kWarm), 1.5));
    p.drawLine(inLoupe(line.p1()), inLoupe(line.p2()));
    p.setPen(QPen(QColor(255, 255, 255, 200), 1.0));
    const QPointF c = box.center();
    p.drawLine(c - QPointF(10, 0), c + QPointF(10, 0));
    p.drawLine(c - QPointF(0, 10), c + QPointF(0, 10));
    p.restore();
    p.setPen(QPen(QColor(palette::kAccent), 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(box);
}

}  // namespace qelvo
