#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ECorruptFile.h"

namespace murmel {

// An in-memory byte stream, as the container and its routines pass them around.
using ByteStream = std::vector<uint8_t>;

// The -lh5- codec behind a 4-byte little-endian size. Both append to `output`.
// DecompressStream throws ECorruptFile("Compressed file is corrupt").
void CompressStream(const uint8_t* input, size_t size, ByteStream& output);
void DecompressStream(const uint8_t* input, size_t size, ByteStream& output);

// Blowfish-16 in ECB mode with the container's padding; in place.
// Both throw ECorruptFile on a rejected key or a stream that cannot be deciphered.
void EncryptStream(ByteStream& stream, const std::string& key);
void DecryptStream(ByteStream& stream, const std::string& key);

}  // namespace murmel
