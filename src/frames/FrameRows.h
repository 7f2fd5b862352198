#pragma once

#include <cstddef>
#include <cstdint>

namespace qelvo {

// The row kernels of a frame copy.  With `streaming` the stores go around the caches (for
// frames far larger than a core's caches, where the copy is bound by memory traffic); such
// stores must be completed with finishStreamingRows() before the rows are handed on.

// Copies `bytes` bytes of one row.
void copyPixelRow(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes, bool streaming);

// Packs `pixels` B,G,R,x pixels (4 bytes each) into B,G,R pixels (3 bytes each).
void packBgrxRow(std::uint8_t* to, const std::uint8_t* from, std::size_t pixels, bool streaming);

// The plain reference of packBgrxRow, a pixel at a time.
void packBgrxRowPlain(std::uint8_t* to, const std::uint8_t* from, std::size_t pixels);

void finishStreamingRows();

}  // namespace qelvo
