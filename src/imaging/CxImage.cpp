#include "imaging/CxImage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace qelvo {

namespace {

void PutLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

int NormaliseBits(int bits) {
    if (bits <= 1) return 1;
    if (bits <= 4) return 4;
    if (bits <= 8) return 8;
    return 24;
}

std::int32_t PelsPerMeter(int dpi) {
    const double ppm = std::floor(dpi * 39.37007874015748 + 0.5);
    return ppm >= 2147483647.0 ? 2147483647 : static_cast<std::int32_t>(ppm);
}

// Large blocks are kept for reuse by the next pictures made on the same thread. The picture
// tools build a new block at every turn, zoom step and crop while the old one is still alive,
// and fresh memory costs a page fault per page on first touch, which can cost more than the
// operation itself. Two blocks of at most 64 MiB each are kept, the least recently freed
// one giving way.
struct BlockCache {
    struct Slot {
        std::uint8_t* block = nullptr;
        std::size_t capacity = 0;
        unsigned long stamp = 0;
    };
    Slot slots[2];
    unsigned long clock = 0;
    ~BlockCache() {
        for (Slot& s : slots) std::free(s.block);
    }
};
thread_local BlockCache t_blockCache;
constexpr std::size_t kMinCachedBlock = std::size_t{1} << 20;
constexpr std::size_t kMaxCachedBlock = std::size_t{64} << 20;

std::uint8_t* AllocateBlock(std::size_t size, std::size_t& capacity) {
    BlockCache::Slot* best = nullptr;
    for (BlockCache::Slot& s : t_blockCache.slots) {
        // A block may be at most twice the size asked for, so memory is not wasted.
        if (s.block && s.capacity >= size && s.capacity / 2 <= size &&
            (!best || s.capacity < best->capacity))
            best = &s;
    }
    if (best) {
        capacity = best->capacity;
        best->capacity = 0;
        return std::exchange(best->block, nullptr);
    }
    capacity = size;
    // A few bytes beyond the block let pixel copies move 4 bytes for a 3-byte pixel.
    return static_cast<std::uint8_t*>(std::malloc(size + kBlockSlack));
}

void ReleaseBlock(std::uint8_t* block, std::size_t capacity) {
    if (!block) return;
    if (capacity < kMinCachedBlock || capacity > kMaxCachedBlock) {
        std::free(block);
        return;
    }
    BlockCache& cache = t_blockCache;
    BlockCache::Slot* slot = &cache.slots[0];
    for (BlockCache::Slot& s : cache.slots) {
        if (!s.block) {
            slot = &s;
            break;
        }
        if (s.stamp < slot->stamp) slot = &s;
    }
    std::free(slot->block);
    slot->block = block;
    slot->capacity = capacity;
    slot->stamp = ++cache.clock;
}

}  // namespace

CxImage::CxImage(int format) : format_(format) {}

CxImage::~CxImage() {
    ReleaseBlock(block_, blockCapacity_);
}

CxImage::CxImage(CxImage&& other) noexcept {
    *this = std::move(other);
}

CxImage& CxImage::operator=(CxImage&& other) noexcept {
    if (this == &other) return *this;
    ReleaseBlock(block_, blockCapacity_);
    block_ = std::exchange(other.block_, nullptr);
    blockCapacity_ = std::exchange(other.blockCapacity_, 0);
    bits_ = std::exchange(other.bits_, nullptr);
    header_ = other.header_;
    rowBytes_ = other.rowBytes_;
    CopyAttributesFrom(other);
    std::memcpy(lastError_, other.lastError_, sizeof lastError_);
    other.Clear();
    return *this;
}

void CxImage::Clear() {
    ReleaseBlock(block_, blockCapacity_);
    block_ = nullptr;
    blockCapacity_ = 0;
    bits_ = nullptr;
    header_.width = 0;
    header_.height = 0;
    header_.sizeImage = 0;
    rowBytes_ = 0;
    ClearPaletteCache();
}

void CxImage::SetLastError(const char* text) {
    std::strncpy(lastError_, text ? text : "", sizeof lastError_ - 1);
    lastError_[sizeof lastError_ - 1] = '\0';
}

