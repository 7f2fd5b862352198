#include "measureui/MeasurementPainter.h"

#include "measure/ScaleBar.h"
#include "measureui/ShapeGeometry.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QStaticText>

#include <unordered_map>

#include <algorithm>
#include <cmath>

namespace qelvo {

using measure::Point;
using measure::Shape;
using measure::ShapeKind;

namespace {

QString number(double value) {
    // Four significant digits at most, no exponent for the sizes a microscope shows.
    const double magnitude = std::abs(value);
    const int decimals = magnitude >= 1000 ? 0 : magnitude >= 100 ? 1 : magnitude >= 10 ? 2 : 3;
    return QString::number(value, 'f', decimals);
}

QFont tagFont(double pixels) {
    QFont font(QStringLiteral("Liberation Sans Narrow"));
    font.setPixelSize(std::max(6, static_cast<int>(std::lround(pixels))));
    font.setBold(true);
    return font;
}

// Where the tag goes: beside the last point for open shapes, the top right of the outline
// for closed ones, the first point of a point count.
QPointF tagAnchor(const Shape& shape, const PictureMapping& mapping) {
    if (shape.points.empty()) return {};
    switch (shape.kind) {
        case ShapeKind::Angle:
            return mapping.toPanel(shape.points[1]);
        case ShapeKind::Line:
        case ShapeKind::Polyline:
            return mapping.toPanel(shape.points.back());
        case ShapeKind::Points:
            return mapping.toPanel(shape.points.front());
        default: {
            const std::vector<Point> line = shape_geometry::outline(shape, 24);
            if (line.empty()) return mapping.toPanel(shape.points.front());
            QPointF best = mapping.toPanel(line.front());
            for (const Point& p : line) {
                const QPointF q = mapping.toPanel(p);
                if (q.x() - q.y() > best.x() - best.y()) best = q;
            }
            return best;
        }
    }
}

QRectF panelBounds(const Shape& shape, const PictureMapping& mapping) {
    double left = 1e300, top = 1e300, right = -1e300, bottom = -1e300;
    auto take = [&](Point p) {
        const QPointF q = mapping.toPanel(p);
        left = std::min(left, q.x());
        right = std::max(right, q.x());
        top = std::min(top, q.y());
        bottom = std::max(bottom, q.y());
    };
    if (shape.kind == ShapeKind::Circle && shape.points.size() >= 3) {
        if (const auto c =
                shape_geometry::circleThrough(shape.points[0], shape.points[1], shape.points[2])) {
            take({c->centre.x - c->radius, c->centre.y - c->radius});
            take({c->centre.x + c->radius, c->centre.y + c->radius});
        }
    }
    for (const Point& p : shape.points) take(p);
    if (left > right) return {};
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

void drawOutline(QPainter& painter, const Shape& shape, const PictureMapping& mapping,
                 const QPen& pen) {
    painter.setPen(pen);
    const auto& p = shape.points;
    auto panel = [&](Point q) { return mapping.toPanel(q); };
    switch (shape.kind) {
        case ShapeKind::Line:
        case ShapeKind::Polyline:
        case ShapeKind::Angle: {
            QPolygonF line;
            for (const Point& q : p) line << panel(q);
            painter.drawPolyline(line);
            break;
        }
        case ShapeKind::Polygon: {
            QPolygonF line;
            for (const Point& q : p) line << panel(q);
            painter.drawPolygon(line);
            break;
        }
        case ShapeKind::Rectangle:
            if (p.size() >= 2) painter.drawRect(QRectF(panel(p[0]), panel(p[1])).normalized());
            break;
        case ShapeKind::Ellipse:
            if (p.size() >= 2) painter.drawEllipse(QRectF(panel(p[0]), panel(p[1])).normalized());
            break;
        case ShapeKind::Circle:
            if (p.size() >= 3) {
                if (const auto c = shape_geometry::circleThrough(p[0], p[1], p[2])) {
                    painter.drawEllipse(
                        QRectF(panel({c->centre.x - c->radius, c->centre.y - c->radius}),
                               panel({c->centre.x + c->radius, c->centre.y + c->radius}))
                            .normalized());
                    break;
                }
            }
            // Points on one line (or still being placed): joined as they are.
            {
                QPolygonF line;
                for (const Point& q : p) line << panel(q);
                painter.drawPolyline(line);
            }
            break;
        case ShapeKind::Points: {
            const double arm = pen.widthF() * 2.5 + 2.0;
            for (const Point& q : p) {
                const QPointF c = panel(q);
                painter.drawLine(QPointF(c.x() - arm, c.y()), QPointF(c.x() + arm, c.y()));
                painter.drawLine(QPointF(c.x(), c.y() - arm), QPointF(c.x(), c.y() + arm));
            }
            break;
        }
    }
}

// Tags keep their laid-out text between redraws (laying out text costs more than drawing it).
class TagTexts {
public:
    const QStaticText& get(const QString& text, const QFont& font) {
        if (font != font_ || texts_.size() > 4096) {
            texts_.clear();
            font_ = font;
        }
        auto found = texts_.find(text);
        if (found == texts_.end()) {
            QStaticText laid(text);
            laid.setTextFormat(Qt::PlainText);
            laid.setPerformanceHint(QStaticText::AggressiveCaching);
            laid.prepare(QTransform(), font);
            found = texts_.emplace(text, std::move(laid)).first;
        }
        return found->second;
    }

private:
    struct Hash {
        std::size_t operator()(const QString& s) const { return qHash(s); }
    };
    QFont font_;
    std::unordered_map<QString, QStaticText, Hash> texts_;
};

void drawTag(QPainter& painter, const QString& text, QPointF anchor, const MeasurementStyle& style,
             const QFontMetricsF& metrics) {
    thread_local TagTexts texts;
    const QStaticText& laid = texts.get(text, painter.font());
    const double pad = style.fontPixels * 0.25;
    const QSizeF size(laid.size().width() + 2 * pad, metrics.height());
    const QRectF box(
        anchor + QPointF(style.fontPixels * 0.5, -size.height() - style.fontPixels * 0.3), size);
    painter.fillRect(box, style.tag);
    painter.setPen(style.text);
    painter.drawStaticText(QPointF(box.left() + pad, box.top()), laid);
}

}  // namespace

MeasurementStyle MeasurementStyle::forPicture(int width, int height) {
    MeasurementStyle style;
    const double scale = std::max(1.0, std::max(width, height) / 800.0);
    style.lineWidth *= scale;
    style.fontPixels *= scale;
    style.handleSize = 0;
    return style;
}

QString measurementTag(const Shape& shape, int index, double micrometresPerPixel) {
    const measure::ShapeResult r = measure::measureShape(shape, micrometresPerPixel);
    const bool calibrated = micrometresPerPixel > 0;
    const QString unit = calibrated ? QStringLiteral(" µm") : QStringLiteral(" px");
    const QString area = calibrated ? QStringLiteral(" µm²") : QStringLiteral(" px²");
    QString value;
    if (r.count)
        value = QStringLiteral("n = %1").arg(*r.count);
    else if (r.angle)
        value = QString::number(*r.angle, 'f', 1) + QStringLiteral("°");
    else if (r.length)
        value = number(*r.length) + unit;
    else if (r.diameter)
        value = QStringLiteral("⌀ ") + number(*r.diameter) + unit;
    else if (r.area)
        value = QStringLiteral("A ") + number(*r.area) + area;
    QString tag = QString::number(index + 1);
    if (!shape.label.empty()) tag += QStringLiteral(" ") + QString::fromStdString(shape.label);
    return value.isEmpty() ? tag : tag + QStringLiteral("  ") + value;
}

void paintMeasurements(QPainter& painter, const std::vector<Shape>& shapes,
                       const PictureMapping& mapping, double micrometresPerPixel, int selected,
                       const Shape* pending, const QRectF& visible, const MeasurementStyle& style) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    const QFont font = tagFont(style.fontPixels);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const QPen halo(style.halo, style.lineWidth + 2.0 * std::max(1.0, style.lineWidth * 0.6),
                    Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    const double reach = style.fontPixels * 12;  // a tag may stick out of its shape's box

    for (int k = 0; k < static_cast<int>(shapes.size()); ++k) {
        const Shape& shape = shapes[k];
        if (!panelBounds(shape, mapping).adjusted(-reach, -reach, reach, reach).intersects(visible))
            continue;
        const QColor colour = k == selected ? style.selected : style.line;
        // The halo without smoothing: stroking wide smoothed outlines costs most of a redraw.
        painter.setRenderHint(QPainter::Antialiasing, false);
        drawOutline(painter, shape, mapping, halo);
        painter.setRenderHint(QPainter::Antialiasing, true);
        drawOutline(painter, shape, mapping,
                    QPen(colour, style.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        drawTag(painter, measurementTag(shape, k, micrometresPerPixel), tagAnchor(shape, mapping),
                style, metrics);
    }
    if (selected >= 0 && selected < static_cast<int>(shapes.size()) && style.handleSize > 0) {
        painter.setPen(QPen(style.halo, 1.0));
        painter.setBrush(style.selected);
        const double h = style.handleSize;
        for (const Point& p : shapes[selected].points) {
            const QPointF c = mapping.toPanel(p);
            painter.drawRect(QRectF(c.x() - h / 2, c.y() - h / 2, h, h));
        }
        painter.setBrush(Qt::NoBrush);
    }
    if (pending && !pending->points.empty()) {
        drawOutline(painter, *pending, mapping, halo);
        QPen dashed(style.selected, style.lineWidth, Qt::DashLine, Qt::RoundCap, Qt::RoundJoin);
        drawOutline(painter, *pending, mapping, dashed);
    }
    painter.restore();
}

void paintScaleBar(QPainter& painter, const PictureMapping& mapping, double pictureWidth,
                   double micrometresPerPixel, const QRectF& area, const MeasurementStyle& style) {
    if (pictureWidth <= 0) return;
    const measure::ScaleBar bar = measure::chooseScaleBar(pictureWidth, micrometresPerPixel);
    if (bar.lengthPixels <= 0) return;
    const double length = bar.lengthPixels * mapping.scaleX;
    const QFont font = tagFont(style.fontPixels);
    const QFontMetricsF metrics(font);
    const QString label = QString::fromStdString(bar.label);
    const double pad = style.fontPixels * 0.5;
    const double thick = std::max(3.0, style.lineWidth * 2.5);
    const double width = std::max(length, metrics.horizontalAdvance(label)) + 2 * pad;
    const double height = metrics.height() + thick + 3 * pad;
    const QRectF box(area.right() - width - pad, area.bottom() - height - pad, width, height);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(style.tag);
    painter.drawRect(box);
    painter.setBrush(style.text);
    painter.drawRect(
        QRectF(box.center().x() - length / 2, box.bottom() - pad - thick, length, thick));
    painter.setFont(font);
    painter.setPen(style.text);
    painter.drawText(QRectF(box.left(), box.top() + pad, box.width(), metrics.height()),
                     Qt::AlignHCenter | Qt::AlignTop, label);
    painter.restore();
}

}  // namespace qelvo
