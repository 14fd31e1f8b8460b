#pragma once
// What MPEG Layer III can carry: the sample rates of MPEG-1 and of MPEG-2/2.5 and
// the bit rates each version knows. Both our encoders (the ACM driver and the
// export's file encoder) accept exactly these.
#include <algorithm>
#include <cstdint>
#include <iterator>

namespace murmel {

// True when `kbps` is a bit rate of the MPEG version that has `sampleRate`.
inline bool IsLayer3RateAndBitRate(int64_t sampleRate, int64_t kbps) {
    static constexpr int64_t kMpeg1Rates[] = {32000, 44100, 48000};
    static constexpr int64_t kMpeg2Rates[] = {8000, 11025, 12000, 16000, 22050, 24000};
    static constexpr int64_t kMpeg1Kbps[] = {32,  40,  48,  56,  64,  80,  96,
                                             112, 128, 160, 192, 224, 256, 320};
    static constexpr int64_t kMpeg2Kbps[] = {8,  16, 24, 32,  40,  48,  56,
                                             64, 80, 96, 112, 128, 144, 160};
    auto contains = [](const auto& table, int64_t value) {
        return std::find(std::begin(table), std::end(table), value) != std::end(table);
    };
    if (contains(kMpeg1Rates, sampleRate)) return contains(kMpeg1Kbps, kbps);
    if (contains(kMpeg2Rates, sampleRate)) return contains(kMpeg2Kbps, kbps);
    return false;
}

}  // namespace murmel
