// Any bytes as a MIDI tune's tempo map: reading stays inside the bytes, the map
// is in tick order and time never runs backwards in ticks.
#include <cstdint>
#include <cstdlib>

#include "MidiTempoMap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const murmel::MidiTempoMap map = murmel::MidiTempoMap::Read(data, size);
    const auto& changes = map.Changes();
    for (size_t i = 1; i < changes.size(); ++i)
        if (changes[i].tick < changes[i - 1].tick || changes[i].tempo == 0) std::abort();
    int64_t last = 0;
    for (int64_t ms : {0, 1, 500, 60000, 3600000}) {
        const int64_t tick = map.TickAt(ms);
        if (tick < last) std::abort();
        last = tick;
    }
    return 0;
}
