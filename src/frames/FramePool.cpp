#include "frames/FramePool.h"

#include "frames/FrameRows.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <vector>

namespace qelvo {
namespace {

// Frame-sized blocks are mapped from the system and given back when freed, so blocks made
// on one thread and freed on another do not stay cached in the allocator's per-thread heaps.
constexpr std::size_t kMappedBlockMin = 256 * 1024;
// Blocks of several megabytes start on a huge-page boundary and ask for huge pages: a frame
// copy then walks a handful of pages instead of thousands, which the copy feels.
constexpr std::size_t kHugePage = 2 * 1024 * 1024;

std::size_t mappedLength(std::size_t capacity) {
    static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return (capacity + page - 1) / page * page;
}

std::uint8_t* mapBlock(std::size_t capacity) {
    const std::size_t length = mappedLength(capacity);
    if (length < kHugePage) {
        void* mapped =
            ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return mapped == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(mapped);
    }
    // Map a huge page more than needed, then give back what lies before the first boundary
    // and after the block.
    void* mapped = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    auto* start = static_cast<std::uint8_t*>(mapped);
    auto* aligned = reinterpret_cast<std::uint8_t*>(
        (reinterpret_cast<std::uintptr_t>(start) + kHugePage - 1) & ~(kHugePage - 1));
    if (aligned > start) ::munmap(start, static_cast<std::size_t>(aligned - start));
    std::uint8_t* end = start + length + kHugePage;
    if (end > aligned + length)
        ::munmap(aligned + length, static_cast<std::size_t>(end - (aligned + length)));
    ::madvise(aligned, length, MADV_HUGEPAGE);  // only advice: without it, normal pages
    return aligned;
}

// A frame this large does not stay in a core's own caches anyway, and the copy is bound by
// memory traffic: writing it around the caches saves reading every destination line in
// before it is overwritten, about a third of the traffic.
constexpr std::size_t kStreamingCopyMin = 2 * 1024 * 1024;

}  // namespace

PixelBlock* PixelBlock::allocate(std::size_t capacity) {
    capacity = std::max<std::size_t>(capacity, 1);
    // No object may be larger than this, and staying below it keeps the page and huge-page
    // rounding of a mapped block from wrapping around into a small mapping.
    if (capacity > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()) / 2)
        return nullptr;
    std::uint8_t* bytes = nullptr;
    if (capacity >= kMappedBlockMin) {
        bytes = mapBlock(capacity);
        if (!bytes) return nullptr;
    } else {
        bytes = new (std::nothrow) std::uint8_t[capacity];
        if (!bytes) return nullptr;
    }
    auto* block = new (std::nothrow) PixelBlock(bytes, capacity);
    if (!block) {
        if (capacity >= kMappedBlockMin)
            ::munmap(bytes, mappedLength(capacity));
        else
            delete[] bytes;
    }
    return block;
}

PixelBlock::~PixelBlock() {
    if (capacity_ >= kMappedBlockMin)
        ::munmap(bytes_, mappedLength(capacity_));
    else
        delete[] bytes_;
}

struct FramePool::State {
    std::mutex mutex;
    std::vector<PixelBlock*> unused;
    std::size_t blockSize = 0;
    std::size_t keepFree = 0;
    std::size_t idleLimit = 0;
    // The current stretch of acquisitions: how many so far, and the fewest unused blocks
    // left after any of them.
    std::size_t stretch = 0;
    std::size_t fewestUnused = std::numeric_limits<std::size_t>::max();
    bool closed = false;  // the pool is gone: returning blocks are freed

    // Called under the mutex after each acquisition's take: the oldest unused block when
    // one stayed idle for a whole stretch, for the caller to free outside the lock.
    PixelBlock* idleBlockToFree() {
        if (idleLimit == 0) return nullptr;
        fewestUnused = std::min(fewestUnused, unused.size());
        if (++stretch < idleLimit) return nullptr;
        const bool idle = fewestUnused > 0 && !unused.empty();
        stretch = 0;
        fewestUnused = std::numeric_limits<std::size_t>::max();
        if (!idle) return nullptr;
        PixelBlock* oldest = unused.front();  // the back is the most recently used
        unused.erase(unused.begin());
        return oldest;
    }

    // Takes a block back from its last holder.  The mutex orders every write a later taker
    // makes after every read the holders made.
    void recycle(PixelBlock* block) {
        {
            std::lock_guard lock(mutex);
            if (!closed && block->capacity() == blockSize && unused.size() < keepFree) {
                unused.push_back(block);
                return;
            }
        }
        delete block;
    }
};

