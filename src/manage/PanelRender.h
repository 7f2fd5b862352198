#pragma once

#include "imaging/CxImage.h"

#include <QImage>
#include <QRect>
#include <QSize>

namespace qelvo {

// The picture panel's drawings, each computed straight from the decoded picture at the
// panel's size (nearest sample throughout, as the platform's stretch draws), so a zoom
// step or a loupe move costs the panel's pixels rather than the picture's.
namespace panel_render {

// Fill colour around a picture drawn smaller than the panel.
inline constexpr QRgb kSurround = 0xFF1E1E1E;  // RGB(30, 30, 30)

// The whole picture stretched over the panel.
QImage fit(const CxImage& picture, QSize panel);

// The picture resized to scaledWidth x scaledHeight and drawn centred into the rectangle
// left = (cw - sw) / 2, right = cw - (cw - sw) / 2 (top and bottom alike) over the
// surround colour.  A picture larger than the panel overflows it evenly on both sides.
QImage centred(const CxImage& picture, int scaledWidth, int scaledHeight, QSize panel);

// The panel-sized window at (horizontalPan, verticalPan) into the picture resized to
// scaledWidth x scaledHeight, stretched over the panel (1:1 when the crop is full size).
// A null image when no crop can be taken.
QImage zoomedCrop(const CxImage& picture, int scaledWidth, int scaledHeight, int horizontalPan,
                  int verticalPan, QSize panel);

// The loupe band under the pointer, in panel pixels (inclusive edges as the band rules
// give them).
struct LoupeBand {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
};

// The band under a pointer at `pointer` (window coordinates) over the panel at `panel`
// (window coordinates), returned in panel pixels.  A band a quarter of the panel wide and
// high, centred on the pointer, or against the panel's edge near it.
LoupeBand loupeBand(QPoint pointer, QRect panel);

// The picture fitted to the panel with the middle half of the band enlarged twice over the
// band.  The band is taken over to picture pixels (the picture is drawn stretched), so the
// enlarged patch covers what lies under the pointer whatever the picture's size; for a
// picture the size of the panel that is the band itself.  Equal to cropping the middle
// half, resizing it, pasting it over a copy of the whole picture and fitting the result,
// without copying the picture.
QImage loupe(const CxImage& picture, const LoupeBand& band, QSize panel);

}  // namespace panel_render
}  // namespace qelvo
