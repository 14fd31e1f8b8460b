#include "MMSpectrFFT.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace murmel {

namespace {

double WindowValue(TMMFFTWindow window, int i, int n) {
    const double pi = std::numbers::pi;
    const double phase = 2 * pi * i / n;
    const double d = static_cast<double>(2 * i - n) / (n + 1);
    switch (window) {
        case fwHamming:
            return 0.54 - 0.46 * std::cos(phase);
        case fwHanning:
            return 0.5 - 0.5 * std::cos(phase);
        case fwBlackman:
            return 0.42 - 0.5 * std::cos(phase) + 0.08 * std::cos(2 * phase);
        case fwGaussian: {
            const double t = static_cast<double>(2 * i - n);
            return std::exp(-5.0 * t * t / (static_cast<double>(n) * n));
        }
        case fwWelch:
            return 1 - d * d;
        case fwParzen:
            return 1 - std::fabs(d);
        case fwRectangular:
            break;
    }
    return 1.0;
}

// The twiddle factors of every stage of an n-point transform, stage after stage
// (length/2 of them for each length 2, 4, .. n). The display transforms dozens of
// frames a second at one size, so they are worked out once per size and thread.
const std::vector<std::complex<double>>& Twiddles(size_t n) {
    thread_local size_t size = 0;
    thread_local std::vector<std::complex<double>> table;
    if (size != n) {
        table.clear();
        for (size_t length = 2; length <= n; length <<= 1) {
            const double angle = -2 * std::numbers::pi / static_cast<double>(length);
            for (size_t k = 0; k < length / 2; ++k)
                table.push_back(std::polar(1.0, angle * static_cast<double>(k)));
        }
        size = n;
    }
    return table;
}

// In-place iterative radix-2 transform, forward direction.
void ComplexFFT(std::vector<std::complex<double>>& data) {
    const size_t n = data.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j |= bit;
        if (i < j) std::swap(data[i], data[j]);
    }
    const std::complex<double>* stage = Twiddles(n).data();
    for (size_t length = 2; length <= n; stage += length / 2, length <<= 1) {
        for (size_t start = 0; start < n; start += length) {
            for (size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> twiddle = stage[k];
                const std::complex<double> even = data[start + k];
                const std::complex<double> odd = data[start + k + length / 2] * twiddle;
                data[start + k] = even + odd;
                data[start + k + length / 2] = even - odd;
            }
        }
    }
}

}  // namespace

std::vector<int32_t> BuildWindowTable(TMMFFTWindow window, int n) {
    std::vector<int32_t> table(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        table[static_cast<size_t>(i)] =
            static_cast<int32_t>(std::floor(32767 * WindowValue(window, i, n) + 0.5));
    return table;
}

void RealFFT(const float* input, int n, double* pairs) {
    thread_local std::vector<std::complex<double>> data;
    data.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) data[static_cast<size_t>(i)] = input[i];
    ComplexFFT(data);
    for (int k = 0; k < n / 2; ++k) {
        pairs[2 * k] = data[static_cast<size_t>(k)].real();
        pairs[2 * k + 1] = k == 0 ? 0.0 : data[static_cast<size_t>(k)].imag();
    }
}

void ScaleFFTResult(const double* pairs, int n, int16_t* result) {
    const double half = n / 2;
    for (int i = 0; i < n; ++i) {
        // The inputs are 16-bit samples, so the sums stay far inside 32 bits.
        const auto value = static_cast<int32_t>(std::trunc(pairs[i] / half));
        result[i] = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value)));
    }
}

}  // namespace murmel
