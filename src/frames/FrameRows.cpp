#include "frames/FrameRows.h"

#include <algorithm>
#include <cstring>

// The vector kernels need SSE2 as the baseline (always so on x86-64); SSSE3 is checked at run
// time.  Other targets use the plain copies.
#if defined(__SSE2__)
#include <immintrin.h>
#define QELVO_X86_ROWS 1
#endif

namespace qelvo {
namespace {

#if QELVO_X86_ROWS
template <bool Streaming>
void store16(std::uint8_t* to, __m128i v) {
    if constexpr (Streaming)
        _mm_stream_si128(reinterpret_cast<__m128i*>(to), v);
    else
        _mm_store_si128(reinterpret_cast<__m128i*>(to), v);
}

// Whole 64-byte runs with aligned stores; the unaligned head and the tail by memcpy.
template <bool Streaming>
void copyRowSse2(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes) {
    std::size_t i =
        std::min<std::size_t>((16 - (reinterpret_cast<std::uintptr_t>(to) & 15)) & 15, bytes);
    std::memcpy(to, from, i);
    for (; i + 64 <= bytes; i += 64)
        for (std::size_t k = 0; k < 64; k += 16)
            store16<Streaming>(to + i + k,
                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + k)));
    for (; i + 16 <= bytes; i += 16)
        store16<Streaming>(to + i, _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
    std::memcpy(to + i, from + i, bytes - i);
}

// Sixteen pixels at a time: each 16-byte load of four B,G,R,x pixels is shuffled down to
// twelve bytes, and four of those are laid end to end into three aligned 16-byte stores.
template <bool Streaming>
__attribute__((target("ssse3"))) void packRowSsse3(std::uint8_t* to, const std::uint8_t* from,
                                                   std::size_t pixels) {
    std::size_t i = 0;
    // Pixel by pixel until the output is 16-byte aligned (3 and 16 share no factor, so at
    // most 15 pixels).
    while (i < pixels && (reinterpret_cast<std::uintptr_t>(to + 3 * i) & 15) != 0) {
        std::memcpy(to + 3 * i, from + 4 * i, 3);
        ++i;
    }
    const __m128i pick = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    for (; i + 16 <= pixels; i += 16) {
        const auto* in = reinterpret_cast<const __m128i*>(from + 4 * i);
        const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(in), pick);
        const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(in + 1), pick);
        const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(in + 2), pick);
        const __m128i d = _mm_shuffle_epi8(_mm_loadu_si128(in + 3), pick);
        std::uint8_t* out = to + 3 * i;
        store16<Streaming>(out, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        store16<Streaming>(out + 16, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
        store16<Streaming>(out + 32, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    }
    packBgrxRowPlain(to + 3 * i, from + 4 * i, pixels - i);
}

bool hasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

}  // namespace

void copyPixelRow(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes, bool streaming) {
#if QELVO_X86_ROWS
    if (streaming) {
        copyRowSse2<true>(to, from, bytes);
        return;
    }
#else
    (void)streaming;
#endif
    std::memcpy(to, from, bytes);
}

void packBgrxRow(std::uint8_t* to, const std::uint8_t* from, std::size_t pixels, bool streaming) {
#if QELVO_X86_ROWS
    if (hasSsse3()) {
        if (streaming)
            packRowSsse3<true>(to, from, pixels);
        else
            packRowSsse3<false>(to, from, pixels);
        return;
    }
#else
    (void)streaming;
#endif
    packBgrxRowPlain(to, from, pixels);
}

void packBgrxRowPlain(std::uint8_t* to, const std::uint8_t* from, std::size_t pixels) {
    for (std::size_t i = 0; i < pixels; ++i, to += 3, from += 4) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
    }
}

void finishStreamingRows() {
#if QELVO_X86_ROWS
    _mm_sfence();
#endif
}

}  // namespace qelvo
