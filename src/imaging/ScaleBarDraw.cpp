#include "imaging/ScaleBarDraw.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace qelvo {

namespace {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

// 5 x 7 glyphs, one row a byte, the leftmost column the highest of five bits.
struct Glyph {
    char32_t code;
    std::uint8_t rows[kGlyphHeight];
};

constexpr Glyph kGlyphs[] = {
    {U'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {U'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {U'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {U'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {U'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {U'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {U'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {U'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {U'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {U'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {U'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {U',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}},
    {U'm', {0x00, 0x00, 0x1A, 0x15, 0x15, 0x15, 0x15}},
    {U'n', {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11}},
    {U'u', {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D}},
    {U'\u00B5', {0x00, 0x00, 0x11, 0x11, 0x13, 0x1D, 0x10}},
    {U'c', {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E}},
    {U'p', {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10}},
    {U'x', {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11}},
};

const Glyph* glyphFor(char32_t code) {
    for (const Glyph& g : kGlyphs)
        if (g.code == code) return &g;
    return nullptr;
}

// The label's characters; a byte that does not start a sound two-byte sequence stands for
// itself (and is then left as a gap).
std::vector<char32_t> decode(const std::string& text) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xE0) == 0xC0 && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            out.push_back(static_cast<char32_t>((c & 0x1F) << 6 |
                                                (static_cast<unsigned char>(text[i + 1]) & 0x3F)));
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

bool DrawScaleBar(const DrawTarget& target, double lengthPixels, const std::string& label) {
    if (!target.top || target.width <= 0 || target.height <= 0 ||
        (target.channels != 1 && target.channels != 3) ||
        (target.bitsPerSample != 8 && target.bitsPerSample != 16) || !(lengthPixels >= 1.0))
        return false;
    const int shortSide = std::min(target.width, target.height);
    const int scale = std::max(1, shortSide / 240);  // font pixels per glyph dot
    const int margin = std::max(4, shortSide / 32);
    const int thickness = std::max(2, shortSide / 120);
    const int halo = std::max(1, scale);
    const int gap = std::max(2, scale * 2);
    const int barLength = static_cast<int>(std::lround(lengthPixels));

    const std::vector<char32_t> text = decode(label);
    const int textWidth =
        text.empty() ? 0 : static_cast<int>(text.size()) * (kGlyphWidth + 1) * scale - scale;
    const int textHeight = text.empty() ? 0 : kGlyphHeight * scale;
    const int boxWidth = std::max(barLength, textWidth) + 2 * halo;
    const int boxHeight = thickness + (text.empty() ? 0 : gap + textHeight) + 2 * halo;
    const int left = target.width - margin - boxWidth;
    const int top = target.height - margin - boxHeight;
    if (left < 0 || top < 0) return false;

    // What is drawn, as a mask over the box; the edge is the mask grown by `halo`.
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(boxWidth) * boxHeight, 0);
    auto set = [&](int x, int y) {
        if (x >= 0 && y >= 0 && x < boxWidth && y < boxHeight)
            mask[static_cast<std::size_t>(y) * boxWidth + x] = 1;
    };
    const int barLeft = boxWidth - halo - barLength;
    const int barTop = boxHeight - halo - thickness;
    for (int y = barTop; y < barTop + thickness; ++y)
        for (int x = barLeft; x < barLeft + barLength; ++x) set(x, y);
    const int textLeft = barLeft + barLength / 2 - textWidth / 2;
    const int textTop = halo;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph* glyph = glyphFor(text[i]);
        if (!glyph) continue;
        const int gx = std::max(halo, textLeft) + static_cast<int>(i) * (kGlyphWidth + 1) * scale;
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int col = 0; col < kGlyphWidth; ++col)
                if (glyph->rows[row] & (0x10 >> col))
                    for (int dy = 0; dy < scale; ++dy)
                        for (int dx = 0; dx < scale; ++dx)
                            set(gx + col * scale + dx, textTop + row * scale + dy);
    }

    const bool wide = target.bitsPerSample == 16;
    const int sampleBytes = wide ? 2 : 1;
    auto pixel = [&](int x, int y) {
        return target.top + static_cast<std::ptrdiff_t>(top + y) * target.stride +
               static_cast<std::ptrdiff_t>(left + x) * target.channels * sampleBytes;
    };
    // A sample on the 8-bit scale.
    auto sample = [&](const std::uint8_t* p, int c) -> unsigned {
        if (!wide) return p[c];
        std::uint16_t v;
        std::memcpy(&v, p + 2 * c, 2);
        return (v + 128u) / 257u;
    };
    // The corner's brightness decides the colours.
    std::uint64_t sum = 0;
    for (int y = 0; y < boxHeight; ++y)
        for (int x = 0; x < boxWidth; ++x) {
            const std::uint8_t* p = pixel(x, y);
            sum += target.channels == 1
                       ? sample(p, 0)
                       : (sample(p, 0) * 299u + sample(p, 1) * 587u + sample(p, 2) * 114u) / 1000u;
        }
    const bool bright = sum / (static_cast<std::uint64_t>(boxWidth) * boxHeight) > 127;
    const std::uint8_t ink = bright ? 0 : 255;
    const std::uint8_t edge = bright ? 255 : 0;

    for (int y = 0; y < boxHeight; ++y)
        for (int x = 0; x < boxWidth; ++x) {
            std::uint8_t value;
            if (mask[static_cast<std::size_t>(y) * boxWidth + x]) {
                value = ink;
            } else {
                bool near = false;
                for (int dy = -halo; dy <= halo && !near; ++dy)
                    for (int dx = -halo; dx <= halo && !near; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        near = nx >= 0 && ny >= 0 && nx < boxWidth && ny < boxHeight &&
                               mask[static_cast<std::size_t>(ny) * boxWidth + nx];
                    }
                if (!near) continue;
                value = edge;
            }
            std::uint8_t* p = pixel(x, y);
            if (wide) {
                const auto v = static_cast<std::uint16_t>(value * 257u);
                for (int c = 0; c < target.channels; ++c) std::memcpy(p + 2 * c, &v, 2);
            } else {
                for (int c = 0; c < target.channels; ++c) p[c] = value;
            }
        }
    return true;
}

}  // namespace qelvo
