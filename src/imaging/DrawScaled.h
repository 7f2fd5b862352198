#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

#include "imaging/CxImage.h"

class QPaintDevice;

namespace qelvo {

// The picture as an upright RGB image (top line first); a null image when empty.
QImage ToQImage(const CxImage& image);

// Draws the whole picture scaled into `rect` with nearest-sample scaling (rows and columns
// are dropped or repeated, never averaged). Returns 1 if drawn, 0 when the picture is empty
// or there is no surface. The painter form is for drawing inside a paint event.
int DrawScaled(const CxImage& image, QPainter& painter, const QRect& rect,
               QPainter::CompositionMode mode = QPainter::CompositionMode_Source);
int DrawScaled(const CxImage& image, QPaintDevice* surface, const QRect& rect,
               QPainter::CompositionMode mode = QPainter::CompositionMode_Source);

}  // namespace qelvo
