#include "manage/PanelRender.h"

#include "imaging/ResizedCrop.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace qelvo::panel_render {
namespace {

constexpr int kSurroundSample = -1;

// Nearest sample of `length` source pixels onto `count` output pixels.
inline int stretched(int i, int count, int length) {
    return static_cast<int>(static_cast<std::int64_t>(i) * length / count);
}

QRgb colourAt(const CxImage& picture, int x, int y) {
    if (picture.BitsPerPixel() == 24 && x >= 0 && y >= 0 && x < picture.Width() &&
        y < picture.Height()) {
        const std::uint8_t* p = picture.RowBits(y) + 3 * x;
        return qRgb(p[2], p[1], p[0]);
    }
    const RgbQuad c = picture.GetPixelColor(x, y);
    return qRgb(c.red, c.green, c.blue);
}

// Output pixel (x, y) (top line first) = picture pixel (columns[x], rows[y]) with rows
// counted from the bottom; kSurroundSample in either gives the surround colour.
QImage sample(const CxImage& picture, const std::vector<int>& columns,
              const std::vector<int>& rows) {
    QImage out(static_cast<int>(columns.size()), static_cast<int>(rows.size()),
               QImage::Format_RGB32);
    if (out.isNull()) return out;
    const bool colour = picture.BitsPerPixel() == 24;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        const int sy = rows[y];
        const std::uint8_t* row =
            colour && sy >= 0 && sy < picture.Height() ? picture.RowBits(sy) : nullptr;
        for (int x = 0; x < out.width(); ++x) {
            const int sx = columns[x];
            if (sy == kSurroundSample || sx == kSurroundSample) {
                line[x] = kSurround;
            } else if (row && sx < picture.Width()) {
                const std::uint8_t* p = row + 3 * sx;
                line[x] = qRgb(p[2], p[1], p[0]);
            } else {
                line[x] = colourAt(picture, sx, sy);
            }
        }
    }
    return out;
}

std::vector<int> fitColumns(int width, int panelWidth) {
    std::vector<int> columns(static_cast<std::size_t>(panelWidth));
    for (int x = 0; x < panelWidth; ++x) columns[x] = stretched(x, panelWidth, width);
    return columns;
}

std::vector<int> fitRows(int height, int panelHeight) {
    std::vector<int> rows(static_cast<std::size_t>(panelHeight));
    for (int y = 0; y < panelHeight; ++y) rows[y] = height - 1 - stretched(y, panelHeight, height);
    return rows;
}

// Resize's nearest mapping from a resized coordinate back to the source.
inline int resizedToSource(int i, int length, int scaled) {
    if (length == scaled) return i;
    return static_cast<int>(static_cast<float>(i) *
                            (static_cast<float>(length) / static_cast<float>(scaled)));
}

}  // namespace

QImage fit(const CxImage& picture, QSize panel) {
    if (!picture.IsValid() || panel.isEmpty()) return {};
    return sample(picture, fitColumns(picture.Width(), panel.width()),
                  fitRows(picture.Height(), panel.height()));
}

QImage centred(const CxImage& picture, int sw, int sh, QSize panel) {
    if (!picture.IsValid() || panel.isEmpty() || sw <= 0 || sh <= 0) return {};
    const int cw = panel.width(), ch = panel.height();
    const int left = (cw - sw) / 2, right = cw - (cw - sw) / 2;
    const int top = (ch - sh) / 2, bottom = ch - (ch - sh) / 2;
    const int w = picture.Width(), h = picture.Height();
    std::vector<int> columns(static_cast<std::size_t>(cw), kSurroundSample);
    for (int x = std::max(0, left); x < std::min(cw, right); ++x)
        columns[x] = resizedToSource(stretched(x - left, right - left, sw), w, sw);
    std::vector<int> rows(static_cast<std::size_t>(ch), kSurroundSample);
    for (int y = std::max(0, top); y < std::min(ch, bottom); ++y) {
        const int scaledRow = sh - 1 - stretched(y - top, bottom - top, sh);
        rows[y] = resizedToSource(scaledRow, h, sh);
    }
    return sample(picture, columns, rows);
}

