// Any bytes as a compressed stream: either "Compressed file is corrupt" with the
// output untouched, or exactly the stored number of bytes. The streaming form
// agrees: the same bytes, or the same failure.
#include <cstdint>
#include <cstring>
#include <vector>

#include "ECorruptFile.h"
#include "PkStreamRoutines.h"

namespace {

// A few header bits can legitimately stand for megabytes (codes of zero bits);
// keep claimed sizes small enough for many runs per second.
constexpr uint32_t kLargestClaim = 1u << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> input(data, data + size);
    if (input.size() >= 4) {
        uint32_t claim;
        std::memcpy(&claim, input.data(), 4);
        if (static_cast<int32_t>(claim) > 0 && claim > kLargestClaim) claim %= kLargestClaim;
        std::memcpy(input.data(), &claim, 4);
    }
    murmel::ByteStream output = {0x5A};
    bool whole = true;
    try {
        murmel::DecompressStream(input.data(), input.size(), output);
        int32_t stored = 0;
        std::memcpy(&stored, input.data(), 4);
        const size_t expected = 1 + (stored > 0 ? static_cast<size_t>(stored) : 0);
        if (output.size() != expected || output[0] != 0x5A) __builtin_trap();
    } catch (const murmel::ECorruptFile&) {
        if (output.size() != 1 || output[0] != 0x5A) __builtin_trap();
        whole = false;
    }
    murmel::ByteStream streamed = {0x5A};
    bool streaming = true;
    try {
        murmel::DecompressStreamTo(input.data(), input.size(),
                                   [&](const uint8_t* bytes, size_t count) {
                                       if (count == 0 || count > 64 * 1024) __builtin_trap();
                                       streamed.insert(streamed.end(), bytes, bytes + count);
                                   });
    } catch (const murmel::ECorruptFile&) {
        streaming = false;
    }
    if (streaming != whole || (whole && streamed != output)) __builtin_trap();
    return 0;
}
