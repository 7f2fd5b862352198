#include "imaging/ExifEditor.h"

#include <cstring>

#include "imaging/JpegSegments.h"

namespace qelvo {

namespace {

constexpr std::uint16_t kOrientation = 0x0112;
constexpr std::uint16_t kExifIfdPointer = 0x8769;
constexpr std::uint16_t kPixelXDimension = 0xA002;
constexpr std::uint16_t kPixelYDimension = 0xA003;
constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;
constexpr std::uint16_t kIfd = 13;
constexpr std::size_t kEntrySize = 12;

enum Slot { OrientationSlot = 0, WidthSlot = 1, HeightSlot = 2 };

}  // namespace

ExifEditor::ExifEditor(std::uint8_t* payload, std::size_t size)
    : data_(payload),
      size_(size),
      bigEndian_(payload && size > kTiffStart && payload[kTiffStart] == 'M') {}

bool ExifEditor::U16(std::size_t at, std::uint16_t& v) const {
    if (at > size_ || size_ - at < 2) return false;
    const std::uint8_t* p = data_ + at;
    v = static_cast<std::uint16_t>(bigEndian_ ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]));
    return true;
}

bool ExifEditor::U32(std::size_t at, std::uint32_t& v) const {
    if (at > size_ || size_ - at < 4) return false;
    const std::uint8_t* p = data_ + at;
    v = bigEndian_ ? (std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                      std::uint32_t{p[2]} << 8 | p[3])
                   : (std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 |
                      std::uint32_t{p[1]} << 8 | p[0]);
    return true;
}

void ExifEditor::Put(std::size_t at, std::uint16_t type, std::uint32_t v) {
    // A SHORT sits in the first two bytes of the value field whatever the byte order; the
    // two after it are left as they were.
    std::uint8_t* p = data_ + at;
    if (type == kShort) {
        p[bigEndian_ ? 0 : 1] = static_cast<std::uint8_t>(v >> 8);
        p[bigEndian_ ? 1 : 0] = static_cast<std::uint8_t>(v);
        return;
    }
    for (int i = 0; i < 4; ++i)
        p[bigEndian_ ? i : 3 - i] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
}

bool ExifEditor::FindInIfd(std::size_t ifd, bool exifIfd, Fields& fields,
                           std::size_t* exifPointer) const {
    // `ifd` counts from the TIFF header, as every offset in the block does.
    if (ifd > size_ - kTiffStart) return false;
    const std::size_t start = kTiffStart + ifd;
    std::uint16_t count = 0;
    if (!U16(start, count)) return false;
    if ((size_ - start - 2) / kEntrySize < count) return false;
    bool seen[3] = {false, false, false};
    bool seenPointer = false;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t entry = start + 2 + k * kEntrySize;
        std::uint16_t tag = 0, type = 0;
        std::uint32_t values = 0;
        U16(entry, tag);
        U16(entry + 2, type);
        U32(entry + 4, values);
        int slot = -1;
        if (!exifIfd && tag == kOrientation) slot = OrientationSlot;
        if (exifIfd && tag == kPixelXDimension) slot = WidthSlot;
        if (exifIfd && tag == kPixelYDimension) slot = HeightSlot;
        if (slot >= 0) {
            // One value, inline: anything else is not a layout tag this editor may change.
            if (seen[slot] || values != 1 || (type != kShort && type != kLong)) return false;
            seen[slot] = true;
            fields.at[slot] = entry + 8;
            fields.type[slot] = type;
        } else if (!exifIfd && tag == kExifIfdPointer) {
            std::uint32_t offset = 0;
            if (seenPointer || values != 1 || (type != kLong && type != kIfd)) return false;
            U32(entry + 8, offset);
            seenPointer = true;
            if (exifPointer) *exifPointer = offset;
        }
    }
    return true;
}

bool ExifEditor::Locate(Fields& fields) const {
    if (!data_ || size_ < kTiffStart + 8 || std::memcmp(data_, "Exif\0\0", 6) != 0) return false;
    const std::uint8_t* order = data_ + kTiffStart;
    if (!(order[0] == 'M' && order[1] == 'M') && !(order[0] == 'I' && order[1] == 'I'))
        return false;
    std::uint16_t magic = 0;
    std::uint32_t ifd0 = 0;
    if (!U16(kTiffStart + 2, magic) || magic != 42 || !U32(kTiffStart + 4, ifd0)) return false;
    constexpr std::size_t kNone = ~std::size_t{0};
    std::size_t exifIfd = kNone;
    if (!FindInIfd(ifd0, false, fields, &exifIfd)) return false;
    return exifIfd == kNone || FindInIfd(exifIfd, true, fields, nullptr);
}

bool ExifEditor::Read(ExifLayout& layout) const {
    Fields fields;
    if (!Locate(fields)) return false;
    std::int64_t values[3] = {-1, -1, -1};
    for (int slot = 0; slot < 3; ++slot) {
        if (fields.type[slot] == kShort) {
            std::uint16_t v = 0;
            U16(fields.at[slot], v);
            values[slot] = v;
        } else if (fields.type[slot] == kLong) {
            std::uint32_t v = 0;
            U32(fields.at[slot], v);
            values[slot] = v;
        }
    }
    layout.orientation = values[OrientationSlot];
    layout.pixelWidth = values[WidthSlot];
    layout.pixelHeight = values[HeightSlot];
    return true;
}

bool ExifEditor::ResetLayout(std::uint32_t width, std::uint32_t height) {
    Fields fields;
    if (!Locate(fields)) return false;
    if ((fields.type[WidthSlot] == kShort && width > 0xFFFF) ||
        (fields.type[HeightSlot] == kShort && height > 0xFFFF))
        return false;
    const std::uint32_t values[3] = {1, width, height};
    for (int slot = 0; slot < 3; ++slot)
        if (fields.type[slot] != 0) Put(fields.at[slot], fields.type[slot], values[slot]);
    return true;
}

bool ResetJpegExifLayout(std::vector<std::uint8_t>& jpeg, std::uint32_t width,
                         std::uint32_t height) {
    JpegSegment exif;
    return FindExifSegment(jpeg, exif) &&
           ExifEditor(jpeg.data() + exif.payload, exif.payloadSize).ResetLayout(width, height);
}

}  // namespace qelvo