std::uint8_t* CxImage::Create(int width, int height, int bitsPerPixel, int format) {
    Clear();
    if (width <= 0 || height <= 0) {
        SetLastError("CxImage::Create : width and height must be greater than zero");
        return nullptr;
    }
    const int bits = NormaliseBits(bitsPerPixel);
    const std::uint64_t wanted =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * bits / 8;
    if (wanted > kMaxImageBytes) {
        SetLastError("CXIMAGE_MAX_MEMORY exceeded");
        return nullptr;
    }
    const std::uint32_t rowBytes =
        static_cast<std::uint32_t>((static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4);
    const std::uint32_t colours = bits == 24 ? 0u : (1u << bits);
    const std::size_t total = kBitmapInfoHeaderSize + colours * 4u +
                              static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height);
    std::size_t capacity = 0;
    std::uint8_t* block = AllocateBlock(total, capacity);
    if (!block) {
        SetLastError("CxImage::Create can't allocate memory");
        return nullptr;
    }
    block_ = block;
    blockCapacity_ = capacity;
    bits_ = block + kBitmapInfoHeaderSize + colours * 4u;
    // The palette starts zeroed, and so does the padding at the end of each row, so that
    // whole-row copies and byte maps never carry stale bytes. Pixels are left to the caller.
    std::memset(block + kBitmapInfoHeaderSize, 0, colours * 4u);
    const std::size_t used = (static_cast<std::size_t>(width) * bits + 7) / 8;
    if (used < rowBytes) {
        for (int y = 0; y < height; ++y)
            std::memset(bits_ + static_cast<std::size_t>(rowBytes) * y + used, 0, rowBytes - used);
    }
    rowBytes_ = rowBytes;
    header_ = BitmapInfoHeader{};
    header_.width = width;
    header_.height = height;
    header_.bitCount = static_cast<std::uint16_t>(bits);
    header_.sizeImage = rowBytes * static_cast<std::uint32_t>(height);
    header_.xPelsPerMeter = PelsPerMeter(xDpi_);
    header_.yPelsPerMeter = PelsPerMeter(yDpi_);
    header_.clrUsed = colours;
    format_ = format;
    WriteHeaderToBlock();
    return block_;
}

void CxImage::WriteHeaderToBlock() {
    if (!block_) return;
    std::uint8_t* p = block_;
    PutLe32(p + 0, header_.size);
    PutLe32(p + 4, static_cast<std::uint32_t>(header_.width));
    PutLe32(p + 8, static_cast<std::uint32_t>(header_.height));
    PutLe16(p + 12, header_.planes);
    PutLe16(p + 14, header_.bitCount);
    PutLe32(p + 16, header_.compression);
    PutLe32(p + 20, header_.sizeImage);
    PutLe32(p + 24, static_cast<std::uint32_t>(header_.xPelsPerMeter));
    PutLe32(p + 28, static_cast<std::uint32_t>(header_.yPelsPerMeter));
    PutLe32(p + 32, header_.clrUsed);
    PutLe32(p + 36, header_.clrImportant);
}

std::size_t CxImage::BlockSize() const {
    if (!block_) return 0;
    return kBitmapInfoHeaderSize + header_.clrUsed * 4u + header_.sizeImage;
}

bool CxImage::CreateFromPixels(const std::uint8_t* bytes, int width, int height, int bitsPerPixel,
                               int bytesPerSourceRow, bool flip) {
    if (!bytes || bytesPerSourceRow < 0) return false;
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24 &&
        bitsPerPixel != 32)
        return false;
    if (!Create(width, height, bitsPerPixel, FormatUnknown)) return false;
    if (bitsPerPixel < 24) SetGrayPalette();
    const std::size_t srcRow = static_cast<std::size_t>(bytesPerSourceRow);
    for (int i = 0; i < height; ++i) {
        const std::uint8_t* src = bytes + srcRow * static_cast<std::size_t>(i);
        std::uint8_t* dst = bits_ + static_cast<std::size_t>(rowBytes_) *
                                        static_cast<std::size_t>(flip ? height - 1 - i : i);
        if (bitsPerPixel == 32) {
            // Keep blue, green, red of each pixel; never read past the source row.
            const std::size_t pixels = std::min<std::size_t>(width, srcRow / 4);
            for (std::size_t x = 0; x < pixels; ++x) {
                dst[3 * x] = src[4 * x];
                dst[3 * x + 1] = src[4 * x + 1];
                dst[3 * x + 2] = src[4 * x + 2];
            }
        } else {
            std::memcpy(dst, src, std::min<std::size_t>(rowBytes_, srcRow));
        }
    }
    return true;
}

