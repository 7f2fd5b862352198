#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qelvo {

// A block of frame memory.  Whoever takes it from a pool fills it, then shares it read-only
// (std::shared_ptr<const PixelBlock>); nobody writes into it again until every holder has
// let go and the pool hands it out anew.
class PixelBlock {
public:
    PixelBlock(const PixelBlock&) = delete;
    PixelBlock& operator=(const PixelBlock&) = delete;
    ~PixelBlock();

    std::uint8_t* data() { return bytes_; }
    const std::uint8_t* data() const { return bytes_; }
    std::size_t capacity() const { return capacity_; }

private:
    friend class FramePool;
    PixelBlock(std::uint8_t* bytes, std::size_t capacity) : bytes_(bytes), capacity_(capacity) {}
    // Null when memory runs out.
    static PixelBlock* allocate(std::size_t capacity);

    std::uint8_t* bytes_;
    std::size_t capacity_;
};

using SharedPixels = std::shared_ptr<const PixelBlock>;

// Recycles frame blocks so that a stream of frames of one size allocates nothing once it
// runs.  A block comes back when its last holder lets go (on any thread) and is handed out
// again only then.  All blocks have the pool's block size, which grows to the largest frame
// asked for and never shrinks: a smaller frame reuses a larger block, a larger one retires
// the blocks kept so far.  Blocks may outlive the pool; they are then simply freed.
//
// A burst (frames held longer for a while, e.g. by a backlog of snapshots being written)
// leaves more unused blocks behind than the stream needs afterwards.  Over each stretch of
// `idleLimit` acquisitions the pool watches the fewest unused blocks left after a take; when
// that never reached zero, at least one block sat idle the whole stretch, and the oldest
// unused block is freed.  A steady stream so ends up with the blocks it really cycles
// through, and allocates nothing once there.
class FramePool {
public:
    static constexpr std::size_t kDefaultIdleLimit = 256;

    // `keepFree`: how many unused blocks are kept for reuse at most.  `idleLimit`: the
    // acquisitions over which an unused block must stay idle before it is freed (0: never).
    explicit FramePool(std::size_t keepFree = 4, std::size_t idleLimit = kDefaultIdleLimit);
    ~FramePool();
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;

    // A block of at least `bytes` that nobody else holds, or null when memory runs out.
    // Thread-safe.
    std::shared_ptr<PixelBlock> acquire(std::size_t bytes);

    // Capacity of the blocks handed out now (0 before the first).
    std::size_t blockSize() const;
    // Blocks currently waiting for reuse.
    std::size_t freeBlocks() const;

private:
    struct State;
    struct Recycler;
    std::shared_ptr<State> state_;
};

// One frame ready to be handed on: bottom-up B,G,R rows, each padded to a multiple of 4
// bytes, in a shared read-only block.  `pixels` is null for a frame that could not be
// copied (or a missing buffer).
struct GrabbedFrame {
    SharedPixels pixels;
    std::size_t length = 0;  // bytes of the frame in the block
    int width = 0;
    int height = 0;
    double sampleTime = 0.0;

    const std::uint8_t* data() const { return pixels ? pixels->data() : nullptr; }
    std::size_t rowBytes() const { return (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4; }
};

// How the source's pixels are laid out: B,G,R, or B,G,R and an unused byte.
enum class SourcePixels { Bgr, Bgrx };

// Copies `height` rows of `width` pixels into a block of `pool` as B,G,R, the picture's
// bottom row first: `bottomRow` points at that row and `rowStep` is the distance to the row
// above it in the source (negative for a top-down source, which turns the rows over in this
// same copy; B,G,R,x pixels are packed to three bytes in it too).  Row padding is zeroed.
// The result has null pixels when memory runs out or the size is not positive.
GrabbedFrame copyFrameBottomUp(FramePool& pool, const std::uint8_t* bottomRow,
                               std::ptrdiff_t rowStep, int width, int height, double sampleTime,
                               SourcePixels source = SourcePixels::Bgr);

}  // namespace qelvo
