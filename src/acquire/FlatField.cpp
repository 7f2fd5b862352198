#include "acquire/FlatField.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace qelvo::acquire {

namespace {

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

std::string sizeText(int w, int h) {
    return std::to_string(w) + "x" + std::to_string(h);
}

bool usable(const PictureData& p, const char* what, std::string* error) {
    if (p.width <= 0 || p.height <= 0)
        return fail(error, std::string("the ") + what + " picture is empty");
    if (p.channels != 3 && p.channels != 1)
        return fail(error, std::string("the ") + what + " picture has " +
                               std::to_string(p.channels) + " channels; colour or grey is needed");
    if (p.bitsPerSample != 8 && p.bitsPerSample != 16)
        return fail(error, std::string("the ") + what + " picture has " +
                               std::to_string(p.bitsPerSample) + " bits per sample");
    const std::size_t need =
        static_cast<std::size_t>(p.width) * p.height * p.channels * (p.bitsPerSample / 8);
    if (p.samples.size() != need)
        return fail(error, std::string("the ") + what + " picture's samples do not match its size");
    return true;
}

// The live-frame kernel, in 16-bit lanes throughout, without branches.  Per sample it reads
// the frame's byte, the dark's whole levels (a byte) and one 16-bit word holding the gain in
// 4.12 fixed point in its top 12 bits and the dark's sixteenths of a level in its low 4:
// five bytes of memory a sample.  (in - dark) in sixteenths of a level, saturating at 0,
// times 16, times the gain in 4.12, of which the high 16 bits are kept: the result in
// sixteenths, rounded off and saturated at 255.
inline std::uint8_t correctSample(std::uint8_t in, std::uint8_t darkLevels, std::uint16_t word) {
    const unsigned a = unsigned(in) << 4;
    const unsigned d = unsigned(darkLevels) << 4 | (word & 15u);
    const unsigned pos = a > d ? a - d : 0u;
    const unsigned high = ((pos << 4) * (word & 0xFFF0u)) >> 16;
    const unsigned v = (high + 8u) >> 4;
    return static_cast<std::uint8_t>(v > 255u ? 255u : v);
}

using CorrectRow = void (*)(const std::uint8_t*, std::uint8_t*, const std::uint8_t*,
                            const std::uint16_t*, std::size_t);

void correctRowPlain(const std::uint8_t* in, std::uint8_t* out, const std::uint8_t* darkLevels,
                     const std::uint16_t* word, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = correctSample(in[i], darkLevels[i], word[i]);
}

#if defined(__x86_64__)
// The same in vector registers, for AVX2 and AVX-512, chosen at the first call by what the
// processor has (an explicit choice rather than an ifunc resolver, which runs before a
// sanitizer's runtime is ready).  Written out with intrinsics: left to itself the compiler
// widens the product to 32 bits where one high multiply of 16-bit lanes does.
__attribute__((target("avx2"))) void correctRowAvx2(const std::uint8_t* in, std::uint8_t* out,
                                                    const std::uint8_t* darkLevels,
                                                    const std::uint16_t* word, std::size_t n) {
    const __m256i fraction = _mm256_set1_epi16(15);
    const __m256i gainBits = _mm256_set1_epi16(static_cast<short>(0xFFF0));
    const __m256i half = _mm256_set1_epi16(8);
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i a = _mm256_slli_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i))), 4);
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(word + i));
        const __m256i d = _mm256_or_si256(
            _mm256_slli_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(
                                  reinterpret_cast<const __m128i*>(darkLevels + i))),
                              4),
            _mm256_and_si256(w, fraction));
        const __m256i pos = _mm256_subs_epu16(a, d);
        const __m256i high =
            _mm256_mulhi_epu16(_mm256_slli_epi16(pos, 4), _mm256_and_si256(w, gainBits));
        const __m256i v = _mm256_srli_epi16(_mm256_adds_epu16(high, half), 4);
        const __m128i bytes =
            _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
    }
    for (; i < n; ++i) out[i] = correctSample(in[i], darkLevels[i], word[i]);
}

