// Any bytes as a voice mail's tune cut by the trim: reading stays inside the bytes, a
// refusal is the one error it names, and what a cut writes can be cut again.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "TuneCut.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (int64_t ms : {0, 700, 60000}) {
        std::vector<uint8_t> cut;
        try {
            cut = murmel::CutTune(data, size, ms);
        } catch (const std::runtime_error&) {
            continue;
        }
        try {
            murmel::CutTune(cut.data(), cut.size(), 0);
        } catch (const std::runtime_error&) {
            std::abort();  // a tune we wrote must read back
        }
    }
    return 0;
}