void CxImage::CopyAttributesFrom(const CxImage& other) {
    format_ = other.format_;
    quality_ = other.quality_;
    xDpi_ = other.xDpi_;
    yDpi_ = other.yDpi_;
    transparentIndex_ = other.transparentIndex_;
    transparentColor_ = other.transparentColor_;
    cacheValid_ = false;
}

bool CxImage::CopyFrom(const CxImage& source) {
    if (&source == this) return IsValid();
    if (!source.IsValid()) return false;
    const std::size_t size = source.BlockSize();
    Clear();
    std::size_t capacity = 0;
    std::uint8_t* block = AllocateBlock(size, capacity);
    if (!block) {
        SetLastError("CxImage::Create can't allocate memory");
        return false;
    }
    std::memcpy(block, source.block_, size);
    block_ = block;
    blockCapacity_ = capacity;
    bits_ = block + (source.bits_ - source.block_);
    header_ = source.header_;
    rowBytes_ = source.rowBytes_;
    CopyAttributesFrom(source);
    return true;
}

// Takes over the other picture's block and header; the other picture becomes empty.
void CxImage::AdoptBlockFrom(CxImage& other) {
    ReleaseBlock(block_, blockCapacity_);
    block_ = std::exchange(other.block_, nullptr);
    blockCapacity_ = std::exchange(other.blockCapacity_, 0);
    bits_ = std::exchange(other.bits_, nullptr);
    header_ = other.header_;
    rowBytes_ = other.rowBytes_;
    ClearPaletteCache();
    other.Clear();
}

std::uint8_t* CxImage::RowBits(int row) {
    if (!block_ || row < 0 || row >= header_.height) return nullptr;
    return bits_ + static_cast<std::size_t>(rowBytes_) * static_cast<std::size_t>(row);
}

const std::uint8_t* CxImage::RowBits(int row) const {
    return const_cast<CxImage*>(this)->RowBits(row);
}

void CxImage::SetXDpi(int dpi) {
    xDpi_ = dpi <= 0 ? 96 : dpi;
    header_.xPelsPerMeter = PelsPerMeter(xDpi_);
    WriteHeaderToBlock();
}

void CxImage::SetYDpi(int dpi) {
    yDpi_ = dpi <= 0 ? 96 : dpi;
    header_.yPelsPerMeter = PelsPerMeter(yDpi_);
    WriteHeaderToBlock();
}

void CxImage::SetTransparentIndex(int index) {
    transparentIndex_ = index < static_cast<int>(header_.clrUsed) ? index : 0;
}

void CxImage::SetTransparentColor(RgbQuad colour) {
    colour.reserved = 0;
    transparentColor_ = colour;
}

bool CxImage::IsTransparent(int x, int y) const {
    if (!block_ || transparentIndex_ < 0) return false;
    if (header_.bitCount < 24) return GetPixelIndex(x, y) == transparentIndex_;
    const RgbQuad c = GetPixelColor(x, y);
    return c.blue == transparentColor_.blue && c.green == transparentColor_.green &&
           c.red == transparentColor_.red;
}

// ---- palette

RgbQuad* CxImage::PaletteData() {
    return block_ && header_.clrUsed ? reinterpret_cast<RgbQuad*>(block_ + kBitmapInfoHeaderSize)
                                     : nullptr;
}

const RgbQuad* CxImage::PaletteData() const {
    return const_cast<CxImage*>(this)->PaletteData();
}

