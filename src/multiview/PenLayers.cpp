#include "multiview/PenLayers.h"

#include "skin/SkinTable.h"

#include <cstring>

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
