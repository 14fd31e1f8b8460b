// Any bytes as the reverb's settings block: reading either succeeds or raises a
// stream error; what was read writes back to a block that reads the same, and a
// stage with those settings processes sound without going out of bounds.
#include <cstdint>
#include <vector>

#include "MMReverb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    murmel::TMMReverbSettings settings;
    try {
        settings = murmel::ReadReverbSettings(data, size);
    } catch (const murmel::EFilerError&) {
        return 0;
    }
    const std::vector<uint8_t> written = murmel::WriteReverbSettings(settings);
    if (!(murmel::ReadReverbSettings(written.data(), written.size()) == settings)) __builtin_trap();
    if (settings.Echos.size() > murmel::kMaxEchos) __builtin_trap();

    murmel::TMMDSPComponent source("Source");
    murmel::TMMReverb reverb;
    source.SetPWaveFormat(murmel::BuildPCMFormat(2, 16, 8000).get());
    reverb.SetInput(&source);
    reverb.SetSettings(settings);
    reverb.Opened();
    reverb.Started();
    std::vector<char> sound(2048);
    for (size_t i = 0; size > 0 && i < sound.size(); ++i)
        sound[i] = static_cast<char>(data[i % size]);
    murmel::TWaveHdr header{};
    header.lpData = sound.data();
    header.dwBufferLength = header.dwBytesRecorded = static_cast<uint32_t>(sound.size());
    for (int buffer = 0; buffer < 4; ++buffer) reverb.BufferReady(&header);
    reverb.Closed();
    return 0;
}
