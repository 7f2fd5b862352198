#include "capture/FrameRecord.h"

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

bool FrameRecord::assign(const std::uint8_t* pixels, std::size_t length, const FrameHeader& header,
                         double sampleTime) {
    if (length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        pixels_.reset();
        blockSize_ = 0;
        length_ = 0;
        return false;
    }
    if (!pixels_ || static_cast<std::size_t>(blockSize_) < length) {
        pixels_.reset();
        blockSize_ = 0;
        length_ = 0;
        pixels_.reset(new (std::nothrow) std::uint8_t[length == 0 ? 1 : length]);
        if (!pixels_) return false;
        blockSize_ = static_cast<std::int32_t>(length);
    }
    if (length > 0) std::memcpy(pixels_.get(), pixels, length);
    length_ = length;
    header_ = header;
    sampleTime_ = sampleTime;
    return true;
}

std::shared_ptr<const FrameRecord> FrameRecord::clone() const {
    auto copy = std::shared_ptr<FrameRecord>(new (std::nothrow) FrameRecord);
    if (!copy) return nullptr;
    if (pixels_) {
        if (!copy->assign(pixels_.get(), length_, header_, sampleTime_)) return nullptr;
    } else {
        copy->header_ = header_;
        copy->sampleTime_ = sampleTime_;
    }
    return copy;
}

bool FrameRecord::isComplete() const {
    if (!pixels_ || header_.width <= 0 || header_.height <= 0) return false;
    return length_ >= rowBytes() * static_cast<std::size_t>(header_.height);
}

}  // namespace qelvo
