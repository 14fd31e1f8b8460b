// CompressStream: the 4-byte size, then -lh5- blocks from a one-step lazy parse.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>

#include "BitWriter.h"
#include "BlockCoder.h"
#include "Lh5Format.h"
#include "MatchDictionary.h"
#include "PkStreamRoutines.h"

namespace murmel {

namespace {

// Working storage of one call, zero-filled when it starts.
struct Compressor {
    Compressor(const ByteSource& source, uint64_t size, const ByteSink& sink)
        : dictionary(source, size), writer(sink), coder(writer) {}

    void Run();

    MatchDictionary dictionary;
    BitWriter writer;
    BlockCoder coder;
};

// At each step the match at the previous position is sent only if the match
// one byte further on is not longer; otherwise that byte goes as a literal.
void Compressor::Run() {
    dictionary.ClipMatch();
    while (dictionary.Remaining() > 0) {
        int lastLength = dictionary.MatchLength();
        const int lastPosition = dictionary.MatchPosition();
        dictionary.Advance();
        dictionary.ClipMatch();
        if (dictionary.MatchLength() > lastLength || lastLength < lh5::kThreshold) {
            coder.Literal(dictionary.ByteAt(dictionary.Position() - 1));
        } else {
            coder.Match(lastLength,
                        static_cast<uint32_t>(dictionary.Position() - lastPosition - 2) &
                            (lh5::kDictionarySize - 1));
            while (--lastLength > 0) dictionary.Advance();
            dictionary.ClipMatch();
        }
    }
    coder.Finish();
    writer.Finish();
}

}  // namespace

void CompressStreamFrom(const ByteSource& source, uint64_t size, const ByteSink& sink) {
    if (size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        throw std::length_error("CompressStream: input larger than its 32-bit size field");
    }
    const uint32_t stored = static_cast<uint32_t>(size);
    uint8_t field[lh5::kSizeFieldBytes];
    for (size_t i = 0; i < lh5::kSizeFieldBytes; ++i)
        field[i] = static_cast<uint8_t>(stored >> (8 * i));
    sink(field, sizeof field);
    if (size == 0) return;  // nothing to code; decodes to nothing
    auto compressor = std::make_unique<Compressor>(source, size, sink);
    compressor->Run();
}

void CompressStream(const uint8_t* input, size_t size, ByteStream& output) {
    // Incompressible data grows a little; reserving for it avoids copies.
    if (size <= static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        output.reserve(output.size() + size + size / 8 + 1024);
    size_t position = 0;
    CompressStreamFrom(
        [&](uint8_t* out, size_t count) {
            const size_t n = std::min(count, size - position);
            std::memcpy(out, input + position, n);
            position += n;
            return n;
        },
        size,
        [&output](const uint8_t* data, size_t count) {
            output.insert(output.end(), data, data + count);
        });
}

}  // namespace murmel
