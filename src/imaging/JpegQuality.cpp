#include "imaging/JpegQuality.h"

#include <array>
#include <cstdlib>

#include "imaging/JpegSegments.h"

namespace qelvo {

namespace {

// The JPEG standard's example luminance table (Annex K), in natural order, which libjpeg
// scales by its quality setting.
constexpr std::array<int, 64> kStandardLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

// Position in natural order of each coefficient as a table lists them (zigzag order).
constexpr std::array<int, 64> kNaturalOrder = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Table 0 of the file in natural order; false when the file has none before its scan.
bool LuminanceTable(const std::vector<std::uint8_t>& jpeg, std::array<int, 64>& table) {
    bool found = false;
    WalkJpegSegments(jpeg, [&](const JpegSegment& s) {
        if (s.marker != 0xDB) return true;
        // A DQT segment lists one or more tables, each a precision / id byte and 64 values.
        std::size_t i = s.payload;
        const std::size_t end = s.payload + s.payloadSize;
        while (i < end && !found) {
            const int precision = jpeg[i] >> 4, id = jpeg[i] & 0x0F;
            const std::size_t bytes = precision ? 128 : 64;
            if (precision > 1 || end - i - 1 < bytes) return false;
            if (id == 0) {
                for (int k = 0; k < 64; ++k)
                    table[kNaturalOrder[k]] = precision
                                                  ? (jpeg[i + 1 + 2 * k] << 8) | jpeg[i + 2 + 2 * k]
                                                  : jpeg[i + 1 + k];
                found = true;
            }
            i += 1 + bytes;
        }
        return !found;
    });
    return found;
}

}  // namespace

int EstimateJpegQuality(const std::vector<std::uint8_t>& jpeg) {
    std::array<int, 64> table{};
    if (!LuminanceTable(jpeg, table)) return 0;
    int best = 0;
    long bestError = -1;
    for (int quality = 1; quality <= 100; ++quality) {
        // libjpeg's scaling (jpeg_quality_scaling and jpeg_add_quant_table), with and
        // without the clamp to 255 of baseline files.
        const long scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
        for (const int largest : {255, 32767}) {
            long error = 0;
            for (int i = 0; i < 64; ++i) {
                long value = (kStandardLuminance[i] * scale + 50) / 100;
                value = value < 1 ? 1 : value > largest ? largest : value;
                error += std::labs(value - table[i]);
            }
            // On a tie the higher quality wins: it loses no more than the original did.
            if (bestError < 0 || error <= bestError) {
                bestError = error;
                best = quality;
            }
        }
    }
    return best;
}

}  // namespace qelvo
