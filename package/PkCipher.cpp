// The container's cipher: Blowfish-16 in ECB mode over little-endian words,
// with a padding whose last byte says how many bytes to drop.
#include <stdexcept>

#include "Blowfish.h"
#include "PkStreamRoutines.h"

namespace murmel {
namespace {

constexpr size_t kBlock = 8;
constexpr const char* kWeakKeyMessage =
    "The cipher cannot use this key (its key schedule repeats an S-box entry): choose another key";

uint32_t LoadWord(const uint8_t* at) {
    return at[0] | (uint32_t(at[1]) << 8) | (uint32_t(at[2]) << 16) | (uint32_t(at[3]) << 24);
}

void StoreWord(uint8_t* at, uint32_t word) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(word >> (8 * i));
}

Blowfish Schedule(const std::string& key) {
    if (key.empty()) throw ECorruptFile("File is corrupt.");
    return Blowfish(key);
}

template <typename Cipher>
void EachBlock(ByteStream& stream, Cipher cipher) {
    for (size_t at = 0; at + kBlock <= stream.size(); at += kBlock) {
        uint32_t left = LoadWord(&stream[at]), right = LoadWord(&stream[at + 4]);
        cipher(left, right);
        StoreWord(&stream[at], left);
        StoreWord(&stream[at + 4], right);
    }
}

}  // namespace

void EncryptStream(ByteStream& stream, const std::string& key) {
    if (stream.empty()) return;
    Blowfish cipher = Schedule(key);
    // Such a key would leave the data in clear under a flag that says enciphered.
    if (cipher.Rejected()) throw std::invalid_argument(kWeakKeyMessage);
    const size_t padding = kBlock - (stream.size() + 1) % kBlock;
    stream.insert(stream.end(), padding, 0x01);
    stream.push_back(static_cast<uint8_t>(padding));
    EachBlock(stream, [&](uint32_t& l, uint32_t& r) { cipher.Encrypt(l, r); });
}

void DecryptStream(ByteStream& stream, const std::string& key) {
    if (stream.empty()) return;
    Blowfish cipher = Schedule(key);
    // Files written before such keys were refused hold their payload in clear.
    if (cipher.Rejected()) return;
    EachBlock(stream, [&](uint32_t& l, uint32_t& r) { cipher.Decrypt(l, r); });
    // A wrong key or a damaged payload can claim more padding than there is.
    const size_t drop = size_t(stream.back()) + 1;
    if (drop > stream.size()) throw ECorruptFile("File is corrupt.");
    stream.resize(stream.size() - drop);
}

}  // namespace murmel