// Returns a block to its pool instead of freeing it.
struct FramePool::Recycler {
    std::shared_ptr<State> state;
    void operator()(PixelBlock* block) const { state->recycle(block); }
};

FramePool::FramePool(std::size_t keepFree, std::size_t idleLimit)
    : state_(std::make_shared<State>()) {
    state_->keepFree = keepFree;
    state_->idleLimit = idleLimit;
}

FramePool::~FramePool() {
    std::vector<PixelBlock*> unused;
    {
        std::lock_guard lock(state_->mutex);
        state_->closed = true;
        unused.swap(state_->unused);
    }
    for (PixelBlock* block : unused) delete block;
}

std::shared_ptr<PixelBlock> FramePool::acquire(std::size_t bytes) {
    bytes = std::max<std::size_t>(bytes, 1);
    PixelBlock* block = nullptr;
    std::size_t capacity = 0;
    bool grows = false;
    PixelBlock* idle = nullptr;
    {
        std::lock_guard lock(state_->mutex);
        if (bytes <= state_->blockSize) {
            capacity = state_->blockSize;
            if (!state_->unused.empty()) {
                block = state_->unused.back();
                state_->unused.pop_back();
            }
            idle = state_->idleBlockToFree();
        } else {
            capacity = bytes;
            grows = true;
        }
    }
    delete idle;  // unmapped outside the lock: the returning holders do not wait for it
    if (!block) block = PixelBlock::allocate(capacity);
    if (!block) return nullptr;  // a size that cannot be had leaves the pool as it was
    std::vector<PixelBlock*> retired;
    if (grows) {
        // A larger frame: the blocks kept so far are too small for it.
        std::lock_guard lock(state_->mutex);
        if (capacity > state_->blockSize) {
            state_->blockSize = capacity;
            retired.swap(state_->unused);
            state_->stretch = 0;
            state_->fewestUnused = std::numeric_limits<std::size_t>::max();
        }
    }
    for (PixelBlock* old : retired) delete old;
    try {
        return std::shared_ptr<PixelBlock>(block, Recycler{state_});
    } catch (const std::bad_alloc&) {
        return nullptr;  // the constructor has handed the block back already
    }
}

std::size_t FramePool::blockSize() const {
    std::lock_guard lock(state_->mutex);
    return state_->blockSize;
}

std::size_t FramePool::freeBlocks() const {
    std::lock_guard lock(state_->mutex);
    return state_->unused.size();
}

GrabbedFrame copyFrameBottomUp(FramePool& pool, const std::uint8_t* bottomRow,
                               std::ptrdiff_t rowStep, int width, int height, double sampleTime,
                               SourcePixels source) {
    GrabbedFrame frame;
    frame.sampleTime = sampleTime;
    if (!bottomRow || width <= 0 || height <= 0) return frame;
    frame.width = width;
    frame.height = height;
    const std::size_t used = static_cast<std::size_t>(width) * 3;
    const std::size_t row = frame.rowBytes();
    const std::size_t length = row * static_cast<std::size_t>(height);
    std::shared_ptr<PixelBlock> block = pool.acquire(length);
    if (!block) return frame;
    std::uint8_t* out = block->data();
    if (source == SourcePixels::Bgr && rowStep == static_cast<std::ptrdiff_t>(row)) {
        // Already bottom-up with the same padding: one run.
        std::memcpy(out, bottomRow, length);
        if (row > used)
            for (int y = 0; y < height; ++y) std::memset(out + row * y + used, 0, row - used);
    } else {
        // Rows are taken in the order they lie in the source, lowest address first, so the
        // source is read as one forward stream that the hardware prefetcher keeps up with;
        // a walk that jumps back a row at a time through a top-down source stalls it.  The
        // block is ours alone, so the order its rows are written in does not matter.
        const bool topDown = rowStep < 0;
        const bool streaming = length >= kStreamingCopyMin;
        for (int i = 0; i < height; ++i) {
            const int y = topDown ? height - 1 - i : i;
            std::uint8_t* to = out + row * static_cast<std::size_t>(y);
            const std::uint8_t* from = bottomRow + rowStep * y;
            if (source == SourcePixels::Bgrx)
                packBgrxRow(to, from, static_cast<std::size_t>(width), streaming);
            else
                copyPixelRow(to, from, used, streaming);
            if (row > used) std::memset(to + used, 0, row - used);
        }
        if (streaming) finishStreamingRows();
    }
    frame.pixels = std::move(block);
    frame.length = length;
    return frame;
}

}  // namespace qelvo