__attribute__((target("avx512f,avx512bw,avx512vl"))) void correctRowAvx512(
    const std::uint8_t* in, std::uint8_t* out, const std::uint8_t* darkLevels,
    const std::uint16_t* word, std::size_t n) {
    const __m512i fraction = _mm512_set1_epi16(15);
    const __m512i gainBits = _mm512_set1_epi16(static_cast<short>(0xFFF0));
    const __m512i half = _mm512_set1_epi16(8);
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m512i a = _mm512_slli_epi16(
            _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i))), 4);
        const __m512i w = _mm512_loadu_si512(word + i);
        const __m512i d = _mm512_or_si512(
            _mm512_slli_epi16(_mm512_cvtepu8_epi16(_mm256_loadu_si256(
                                  reinterpret_cast<const __m256i*>(darkLevels + i))),
                              4),
            _mm512_and_si512(w, fraction));
        const __m512i pos = _mm512_subs_epu16(a, d);
        const __m512i high =
            _mm512_mulhi_epu16(_mm512_slli_epi16(pos, 4), _mm512_and_si512(w, gainBits));
        const __m512i v = _mm512_srli_epi16(_mm512_adds_epu16(high, half), 4);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm512_maskz_cvtusepi16_epi8(~__mmask32(0), v));
    }
    for (; i < n; ++i) out[i] = correctSample(in[i], darkLevels[i], word[i]);
}
#endif

struct Kernel {
    const char* name;
    CorrectRow run;
};

// The kernels this processor runs, the fastest first.
std::vector<Kernel> availableKernels() {
    std::vector<Kernel> kernels;
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"))
        kernels.push_back({"avx512", correctRowAvx512});
    if (__builtin_cpu_supports("avx2")) kernels.push_back({"avx2", correctRowAvx2});
#endif
    kernels.push_back({"plain", correctRowPlain});
    return kernels;
}

void correctRow(const std::uint8_t* in, std::uint8_t* out, const std::uint8_t* darkLevels,
                const std::uint16_t* word, std::size_t n) {
    static const CorrectRow kernel = availableKernels().front().run;
    kernel(in, out, darkLevels, word, n);
}

}  // namespace

std::vector<std::uint16_t> samplesAs16(const PictureData& p) {
    const std::size_t pixels = static_cast<std::size_t>(p.width) * p.height;
    std::vector<std::uint16_t> out(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 3; ++c) {
            const std::size_t from = i * p.channels + (p.channels == 3 ? c : 0);
            std::uint16_t v;
            if (p.bitsPerSample == 16)
                std::memcpy(&v, p.samples.data() + from * 2, 2);
            else
                v = static_cast<std::uint16_t>(p.samples[from] * 257);
            out[i * 3 + c] = v;
        }
    return out;
}

std::optional<FlatField> FlatField::make(const PictureData& flat, const PictureData* dark,
                                         std::string* error) {
    if (!usable(flat, "flat", error)) return std::nullopt;
    if (dark) {
        if (!usable(*dark, "dark", error)) return std::nullopt;
        if (dark->width != flat.width || dark->height != flat.height) {
            fail(error, "the dark picture is " + sizeText(dark->width, dark->height) +
                            " but the flat picture " + sizeText(flat.width, flat.height));
            return std::nullopt;
        }
    }
    FlatField f;
    f.width_ = flat.width;
    f.height_ = flat.height;
    const auto flat16 = samplesAs16(flat);
    if (dark) {
        const auto d = samplesAs16(*dark);
        f.dark16_.assign(d.begin(), d.end());
    }
    const std::size_t n = flat16.size();
    std::vector<double> light(n);
    double sums[3] = {0, 0, 0};
    for (std::size_t i = 0; i < n; ++i) {
        light[i] = std::max(0.0, double(flat16[i]) - (dark ? f.dark16_[i] : 0.0));
        sums[i % 3] += light[i];
    }
    const double pixels = double(n / 3);
    for (int c = 0; c < 3; ++c) {
        f.means_[c] = sums[c] / pixels;
        if (!(f.means_[c] > 0.0)) {
            fail(error, "the flat picture holds no light above the dark");
            return std::nullopt;
        }
    }
    f.gain_.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        f.gain_[i] = light[i] > 0.0 ? std::min(kMaxGain, f.means_[i % 3] / light[i]) : kMaxGain;
    f.prepareFastPath();
    return f;
}

