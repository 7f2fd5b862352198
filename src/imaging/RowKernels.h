#pragma once

#include <cstdint>

// Inner loops of picture operations over 24-bit rows (blue, green, red bytes). Each comes in
// a plain version, which is the reference, and a fast version that uses SSSE3 when the
// processor has it (chosen at run time, so the program still runs on any x86-64). The fast
// versions give exactly the bytes and counts of the plain ones.
namespace qelvo::rowkernels {

// True when the fast versions below run vector code on this processor.
bool VectorKernelsAvailable();

// Blue, green, red and grey level counts of 24-bit pixels, grey being the picture type's grey
// level (blue * 117 + green * 601 + red * 306) >> 10. Counting is bound by the number of
// counter updates, so each level is counted in one of two tables (even and odd pixels, which
// keeps equal neighbours from waiting on each other's update) and the tables sit 64 bytes
// off a 4 KiB stride (a counter of one table never shares its low address bits with the
// same counter of another).
class LevelCounts {
public:
    enum Channel { Blue = 0, Green = 1, Red = 2, Grey = 3 };

    LevelCounts() { Clear(); }
    void Clear();
    // Adds the `width` pixels at `row`.
    void AddRow(const std::uint8_t* row, int width);
    void AddRowPlain(const std::uint8_t* row, int width);
    // How many pixels added so far have `level` in `channel`.
    std::uint64_t Count(Channel channel, int level) const;

private:
    static constexpr int kStride = 256 + 16;
    alignas(64) std::uint32_t tables_[8 * kStride];
};

// Writes each of the `width` pixels at `source` twice, side by side, to `destination`
// (6 * width bytes): a row enlarged to twice its width by nearest sampling.
void DoubleRow(const std::uint8_t* source, int width, std::uint8_t* destination);
void DoubleRowPlain(const std::uint8_t* source, int width, std::uint8_t* destination);

}  // namespace qelvo::rowkernels
