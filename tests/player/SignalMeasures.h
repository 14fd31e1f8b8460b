#pragma once
// Measures of rendered or decoded sound for the speed and export tests: one
// channel of stereo samples, the dominant frequency, the spectral centroid, and
// the correlation of two signals.
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace murmel::test {

inline std::vector<double> Channel(const std::vector<int16_t>& interleaved, int channels,
                                   int which = 0) {
    std::vector<double> out;
    for (size_t i = static_cast<size_t>(which); i < interleaved.size();
         i += static_cast<size_t>(channels))
        out.push_back(interleaved[i] / 32768.0);
    return out;
}

inline std::vector<double> Slice(const std::vector<double>& signal, double fromS, double toS,
                                 int rate) {
    const auto from = std::min(signal.size(), static_cast<size_t>(fromS * rate));
    const auto to = std::min(signal.size(), static_cast<size_t>(toS * rate));
    return std::vector<double>(signal.begin() + static_cast<long>(from),
                               signal.begin() + static_cast<long>(to));
}

// In-place radix-2 FFT; the size is a power of two.
inline void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * M_PI / static_cast<double>(length));
        for (size_t i = 0; i < n; i += length) {
            std::complex<double> w = 1;
            for (size_t k = 0; k < length / 2; ++k, w *= step) {
                const std::complex<double> u = a[i + k], v = a[i + k + length / 2] * w;
                a[i + k] = u + v;
                a[i + k + length / 2] = u - v;
            }
        }
    }
}

// Power spectrum summed over Hann-windowed blocks of 4096 samples.
inline std::vector<double> PowerSpectrum(const std::vector<double>& signal) {
    constexpr size_t kBlock = 4096;
    std::vector<double> power(kBlock / 2, 0.0);
    for (size_t start = 0; start + kBlock <= signal.size(); start += kBlock / 2) {
        std::vector<std::complex<double>> block(kBlock);
        for (size_t i = 0; i < kBlock; ++i)
            block[i] = signal[start + i] *
                       (0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(i) / kBlock));
        Fft(block);
        for (size_t k = 0; k < kBlock / 2; ++k) power[k] += std::norm(block[k]);
    }
    return power;
}

inline double DominantHz(const std::vector<double>& signal, int rate) {
    const std::vector<double> power = PowerSpectrum(signal);
    size_t best = 1;
    for (size_t k = 1; k < power.size(); ++k)
        if (power[k] > power[best]) best = k;
    // Parabolic interpolation between the neighbouring bins.
    const double a = power[best - 1], b = power[best],
                 c = best + 1 < power.size() ? power[best + 1] : 0;
    const double offset = (a - c) / (2 * (a - 2 * b + c));
    return (static_cast<double>(best) + offset) * rate / 4096.0;
}

inline double SpectralCentroidHz(const std::vector<double>& signal, int rate) {
    const std::vector<double> power = PowerSpectrum(signal);
    double weighted = 0, total = 0;
    for (size_t k = 0; k < power.size(); ++k) {
        weighted += static_cast<double>(k) * power[k];
        total += power[k];
    }
    return total > 0 ? weighted / total * rate / 4096.0 : 0;
}

// The highest normalised correlation of `a` with `b` shifted by up to `maxLag` samples.
inline double BestCorrelation(const std::vector<double>& a, const std::vector<double>& b,
                              int maxLag) {
    double best = -1;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            const long j = static_cast<long>(i) + lag;
            if (j < 0 || j >= static_cast<long>(b.size())) continue;
            ab += a[i] * b[static_cast<size_t>(j)];
            aa += a[i] * a[i];
            bb += b[static_cast<size_t>(j)] * b[static_cast<size_t>(j)];
        }
        if (aa > 0 && bb > 0) best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

}  // namespace murmel::test
