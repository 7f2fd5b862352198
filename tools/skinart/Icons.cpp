#include "Icons.h"

#include "ArtKit.h"

#include <QConicalGradient>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace qelvo::art {
namespace {

// Icons are drawn on a 24 x 24 design grid scaled into the box.
struct Grid {
    QPainter& p;
    Grid(QPainter& painter, const QRectF& box) : p(painter) {
        const double side = std::min(box.width(), box.height());
        p.save();
        p.translate(box.center().x() - side / 2, box.center().y() - side / 2);
        p.scale(side / 24.0, side / 24.0);
    }
    ~Grid() { p.restore(); }
};

QPen line(const QColor& c, double width = 2.0) {
    QPen pen(c, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void arrowHead(QPainter& p, QPointF tip, double angleDeg, const QColor& c, double size = 4.5) {
    const double a = angleDeg * M_PI / 180.0;
    const QPointF back(std::cos(a) * size, std::sin(a) * size);
    const QPointF side(-std::sin(a) * size * 0.6, std::cos(a) * size * 0.6);
    QPainterPath path;
    path.moveTo(tip);
    path.lineTo(tip - back + side);
    path.lineTo(tip - back - side);
    path.closeSubpath();
    p.fillPath(path, c);
}

void magnifier(QPainter& p, const QColor& c) {
    p.setPen(line(c, 2.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(10, 10), 6.5, 6.5);
    p.setPen(line(c, 3.2));
    p.drawLine(QPointF(15, 15), QPointF(21, 21));
}

}  // namespace

void icon(QPainter& p, Icon kind, const QRectF& box, const QColor& c) {
    Grid grid(p, box);
    p.setBrush(Qt::NoBrush);
    p.setPen(line(c));
    switch (kind) {
        case Icon::Camera: {
            QPainterPath body;
            body.addRoundedRect(QRectF(2, 7, 20, 13), 2.5, 2.5);
            body.addRect(QRectF(8, 4, 8, 3.5));
            p.setPen(line(c, 1.8));
            p.drawPath(body.simplified());
            p.drawEllipse(QPointF(12, 13.5), 4, 4);
            p.setBrush(c);
            p.drawEllipse(QPointF(12, 13.5), 1.6, 1.6);
            break;
        }
        case Icon::Gear: {
            QPainterPath gear;
            const int teeth = 8;
            for (int i = 0; i < teeth * 2; ++i) {
                const double a = i * M_PI / teeth;
                const double r0 = (i % 2 == 0) ? 10.5 : 7.8;
                const double a0 = a - M_PI / teeth / 2, a1 = a + M_PI / teeth / 2;
                const QPointF p0(12 + r0 * std::cos(a0), 12 + r0 * std::sin(a0));
                const QPointF p1(12 + r0 * std::cos(a1), 12 + r0 * std::sin(a1));
                if (i == 0)
                    gear.moveTo(p0);
                else
                    gear.lineTo(p0);
                gear.lineTo(p1);
            }
            gear.closeSubpath();
            gear.addEllipse(QPointF(12, 12), 3.5, 3.5);
            gear.setFillRule(Qt::OddEvenFill);
            p.fillPath(gear, c);
            break;
        }
        case Icon::Expand: {
            p.setPen(line(c, 2.2));
            const QPointF corners[4][3] = {{{3, 9}, {3, 3}, {9, 3}},
                                           {{15, 3}, {21, 3}, {21, 9}},
                                           {{21, 15}, {21, 21}, {15, 21}},
                                           {{9, 21}, {3, 21}, {3, 15}}};
            for (const auto& k : corners) p.drawPolyline(k, 3);
            p.setPen(line(c, 1.2));
            p.drawRect(QRectF(8, 8, 8, 8));
            break;
        }
        case Icon::Freeze: {
            p.setPen(line(c, 1.8));
            for (int i = 0; i < 3; ++i) {
                p.save();
                p.translate(12, 12);
                p.rotate(60.0 * i);
                p.drawLine(QPointF(0, -10), QPointF(0, 10));
                for (int s : {-1, 1}) {
                    p.drawLine(QPointF(0, s * 6), QPointF(-3, s * 9));
                    p.drawLine(QPointF(0, s * 6), QPointF(3, s * 9));
                }
                p.restore();
            }
            break;
        }
        case Icon::RecordDot: {
            QRadialGradient g(QPointF(10, 10), 9);
            g.setColorAt(0, QColor(0xff, 0x8a, 0x80));
            g.setColorAt(1, QColor(0xd0, 0x20, 0x20));
            p.setPen(QPen(QColor(0x60, 0x08, 0x08), 1));
            p.setBrush(g);
            p.drawEllipse(QPointF(12, 12), 8, 8);
            break;
        }
        case Icon::StopSquare:
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawRoundedRect(QRectF(5, 5, 14, 14), 2, 2);
            break;
        case Icon::Folder:
        case Icon::FolderOption: {
            QPainterPath f;
            f.moveTo(2, 6);
            f.lineTo(9, 6);
            f.lineTo(11, 8.5);
            f.lineTo(22, 8.5);
            f.lineTo(22, 20);
            f.lineTo(2, 20);
            f.closeSubpath();
            p.setPen(line(c, 1.8));
            p.drawPath(f);
            if (kind == Icon::FolderOption) {
                p.setBrush(c);
                p.setPen(Qt::NoPen);
                for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(7.5 + i * 4.5, 14.5), 1.4, 1.4);
            } else {
                p.drawLine(QPointF(2, 11.5), QPointF(22, 11.5));
            }
            break;
        }
        case Icon::Play: {
            QPainterPath t;
            t.moveTo(6, 3.5);
            t.lineTo(20, 12);
            t.lineTo(6, 20.5);
            t.closeSubpath();
            p.fillPath(t, c);
            break;
        }
        case Icon::Printer: {
            p.setPen(line(c, 1.7));
            p.drawRect(QRectF(7, 2.5, 10, 6));
            p.drawRoundedRect(QRectF(2.5, 8.5, 19, 9), 2, 2);
            p.setBrush(colour::kBar);
            p.drawRect(QRectF(7, 14, 10, 7.5));
            p.setPen(line(c, 1));
            p.drawLine(QPointF(9, 17), QPointF(15, 17));
            p.drawLine(QPointF(9, 19.3), QPointF(14, 19.3));
            p.setBrush(colour::kWarm);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QPointF(18.5, 11.5), 1.2, 1.2);
            break;
        }
        case Icon::Rename: {
            p.setPen(line(c, 1.6));
            p.drawRect(QRectF(2, 7, 15, 10));
            p.drawLine(QPointF(5, 12), QPointF(11, 12));
            p.setPen(line(c, 2));
            p.drawLine(QPointF(20, 4), QPointF(20, 20));
            p.drawLine(QPointF(18, 4), QPointF(22, 4));
            p.drawLine(QPointF(18, 20), QPointF(22, 20));
            break;
        }
        case Icon::Close:
            p.setPen(line(c, 2.6));
            p.drawLine(QPointF(6, 6), QPointF(18, 18));
            p.drawLine(QPointF(18, 6), QPointF(6, 18));
            break;
        case Icon::Minimise:
            p.setPen(line(c, 2.6));
            p.drawLine(QPointF(6, 17), QPointF(18, 17));
            break;
        case Icon::Clear: {
            // A frame with a diagonal sweep: clears pictures and strokes.
            p.setPen(line(c, 1.7));
            p.drawRoundedRect(QRectF(3, 4, 18, 15), 2, 2);
            p.setPen(line(colour::kAlarm, 2.2));
            p.drawLine(QPointF(6, 16), QPointF(18, 7));
            p.drawLine(QPointF(6, 7), QPointF(18, 16));
            break;
        }
        case Icon::Pen: {
            p.save();
            p.translate(12, 12);
            p.rotate(45);
            QPainterPath body;
            body.addRoundedRect(QRectF(-2.8, -10, 5.6, 14), 1.2, 1.2);
            p.fillPath(body, c);
            QPainterPath tip;
            tip.moveTo(-2.8, 4.5);
            tip.lineTo(2.8, 4.5);
            tip.lineTo(0, 10);
            tip.closeSubpath();
            p.fillPath(tip, c.darker(140));
            p.restore();
            break;
        }
        case Icon::Eraser: {
            p.save();
            p.translate(12, 12);
            p.rotate(-35);
            p.setPen(line(c, 1.6));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(QRectF(-9, -4.5, 18, 9), 1.5, 1.5);
            p.fillRect(QRectF(-9, -4.5, 7, 9), QColor(0xe8, 0x7a, 0x8a));
            p.restore();
            p.setPen(line(c, 1.2));
            p.drawLine(QPointF(4, 21), QPointF(20, 21));
            break;
        }
        case Icon::LayoutOne:
        case Icon::LayoutTwo:
        case Icon::LayoutFour: {
            p.setPen(line(c, 1.5));
            p.setBrush(QColor(c.red(), c.green(), c.blue(), 60));
            if (kind == Icon::LayoutOne) {
                p.drawRect(QRectF(3, 5, 18, 14));
            } else if (kind == Icon::LayoutTwo) {
                p.drawRect(QRectF(2, 7, 9.5, 10));
                p.drawRect(QRectF(12.5, 7, 9.5, 10));
            } else {
                for (int i = 0; i < 4; ++i)
                    p.drawRect(QRectF(3 + (i % 2) * 9.5, 4 + (i / 2) * 8.5, 8.5, 7.5));
            }
            break;
        }
        case Icon::Sun: {
            p.setBrush(c);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QPointF(12, 12), 4.5, 4.5);
            p.setPen(line(c, 1.8));
            for (int i = 0; i < 8; ++i) {
                const double a = i * M_PI / 4;
                p.drawLine(QPointF(12 + 7 * std::cos(a), 12 + 7 * std::sin(a)),
                           QPointF(12 + 10 * std::cos(a), 12 + 10 * std::sin(a)));
            }
            break;
        }
        case Icon::Contrast: {
            p.setPen(line(c, 1.8));
            p.drawEllipse(QPointF(12, 12), 9, 9);
            QPainterPath half;
            half.moveTo(12, 3);
            half.arcTo(QRectF(3, 3, 18, 18), 90, -180);
            half.closeSubpath();
            p.fillPath(half, c);
            break;
        }
        case Icon::Hue: {
            QConicalGradient g(QPointF(12, 12), 90);
            g.setColorAt(0.0, QColor(255, 60, 60));
            g.setColorAt(0.17, QColor(255, 220, 60));
            g.setColorAt(0.33, QColor(60, 220, 90));
            g.setColorAt(0.5, QColor(50, 210, 230));
            g.setColorAt(0.67, QColor(70, 90, 255));
            g.setColorAt(0.83, QColor(220, 70, 230));
            g.setColorAt(1.0, QColor(255, 60, 60));
            QPainterPath ring;
            ring.addEllipse(QPointF(12, 12), 10, 10);
            ring.addEllipse(QPointF(12, 12), 5, 5);
            ring.setFillRule(Qt::OddEvenFill);
            p.fillPath(ring, g);
            break;
        }
        case Icon::Saturation: {
            QPainterPath drop;
            drop.moveTo(12, 2.5);
            drop.cubicTo(QPointF(16, 9), QPointF(19.5, 12), QPointF(19.5, 15));
            drop.arcTo(QRectF(4.5, 7.5, 15, 15), 0, -180);
            drop.cubicTo(QPointF(4.5, 12), QPointF(8, 9), QPointF(12, 2.5));
            QLinearGradient g(QPointF(4, 0), QPointF(20, 0));
            g.setColorAt(0, QColor(0x9a, 0x9a, 0x9a));
            g.setColorAt(1, QColor(0xff, 0x40, 0x70));
            p.fillPath(drop, g);
            p.setPen(line(c, 1.2));
            p.drawPath(drop);
            break;
        }
        case Icon::Histogram: {
            const double heights[] = {4, 8, 13, 17, 12, 7, 10, 5};
            p.setPen(Qt::NoPen);
            for (int i = 0; i < 8; ++i)
                p.fillRect(QRectF(2.5 + i * 2.45, 21 - heights[i], 1.9, heights[i]), c);
            p.fillRect(QRectF(2, 21.5, 20, 1.2), c);
            break;
        }
        case Icon::Equalise: {
            p.setPen(line(c, 1.6));
            const double knobs[] = {15, 8, 12};
            for (int i = 0; i < 3; ++i) {
                const double x = 6 + i * 6;
                p.drawLine(QPointF(x, 3), QPointF(x, 21));
                p.setBrush(colour::kWarm);
                p.drawRoundedRect(QRectF(x - 2.8, knobs[i] - 2, 5.6, 4), 1, 1);
            }
            break;
        }
        case Icon::Loupe: {
            // A magnifier held over a picture.
            p.setPen(line(c, 1.3));
            p.drawRect(QRectF(2, 2, 15, 11));
            p.drawPolyline(QPolygonF({QPointF(3, 12), QPointF(7, 7), QPointF(10, 10)}));
            p.setPen(line(c, 2));
            p.setBrush(QColor(c.red(), c.green(), c.blue(), 70));
            p.drawEllipse(QPointF(14, 13), 5.5, 5.5);
            p.setPen(line(c, 3));
            p.drawLine(QPointF(18, 17), QPointF(22, 21));
            break;
        }
        case Icon::Fit: {
            p.setPen(line(c, 1.8));
            p.drawRect(QRectF(3, 5, 18, 14));
            p.drawLine(QPointF(7, 12), QPointF(17, 12));
            arrowHead(p, QPointF(6, 12), 180, c, 3.5);
            arrowHead(p, QPointF(18, 12), 0, c, 3.5);
            break;
        }
        case Icon::ZoomOut:
        case Icon::ZoomIn:
            magnifier(p, c);
            p.setPen(line(c, 1.8));
            p.drawLine(QPointF(7, 10), QPointF(13, 10));
            if (kind == Icon::ZoomIn) p.drawLine(QPointF(10, 7), QPointF(10, 13));
            break;
        case Icon::Rotate90: {
            p.setPen(line(c, 2));
            p.drawArc(QRectF(4, 4, 16, 16), 90 * 16, -270 * 16);
            arrowHead(p, QPointF(12.5, 4), 0, c);
            break;
        }
        case Icon::Rotate180: {
            p.setPen(line(c, 2));
            p.drawArc(QRectF(4, 4, 16, 16), 180 * 16, -180 * 16);
            p.drawLine(QPointF(4, 12), QPointF(4, 19));
            p.drawLine(QPointF(20, 12), QPointF(20, 16));
            arrowHead(p, QPointF(20, 20), 90, c);
            break;
        }
        case Icon::FlipVertical:
        case Icon::MirrorHorizontal: {
            p.save();
            if (kind == Icon::MirrorHorizontal) {
                p.translate(12, 12);
                p.rotate(90);
                p.translate(-12, -12);
            }
            QPainterPath top;
            top.moveTo(5, 10);
            top.lineTo(19, 10);
            top.lineTo(12, 3);
            top.closeSubpath();
            p.fillPath(top, c);
            QPainterPath bottom;
            bottom.moveTo(5, 14);
            bottom.lineTo(19, 14);
            bottom.lineTo(12, 21);
            bottom.closeSubpath();
            p.setPen(line(c, 1.4));
            p.drawPath(bottom);
            QPen dash(colour::kWarm, 1.2, Qt::DashLine);
            p.setPen(dash);
            p.drawLine(QPointF(1, 12), QPointF(23, 12));
            p.restore();
            break;
        }
        case Icon::Power:
            p.setPen(line(c, 2.4));
            p.drawArc(QRectF(4, 5, 16, 16), 120 * 16, 300 * 16);
            p.drawLine(QPointF(12, 2.5), QPointF(12, 11));
            break;
        case Icon::MultiView: {
            p.setPen(line(c, 1.4));
            p.setBrush(QColor(c.red(), c.green(), c.blue(), 50));
            p.drawRect(QRectF(2, 3, 9.5, 8));
            p.drawRect(QRectF(12.5, 3, 9.5, 8));
            p.drawRect(QRectF(2, 13, 9.5, 8));
            p.setBrush(c);
            p.drawRect(QRectF(12.5, 13, 9.5, 8));
            break;
        }
        case Icon::Library: {
            p.setPen(line(c, 1.4));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(2, 4, 20, 12));
            for (int i = 0; i < 3; ++i) {
                p.setBrush(QColor(c.red(), c.green(), c.blue(), i == 1 ? 200 : 70));
                p.drawRect(QRectF(3.5 + i * 6.5, 18, 4.8, 3.5));
            }
            p.setBrush(Qt::NoBrush);
            p.drawLine(QPointF(5, 13), QPointF(10, 8));
            p.drawLine(QPointF(10, 8), QPointF(13, 11));
            p.drawLine(QPointF(13, 11), QPointF(15, 9));
            p.drawLine(QPointF(15, 9), QPointF(19, 13));
            break;
        }
        case Icon::Lens: {
            QRadialGradient outer(QPointF(12, 12), 11);
            outer.setColorAt(0.0, QColor(0x10, 0x14, 0x18));
            outer.setColorAt(0.75, QColor(0x1d, 0x23, 0x2a));
            outer.setColorAt(1.0, QColor(0x4c, 0x56, 0x63));
            p.setPen(Qt::NoPen);
            p.setBrush(outer);
            p.drawEllipse(QPointF(12, 12), 11, 11);
            p.setPen(QPen(c, 1.6));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(12, 12), 8, 8);
            QRadialGradient glass(QPointF(10, 10), 6);
            glass.setColorAt(0, c.lighter(150));
            glass.setColorAt(0.6, colour::kAccentDeep);
            glass.setColorAt(1, QColor(0x06, 0x20, 0x26));
            p.setPen(Qt::NoPen);
            p.setBrush(glass);
            p.drawEllipse(QPointF(12, 12), 5.5, 5.5);
            p.setBrush(QColor(255, 255, 255, 190));
            p.drawEllipse(QPointF(9.8, 9.8), 1.5, 1.5);
            break;
        }
    }
}

}  // namespace qelvo::art
