#include "capture/FrameRecord.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace qelvo {

FrameHeader FrameHeader::forFrame(int width, int height) {
    FrameHeader h;
    h.width = width;
    h.height = height;
    return h;
}

namespace {
constexpr std::size_t kLargestBlock =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
}

void FrameRecord::clear() {
    block_.reset();
    blockSize_ = 0;
    length_ = 0;
}

bool FrameRecord::assign(const std::uint8_t* pixels, std::size_t length, const FrameHeader& header,
                         double sampleTime) {
    // Letting go first hands the block back to this record's pool when nobody else holds
    // it, so the next line gets the same block again.
    clear();
    if (length > kLargestBlock) return false;
    if (!ownBlocks_) {
        ownBlocks_.reset(new (std::nothrow) FramePool(1));
        if (!ownBlocks_) return false;
    }
    std::shared_ptr<PixelBlock> block = ownBlocks_->acquire(length);
    if (!block) return false;
    if (length > 0) std::memcpy(block->data(), pixels, length);
    return adopt(std::move(block), length, header, sampleTime);
}

bool FrameRecord::adopt(SharedPixels block, std::size_t length, const FrameHeader& header,
                        double sampleTime) {
    clear();
    if (!block || block->capacity() < length || length > kLargestBlock) return false;
    blockSize_ = static_cast<std::int32_t>(std::min(block->capacity(), kLargestBlock));
    block_ = std::move(block);
    length_ = length;
    header_ = header;
    sampleTime_ = sampleTime;
    return true;
}

std::shared_ptr<const FrameRecord> FrameRecord::sharedCopy() const {
    auto copy = std::shared_ptr<FrameRecord>(new (std::nothrow) FrameRecord);
    if (!copy) return nullptr;
    copy->block_ = block_;
    copy->length_ = length_;
    copy->blockSize_ = blockSize_;
    copy->header_ = header_;
    copy->sampleTime_ = sampleTime_;
    return copy;
}

std::shared_ptr<const FrameRecord> FrameRecord::clone() const {
    auto copy = std::shared_ptr<FrameRecord>(new (std::nothrow) FrameRecord);
    if (!copy) return nullptr;
    if (block_) {
        if (!copy->assign(block_->data(), length_, header_, sampleTime_)) return nullptr;
    } else {
        copy->header_ = header_;
        copy->sampleTime_ = sampleTime_;
    }
    return copy;
}

bool FrameRecord::isComplete() const {
    if (!block_ || header_.width <= 0 || header_.height <= 0) return false;
    return length_ >= rowBytes() * static_cast<std::size_t>(header_.height);
}

}  // namespace qelvo
