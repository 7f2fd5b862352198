#include "measureui/OverlayRenderer.h"

#include <QFontMetrics>
#include <QPainter>

#include <iterator>

#include <algorithm>
#include <cmath>

namespace qelvo {

OverlayInk overlayInk(bool light) {
    // Opaque both: filling opaque pixels is a plain store, blending is not.
    if (light) return {QColor(255, 255, 255), QColor(16, 18, 20)};
    return {QColor(12, 14, 16), QColor(236, 238, 240)};
}

double meanBrightness(const QImage& shown, const std::vector<QPointF>& samples) {
    if (shown.isNull()) return -1.0;
    const bool direct = shown.format() == QImage::Format_RGB32 ||
                        shown.format() == QImage::Format_ARGB32 ||
                        shown.format() == QImage::Format_ARGB32_Premultiplied;
    double sum = 0.0;
    int count = 0;
    for (const QPointF& p : samples) {
        const int x = static_cast<int>(std::floor(p.x()));
        const int y = static_cast<int>(std::floor(p.y()));
        if (x < 0 || y < 0 || x >= shown.width() || y >= shown.height()) continue;
        const QRgb c =
            direct ? reinterpret_cast<const QRgb*>(shown.constScanLine(y))[x] : shown.pixel(x, y);
        sum += 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c);
        ++count;
    }
    return count ? sum / count : -1.0;
}

// The pixels of an ellipse, each once and without gaps: stepped along x where the curve is
// flatter, along y where it is steeper, in all four quadrants.
void OverlayRenderer::ringPoints(std::vector<QPoint>& out, QPointF centre, double rx, double ry) {
    if (rx < 1 || ry < 1) return;
    const double cx = centre.x(), cy = centre.y();
    // Where the slope is 1: x = rx^2 / sqrt(rx^2 + ry^2).
    const double xTurn = rx * rx / std::sqrt(rx * rx + ry * ry);
    const double yTurn = ry * ry / std::sqrt(rx * rx + ry * ry);
    const auto put = [&](double dx, double dy) {
        for (int sx : {-1, 1})
            for (int sy : {-1, 1})
                out.emplace_back(qRound(cx + sx * dx - 0.5), qRound(cy + sy * dy - 0.5));
    };
    for (int x = 0; x <= static_cast<int>(xTurn); ++x)
        put(x, ry * std::sqrt(std::max(0.0, 1.0 - (x * x) / (rx * rx))));
    for (int y = 0; y <= static_cast<int>(yTurn); ++y)
        put(rx * std::sqrt(std::max(0.0, 1.0 - (y * y) / (ry * ry))), y);
}

OverlayRenderer::OverlayRenderer() {
    light_.fill(true);
    font_.setFamily(QStringLiteral("Liberation Sans Narrow"));
    font_.setPixelSize(13);
    font_.setBold(true);
}

void OverlayRenderer::judge(Part part, const QImage* shown, const std::vector<QPointF>& samples) {
    const double mean = shown ? meanBrightness(*shown, samples) : -1.0;
    if (mean < 0.0) return;
    if (mean < kTurnLight)
        light_[part] = true;
    else if (mean > kTurnDark)
        light_[part] = false;
}

