#include "imaging/RowKernels.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#define QELVO_ROW_KERNELS_X86 1
#endif

namespace qelvo::rowkernels {

namespace {

int Grey(const std::uint8_t* p) {
    return (p[0] * 117 + p[1] * 601 + p[2] * 306) >> 10;
}

#ifdef QELVO_ROW_KERNELS_X86

std::uint64_t Load8(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Counts the 8 bytes of `word`, which are bytes first .. first + 7 of a group of 8 pixels:
// byte j is channel j % 3 of pixel j / 3, counted in that pixel's table set.
template <int First>
[[gnu::always_inline]] inline void CountWord(std::uint32_t* __restrict tables, std::uint64_t word,
                                             int stride) {
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) {
        const int j = First + i;
        const int table = j % 3 + ((j / 3) & 1) * 4;
        ++tables[table * stride + ((word >> (8 * i)) & 255)];
    }
}

// The grey levels of 8 pixels (24 bytes at p), one per byte: the weighted sums are formed
// in 32-bit lanes exactly as the scalar formula does.
[[gnu::target("ssse3"), gnu::always_inline]] inline std::uint64_t Grey8(const std::uint8_t* p) {
    // Pixels 0-3 from bytes 0-15, pixels 4-7 from bytes 8-23 (no byte beyond the group read).
    const __m128i blueGreenLow =
        _mm_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1);
    const __m128i redLow =
        _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
    const __m128i blueGreenHigh =
        _mm_setr_epi8(4, -1, 5, -1, 7, -1, 8, -1, 10, -1, 11, -1, 13, -1, 14, -1);
    const __m128i redHigh =
        _mm_setr_epi8(6, -1, -1, -1, 9, -1, -1, -1, 12, -1, -1, -1, 15, -1, -1, -1);
    const __m128i blueGreenWeights = _mm_setr_epi16(117, 601, 117, 601, 117, 601, 117, 601);
    const __m128i redWeights = _mm_setr_epi16(306, 0, 306, 0, 306, 0, 306, 0);
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
    const __m128i sumLow =
        _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi8(low, blueGreenLow), blueGreenWeights),
                      _mm_madd_epi16(_mm_shuffle_epi8(low, redLow), redWeights));
    const __m128i sumHigh =
        _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi8(high, blueGreenHigh), blueGreenWeights),
                      _mm_madd_epi16(_mm_shuffle_epi8(high, redHigh), redWeights));
    const __m128i words = _mm_packs_epi32(_mm_srli_epi32(sumLow, 10), _mm_srli_epi32(sumHigh, 10));
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_packus_epi16(words, words)));
}

// Returns how many pixels it counted (a multiple of 8); the caller counts the rest.
[[gnu::target("ssse3")]] int AddRowSsse3(std::uint32_t* __restrict tables, int stride,
                                         const std::uint8_t* p, int width) {
    int x = 0;
    for (; x + 8 <= width; x += 8, p += 24) {
        const std::uint64_t grey = Grey8(p);
        CountWord<0>(tables, Load8(p), stride);
        CountWord<8>(tables, Load8(p + 8), stride);
        CountWord<16>(tables, Load8(p + 16), stride);
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i)
            ++tables[(3 + (i & 1) * 4) * stride + ((grey >> (8 * i)) & 255)];
    }
    return x;
}

// 8 pixels (24 bytes at s) to 16 (48 bytes at d), each pixel twice.
[[gnu::target("ssse3")]] int DoubleRowSsse3(const std::uint8_t* s, int width, std::uint8_t* d) {
    const __m128i first = _mm_setr_epi8(0, 1, 2, 0, 1, 2, 3, 4, 5, 3, 4, 5, 6, 7, 8, 6);
    const __m128i second = _mm_setr_epi8(3, 4, 5, 6, 7, 5, 6, 7, 8, 9, 10, 8, 9, 10, 11, 12);
    const __m128i third = _mm_setr_epi8(9, 7, 8, 9, 10, 11, 12, 10, 11, 12, 13, 14, 15, 13, 14, 15);
    int x = 0;
    for (; x + 8 <= width; x += 8, s += 24, d += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(a, first));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), _mm_shuffle_epi8(b, second));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), _mm_shuffle_epi8(c, third));
    }
    return x;
}

#endif

}  // namespace

bool VectorKernelsAvailable() {
#ifdef QELVO_ROW_KERNELS_X86
    static const bool available = __builtin_cpu_supports("ssse3");
    return available;
#else
    return false;
#endif
}

void LevelCounts::Clear() {
    std::memset(tables_, 0, sizeof tables_);
}

void LevelCounts::AddRowPlain(const std::uint8_t* row, int width) {
    for (int x = 0; x < width; ++x, row += 3) {
        ++tables_[Blue * kStride + row[0]];
        ++tables_[Green * kStride + row[1]];
        ++tables_[Red * kStride + row[2]];
        ++tables_[Grey * kStride + rowkernels::Grey(row)];
    }
}

void LevelCounts::AddRow(const std::uint8_t* row, int width) {
    int done = 0;
#ifdef QELVO_ROW_KERNELS_X86
    if (VectorKernelsAvailable()) done = AddRowSsse3(tables_, kStride, row, width);
#endif
    AddRowPlain(row + 3 * static_cast<long>(done), width - done);
}

std::uint64_t LevelCounts::Count(Channel channel, int level) const {
    return std::uint64_t{tables_[channel * kStride + level]} +
           tables_[(channel + 4) * kStride + level];
}

void DoubleRowPlain(const std::uint8_t* s, int width, std::uint8_t* d) {
    for (int x = 0; x < width; ++x, s += 3, d += 6) {
        d[0] = d[3] = s[0];
        d[1] = d[4] = s[1];
        d[2] = d[5] = s[2];
    }
}

void DoubleRow(const std::uint8_t* source, int width, std::uint8_t* destination) {
    int done = 0;
#ifdef QELVO_ROW_KERNELS_X86
    if (VectorKernelsAvailable()) done = DoubleRowSsse3(source, width, destination);
#endif
    DoubleRowPlain(source + 3 * static_cast<long>(done), width - done,
                   destination + 6 * static_cast<long>(done));
}

}  // namespace qelvo::rowkernels
