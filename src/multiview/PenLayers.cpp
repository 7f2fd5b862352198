#include "multiview/PenLayers.h"

#include "skin/SkinTable.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace qelvo {
namespace {

RgbQuad toRgbQuad(unsigned colour) {
    return RgbQuad{static_cast<std::uint8_t>((colour >> 16) & 0xFF),
                   static_cast<std::uint8_t>((colour >> 8) & 0xFF),
                   static_cast<std::uint8_t>(colour & 0xFF), 0};
}

void makeLayer(CxImage& layer) {
    layer.Clear();
    if (!layer.Create(PenLayers::kLayerWidth, PenLayers::kLayerHeight, 24)) return;
    std::memset(layer.Bits(), 128, layer.ImageSize());
    layer.SetTransparentIndex(0);
    layer.SetTransparentColor(PenLayers::kTransparentGrey);
}

}  // namespace

bool overlayLayer(CxImage& picture, const CxImage& layer) {
    if (!picture.IsValid() || !layer.IsValid()) return false;
    if (picture.Width() == layer.Width() && picture.Height() == layer.Height())
        return picture.PasteOver(layer, 0, 0);
    // Nearest samples keep the grey exact, so the stretched layer stays transparent there.
    CxImage stretched;
    CxImage& source = const_cast<CxImage&>(layer);  // Resize into a destination leaves it as is
    if (!source.Resize(picture.Width(), picture.Height(), 1, &stretched)) return false;
    stretched.SetTransparentIndex(0);
    stretched.SetTransparentColor(layer.TransparentColor());
    return picture.PasteOver(stretched, 0, 0);
}

void overlayLayerScaled(QImage& pane, const CxImage& layer) {
    if (pane.isNull() || !layer.IsValid() || layer.BitsPerPixel() != 24) return;
    if (pane.format() != QImage::Format_RGB32) pane = pane.convertToFormat(QImage::Format_RGB32);
    const int w = pane.width(), h = pane.height();
    const int lw = layer.Width(), lh = layer.Height();
    const RgbQuad grey = layer.TransparentColor();
    // Each pane pixel looks at every layer pixel it covers, so a one-pixel stroke stays
    // visible on a half-size pane (a plain nearest sample would skip every other line).
    auto span = [](int i, int out, int in) {
        const int first = static_cast<int>(static_cast<std::int64_t>(i) * in / out);
        const int last = static_cast<int>(static_cast<std::int64_t>(i + 1) * in / out);
        return std::pair<int, int>{first, std::max(first + 1, last)};
    };
    for (int y = 0; y < h; ++y) {
        const auto [top, bottom] = span(y, h, lh);
        auto* out = reinterpret_cast<std::uint32_t*>(pane.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const auto [left, right] = span(x, w, lw);
            for (int ly = top; ly < bottom; ++ly) {
                const std::uint8_t* row = layer.RowBits(lh - 1 - ly);
                const std::uint8_t* p = row + 3 * left;
                int lx = left;
                for (; lx < right; ++lx, p += 3)
                    if (p[0] != grey.blue || p[1] != grey.green || p[2] != grey.red) break;
                if (lx < right) {
                    out[x] = 0xFF000000u | (std::uint32_t{p[2]} << 16) |
                             (std::uint32_t{p[1]} << 8) | p[0];
                    break;
                }
            }
        }
    }
}

PenLayers::PenLayers() {
    resetLayers();
}

void PenLayers::togglePenMode() {
    penMode_ = !penMode_;
    if (!penMode_) colour_ = 0;
}

bool PenLayers::pickColour(QPoint p) {
    if (!penMode_ || !kPenSwatchStrip.contains(p)) return false;
    const int column = (p.x() - kPenSwatchStrip.x()) / kPenSwatchWidth;
    if (column >= static_cast<int>(kPenSwatchColours.size())) return false;
    const QRgb rgb = kPenSwatchColours[column];
    colour_ = (unsigned(qBlue(rgb)) << 16) | (unsigned(qGreen(rgb)) << 8) | unsigned(qRed(rgb));
    return true;
}

void PenLayers::stroke(int pane, QPoint previous, QPoint position, int scale) {
    if (pane < 0 || pane >= kPanes) return;
    CxImage& layer = layers_[pane];
    const int h = layer.Height();
    const RgbQuad colour = toRgbQuad(colour_);
    const int x = scale * position.x(), y = h - scale * position.y();
    if (previous.x() == -1 || previous.y() == -1)
        layer.SetPixelRgb(x, y, colour);
    else
        layer.DrawSegment(scale * previous.x(), x, h - scale * previous.y(), y, colour);
    ++revision_;
}

void PenLayers::resetLayers() {
    for (CxImage& layer : layers_) makeLayer(layer);
    ++revision_;
}

}  // namespace qelvo
