#include "ArtKit.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainterPath>

namespace qelvo::art {

QImage newCanvas(int width, int height, const QColor& fill) {
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(fill);
    return image;
}

void setupPainter(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QFont font(int pixelSize, bool bold, bool narrow) {
    QFont f(narrow ? QStringLiteral("Liberation Sans Narrow") : QStringLiteral("Liberation Sans"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QFont fittedFont(const QString& s, int width, int pixelSize, bool bold, bool narrow) {
    // Shrink a bold label only down to 10 pixels; below that a regular weight reads better.
    for (int size = pixelSize; size >= 7; --size) {
        for (bool b : {bold, false}) {
            if (b && size < 10) continue;
            QFont f = font(size, b, narrow);
            if (QFontMetrics(f).horizontalAdvance(s) <= width) return f;
        }
    }
    return font(7, false, narrow);
}

void text(QPainter& p, const QRect& r, const QString& s, const QFont& f, const QColor& c,
          int flags) {
    p.save();
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, flags, s);
    p.restore();
}

void fillBackground(QPainter& p, const QRect& r) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, colour::kBackTop);
    g.setColorAt(1.0, colour::kBackBottom);
    p.fillRect(r, g);
    // Brushed-metal lines: a fixed pattern of very faint light and dark rows.
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int y = r.top(); y <= r.bottom(); y += 3) {
        const int phase = (y * 7) % 11;
        const QColor c = phase < 4 ? QColor(255, 255, 255, 6) : QColor(0, 0, 0, 10);
        p.setPen(c);
        p.drawLine(r.left(), y, r.right(), y);
    }
    p.restore();
}

void well(QPainter& p, const QRect& inner, int margin) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRect outer = inner.adjusted(-margin, -margin, margin, margin);
    p.fillRect(outer, colour::kWell);
    // Recessed edge: dark above and left, light below and right.
    p.setPen(colour::kLineDark);
    p.drawLine(outer.topLeft(), outer.topRight());
    p.drawLine(outer.topLeft(), outer.bottomLeft());
    p.setPen(colour::kLineLight);
    p.drawLine(outer.bottomLeft(), outer.bottomRight());
    p.drawLine(outer.topRight(), outer.bottomRight());
    p.setPen(QColor(0x1e, 0x23, 0x29));
    p.drawRect(inner.adjusted(-1, -1, 0, 0));
    p.restore();
}

void group(QPainter& p, const QRect& r, const QString& title) {
    p.save();
    QPainterPath path;
    path.addRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(0x23, 0x28, 0x2f));
    g.setColorAt(1, QColor(0x18, 0x1b, 0x20));
    p.fillPath(path, g);
    p.setPen(QPen(colour::kLineLight, 1));
    p.drawPath(path);
    p.setPen(QPen(QColor(0, 0, 0, 120), 1));
    p.drawRoundedRect(QRectF(r).adjusted(1.5, 1.5, -1.5, -1.5), 5, 5);
    p.restore();
    if (!title.isEmpty()) caption(p, QPoint(r.left() + 8, r.top() - 15), title);
}

void caption(QPainter& p, const QPoint& topLeft, const QString& s, int pixelSize) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(topLeft.x(), topLeft.y() + 2, 3, pixelSize - 1), colour::kAccent);
    QFont f = font(pixelSize, true, false);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
    p.setFont(f);
    p.setPen(colour::kTextDim);
    p.drawText(QRect(topLeft.x() + 7, topLeft.y(), 600, pixelSize + 3),
               Qt::AlignLeft | Qt::AlignVCenter, s);
    p.restore();
}

void screw(QPainter& p, const QPoint& c) {
    p.save();
    QRadialGradient g(QPointF(c) - QPointF(1, 1), 4);
    g.setColorAt(0, QColor(0x6a, 0x72, 0x7e));
    g.setColorAt(1, QColor(0x25, 0x29, 0x2f));
    p.setPen(QColor(0x0c, 0x0e, 0x11));
    p.setBrush(g);
    p.drawEllipse(QPointF(c), 3.5, 3.5);
    p.setPen(QColor(0x15, 0x18, 0x1c));
    p.drawLine(QPointF(c) + QPointF(-2, 2), QPointF(c) + QPointF(2, -2));
    p.restore();
}

void buttonFace(QPainter& p, const QRect& r, Look look, const QColor& accent, int radius) {
    p.save();
    const QRectF box = QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    QColor border;
    switch (look) {
        case Look::Normal:
            g.setColorAt(0, QColor(0x45, 0x4c, 0x57));
            g.setColorAt(0.5, QColor(0x33, 0x39, 0x42));
            g.setColorAt(1, QColor(0x25, 0x29, 0x30));
            border = QColor(0x5b, 0x64, 0x71);
            break;
        case Look::Hover:
            g.setColorAt(0, QColor(0x55, 0x5e, 0x6b));
            g.setColorAt(0.5, QColor(0x3f, 0x47, 0x52));
            g.setColorAt(1, QColor(0x2e, 0x34, 0x3c));
            border = accent;
            break;
        case Look::Pressed:
            g.setColorAt(0, QColor(0x0f, 0x12, 0x15));
            g.setColorAt(1, QColor(0x1f, 0x24, 0x2a));
            border = accent.darker(130);
            break;
    }
    p.setPen(QPen(colour::kLineDark, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box, radius, radius);
    const QRectF face = box.adjusted(1, 1, -1, -1);
    p.setBrush(g);
    p.setPen(QPen(border, 1));
    p.drawRoundedRect(face, radius - 1, radius - 1);
    if (look != Look::Pressed) {
        // Top highlight of a raised face.
        p.setPen(QPen(QColor(255, 255, 255, look == Look::Hover ? 60 : 40), 1));
        p.drawLine(face.topLeft() + QPointF(radius, 1), face.topRight() + QPointF(-radius, 1));
    } else {
        // Inner shadow of a pushed face.
        p.setPen(QPen(QColor(0, 0, 0, 160), 2));
        p.drawLine(face.topLeft() + QPointF(radius, 1.5), face.topRight() + QPointF(-radius, 1.5));
    }
    if (look == Look::Hover) {
        p.setPen(QPen(QColor(accent.red(), accent.green(), accent.blue(), 70), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(face.adjusted(1, 1, -1, -1), radius - 2, radius - 2);
    }
    p.restore();
}

QColor labelColour(Look look, const QColor& accent) {
    switch (look) {
        case Look::Hover:
            return QColor(0xff, 0xff, 0xff);
        case Look::Pressed:
            return accent;
        default:
            return colour::kText;
    }
}

QImage strip(int width, int height, int frames,
             const std::function<void(QPainter&, const QRect&, Look, int)>& paintFrame) {
    const int frameWidth = width / frames;
    QImage image = newCanvas(width, height, colour::kWell);
    QPainter p(&image);
    setupPainter(p);
    for (int i = 0; i < frames; ++i) {
        const Look look = frames == 3 ? Look(i) : Look::Normal;
        p.save();
        p.setClipRect(QRect(i * frameWidth, 0, frameWidth, height));
        p.translate(i * frameWidth, 0);
        paintFrame(p, QRect(0, 0, frameWidth, height), look, i);
        p.restore();
    }
    return image;
}

}  // namespace qelvo::art
