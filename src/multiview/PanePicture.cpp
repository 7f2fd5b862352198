#include "multiview/PanePicture.h"

#include "imaging/CxImage.h"
#include "multiview/PenLayers.h"

#include <cstdint>
#include <vector>

namespace qelvo {

bool composePane(const PanePicture& pane, const CxImage* layer, CxImage& out) {
    if (!pane.holdsPicture()) return false;
    const FrameRecord& f = *pane.frame;
    if (!out.CreateFromPixels(f.pixels(), f.width(), f.height(), 24, static_cast<int>(f.rowBytes()),
                              false))
        return false;
    if (layer) overlayLayer(out, *layer);
    return true;
}

QImage scaledPane(const PanePicture& pane, QSize size) {
    if (!pane.holdsPicture() || size.isEmpty()) return {};
    const FrameRecord& f = *pane.frame;
    const int w = size.width(), h = size.height();
    QImage out(w, h, QImage::Format_RGB32);
    std::vector<int> columns(w);
    for (int x = 0; x < w; ++x)
        columns[x] = static_cast<int>(static_cast<std::int64_t>(x) * f.width() / w) * 3;
    const std::size_t stride = f.rowBytes();
    for (int y = 0; y < h; ++y) {
        const int sourceRow = static_cast<int>(static_cast<std::int64_t>(y) * f.height() / h);
        const std::uint8_t* in = f.pixels() + stride * (f.height() - 1 - sourceRow);
        auto* line = reinterpret_cast<std::uint32_t*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = in + columns[x];
            line[x] = 0xFF000000u | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
        }
    }
    return out;
}

}  // namespace qelvo
