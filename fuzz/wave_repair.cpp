// Any bytes as a voice track left behind by a killed recorder: the mending must
// stay inside the bytes, and what it gives back must be a finalised track that a
// second mending leaves as it is.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "MMWave.h"
#include "WaveTrackRepair.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const murmel::RepairedWaveTrack track = murmel::RepairWaveTrack(data, size);
        if (track.bytes.size() < track.dataBytes) std::abort();
        const murmel::RepairedWaveTrack again =
            murmel::RepairWaveTrack(track.bytes.data(), track.bytes.size());
        if (!again.wasFinalised || again.bytes != track.bytes) std::abort();
    } catch (const murmel::EMMWaveError&) {
    }
    return 0;
}