RgbQuad CxImage::PaletteColor(int index) const {
    const RgbQuad* pal = PaletteData();
    if (!pal || index < 0 || index >= static_cast<int>(header_.clrUsed)) return RgbQuad{};
    return pal[index];
}

bool CxImage::SetPaletteColor(int index, RgbQuad colour) {
    RgbQuad* pal = PaletteData();
    if (!pal || index < 0 || index >= static_cast<int>(header_.clrUsed)) return false;
    colour.reserved = 0;
    pal[index] = colour;
    ClearPaletteCache();
    return true;
}

void CxImage::SetGrayPalette() {
    RgbQuad* pal = PaletteData();
    if (!pal) return;
    const int entries = static_cast<int>(header_.clrUsed);
    const int step = 255 / (entries - 1);
    for (int i = 0; i < entries; ++i) {
        const auto v = static_cast<std::uint8_t>(i * step);
        pal[i] = RgbQuad{v, v, v, 0};
    }
    ClearPaletteCache();
}

bool CxImage::IsGrayScale() const {
    const RgbQuad* pal = PaletteData();
    if (!pal || header_.bitCount != 8 || header_.clrUsed != 256) return false;
    for (int i = 0; i < 256; ++i) {
        if (pal[i].blue != i || pal[i].green != i || pal[i].red != i) return false;
    }
    return true;
}

// ---- pixels

