#pragma once
// The spectrum's number crunching: window tables and a forward real FFT with the
// packing and scaling the display expects.
#include <cstdint>
#include <vector>

namespace murmel {

enum TMMFFTWindow {
    fwRectangular,
    fwHamming,
    fwHanning,
    fwBlackman,
    fwGaussian,
    fwWelch,
    fwParzen
};

// w[i] = floor(32767 × window(i, n) + 0.5) for i = 0..n-1.
std::vector<int32_t> BuildWindowTable(TMMFFTWindow window, int n);

// Forward real FFT of n samples (n a power of two, at least 2), no scaling. Writes
// n values: for k = 0..n/2-1 the pair (Re X[k], Im X[k]) with X[k] = Σ x[j]·e^(-2πijk/n);
// bin 0 holds the DC sum with imaginary part 0 and the Nyquist value is dropped.
void RealFFT(const float* input, int n, double* pairs);

// The display's 16-bit result: each of the n numbers divided by n/2, truncated, and
// kept to its low 16 bits.
void ScaleFFTResult(const double* pairs, int n, int16_t* result);

}  // namespace murmel
