#include "measureui/OverlayGeometry.h"

#include "measure/Length.h"
#include "measure/ScaleBar.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace qelvo {
namespace {

// No overlay ever needs more lines than this; a step gone wrong cannot flood the painter.
constexpr int kMaxGridLines = 200;

QString lengthText(double length, bool calibrated) {
    if (calibrated) return QString::fromStdString(measure::formatLength(length, 3));
    return QStringLiteral("%1 px").arg(length, 0, 'g', 4);
}

// Samples along a line, ends included.
void sampleLine(std::vector<QPointF>& out, QPointF a, QPointF b, int count) {
    for (int i = 0; i < count; ++i) {
        const double t = count == 1 ? 0.5 : static_cast<double>(i) / (count - 1);
        out.push_back(a + (b - a) * t);
    }
}

}  // namespace

double niceStep(double atLeast) {
    if (!(atLeast > 0.0) || !std::isfinite(atLeast)) return 0.0;
    const double decade = std::pow(10.0, std::floor(std::log10(atLeast)));
    for (double mantissa : {1.0, 2.0, 5.0, 10.0}) {
        const double step = mantissa * decade;
        if (step >= atLeast * (1.0 - 1e-12)) return step;
    }
    return 10.0 * decade;
}

OverlayGeometry OverlayGeometry::compute(QSizeF picture, const PictureMapping& mapping,
                                         const QRectF& visible, double micrometresPerPixel,
                                         const OverlaySettings& settings) {
    OverlayGeometry g;
    g.calibrated = micrometresPerPixel > 0.0 && std::isfinite(micrometresPerPixel);
    const double unit = g.calibrated ? micrometresPerPixel : 1.0;  // lengths per picture pixel
    if (picture.width() <= 0 || picture.height() <= 0 || visible.isEmpty()) return g;
    const QRectF whole(0, 0, picture.width(), picture.height());
    const QRectF seen = mapping.pictureRect(visible).intersected(whole);
    if (seen.isEmpty()) return g;
    // The picture's part of the visible area, on the panel.
    const QRectF area = QRectF(mapping.toPanel({seen.left(), seen.top()}),
                               mapping.toPanel({seen.right(), seen.bottom()}))
                            .normalized();
    const measure::Point mid{picture.width() / 2.0, picture.height() / 2.0};
    g.centre = mapping.toPanel(mid);

    if (settings.crosshair) {
        const double gap = kCrosshairGap;
        const double cx = g.centre.x(), cy = g.centre.y();
        if (cy >= area.top() && cy <= area.bottom()) {
            if (cx - gap > area.left()) g.crosshair.push_back({{area.left(), cy}, {cx - gap, cy}});
            if (cx + gap < area.right())
                g.crosshair.push_back({{std::max(area.left(), cx + gap), cy}, {area.right(), cy}});
        }
        if (cx >= area.left() && cx <= area.right()) {
            if (cy - gap > area.top()) g.crosshair.push_back({{cx, area.top()}, {cx, cy - gap}});
            if (cy + gap < area.bottom())
                g.crosshair.push_back({{cx, std::max(area.top(), cy + gap)}, {cx, area.bottom()}});
        }
    }

    if (settings.grid) {
        g.gridStep = niceStep(seen.width() * unit / kGridCells);
        const double stepPixels = g.gridStep / unit;
        if (stepPixels > 0.0) {
            g.gridLabel = QStringLiteral("grid ") + lengthText(g.gridStep, g.calibrated);
            const auto first = [&](double from, double centre) {
                return std::ceil((from - centre) / stepPixels - 1e-9);
            };
            for (double k = first(seen.left(), mid.x);
                 static_cast<int>(g.grid.size()) < kMaxGridLines; ++k) {
                const double x = mid.x + k * stepPixels;
                if (x > seen.right() + 1e-9) break;
                const double px = mapping.toPanel({x, 0}).x();
                g.grid.push_back({{px, area.top()}, {px, area.bottom()}});
            }
            for (double k = first(seen.top(), mid.y);
                 static_cast<int>(g.grid.size()) < 2 * kMaxGridLines; ++k) {
                const double y = mid.y + k * stepPixels;
                if (y > seen.bottom() + 1e-9) break;
                const double py = mapping.toPanel({0, y}).y();
                g.grid.push_back({{area.left(), py}, {area.right(), py}});
            }
        }
    }

    if (settings.reticle) {
        const double half = std::min(seen.width(), seen.height()) / 2.0 * unit;
        g.ringStep = niceStep(half / kRings);
        if (g.ringStep > 0.0) {
            g.ringLabel = QStringLiteral("rings ") + lengthText(g.ringStep, g.calibrated);
            for (int k = 1; k <= kRings && k * g.ringStep <= half * (1.0 + 1e-9); ++k) {
                const double radius = k * g.ringStep / unit;  // picture pixels
                g.rings.push_back({g.centre, radius * std::abs(mapping.scaleX),
                                   radius * std::abs(mapping.scaleY)});
            }
        }
    }

    if (settings.scaleBar) {
        const measure::ScaleBar bar = measure::chooseScaleBar(seen.width(), micrometresPerPixel);
        const double length = bar.lengthPixels * std::abs(mapping.scaleX);
        if (length >= 1.0) {
            g.scaleBar = QRectF(area.right() - kMargin - length,
                                area.bottom() - kMargin - kBarThickness, length, kBarThickness);
            g.scaleLabel = QString::fromStdString(bar.label);
        }
    }
    return g;
}

std::vector<QPointF> OverlayGeometry::crosshairSamples() const {
    std::vector<QPointF> out;
    for (const Line& line : crosshair) sampleLine(out, line.a, line.b, 12);
    return out;
}

std::vector<QPointF> OverlayGeometry::gridSamples() const {
    std::vector<QPointF> out;
    // A few points on every line, at most about a hundred in all.
    const int each = grid.empty() ? 0 : std::max(2, 96 / static_cast<int>(grid.size()));
    for (const Line& line : grid) sampleLine(out, line.a, line.b, each);
    return out;
}

std::vector<QPointF> OverlayGeometry::ringSamples() const {
    std::vector<QPointF> out;
    for (const Ring& ring : rings)
        for (int i = 0; i < 16; ++i) {
            const double a = i * std::numbers::pi / 8.0;
            out.emplace_back(ring.centre.x() + ring.radiusX * std::cos(a),
                             ring.centre.y() + ring.radiusY * std::sin(a));
        }
    return out;
}

std::vector<QPointF> OverlayGeometry::scaleBarSamples() const {
    std::vector<QPointF> out;
    if (scaleBar.isEmpty()) return out;
    // The bar and the band above it where its label goes.
    for (double dy : {0.0, -8.0, -16.0})
        sampleLine(out, scaleBar.topLeft() + QPointF(0, dy + scaleBar.height() / 2),
                   scaleBar.topRight() + QPointF(0, dy + scaleBar.height() / 2), 8);
    return out;
}

}  // namespace qelvo
