// Any bytes as a voice track's RIFF WAVE: the chunk walk must stay inside the
// bytes and the data it reports must lie within them.
#include <cstdint>
#include <cstdlib>

#include "RiffReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const murmel::RiffWave wave = murmel::ReadRiffWave(data, size);
        if (wave.dataOffset > size || wave.dataSize > size - wave.dataOffset) std::abort();
        if (wave.channels == 0 || wave.samplesPerSec == 0) std::abort();
        volatile uint8_t sink = 0;
        for (size_t i = 0; i < wave.dataSize; i += 97) sink = sink ^ data[wave.dataOffset + i];
        (void)sink;
    } catch (const murmel::ERiffError&) {
    }
    return 0;
}
