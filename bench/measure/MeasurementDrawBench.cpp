// Redrawing measurements over the picture panel: 200 shapes of every kind spread over a
// 2592 x 1944 picture, drawn over the panel's 640 x 480 view as the picture view repaints
// it, zoomed in twice (centre of the picture) and fitted (every shape in view).  Thread CPU
// time, median of the runs.  Optional argument: runs.
#include "measureui/MeasurementPainter.h"
#include "support/BenchTiming.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <random>

using namespace qelvo;
using measure::Shape;
using measure::ShapeKind;

namespace {

std::vector<Shape> shapes(int count, double width, double height) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> x(0, width), y(0, height), size(20, 200);
    const ShapeKind kinds[] = {ShapeKind::Line,      ShapeKind::Polyline, ShapeKind::Angle,
                               ShapeKind::Rectangle, ShapeKind::Ellipse,  ShapeKind::Circle,
                               ShapeKind::Polygon,   ShapeKind::Points};
    std::vector<Shape> out;
    for (int k = 0; k < count; ++k) {
        Shape s;
        s.kind = kinds[k % 8];
        const double cx = x(random), cy = y(random), r = size(random);
        switch (s.kind) {
            case ShapeKind::Line:
            case ShapeKind::Rectangle:
            case ShapeKind::Ellipse:
                s.points = {{cx, cy}, {cx + r, cy + r * 0.6}};
                break;
            case ShapeKind::Angle:
            case ShapeKind::Circle:
                s.points = {{cx + r, cy}, {cx, cy + r}, {cx - r, cy}};
                break;
            default:
                for (int p = 0; p < 6; ++p)
                    s.points.push_back({cx + r * std::cos(p * 1.05), cy + r * std::sin(p * 1.05)});
        }
        out.push_back(std::move(s));
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 41;
    const double width = 2592, height = 1944;
    const std::vector<Shape> all = shapes(200, width, height);
    QImage view(640, 480, QImage::Format_RGB32);
    view.fill(QColor(120, 110, 100));
    QImage panel(640, 480, QImage::Format_ARGB32_Premultiplied);
    const QRectF visible(0, 0, 640, 480);

    // Zoom 2: the centre of the picture, as the pan bars start.
    const PictureMapping zoomed =
        PictureMapping::scaled(2.0, QPointF(-(2 * width - 640) / 2, -(2 * height - 480) / 2));
    const PictureMapping fitted = PictureMapping::stretched(width, height, 640, 480);
    auto redraw = [&](const PictureMapping& mapping) {
        QPainter painter(&panel);
        painter.drawImage(0, 0, view);
        paintMeasurements(painter, all, mapping, 0.345, 17, nullptr, visible);
    };
    redraw(zoomed);  // fonts and caches warm
    const double zoomedMs = bench::medianMs(runs, nullptr, [&] { redraw(zoomed); });
    bench::reportAtMost("redraw 200 measurements, zoomed 2x on 2592x1944", zoomedMs, "ms", 8.0);
    const double fittedMs = bench::medianMs(runs, nullptr, [&] { redraw(fitted); });
    bench::reportAtMost("redraw 200 measurements, whole 2592x1944 fitted", fittedMs, "ms", 8.0);
    return 0;
}
