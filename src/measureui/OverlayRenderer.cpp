#include "measureui/OverlayRenderer.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace qelvo {

OverlayInk overlayInk(bool light) {
    if (light) return {QColor(255, 255, 255), QColor(0, 0, 0, 190)};
    return {QColor(12, 14, 16), QColor(255, 255, 255, 200)};
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

void OverlayRenderer::drawLabel(QPainter& painter, const QString& text, bool light, QPointF anchor,
                                Qt::Alignment alignment) {
    if (text.isEmpty()) return;
    const QImage& image = label(text, light);
    QPointF at = anchor;
    if (alignment & Qt::AlignHCenter) at.rx() -= image.width() / 2.0;
    if (alignment & Qt::AlignRight) at.rx() -= image.width();
    if (alignment & Qt::AlignBottom) at.ry() -= image.height();
    painter.drawImage(at.toPoint(), image);
}

void OverlayRenderer::paint(QPainter& painter, const OverlayGeometry& g, const QImage* shown) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    auto lines = [&](const std::vector<OverlayGeometry::Line>& list, Part part, double width) {
        if (list.empty()) return;
        const OverlayInk ink = overlayInk(light_[part]);
        // The outline first, then the line over it.
        painter.setPen(QPen(ink.outline, width + 2.0, Qt::SolidLine, Qt::FlatCap));
        for (const auto& l : list) painter.drawLine(l.a, l.b);
        painter.setPen(QPen(ink.line, width, Qt::SolidLine, Qt::FlatCap));
        for (const auto& l : list) painter.drawLine(l.a, l.b);
    };

    if (!g.grid.empty()) {
        judge(Grid, shown, g.gridSamples());
        lines(g.grid, Grid, 1.0);
    }
    if (!g.rings.empty()) {
        judge(Rings, shown, g.ringSamples());
        const OverlayInk ink = overlayInk(light_[Rings]);
        painter.setRenderHint(QPainter::Antialiasing, true);
        for (const QColor& colour : {ink.outline, ink.line}) {
            painter.setPen(QPen(colour, colour == ink.outline ? 3.0 : 1.2));
            for (const auto& r : g.rings) painter.drawEllipse(r.centre, r.radiusX, r.radiusY);
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    if (!g.crosshair.empty()) {
        judge(Crosshair, shown, g.crosshairSamples());
        lines(g.crosshair, Crosshair, 1.0);
    }
    // The step labels of the grid and the rings, bottom left.
    const QRect panel = painter.viewport();
    double y = panel.bottom() - OverlayGeometry::kMargin + 6;
    for (auto [text, part] : {std::pair{g.ringLabel, Rings}, std::pair{g.gridLabel, Grid}}) {
        if (text.isEmpty()) continue;
        drawLabel(painter, text, light_[part], QPointF(OverlayGeometry::kMargin - 3, y),
                  Qt::AlignLeft | Qt::AlignBottom);
        y -= 16;
    }
    if (!g.scaleBar.isEmpty()) {
        judge(ScaleBar, shown, g.scaleBarSamples());
        const OverlayInk ink = overlayInk(light_[ScaleBar]);
        const QRectF bar = g.scaleBar;
        painter.fillRect(bar.adjusted(-1, -1, 1, 1), ink.outline);
        painter.fillRect(bar, ink.line);
        drawLabel(painter, g.scaleLabel, light_[ScaleBar], QPointF(bar.center().x(), bar.top() - 2),
                  Qt::AlignHCenter | Qt::AlignBottom);
    }
    painter.restore();
}

}  // namespace qelvo
