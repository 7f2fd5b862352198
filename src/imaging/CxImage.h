#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace qelvo {

// Format tags of a picture. FormatBmp is only a tag: there is no BMP codec.
enum ImageFormat : int {
    FormatUnknown = 0,
    FormatBmp = 1,
    FormatJpeg = 3,
    FormatWbmp = 9,
};

// A colour as stored in palettes and passed to the pixel operations.
struct RgbQuad {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t reserved = 0;

    friend bool operator==(const RgbQuad&, const RgbQuad&) = default;
};

// The 40-byte bitmap information header, as kept outside the pixel block.
struct BitmapInfoHeader {
    std::uint32_t size = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
};

inline constexpr std::size_t kBitmapInfoHeaderSize = 40;
// Largest pixel area a picture may have (width * height * bits / 8).
inline constexpr std::uint64_t kMaxImageBytes = 268435456;
// Every pixel block is allocated with this many spare bytes after its end, so that a 3-byte
// pixel may be read as 4 bytes anywhere in the block.
inline constexpr std::size_t kBlockSlack = 8;

// The in-memory picture: one block holding the bitmap information header, an optional
// palette and bottom-up pixel rows padded to 4 bytes (24-bit pixels stored blue, green, red).
// Row 0 is the bottom line of the picture; y coordinates count from the bottom.
//
// Operations return false on failure and leave a message in LastError(); nothing throws.
// A picture is used by one thread at a time.
class CxImage {
public:
    explicit CxImage(int format = FormatUnknown);
    ~CxImage();
    CxImage(const CxImage&) = delete;
    CxImage& operator=(const CxImage&) = delete;
    CxImage(CxImage&& other) noexcept;
    CxImage& operator=(CxImage&& other) noexcept;

    // ---- construction and access
    void Clear();
    // Allocates a fresh block; bits are normalised to 1, 4, 8 or 24. The palette and the row
    // padding start zeroed; the pixel bytes are not initialised (the caller fills them).
    std::uint8_t* Create(int width, int height, int bitsPerPixel, int format = FormatUnknown);
    bool CreateFromPixels(const std::uint8_t* bytes, int width, int height, int bitsPerPixel,
                          int bytesPerSourceRow, bool flip);
    bool CopyFrom(const CxImage& source);

    bool IsValid() const { return block_ != nullptr; }
    int Width() const { return header_.width; }
    int Height() const { return header_.height; }
    int BitsPerPixel() const { return header_.bitCount; }
    int ColorsUsed() const { return static_cast<int>(header_.clrUsed); }
    // Bytes per pixel row, padded to a multiple of 4.
    std::uint32_t RowBytes() const { return rowBytes_; }
    // Address of pixel row `row` (0 = bottom), or nullptr when out of range or empty.
    std::uint8_t* RowBits(int row);
    const std::uint8_t* RowBits(int row) const;
    // Start of the pixel area, the palette and the whole block (nullptr when empty).
    std::uint8_t* Bits() { return bits_; }
    const std::uint8_t* Bits() const { return bits_; }
    const std::uint8_t* Block() const { return block_; }
    std::size_t BlockSize() const;
    std::uint32_t ImageSize() const { return header_.sizeImage; }
    const BitmapInfoHeader& Header() const { return header_; }

    int Format() const { return format_; }
    float Quality() const { return quality_; }
    void SetQuality(std::uint8_t quality) { quality_ = static_cast<float>(quality); }
    int XDpi() const { return xDpi_; }
    int YDpi() const { return yDpi_; }
    void SetXDpi(int dpi);
    void SetYDpi(int dpi);

    int TransparentIndex() const { return transparentIndex_; }
    RgbQuad TransparentColor() const { return transparentColor_; }
    void SetTransparentIndex(int index);
    void SetTransparentColor(RgbQuad colour);
    bool IsTransparent(int x, int y) const;

    const char* LastError() const { return lastError_; }

    // ---- palette
    RgbQuad PaletteColor(int index) const;
    bool SetPaletteColor(int index, RgbQuad colour);
    // Entry i = i * (255 / (entries - 1)) on all three channels.
    void SetGrayPalette();
    // True for an 8-bit picture whose 256 entries are the identity grey ramp.
    bool IsGrayScale() const;

    // ---- pixels (x, y from the bottom-left corner)
    RgbQuad GetPixelColor(int x, int y) const;
    std::uint8_t GetPixelIndex(int x, int y) const;
    void SetPixelIndex(int x, int y, std::uint8_t index);
    bool SetPixelRgb(int x, int y, RgbQuad colour);
    bool DrawSegment(int x0, int x1, int y0, int y1, RgbQuad colour);
    bool PasteOver(const CxImage& source, int xOffset, int yOffset);

    // ---- files and streams
    bool LoadFile(const char* path, int format);
    // Writes through a temporary file in the target folder, renamed over the target only on
    // success, so a failed save leaves an existing file untouched.
    bool SaveFile(const char* path, int format);
    bool Decode(std::FILE* stream, int format);
    bool Encode(std::FILE* stream, int format);

    // ---- tone and colour
    bool AdjustLevels(int brightness, int contrast);
    bool SetHueSaturation(std::uint8_t hue, std::uint8_t saturation, float blend);
    bool Saturate(int amount, int colourSpace);
    bool StretchLevels(int method, double threshold);
    bool EqualizeLevels();
    long CountLevels(long* red, long* green, long* blue, long* grey, int colourSpace = 0) const;

    // ---- geometry (into `destination` when given, else in place)
    bool RotateDegrees(float angle, CxImage* destination = nullptr);
    bool RotateHalfTurn(CxImage* destination = nullptr);
    bool FlipVertical();
    bool MirrorHorizontal();
    bool Resize(int newWidth, int newHeight, int mode, CxImage* destination = nullptr);
    bool CropTo(int left, int top, int right, int bottom, CxImage* destination = nullptr);

    // Used by the codecs: sets the error text (truncated to the buffer).
    void SetLastError(const char* text);

private:
    friend struct ImageInternals;

    void CopyAttributesFrom(const CxImage& other);
    void AdoptBlockFrom(CxImage& other);
    void WriteHeaderToBlock();
    std::uint8_t NearestPaletteIndex(RgbQuad colour);
    void ClearPaletteCache() { cacheValid_ = false; }
    RgbQuad* PaletteData();
    const RgbQuad* PaletteData() const;
    bool RotateQuarter(bool clockwise, CxImage* destination);
    bool RotateGeneral(float angle, CxImage* destination);
    bool ResizeNearest(int newWidth, int newHeight, CxImage& out) const;
    bool ResizeInterpolated(int newWidth, int newHeight, int mode, CxImage& out) const;
    bool HandOver(CxImage& result, CxImage* destination);

    std::uint8_t* block_ = nullptr;
    std::size_t blockCapacity_ = 0;
    std::uint8_t* bits_ = nullptr;
    BitmapInfoHeader header_{};
    std::uint32_t rowBytes_ = 0;
    int format_ = FormatUnknown;
    float quality_ = 90.0f;
    int xDpi_ = 96;
    int yDpi_ = 96;
    int transparentIndex_ = -1;
    RgbQuad transparentColor_{};
    bool cacheValid_ = false;
    RgbQuad cachedColour_{};
    std::uint8_t cachedIndex_ = 0;
    char lastError_[256] = {};
};

}  // namespace qelvo