const QImage& OverlayRenderer::label(const QString& text, bool light) {
    const QString key = (light ? QLatin1Char('L') : QLatin1Char('D')) + text;
    auto it = labels_.find(key);
    if (it != labels_.end()) return *it;
    if (labels_.size() > 64) labels_.clear();  // labels change rarely; never let them pile up
    const QFontMetrics metrics(font_);
    const QRect box = metrics.boundingRect(text);
    QImage image(box.width() + 6, metrics.height() + 4, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setFont(font_);
    p.setRenderHint(QPainter::TextAntialiasing);
    const OverlayInk ink = overlayInk(light);
    const QPointF base(3 - box.left(), 2 + metrics.ascent());
    p.setPen(ink.outline);
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            if (dx || dy) p.drawText(base + QPointF(dx, dy), text);
    p.setPen(ink.line);
    p.drawText(base, text);
    p.end();
    return *labels_.insert(key, image);
}

namespace {

// Where overlays are drawn: through a painter (a layer over a picture), or straight into a
// panel's 32-bit screen picture (the live panels, where every frame counts).
struct PainterCanvas {
    QPainter& painter;
    void fill(const QRect& r, QRgb colour) { painter.fillRect(r, QColor(colour)); }
    void points(const std::vector<QPoint>& list, QRgb colour) {
        QPen pen{QColor(colour), 1};
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.drawPoints(list.data(), static_cast<int>(list.size()));
    }
    void uprights(const std::vector<QLine>& list, QRgb line, QRgb outline) {
        for (const QLine& l : list)
            fill(QRect(l.x1() - 1, l.y1(), 3, l.y2() - l.y1() + 1), outline);
        for (const QLine& l : list) fill(QRect(l.x1(), l.y1(), 1, l.y2() - l.y1() + 1), line);
    }
    void image(QPoint at, const QImage& picture) { painter.drawImage(at, picture); }
    QRect area() const { return painter.viewport(); }
};

struct ImageCanvas {
    QImage& screen;
    void fill(const QRect& r, QRgb colour) {
        const QRect c = r.intersected(screen.rect());
        if (c.isEmpty()) return;
        const qsizetype stride = screen.bytesPerLine();
        uchar* first = screen.bits() + stride * c.top();
        const int width = c.width();
        for (int y = c.top(); y <= c.bottom(); ++y, first += stride) {
            QRgb* row = reinterpret_cast<QRgb*>(first) + c.left();
            for (int x = 0; x < width; ++x) row[x] = colour;
        }
    }
    void points(const std::vector<QPoint>& list, QRgb colour) {
        const int w = screen.width(), h = screen.height();
        uchar* bits = screen.bits();
        const qsizetype stride = screen.bytesPerLine();
        for (const QPoint& p : list)
            if (static_cast<unsigned>(p.x()) < static_cast<unsigned>(w) &&
                static_cast<unsigned>(p.y()) < static_cast<unsigned>(h))
                reinterpret_cast<QRgb*>(bits + stride * p.y())[p.x()] = colour;
    }
    // Upright lines with their outline, row by row in one pass (memory is laid out in rows).
    void uprights(const std::vector<QLine>& list, QRgb line, QRgb outline) {
        if (list.empty()) return;
        const int w = screen.width();
        int top = screen.height(), bottom = -1;
        for (const QLine& l : list) {
            top = std::min(top, l.y1());
            bottom = std::max(bottom, l.y2());
        }
        top = std::max(top, 0);
        bottom = std::min(bottom, screen.height() - 1);
        const qsizetype stride = screen.bytesPerLine();
        uchar* bits = screen.bits();
        for (int y = top; y <= bottom; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(bits + stride * y);
            for (const QLine& l : list) {
                if (y < l.y1() || y > l.y2()) continue;
                const int x = l.x1();
                if (x - 1 >= 0 && x - 1 < w) row[x - 1] = outline;
                if (x >= 0 && x < w) row[x] = line;
                if (x + 1 >= 0 && x + 1 < w) row[x + 1] = outline;
            }
        }
    }
    void image(QPoint at, const QImage& picture) {
        QPainter painter(&screen);
        painter.drawImage(at, picture);
    }
    QRect area() const { return screen.rect(); }
};

}  // namespace

QPoint OverlayRenderer::labelPlace(const QImage& image, QPointF anchor, Qt::Alignment alignment) {
    QPointF at = anchor;
    if (alignment & Qt::AlignHCenter) at.rx() -= image.width() / 2.0;
    if (alignment & Qt::AlignRight) at.rx() -= image.width();
    if (alignment & Qt::AlignBottom) at.ry() -= image.height();
    return at.toPoint();
}

template <class Canvas>
void OverlayRenderer::draw(Canvas& canvas, const OverlayGeometry& g, const QImage* shown) {
    // Every ink is judged on the picture before anything is drawn over it.
    if (!g.grid.empty()) judge(Grid, shown, g.gridSamples());
    if (!g.rings.empty()) judge(Rings, shown, g.ringSamples());
    if (!g.crosshair.empty()) judge(Crosshair, shown, g.crosshairSamples());
    if (!g.scaleBar.isEmpty()) judge(ScaleBar, shown, g.scaleBarSamples());
    // Level lines are filled rectangles, the outline one pixel either side under the line;
    // upright ones go row by row.
    auto lines = [&](const std::vector<OverlayGeometry::Line>& list, Part part) {
        const OverlayInk ink = overlayInk(light_[part]);
        std::vector<QLine> upright;
        std::vector<QRect> level;
        for (const auto& l : list) {
            const int x0 = qRound(std::min(l.a.x(), l.b.x()));
            const int x1 = qRound(std::max(l.a.x(), l.b.x()));
            const int y0 = qRound(std::min(l.a.y(), l.b.y()));
            const int y1 = qRound(std::max(l.a.y(), l.b.y()));
            if (x0 == x1)
                upright.emplace_back(x0, y0, x0, y1);
            else
                level.emplace_back(x0, y0, x1 - x0 + 1, 1);
        }
        for (const QRect& r : level) canvas.fill(r.adjusted(0, -1, 0, 1), ink.outline.rgb());
        canvas.uprights(upright, ink.line.rgb(), ink.outline.rgb());
        for (const QRect& r : level) canvas.fill(r, ink.line.rgb());
    };
    if (!g.grid.empty()) {
        lines(g.grid, Grid);
    }
    if (!g.rings.empty()) {
        const OverlayInk ink = overlayInk(light_[Rings]);
        // The rings' pixels are worked out once per size: the line, and its outline just
        // inside and outside it.
        if (g.rings.size() != ringsFor_.size() ||
            !std::equal(g.rings.begin(), g.rings.end(), ringsFor_.begin(),
                        [](const OverlayGeometry::Ring& a, const OverlayGeometry::Ring& b) {
                            return a.centre == b.centre && a.radiusX == b.radiusX &&
                                   a.radiusY == b.radiusY;
                        })) {
            ringsFor_ = g.rings;
            ringLine_.clear();
            ringOutline_.clear();
            for (const auto& r : g.rings) {
                ringPoints(ringLine_, r.centre, r.radiusX, r.radiusY);
                ringPoints(ringOutline_, r.centre, r.radiusX - 1, r.radiusY - 1);
                ringPoints(ringOutline_, r.centre, r.radiusX + 1, r.radiusY + 1);
            }
            // Each pixel once, row by row (the order memory is in); the outline leaves out
            // what the line covers anyway.
            const auto byRow = [](const QPoint& a, const QPoint& b) {
                return a.y() != b.y() ? a.y() < b.y() : a.x() < b.x();
            };
            for (std::vector<QPoint>* list : {&ringLine_, &ringOutline_}) {
                std::sort(list->begin(), list->end(), byRow);
                list->erase(std::unique(list->begin(), list->end()), list->end());
            }
            std::vector<QPoint> outline;
            std::set_difference(ringOutline_.begin(), ringOutline_.end(), ringLine_.begin(),
                                ringLine_.end(), std::back_inserter(outline), byRow);
            ringOutline_ = std::move(outline);
        }
        canvas.points(ringOutline_, ink.outline.rgb());
        canvas.points(ringLine_, ink.line.rgb());
    }
    if (!g.crosshair.empty()) {
        lines(g.crosshair, Crosshair);
    }
    // The step labels of the grid and the rings, bottom left.
    const QRect area = canvas.area();
    double y = area.bottom() - OverlayGeometry::kMargin + 6;
    for (auto [text, part] : {std::pair{g.ringLabel, Rings}, std::pair{g.gridLabel, Grid}}) {
        if (text.isEmpty()) continue;
        const QImage& image = label(text, light_[part]);
        canvas.image(labelPlace(image, QPointF(OverlayGeometry::kMargin - 3, y),
                                Qt::AlignLeft | Qt::AlignBottom),
                     image);
        y -= 16;
    }
    if (!g.scaleBar.isEmpty()) {
        const OverlayInk ink = overlayInk(light_[ScaleBar]);
        const QRect bar = g.scaleBar.toRect();
        canvas.fill(bar.adjusted(-1, -1, 1, 1), ink.outline.rgb());
        canvas.fill(bar, ink.line.rgb());
        const QImage& image = label(g.scaleLabel, light_[ScaleBar]);
        if (!g.scaleLabel.isEmpty())
            canvas.image(labelPlace(image, QPointF(g.scaleBar.center().x(), g.scaleBar.top() - 2),
                                    Qt::AlignHCenter | Qt::AlignBottom),
                         image);
    }
}

void OverlayRenderer::paint(QPainter& painter, const OverlayGeometry& g, const QImage* shown) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    PainterCanvas canvas{painter};
    draw(canvas, g, shown);
    painter.restore();
}

void OverlayRenderer::paintInto(QImage& screen, const OverlayGeometry& g) {
    if (screen.format() != QImage::Format_RGB32 && screen.format() != QImage::Format_ARGB32 &&
        screen.format() != QImage::Format_ARGB32_Premultiplied)
        screen.convertTo(QImage::Format_RGB32);
    ImageCanvas canvas{screen};
    draw(canvas, g, &screen);
}

}  // namespace qelvo
