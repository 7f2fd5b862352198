#pragma once

#include "measure/Measurements.h"
#include "measureui/PictureMapping.h"

#include <QColor>
#include <QRectF>
#include <QString>

#include <vector>

class QPainter;

namespace qelvo {

// How measurements are drawn: a light line over a dark halo, so they read on bright and
// dark specimens alike, and each shape's number and result on a dark tag beside it.
struct MeasurementStyle {
    double lineWidth = 1.6;  // panel pixels
    double fontPixels = 12.0;
    double handleSize = 7.0;
    QColor line = QColor(255, 214, 64);      // shapes
    QColor selected = QColor(52, 198, 218);  // the selected shape (the skin's accent)
    QColor halo = QColor(0, 0, 0, 170);
    QColor tag = QColor(8, 10, 12, 190);
    QColor text = QColor(242, 246, 250);

    // For drawing into a picture `width` x `height` pixels large (saved copies).
    static MeasurementStyle forPicture(int width, int height);
};

// The short result drawn beside a shape: "3  12.5 µm", "4  37.2°", "5  A 1 250 µm²",
// "6  n = 12" (numbered from 1 as the results list counts).
QString measurementTag(const measure::Shape& shape, int index, double micrometresPerPixel);

// Draws `shapes` (picture pixels) through `mapping`, only those that reach `visible`
// (panel coordinates), the `selected` one in the selection colour with its handles, and
// `pending` (a shape under way, may be null) without a tag.
void paintMeasurements(QPainter& painter, const std::vector<measure::Shape>& shapes,
                       const PictureMapping& mapping, double micrometresPerPixel, int selected,
                       const measure::Shape* pending, const QRectF& visible,
                       const MeasurementStyle& style = {});

// A scale bar in the bottom right corner of `area` (panel coordinates) for a picture shown
// through `mapping`, `pictureWidth` pixels wide; nothing for a picture without a width.
void paintScaleBar(QPainter& painter, const PictureMapping& mapping, double pictureWidth,
                   double micrometresPerPixel, const QRectF& area, const MeasurementStyle& style);

}  // namespace qelvo
