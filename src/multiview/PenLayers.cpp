#include "multiview/PenLayers.h"

#include "skin/SkinTable.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

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

// Layer pixels [first, last) along one axis that pixel i of a stretch of `in` layer pixels
// to `out` pixels covers: all of them when shrinking, so a one-pixel stroke is never skipped,
// and at least one, the nearest sample, when enlarging.
std::pair<int, int> coveredSpan(int i, int out, int in) {
    const int first = static_cast<int>(static_cast<std::int64_t>(i) * in / out);
    const int last = static_cast<int>(static_cast<std::int64_t>(i + 1) * in / out);
    return {first, std::max(first + 1, last)};
}

// The first pixel that is not transparent grey among layer columns [left, right) of layer
// rows [low, high) (row 0 the bottom line), looking from the top row down and left to right
// within a row; nullptr when the block holds no stroke.  Picking one stroke pixel rather than
// mixing them keeps every colour a pen colour.
const std::uint8_t* firstStroke(const CxImage& layer, std::pair<int, int> columns,
                                std::pair<int, int> rows, RgbQuad grey) {
    for (int row = rows.second - 1; row >= rows.first; --row) {
        const std::uint8_t* p = layer.RowBits(row) + 3 * columns.first;
        for (int x = columns.first; x < columns.second; ++x, p += 3)
            if (p[0] != grey.blue || p[1] != grey.green || p[2] != grey.red) return p;
    }
    return nullptr;
}

std::vector<std::pair<int, int>> columnSpans(int out, int in) {
    std::vector<std::pair<int, int>> spans(static_cast<std::size_t>(out));
    for (int x = 0; x < out; ++x) spans[x] = coveredSpan(x, out, in);
    return spans;
}

// The 24-bit layer stretched to width x height without losing a stroke: each pixel takes the
// first stroke pixel it covers, or the transparent grey.
bool stretchLayer(const CxImage& layer, int width, int height, CxImage& out) {
    if (layer.BitsPerPixel() != 24 || !out.Create(width, height, 24)) return false;
    const RgbQuad grey = layer.TransparentColor();
    const std::uint8_t greyBytes[3] = {grey.blue, grey.green, grey.red};
    const auto columns = columnSpans(width, layer.Width());
    for (int y = 0; y < height; ++y) {
        const auto rows = coveredSpan(y, height, layer.Height());
        std::uint8_t* d = out.RowBits(y);
        for (int x = 0; x < width; ++x, d += 3) {
            const std::uint8_t* s = firstStroke(layer, columns[x], rows, grey);
            std::memcpy(d, s ? s : greyBytes, 3);
        }
    }
    out.SetTransparentIndex(0);
    out.SetTransparentColor(grey);
    return true;
}

}  // namespace

bool overlayLayer(CxImage& picture, const CxImage& layer) {
    if (!picture.IsValid() || !layer.IsValid()) return false;
    if (picture.Width() == layer.Width() && picture.Height() == layer.Height())
        return picture.PasteOver(layer, 0, 0);
    CxImage stretched;
    if (!stretchLayer(layer, picture.Width(), picture.Height(), stretched)) return false;
    return picture.PasteOver(stretched, 0, 0);
}

void overlayLayerScaled(QImage& pane, const CxImage& layer) {
    if (pane.isNull() || !layer.IsValid() || layer.BitsPerPixel() != 24) return;
    if (pane.format() != QImage::Format_RGB32) pane = pane.convertToFormat(QImage::Format_RGB32);
    const int w = pane.width(), h = pane.height(), lh = layer.Height();
    const RgbQuad grey = layer.TransparentColor();
    const auto columns = columnSpans(w, layer.Width());
    for (int y = 0; y < h; ++y) {
        // Pane rows run top-down, layer rows bottom-up.
        const auto [top, bottom] = coveredSpan(y, h, lh);
        auto* out = reinterpret_cast<std::uint32_t*>(pane.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = firstStroke(layer, columns[x], {lh - bottom, lh - top}, grey);
            if (p)
                out[x] =
                    0xFF000000u | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
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
