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
    twiddles_.resize(static_cast<std::size_t>(std::max(1, size / 2)));
    for (int k = 0; k < size / 2; ++k) {
        const double a = -2.0 * M_PI * k / size;
        twiddles_[static_cast<std::size_t>(k)] =
            Complex(static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)));
    }
}

void Plan::forward(Complex* data) const {
    const int n = size_;
    for (int i = 0; i < n; ++i) {
        const int r = reversed_[static_cast<std::size_t>(i)];
        if (r > i) std::swap(data[i], data[r]);
    }
    for (int half = 1; half < n; half <<= 1) {
        const int step = n / (2 * half);
        for (int start = 0; start < n; start += 2 * half) {
            for (int k = 0; k < half; ++k) {
                const Complex w = twiddles_[static_cast<std::size_t>(k * step)];
                Complex& a = data[start + k];
                Complex& b = data[start + k + half];
                // Written out: std::complex multiplication checks for NaN and is slow.
                const float tr = w.real() * b.real() - w.imag() * b.imag();
                const float ti = w.real() * b.imag() + w.imag() * b.real();
                const Complex t(tr, ti);
                b = a - t;
                a += t;
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
