// Any bytes as a ".mvm" voice mail: it loads, or fails with "File is corrupt." or
// a stream error. What loads saves plain and loads back the same.
#include <cstdint>
#include <cstring>

#include "PkStreamCol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    murmel::TPkStreams streams;
    streams.Key = "MurmelVoiceMail!";  // the key of the enciphered seeds
    try {
        streams.LoadFromStream(data, size);
    } catch (const murmel::ECorruptFile& error) {
        if (std::strcmp(error.what(), "File is corrupt.") != 0) __builtin_trap();
        return 0;
    } catch (const murmel::EStreamError&) {
        return 0;
    }
    streams.Compressed = false;
    streams.Encrypted = false;
    murmel::ByteStream saved;
    streams.SaveToStream(saved);
    murmel::TPkStreams again;
    again.LoadFromStream(saved);
    if (again.Count() != streams.Count()) __builtin_trap();
    for (size_t i = 0; i < again.Count(); ++i)
        if (again.Name(i) != streams.Name(i) || again.Data(i) != streams.Data(i)) __builtin_trap();
    return 0;
}
