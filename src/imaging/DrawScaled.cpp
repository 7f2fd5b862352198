#include "imaging/DrawScaled.h"

#include <QPaintDevice>
#include <cstring>

namespace qelvo {

QImage ToQImage(const CxImage& image) {
    if (!image.IsValid()) return {};
    const int w = image.Width(), h = image.Height();
    QImage out(w, h, QImage::Format_RGB888);
    if (out.isNull()) return {};
    for (int y = 0; y < h; ++y) {
        // Picture rows run bottom-up; image lines top-down.
        const std::uint8_t* src = image.RowBits(h - 1 - y);
        std::uint8_t* dst = out.scanLine(y);
        if (image.BitsPerPixel() == 24) {
            for (int x = 0; x < w; ++x, src += 3, dst += 3) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
            }
        } else {
            for (int x = 0; x < w; ++x, dst += 3) {
                const RgbQuad c = image.GetPixelColor(x, h - 1 - y);
                dst[0] = c.red;
                dst[1] = c.green;
                dst[2] = c.blue;
            }
        }
    }
    return out;
}

int DrawScaled(const CxImage& image, QPainter& painter, const QRect& rect,
               QPainter::CompositionMode mode) {
    if (!image.IsValid() || !painter.isActive()) return 0;
    const QImage upright = ToQImage(image);
    if (upright.isNull()) return 0;
    painter.save();
    painter.setCompositionMode(mode);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect, upright);
    painter.restore();
    return 1;
}

int DrawScaled(const CxImage& image, QPaintDevice* surface, const QRect& rect,
               QPainter::CompositionMode mode) {
    if (!image.IsValid() || !surface) return 0;
    QPainter painter(surface);
    if (!painter.isActive()) return 0;
    return DrawScaled(image, painter, rect, mode);
}

}  // namespace qelvo
