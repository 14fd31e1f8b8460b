#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ECorruptFile.h"

namespace murmel {

// An in-memory byte stream, as the container and its routines pass them around.
using ByteStream = std::vector<uint8_t>;

// The -lh5- codec behind a 4-byte little-endian size (the bytes after it are a
// standard -lh5- bit stream). Both append to `output`; each call has its own
// working storage, so calls may run on several threads at once.
//
// CompressStream codes the whole input (at most 2^31 - 1 bytes, else
// std::length_error) exactly as the classic ar002 coder does.
// DecompressStream throws ECorruptFile("Compressed file is corrupt") for a
// damaged stream, including one cut short, and then leaves `output` as it was.
// A stored size of 0 or less gives no bytes; input shorter than the size field
// is corrupt. Memory grows with the bytes actually produced, not the stored size.
void CompressStream(const uint8_t* input, size_t size, ByteStream& output);
void DecompressStream(const uint8_t* input, size_t size, ByteStream& output);

// The same, handing the restored bytes to `sink` piece by piece (at most 64 KiB
// at a time) while holding only the dictionary: memory stays small whatever the
// stored size. Pieces before a damage have been handed on when ECorruptFile is
// thrown, so the sink's target must be discarded then. The sink may throw.
using ByteSink = std::function<void(const uint8_t* data, size_t size)>;
void DecompressStreamTo(const uint8_t* input, size_t size, const ByteSink& sink);

// Fills `out` with up to `size` bytes of an input; fewer only at its end. May throw.
using ByteSource = std::function<size_t(uint8_t* out, size_t size)>;

// CompressStream over an input of `size` bytes read piece by piece from `source`,
// handing the output to `sink` in pieces: the same bytes, in memory that does not
// grow with the input. An input that ends before `size` bytes is std::runtime_error;
// more than 2^31 - 1 bytes is std::length_error.
void CompressStreamFrom(const ByteSource& source, uint64_t size, const ByteSink& sink);

// DecompressStreamTo on a stream read piece by piece from `source`: memory stays
// small whatever the sizes. The stored size goes to `onSize` before anything is
// decoded; it may throw to refuse the stream.
void DecompressStreamFrom(const ByteSource& source, const ByteSink& sink,
                          const std::function<void(int32_t stored)>& onSize = {});

// Blowfish-16 in ECB mode with the container's padding; in place.
// EncryptStream refuses a key the cipher rejects (std::invalid_argument);
// DecryptStream leaves the stream unchanged under such a key, as files written
// with it hold the payload in clear. DecryptStream throws ECorruptFile when the
// deciphered padding cannot be right.
void EncryptStream(ByteStream& stream, const std::string& key);
void DecryptStream(ByteStream& stream, const std::string& key);

}  // namespace murmel