QImage zoomedCrop(const CxImage& picture, int sw, int sh, int hPan, int vPan, QSize panel) {
    if (panel.isEmpty()) return {};
    CxImage crop;
    if (!ResizedCrop(picture, sw, sh, hPan, vPan, hPan + panel.width(), vPan + panel.height(),
                     crop))
        return {};
    return fit(crop, panel);
}

LoupeBand loupeBand(QPoint pointer, QRect panel) {
    // The rules compare the pointer's window coordinates with quarter and eighth panel
    // sizes; the edges they give are window coordinates, returned relative to the panel.
    const int x = pointer.x(), y = pointer.y();
    const int l = panel.left(), t = panel.top();
    const int r = l + panel.width(), b = t + panel.height();
    const int q = panel.width() / 4, e = panel.width() / 8;
    const int qv = panel.height() / 4, ev = panel.height() / 8;
    LoupeBand band;
    if (x - q > 0) {
        band.left = x + e < r ? x - e : r - q;
        band.right = x + e < r ? x + e : r - 1;
    } else {
        band.left = l;
        band.right = l + q;
    }
    if (y - qv <= 0) {
        band.top = t;
        band.bottom = t + qv;
    } else {
        band.top = y + ev < b ? y - ev : b - qv;
        band.bottom = y + ev < b ? y + ev : b - 1;
    }
    band.left -= l;
    band.right -= l;
    band.top -= t;
    band.bottom -= t;
    return band;
}

QImage loupe(const CxImage& picture, const LoupeBand& band, QSize panel) {
    QImage out = fit(picture, panel);
    if (out.isNull()) return out;
    const int w = picture.Width(), h = picture.Height();
    const int cw = panel.width(), ch = panel.height();
    // The band in picture pixels.
    const int bl = stretched(band.left, cw, w), br = stretched(band.right, cw, w);
    const int bt = stretched(band.top, ch, h), bb = stretched(band.bottom, ch, h);
    const int ox = (br - bl) / 4, oy = (bb - bt) / 4;
    // The middle half, cropped as CropTo would (clamped, top and bottom from the top edge).
    int x0 = std::clamp(bl + ox, 0, w), x1 = std::clamp(br - ox, 0, w);
    int ya = h - std::clamp(bt + oy, 0, h), yb = h - std::clamp(bb - oy, 0, h);
    if (x0 == x1 || ya == yb) return out;
    if (x0 > x1) std::swap(x0, x1);
    if (ya > yb) std::swap(ya, yb);
    const int cropW = x1 - x0, cropH = yb - ya;
    // Enlarged twice and pasted with its left edge at bl and its top edge at bb's row.
    const int ew = 2 * (br - bl - 2 * ox), eh = 2 * (bb - bt - 2 * oy);
    if (ew <= 0 || eh <= 0) return out;
    const int pasteX = bl, pasteY = h - bb;
    const int invalid = -2;
    auto patchColumn = [&](int sx) {
        const int u = sx - pasteX;
        if (u < 0 || u >= ew) return -1;
        const int c = resizedToSource(u, cropW, ew);
        return c >= 0 && c < cropW ? x0 + c : invalid;
    };
    auto patchRow = [&](int sy) {
        const int v = sy - pasteY;
        if (v < 0 || v >= eh) return -1;
        const int r = resizedToSource(v, cropH, eh);
        return r >= 0 && r < cropH ? ya + r : invalid;
    };
    const std::vector<int> columns = fitColumns(w, cw), rows = fitRows(h, ch);
    for (int y = 0; y < ch; ++y) {
        const int py = patchRow(rows[y]);
        if (py == -1) continue;
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < cw; ++x) {
            const int px = patchColumn(columns[x]);
            if (px == -1) continue;
            // A sample that float rounding puts outside the crop takes the crop's first pixel.
            line[x] = px == invalid || py == invalid ? colourAt(picture, x0, ya)
                                                     : colourAt(picture, px, py);
        }
    }
    return out;
}

}  // namespace qelvo::panel_render
