#pragma once
// A small radix-2 FFT for the ruling finder: sizes are powers of two, data in place.
#include <complex>
#include <vector>

namespace qelvo::measure::fft {

using Complex = std::complex<float>;

class Plan {
public:
    explicit Plan(int size);  // size: a power of two
    int size() const { return size_; }
    // Forward transform (e^{-2 pi i k n / N}) of `data[0..size)` in place.
    void forward(Complex* data) const;

private:
    int size_;
    std::vector<int> reversed_;
    std::vector<Complex> twiddles_;
};

// Power spectrum of a real picture `width` x `height` (both powers of two), rows
// contiguous.  Returns |F(kx, ky)|^2 for kx = 0..width/2 and every ky, as
// power[ky * (width / 2 + 1) + kx].
std::vector<float> realPowerSpectrum(const std::vector<float>& picture, int width, int height);

bool isPowerOfTwo(int n);
int nextPowerOfTwo(int n);

}  // namespace qelvo::measure::fft
