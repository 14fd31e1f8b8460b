// The container's cipher on any key and data: deciphering what was enciphered
// gives the data back; a key the cipher rejects is refused for enciphering;
// deciphering anything else never reads out of bounds.
#include <cstdint>
#include <stdexcept>

#include "Blowfish.h"
#include "PkStreamRoutines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t key_size = data[0] % 80;
    if (size < 1 + key_size) return 0;
    const std::string key(reinterpret_cast<const char*>(data + 1), key_size);
    const murmel::ByteStream original(data + 1 + key_size, data + size);
    try {
        murmel::ByteStream stream = original;
        murmel::EncryptStream(stream, key);
        if (!original.empty() && stream.size() % 8 != 0) __builtin_trap();
        murmel::DecryptStream(stream, key);
        if (stream != original) __builtin_trap();
    } catch (const murmel::ECorruptFile&) {
        if (!key.empty()) __builtin_trap();  // only an empty key cannot be scheduled
    } catch (const std::invalid_argument&) {
        if (original.empty() || !murmel::Blowfish(key).Rejected()) __builtin_trap();
    }
    try {
        murmel::ByteStream stream = original;
        murmel::DecryptStream(stream, key);
    } catch (const murmel::ECorruptFile&) {
    }
    return 0;
}