std::uint8_t CxImage::GetPixelIndex(int x, int y) const {
    if (!block_ || header_.bitCount == 24) return 0;
    if (x < 0 || y < 0 || x >= header_.width || y >= header_.height) {
        if (transparentIndex_ >= 0) return static_cast<std::uint8_t>(transparentIndex_);
        return bits_[0];
    }
    const std::uint8_t* row = bits_ + static_cast<std::size_t>(rowBytes_) * y;
    switch (header_.bitCount) {
        case 8:
            return row[x];
        case 4: {
            const std::uint8_t b = row[x >> 1];
            return (x & 1) ? (b & 0x0F) : (b >> 4);
        }
        default:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

void CxImage::SetPixelIndex(int x, int y, std::uint8_t index) {
    if (!block_ || header_.bitCount == 24) return;
    if (x < 0 || y < 0 || x >= header_.width || y >= header_.height) return;
    std::uint8_t* row = bits_ + static_cast<std::size_t>(rowBytes_) * y;
    switch (header_.bitCount) {
        case 8:
            row[x] = index;
            break;
        case 4: {
            std::uint8_t& b = row[x >> 1];
            b = (x & 1) ? static_cast<std::uint8_t>((b & 0xF0) | (index & 0x0F))
                        : static_cast<std::uint8_t>((b & 0x0F) | ((index & 0x0F) << 4));
            break;
        }
        default: {
            std::uint8_t& b = row[x >> 3];
            const auto mask = static_cast<std::uint8_t>(0x80 >> (x & 7));
            b = (index & 1) ? (b | mask) : static_cast<std::uint8_t>(b & ~mask);
            break;
        }
    }
}

RgbQuad CxImage::GetPixelColor(int x, int y) const {
    if (!block_) return RgbQuad{};
    if (x < 0 || y < 0 || x >= header_.width || y >= header_.height) {
        if (transparentIndex_ >= 0) {
            if (header_.bitCount < 24) return PaletteColor(transparentIndex_);
            return transparentColor_;
        }
        x = 0;
        y = 0;
    }
    if (header_.bitCount == 24) {
        const std::uint8_t* p = bits_ + static_cast<std::size_t>(rowBytes_) * y + 3 * x;
        return RgbQuad{p[0], p[1], p[2], 0};
    }
    return PaletteColor(GetPixelIndex(x, y));
}

std::uint8_t CxImage::NearestPaletteIndex(RgbQuad colour) {
    colour.reserved = 0;
    if (cacheValid_ && colour == cachedColour_) return cachedIndex_;
    const RgbQuad* pal = PaletteData();
    const int entries =
        static_cast<int>(header_.clrImportant ? header_.clrImportant : header_.clrUsed);
    long best = 200000;
    int bestIndex = 0;
    for (int i = 0; i < entries && i < static_cast<int>(header_.clrUsed); ++i) {
        const long db = pal[i].blue - colour.blue;
        const long dg = pal[i].green - colour.green;
        const long dr = pal[i].red - colour.red;
        const long d = db * db + dg * dg + dr * dr;
        if (d == 0) {
            bestIndex = i;
            break;
        }
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    cacheValid_ = true;
    cachedColour_ = colour;
    cachedIndex_ = static_cast<std::uint8_t>(bestIndex);
    return cachedIndex_;
}

bool CxImage::SetPixelRgb(int x, int y, RgbQuad colour) {
    if (!block_) return false;
    if (x < 0 || y < 0 || x >= header_.width || y >= header_.height) return true;
    if (header_.bitCount == 24) {
        std::uint8_t* p = bits_ + static_cast<std::size_t>(rowBytes_) * y + 3 * x;
        p[0] = colour.blue;
        p[1] = colour.green;
        p[2] = colour.red;
    } else {
        SetPixelIndex(x, y, NearestPaletteIndex(colour));
    }
    return true;
}

bool CxImage::DrawSegment(int x0, int x1, int y0, int y1, RgbQuad colour) {
    if (!block_) return false;
    const long dx = std::labs(static_cast<long>(x1) - x0);
    const long dy = std::labs(static_cast<long>(y1) - y0);
    const int sx = x1 >= x0 ? 1 : -1;
    const int sy = y1 >= y0 ? 1 : -1;
    long x = x0;
    long y = y0;
    if (dx >= dy) {
        long num = dx / 2;
        for (long i = 0; i <= dx; ++i) {
            SetPixelRgb(static_cast<int>(x), static_cast<int>(y), colour);
            num += dy;
            if (num >= dx) {
                num -= dx;
                y += sy;
            }
            x += sx;
        }
    } else {
        long num = dy / 2;
        for (long i = 0; i <= dy; ++i) {
            SetPixelRgb(static_cast<int>(x), static_cast<int>(y), colour);
            num += dx;
            if (num >= dy) {
                num -= dy;
                x += sx;
            }
            y += sy;
        }
    }
    return true;
}

bool CxImage::PasteOver(const CxImage& source, int xOffset, int yOffset) {
    if (!block_ || !source.block_) return false;
    const bool skipTransparent = source.transparentIndex_ >= 0;
    // Source pixels that land inside this picture; the others are dropped.
    const long x0 = std::max(0L, -static_cast<long>(xOffset));
    const long x1 =
        std::min<long>(source.header_.width, static_cast<long>(header_.width) - xOffset);
    const long y0 = std::max(0L, -static_cast<long>(yOffset));
    const long y1 =
        std::min<long>(source.header_.height, static_cast<long>(header_.height) - yOffset);
    if (header_.bitCount == 24 && source.header_.bitCount == 24 && &source != this) {
        // Direct byte path: the same result as colour reads and writes.
        const RgbQuad t = source.transparentColor_;
        for (long y = y0; y < y1; ++y) {
            const std::uint8_t* s = source.bits_ + static_cast<std::size_t>(source.rowBytes_) * y;
            std::uint8_t* d = bits_ + static_cast<std::size_t>(rowBytes_) * (y + yOffset);
            for (long x = x0; x < x1; ++x) {
                const std::uint8_t* sp = s + 3 * x;
                if (skipTransparent && sp[0] == t.blue && sp[1] == t.green && sp[2] == t.red)
                    continue;
                std::uint8_t* dp = d + 3 * (x + xOffset);
                dp[0] = sp[0];
                dp[1] = sp[1];
                dp[2] = sp[2];
            }
        }
        return true;
    }
    for (long x = x0; x < x1; ++x) {
        for (long y = y0; y < y1; ++y) {
            const int sx = static_cast<int>(x), sy = static_cast<int>(y);
            if (skipTransparent && source.IsTransparent(sx, sy)) continue;
            SetPixelRgb(static_cast<int>(x + xOffset), static_cast<int>(y + yOffset),
                        source.GetPixelColor(sx, sy));
        }
    }
    return true;
}

}  // namespace qelvo
