// Any bytes as a wave format record (a preset value, a fmt chunk): a record is
// accepted only when the bytes hold it whole, and its copy keeps exactly its size.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "MMDSPObj.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace murmel;
    WaveFormatPtr format = WaveFormatFromBytes(data, size);
    if (!format) {
        if (size >= 18 && (data[0] | data[1] << 8) == 1) std::abort();  // PCM needs 18 bytes only
        return 0;
    }
    size_t bytes = WaveFormatSize(format.get());
    if (bytes > size || bytes < 18) std::abort();
    if (std::memcmp(format.get(), data, 16) != 0) std::abort();
    WaveFormatPtr copy = CopyWaveFormat(format.get());
    if (WaveFormatBytes(copy.get()) != WaveFormatBytes(format.get())) std::abort();
    if (WaveFormatsDiffer(copy.get(), format.get())) std::abort();
    if (IsValidPCMFormat(format.get()) && format->cbSize != 0) std::abort();
    return 0;
}
