// DecompressStream: the 4-byte size, then -lh5- blocks decoded piece by piece.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "BitReader.h"
#include "BlockDecoder.h"
#include "Lh5Errors.h"
#include "Lh5Format.h"
#include "PkStreamRoutines.h"

namespace murmel {

namespace {

// Room reserved up front: the stored size is only a claim, so no more than the
// input could plausibly expand to; beyond that the output grows as it is produced.
constexpr size_t kPlausibleExpansion = 8;
constexpr size_t kFirstReserve = 64 * 1024;

int32_t ReadStoredSize(const uint8_t* input) {
    uint32_t size = 0;
    for (size_t i = 0; i < lh5::kSizeFieldBytes; ++i) size |= uint32_t{input[i]} << (8 * i);
    return static_cast<int32_t>(size);
}

// Grows by half again, never beyond `limit`, so that a copy of the old buffer
// and the new one stay within a small multiple of the output produced.
void MakeRoom(ByteStream& output, size_t needed, size_t limit) {
    if (output.capacity() >= needed) return;
    const size_t grown = output.capacity() + output.capacity() / 2;
    output.reserve(std::max(needed, std::min(grown, limit)));
}

}  // namespace

void DecompressStream(const uint8_t* input, size_t size, ByteStream& output) {
    if (size < lh5::kSizeFieldBytes) ThrowCompressedFileCorrupt();
    const int32_t stored = ReadStoredSize(input);
    if (stored <= 0) return;
    const size_t base = output.size();
    const size_t limit = base + static_cast<size_t>(stored);
    try {
        output.reserve(std::min(limit, base + std::max(kFirstReserve, size * kPlausibleExpansion)));
        // Decoding in the small window and appending whole pieces writes each
        // output byte once; decoding in place would first zero-fill the output.
        DecompressStreamTo(input, size, [&output, limit](const uint8_t* data, size_t count) {
            MakeRoom(output, output.size() + count, limit);
            output.insert(output.end(), data, data + count);
        });
    } catch (...) {
        output.resize(base);
        throw;
    }
}

namespace {

// The input of DecompressStreamFrom, read in pieces behind the bit reader.
class SourceFeeder : public BitReader::Feeder {
  public:
    explicit SourceFeeder(const ByteSource& source) : source_(source), buffer_(kPiece) {}
    bool More(const uint8_t*& next, const uint8_t*& end) override {
        const size_t kept = static_cast<size_t>(end - next);
        if (kept > 0) std::memmove(buffer_.data(), next, kept);
        size_t got = 0;
        while (kept + got < buffer_.size() && !ended_) {
            const size_t n = source_(buffer_.data() + kept + got, buffer_.size() - kept - got);
            ended_ = n == 0;
            got += n;
        }
        next = buffer_.data();
        end = next + kept + got;
        return got > 0;
    }

  private:
    static constexpr size_t kPiece = 64 * 1024;
    const ByteSource& source_;
    std::vector<uint8_t> buffer_;
    bool ended_ = false;
};

// Decodes `stored` bytes with `decoder` to `sink` through a window that holds
// only the dictionary behind the piece being decoded.
void DecodeToSink(BlockDecoder& decoder, int32_t stored, const ByteSink& sink) {
    // A match reaches back at most kDictionarySize bytes.
    constexpr size_t kHistory = lh5::kDictionarySize;
    constexpr size_t kPiece = 64 * 1024;
    std::vector<uint8_t> window(kHistory + kPiece + BlockDecoder::kSlack);
    size_t remaining = static_cast<size_t>(stored);
    size_t at = 0;
    while (remaining > 0) {
        const size_t start = at;
        const size_t piece = std::min(kPiece, remaining);
        decoder.Fill(window.data(), at, start + piece);
        sink(window.data() + start, piece);
        remaining -= piece;
        if (at > kHistory) {
            std::memmove(window.data(), window.data() + at - kHistory, kHistory);
            at = kHistory;
        }
    }
    decoder.Finish();
}

}  // namespace

void DecompressStreamTo(const uint8_t* input, size_t size, const ByteSink& sink) {
    if (size < lh5::kSizeFieldBytes) ThrowCompressedFileCorrupt();
    const int32_t stored = ReadStoredSize(input);
    if (stored <= 0) return;
    BlockDecoder decoder(BitReader(input + lh5::kSizeFieldBytes, size - lh5::kSizeFieldBytes));
    DecodeToSink(decoder, stored, sink);
}

void DecompressStreamFrom(const ByteSource& source, const ByteSink& sink,
                          const std::function<void(int32_t stored)>& onSize) {
    uint8_t field[lh5::kSizeFieldBytes];
    size_t got = 0;
    while (got < sizeof field) {
        const size_t n = source(field + got, sizeof field - got);
        if (n == 0) ThrowCompressedFileCorrupt();
        got += n;
    }
    const int32_t stored = ReadStoredSize(field);
    if (onSize) onSize(stored);
    if (stored <= 0) return;
    SourceFeeder feeder(source);
    BlockDecoder decoder(BitReader(nullptr, 0, &feeder));
    DecodeToSink(decoder, stored, sink);
}

}  // namespace murmel