void FlatField::prepareFastPath() {
    const std::size_t rowBytes = (static_cast<std::size_t>(width_) * 3 + 3) / 4 * 4;
    fastDarkLevels_.assign(rowBytes * height_, 0);
    fastWord_.assign(rowBytes * height_, 0);  // padding: gain 0
    for (int y = 0; y < height_; ++y) {
        const std::size_t row = static_cast<std::size_t>(height_ - 1 - y) * rowBytes;
        for (int x = 0; x < width_; ++x)
            for (int c = 0; c < 3; ++c) {
                const std::size_t at = (static_cast<std::size_t>(y) * width_ + x) * 3 + c;
                const std::size_t to = row + x * 3 + (2 - c);
                // The dark in sixteenths of an 8-bit level (at most 255 levels 15/16).
                const double d = dark16_.empty() ? 0.0 : dark16_[at];
                const long sixteenths = std::min(4095L, std::lround(d * 16.0 / 257.0));
                // The gain in 4.12 rounded to a multiple of 16 (it keeps the top 12 bits).
                const long gain = std::min(4095L, std::lround(gain_[at] * 256.0));
                fastDarkLevels_[to] = static_cast<std::uint8_t>(sixteenths >> 4);
                fastWord_[to] = static_cast<std::uint16_t>(gain << 4 | (sixteenths & 15));
            }
    }
}

bool FlatField::fits(int width, int height, std::string* error) const {
    if (width == width_ && height == height_) return true;
    return fail(error, "the flat-field references are " + sizeText(width_, height_) +
                           " but the picture is " + sizeText(width, height) +
                           "; take them again at this size");
}

std::optional<PictureData> FlatField::correct(const PictureData& in, std::string* error) const {
    if (!usable(in, "input", error) || !fits(in.width, in.height, error)) return std::nullopt;
    const auto s = samplesAs16(in);
    PictureData out;
    out.width = in.width;
    out.height = in.height;
    out.channels = 3;
    out.bitsPerSample = in.bitsPerSample;
    out.calibration = in.calibration;
    out.samples.resize(s.size() * (in.bitsPerSample / 8));
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double d = dark16_.empty() ? 0.0 : dark16_[i];
        const double v = std::clamp((double(s[i]) - d) * gain_[i], 0.0, 65535.0);
        if (in.bitsPerSample == 16) {
            const auto w = static_cast<std::uint16_t>(std::lround(v));
            std::memcpy(out.samples.data() + i * 2, &w, 2);
        } else {
            out.samples[i] = static_cast<std::uint8_t>(std::lround(v / 257.0));
        }
    }
    return out;
}

bool FlatField::correctGrabberFrame(const std::uint8_t* in, std::uint8_t* out,
                                    std::size_t size) const {
    const std::size_t n = fastWord_.size();
    if (size < n || in == nullptr || out == nullptr) return false;
    correctRow(in, out, fastDarkLevels_.data(), fastWord_.data(), n);
    return true;
}

std::vector<std::string> FlatField::liveKernels() {
    std::vector<std::string> names;
    for (const Kernel& k : availableKernels()) names.push_back(k.name);
    return names;
}

bool FlatField::correctGrabberFrameWith(const std::string& kernel, const std::uint8_t* in,
                                        std::uint8_t* out, std::size_t size) const {
    const std::size_t n = fastWord_.size();
    if (size < n || in == nullptr || out == nullptr) return false;
    for (const Kernel& k : availableKernels())
        if (kernel == k.name) {
            k.run(in, out, fastDarkLevels_.data(), fastWord_.data(), n);
            return true;
        }
    return false;
}

}  // namespace qelvo::acquire
