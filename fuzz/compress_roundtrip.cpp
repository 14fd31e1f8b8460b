// Any bytes through CompressStream and back: the same bytes, and a stream that
// grows incompressible data only a little (about 9 bits a literal at worst, plus
// each block's code tables).
#include <cstdint>

#include "PkStreamRoutines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;  // the compressor always gets at least the container's 12 bytes
    murmel::ByteStream stream;
    murmel::CompressStream(data, size, stream);
    if (stream.size() > 4 + size + size / 8 + 2048 * (size / 14000 + 1)) __builtin_trap();
    murmel::ByteStream back;
    murmel::DecompressStream(stream.data(), stream.size(), back);
    if (back.size() != size) __builtin_trap();
    for (size_t i = 0; i < size; ++i) {
        if (back[i] != data[i]) __builtin_trap();
    }
    return 0;
}
