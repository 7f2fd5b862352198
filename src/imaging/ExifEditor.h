#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qelvo {

// The tags of an EXIF block that describe the stored picture's layout; -1 where absent.
struct ExifLayout {
    std::int64_t orientation = -1;  // IFD0 Orientation
    std::int64_t pixelWidth = -1;   // Exif IFD PixelXDimension
    std::int64_t pixelHeight = -1;  // Exif IFD PixelYDimension
};

// Reads and edits those tags in place in an APP1 payload ("Exif\0\0" and a TIFF structure
// in either byte order).  Nothing in the block is trusted: every offset and count is
// checked against its size before it is followed, and a block that does not hold together
// is reported as malformed and never changed.
class ExifEditor {
public:
    ExifEditor(std::uint8_t* payload, std::size_t size);

    // False when the block is malformed (layout then untouched).
    bool Read(ExifLayout& layout) const;

    // After the picture was turned or flipped to `width` x `height`: Orientation 1 and the
    // new pixel dimensions, where the block has those tags; every other byte stays.  False,
    // with the block unchanged, when it is malformed or a dimension tag cannot hold the size.
    bool ResetLayout(std::uint32_t width, std::uint32_t height);

private:
    // Where the value of each layout tag sits, and its type (3 SHORT, 4 LONG); 0 if absent.
    struct Fields {
        std::size_t at[3] = {0, 0, 0};
        std::uint16_t type[3] = {0, 0, 0};
    };
    bool Locate(Fields& fields) const;
    bool FindInIfd(std::size_t ifd, bool exifIfd, Fields& fields, std::size_t* exifPointer) const;
    bool U16(std::size_t at, std::uint16_t& v) const;
    bool U32(std::size_t at, std::uint32_t& v) const;
    void Put(std::size_t at, std::uint16_t type, std::uint32_t v);

    std::uint8_t* data_;
    std::size_t size_;
    static constexpr std::size_t kTiffStart = 6;  // the TIFF header; IFD offsets count from it
    bool bigEndian_;
};

// The same for the EXIF block of a whole JPEG file, edited in place; false when the file
// has no sound one.
bool ResetJpegExifLayout(std::vector<std::uint8_t>& jpeg, std::uint32_t width,
                         std::uint32_t height);

}  // namespace qelvo
