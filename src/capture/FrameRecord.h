#pragma once

#include "frames/FramePool.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qelvo {

// The 40-byte bitmap information header (BITMAPINFOHEADER layout) that describes a frame: 24-bit,
// bottom-up rows, no compression.  Laid out exactly as the classic structure, little-endian host.
struct FrameHeader {
    std::uint32_t size = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;  // positive: bottom-up rows
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;

    static FrameHeader forFrame(int width, int height);
};
static_assert(sizeof(FrameHeader) == 40, "bitmap information header must be 40 bytes");

// Bytes per row of a 24-bit frame: width * 3 rounded up to a multiple of 4.
constexpr std::size_t frameRowBytes(int width) {
    return width <= 0 ? 0 : (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
}

// One frame as a grabber delivered it: a block of bottom-up B,G,R rows padded to 4 bytes,
// its header and its stream time.  The block is read-only once the record has it and may
// be shared with other records and with live targets; a record never writes into a block
// anyone else holds.  A record that copies frames in keeps reusing its block while it is
// large enough and nobody else holds it; a larger frame gets a block of exactly its length.
class FrameRecord {
public:
    FrameRecord() = default;
    FrameRecord(const FrameRecord&) = delete;
    FrameRecord& operator=(const FrameRecord&) = delete;

    // Copies `length` bytes of `pixels` in, with the header and sample time.  When a larger
    // block cannot be allocated the block is dropped, blockSize() becomes 0 and false is
    // returned; the next call tries again.
    bool assign(const std::uint8_t* pixels, std::size_t length, const FrameHeader& header,
                double sampleTime);
    // Takes `block` as this record's pixels without copying them.  False (and the
    // record emptied) when the block is missing or shorter than `length`.
    bool adopt(SharedPixels block, std::size_t length, const FrameHeader& header,
               double sampleTime);

    // A record of the same frame over the same read-only block: how a frame leaves the
    // thread that writes this record, without copying its pixels (null when memory runs
    // out).
    std::shared_ptr<const FrameRecord> sharedCopy() const;
    // An independent copy whose block is exactly as long as the data (nullptr when memory
    // runs out).
    std::shared_ptr<const FrameRecord> clone() const;

    const std::uint8_t* pixels() const { return block_ ? block_->data() : nullptr; }
    const SharedPixels& pixelBlock() const { return block_; }
    std::size_t length() const { return length_; }  // bytes of the current frame
    std::int32_t blockSize() const { return blockSize_; }
    const FrameHeader& header() const { return header_; }
    double sampleTime() const { return sampleTime_; }
    int width() const { return header_.width; }
    int height() const { return header_.height; }
    std::size_t rowBytes() const { return frameRowBytes(header_.width); }
    // True when the block holds every row the header promises.
    bool isComplete() const;

private:
    void clear();

    SharedPixels block_;
    std::unique_ptr<FramePool> ownBlocks_;  // blocks for frames copied in, made on first use
    std::size_t length_ = 0;
    std::int32_t blockSize_ = 0;
    FrameHeader header_;
    double sampleTime_ = 0.0;
};

}  // namespace qelvo
