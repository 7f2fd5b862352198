#include <algorithm>
#include <cmath>
#include <utility>

#include "measure/FftInternal.h"

namespace qelvo::measure::fft {

bool isPowerOfTwo(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

int nextPowerOfTwo(int n) {
    int p = 1;
    while (p < n) p <<= 1;
    return p;
}

Plan::Plan(int size) : size_(size), reversed_(static_cast<std::size_t>(size)) {
    int bits = 0;
    while ((1 << bits) < size) ++bits;
    for (int i = 0; i < size; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b)
            if (i & (1 << b)) r |= 1 << (bits - 1 - b);
        reversed_[static_cast<std::size_t>(i)] = r;
    }
    // The twiddle factors of each stage one after another (stage of half-size h from h - 1
    // on), so every stage reads them in order.
    twiddles_.resize(static_cast<std::size_t>(std::max(1, size - 1)));
    for (int half = 1; half < size; half <<= 1)
        for (int k = 0; k < half; ++k) {
            const double a = -M_PI * k / half;
            twiddles_[static_cast<std::size_t>(half - 1 + k)] =
                Complex(static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)));
        }
}

void Plan::forward(Complex* data) const {
    const int n = size_;
    for (int i = 0; i < n; ++i) {
        const int r = reversed_[static_cast<std::size_t>(i)];
        if (r > i) std::swap(data[i], data[r]);
    }
    // Complex numbers as pairs of floats: std::complex multiplication checks for infinities
    // and NaN, which costs more than the butterfly itself.
    float* d = reinterpret_cast<float*>(data);
    // The first stage needs no multiplication.
    for (int i = 0; i + 1 < n; i += 2) {
        const float ar = d[2 * i], ai = d[2 * i + 1], br = d[2 * i + 2], bi = d[2 * i + 3];
        d[2 * i] = ar + br;
        d[2 * i + 1] = ai + bi;
        d[2 * i + 2] = ar - br;
        d[2 * i + 3] = ai - bi;
    }
    for (int half = 2; half < n; half <<= 1) {
        const float* w =
            reinterpret_cast<const float*>(&twiddles_[static_cast<std::size_t>(half - 1)]);
        for (int start = 0; start < n; start += 2 * half) {
            float* a = d + 2 * start;
            float* b = a + 2 * half;
            for (int k = 0; k < half; ++k) {
                const float wr = w[2 * k], wi = w[2 * k + 1];
                const float br = b[2 * k], bi = b[2 * k + 1];
                const float tr = wr * br - wi * bi;
                const float ti = wr * bi + wi * br;
                const float ar = a[2 * k], ai = a[2 * k + 1];
                b[2 * k] = ar - tr;
                b[2 * k + 1] = ai - ti;
                a[2 * k] = ar + tr;
                a[2 * k + 1] = ai + ti;
            }
        }
    }
}

std::vector<float> realPowerSpectrum(const std::vector<float>& picture, int width, int height) {
    const int columns = width / 2 + 1;
    std::vector<Complex> half(static_cast<std::size_t>(columns) * height);
    const Plan rows(width);
    std::vector<Complex> line(static_cast<std::size_t>(width));
    // Two real rows per complex transform: row a in the real part, row b in the imaginary.
    for (int y = 0; y < height; y += 2) {
        const float* a = &picture[static_cast<std::size_t>(y) * width];
        const float* b = y + 1 < height ? a + width : nullptr;
        for (int x = 0; x < width; ++x) line[x] = Complex(a[x], b ? b[x] : 0.0f);
        rows.forward(line.data());
        for (int k = 0; k < columns; ++k) {
            const Complex z = line[k];
            const Complex zc = std::conj(line[(width - k) & (width - 1)]);
            half[static_cast<std::size_t>(y) * columns + k] = (z + zc) * 0.5f;
            if (b)
                half[static_cast<std::size_t>(y + 1) * columns + k] =
                    (z - zc) * Complex(0.0f, -0.5f);
        }
    }
    const Plan cols(height);
    std::vector<Complex> column(static_cast<std::size_t>(height));
    std::vector<float> power(half.size());
    for (int k = 0; k < columns; ++k) {
        for (int y = 0; y < height; ++y)
            column[y] = half[static_cast<std::size_t>(y) * columns + k];
        cols.forward(column.data());
        for (int y = 0; y < height; ++y)
            power[static_cast<std::size_t>(y) * columns + k] = std::norm(column[y]);
    }
    return power;
}

}  // namespace qelvo::measure::fft
