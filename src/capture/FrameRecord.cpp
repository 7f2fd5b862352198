#include "capture/FrameRecord.h"

#include <sys/mman.h>

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
constexpr std::size_t kMappedBlockMin = 256 * 1024;
}

void FrameBlockDeleter::operator()(std::uint8_t* block) const {
    if (!block) return;
    if (bytes >= kMappedBlockMin)
        ::munmap(block, bytes);
    else
        delete[] block;
}

std::unique_ptr<std::uint8_t[], FrameBlockDeleter> FrameRecord::allocateBlock(std::size_t bytes) {
    if (bytes >= kMappedBlockMin) {
        void* block =
            ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) return {nullptr, FrameBlockDeleter{}};
        return {static_cast<std::uint8_t*>(block), FrameBlockDeleter{bytes}};
    }
    return {new (std::nothrow) std::uint8_t[bytes == 0 ? 1 : bytes], FrameBlockDeleter{bytes}};
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
        pixels_ = allocateBlock(length);
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
