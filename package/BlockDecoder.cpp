#include "BlockDecoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "Lh5Errors.h"

namespace murmel {

namespace {

constexpr int kShortLengthBits = 3;     // a code length below 7 as a plain 3-bit field
constexpr uint32_t kEscapedLength = 7;  // 7 and more: one more per following 1-bit
constexpr int kZeroRunBits = 2;         // zero lengths after the code-length code's third symbol

// Zero runs inside the literal/length code lengths; symbol 0 stands for one zero.
constexpr uint32_t kShortZeroRun = 1;  // 4 bits: 3..18 zeros
constexpr uint32_t kLongZeroRun = 2;   // 9 bits: 20..531 zeros
constexpr int kShortZeroRunBits = 4;
constexpr uint32_t kShortZeroRunBase = 3;
constexpr uint32_t kLongZeroRunBase = 20;

// Copies a match to out[at..at + count) and returns the new end. Bytes before
// the start of the output read as zeros, as from a fresh dictionary.
inline size_t CopyMatch(uint8_t* out, size_t at, size_t distance, size_t count) {
    uint8_t* target = out + at;
    if (distance > at) [[unlikely]] {
        for (size_t i = 0; i < count; ++i, ++at) out[at] = at >= distance ? out[at - distance] : 0;
        return at;
    }
    const uint8_t* source = target - distance;
    // Whole blocks where they cannot overlap; the last may run into the slack
    // behind the chunk's end.
    if (distance >= 16) {
        for (size_t i = 0; i < count; i += 16) std::memcpy(target + i, source + i, 16);
    } else if (distance >= 8) {
        for (size_t i = 0; i < count; i += 8) std::memcpy(target + i, source + i, 8);
    } else if (distance == 1) {
        std::memset(target, *source, count);
    } else {
        for (size_t i = 0; i < count; ++i) target[i] = source[i];
    }
    return at + count;
}

// Looking several codes up at once pays when most literals of a block share one
// code length: a literal of that length, then more at the offsets it predicts,
// run on while the guess holds (a voice mail's MP3 frames: 8 bits). Below this
// share of the code space the guesses fail too often.
constexpr uint32_t kRunShareThreshold = 1u << (lh5::kMaxCodeLength - 1);  // half

// The literal code length L for FastLiteralRuns, or 0 where it does not pay.
template <size_t kSymbols>
uint32_t LiteralRunLength(const std::array<uint8_t, kSymbols>& lengths, int longest) {
    // Two partial sums: most literals share a length, and the additions to one
    // sum would wait on each other.
    std::array<std::array<uint32_t, lh5::kMaxCodeLength + 1>, 2> partial{};
    for (int symbol = 0; symbol < lh5::kFirstMatchSymbol; ++symbol)
        partial[symbol % 2][lengths[symbol]] += (1u << lh5::kMaxCodeLength) >> lengths[symbol];
    std::array<uint32_t, lh5::kMaxCodeLength + 1> share{};
    for (size_t l = 0; l < share.size(); ++l) share[l] = partial[0][l] + partial[1][l];
    uint32_t best = 1;
    for (int length = 2; length <= longest; ++length)
        if (share[length] > share[best]) best = static_cast<uint32_t>(length);
    return share[best] >= kRunShareThreshold ? best : 0;
}

}  // namespace

void BlockDecoder::Fill(uint8_t* out, size_t& produced, size_t end) {
    size_t at = produced;  // locals: output bytes may alias anything reached through a reference
    if (pendingCount_ != 0) {
        const size_t count = std::min<size_t>(pendingCount_, end - at);
        at = CopyMatch(out, at, pendingDistance_, count);
        pendingCount_ -= static_cast<uint32_t>(count);
    }
    BitReader reader = reader_;
    uint32_t remaining = blockRemaining_;
    // Below fastEnd a literal and the longest match fit, so no symbol needs clipping.
    constexpr size_t kFastRoom = lh5::kMaxMatch + 1;
    const size_t fastEnd = end > kFastRoom ? end - kFastRoom : 0;
    while (at < end) {
        if (remaining == 0) {
            reader = ReadBlockHeader(reader);
            remaining = blockRemaining_;
        }
        if (runLength_ != 0 && at + 8 <= fastEnd && remaining >= kRunLanes &&
            reader.WholeWordsLeft(2)) {
            FastLiteralRuns(out, at, fastEnd, reader, remaining);
            continue;
        }
        if (at < fastEnd && remaining >= 2 && reader.WholeWordsLeft(2)) {
            FastSymbols(out, at, fastEnd, reader, remaining);
            continue;
        }
        --remaining;
        reader.Refill();
        const uint32_t symbol = literalLengthTable_.Decode(reader);
        if (symbol < lh5::kFirstMatchSymbol) {
            out[at++] = static_cast<uint8_t>(symbol);
            continue;
        }
        const uint32_t length = symbol - (lh5::kFirstMatchSymbol - lh5::kThreshold);
        const uint32_t distance = DecodeDistance(reader);
        const size_t count = std::min<size_t>(length, end - at);
        at = CopyMatch(out, at, distance, count);
        if (count < length) {
            pendingCount_ = static_cast<uint32_t>(length - count);
            pendingDistance_ = distance;
        }
    }
    reader_ = reader;
    blockRemaining_ = remaining;
    produced = at;
}

// The bulk of the work: symbols of the current block while the output has room
// for a literal and a whole match and the input whole words for two refills.
// After a refill the window holds at least 56 bits: two literal/length codes,
// or one whole match (at most kMaxMatchBits); a match after a literal refills
// once more.
void BlockDecoder::FastSymbols(uint8_t* out, size_t& produced, size_t fastEnd, BitReader& input,
                               uint32_t& remaining) const {
    constexpr int kMaxMatchBits = 2 * lh5::kMaxCodeLength + lh5::kDictionaryBits - 1;
    static_assert(kMaxMatchBits <= BitReader::kMinimumAfterRefill);
    static_assert(2 * lh5::kMaxCodeLength <= BitReader::kMinimumAfterRefill);
    BitReader reader = input;  // a local, kept in registers while output bytes are written
    size_t at = produced;
    uint32_t left = remaining;
    while (left >= 2 && at < fastEnd && reader.WholeWordsLeft(2)) {
        reader.Refill();
        --left;
        uint32_t symbol = literalLengthTable_.Decode(reader);
        if (symbol < lh5::kFirstMatchSymbol) {
            out[at++] = static_cast<uint8_t>(symbol);
            --left;
            symbol = literalLengthTable_.Decode(reader);
            if (symbol < lh5::kFirstMatchSymbol) {
                out[at++] = static_cast<uint8_t>(symbol);
                continue;
            }
            reader.Refill();
        }
        const uint32_t length = symbol - (lh5::kFirstMatchSymbol - lh5::kThreshold);
        at = CopyMatch(out, at, DecodeDistance(reader), length);
    }
    input = reader;
    produced = at;
    remaining = left;
}

void BlockDecoder::FastLiteralRuns(uint8_t* out, size_t& produced, size_t fastEnd,
                                   BitReader& reader, uint32_t& remaining) const {
    // A copy per code length, so that the look-ups' offsets are constants.
    using Runs = void (BlockDecoder::*)(uint8_t*, size_t&, size_t, BitReader&, uint32_t&) const;
    static constexpr Runs kRuns[kMaxRunLength + 1] = {nullptr,
                                                      &BlockDecoder::LiteralRuns<1>,
                                                      &BlockDecoder::LiteralRuns<2>,
                                                      &BlockDecoder::LiteralRuns<3>,
                                                      &BlockDecoder::LiteralRuns<4>,
                                                      &BlockDecoder::LiteralRuns<5>,
                                                      &BlockDecoder::LiteralRuns<6>,
                                                      &BlockDecoder::LiteralRuns<7>,
                                                      &BlockDecoder::LiteralRuns<8>};
    (this->*kRuns[runLength_])(out, produced, fastEnd, reader, remaining);
}

// Symbols of a block whose literals mostly have the code length L, six table
// look-ups at a time: at the offsets 0, L, .., 5L of the window. Lane k is a
// true code when lanes 0..k-1 hold literals of length L, so the lanes up to the
// first other one are taken, that one included when it is a literal too; a
// match or a long code there is decoded the ordinary way. Each group of lanes
// starts after a refill (56 bits, at most 5L + kIndexBits of them used) and
// with room for eight bytes and, after five literals, a whole match.
template <int kLength>
void BlockDecoder::LiteralRuns(uint8_t* out, size_t& produced, size_t fastEnd, BitReader& input,
                               uint32_t& remaining) const {
    using Table = LiteralLengthTable;
    constexpr int kBits = Table::kIndexBits;
    static_assert(kRunLanes == 6 && kLength <= kMaxRunLength);
    static_assert((kRunLanes - 1) * kMaxRunLength + kBits <= BitReader::kMinimumAfterRefill);
    // Four lanes of 16 bits to a word. A lane holds a literal of length L when
    // (entry ^ L) & kLaneCheck is 0: bit 14 is set from symbol 256 up, the low
    // six hold the length or a mark. Bit 15 is never set (symbols stay below
    // 512), which leaves room for a sentinel.
    static_assert(lh5::kFirstMatchSymbol << Table::kValueShift == 1 << 14);
    static_assert(lh5::kLiteralLengthSymbols << Table::kValueShift <= 1 << 15);
    constexpr uint64_t kEveryLane = 0x0001000100010001;
    constexpr uint64_t kLaneCheck = 0x4000 | Table::kLengthMask;
    constexpr uint64_t kPlainLiteral = 0x4000 | Table::kMarkBit;  // clear for a direct literal
    constexpr uint64_t kExpected = kLength * kEveryLane;
    constexpr uint64_t kOffsets = kLength * uint64_t{0x050403020100};  // k * L in byte k
    const auto entry = [this](uint32_t index) -> uint64_t {
        return literalLengthTable_.DirectEntry(index);
    };
    // The literals' bytes of a word's four lanes, lane 0 in the lowest byte.
    const auto literalBytes = [](uint64_t word) {
        word = (word >> Table::kValueShift) & 0x00FF00FF00FF00FF;
        word = (word | word >> 8) & 0x0000FFFF0000FFFF;
        return (word | word >> 16) & 0xFFFFFFFF;
    };
    BitReader reader = input;
    size_t at = produced;
    uint32_t left = remaining;
    while (left >= kRunLanes && at + 8 <= fastEnd && reader.WholeWordsLeft(2)) {
        reader.Refill();
        const uint64_t low = entry(reader.Peek(kBits)) |
                             entry(reader.PeekAt(kLength, kBits)) << 16 |
                             entry(reader.PeekAt(2 * kLength, kBits)) << 32 |
                             entry(reader.PeekAt(3 * kLength, kBits)) << 48;
        const uint64_t high = entry(reader.PeekAt(4 * kLength, kBits)) |
                              entry(reader.PeekAt(5 * kLength, kBits)) << 16;
        // The first lane that is not a literal of length L; the last always counts
        // as one. Worked out without a branch: which word holds it is a coin toss.
        const int lowZeros =
            std::countr_zero(((low ^ kExpected) & kLaneCheck * kEveryLane) | 1ull << 63);
        const int inHigh = (lowZeros + 1) >> 6;  // 1 when lanes 0..3 all hit, the sentinel found
        const int highZeros = std::countr_zero(((high ^ kExpected) & kLaneCheck) | 1u << 16);
        const int lane = (lowZeros >> 4) + (-inHigh & (1 + (highZeros >> 4)));
        const uint64_t word = low ^ ((low ^ high) & (0 - static_cast<uint64_t>(inHigh)));
        const uint32_t last = static_cast<uint32_t>(word >> (16 * (lane & 3))) & 0xFFFF;
        // Bytes of lanes not taken land in the room behind and are written over later.
        uint64_t bytes = literalBytes(low) | literalBytes(high) << 32;
        if constexpr (std::endian::native == std::endian::big) bytes = __builtin_bswap64(bytes);
        std::memcpy(out + at, &bytes, sizeof bytes);
        const int lengthBefore = static_cast<int>(kOffsets >> (8 * lane) & 0xFF);
        if ((last & kPlainLiteral) == 0) [[likely]] {
            at += lane + 1;
            left -= lane + 1;
            reader.Skip(lengthBefore + static_cast<int>(last & Table::kLengthMask));
            continue;
        }
        at += lane;
        left -= lane + 1;
        reader.Skip(lengthBefore);
        reader.Refill();
        const uint32_t symbol = literalLengthTable_.Decode(reader);
        if (symbol < lh5::kFirstMatchSymbol) {
            out[at++] = static_cast<uint8_t>(symbol);
            continue;
        }
        const uint32_t matchLength = symbol - (lh5::kFirstMatchSymbol - lh5::kThreshold);
        at = CopyMatch(out, at, DecodeDistance(reader), matchLength);
    }
    input = reader;
    produced = at;
    remaining = left;
}

BitReader BlockDecoder::ReadBlockHeader(BitReader reader) {
    blockRemaining_ = reader.Get(lh5::kBlockSizeBits);
    // An empty block carries nothing; decoders disagree on what it would mean.
    if (blockRemaining_ == 0) ThrowCompressedFileCorrupt();
    reader = ReadShortCode(reader, lh5::kCodeLengthCountBits, lh5::kCodeLengthZeroRunAfter,
                           codeLengthTable_, codeLengthLengths_);
    reader = ReadLiteralLengthCode(reader);
    return ReadShortCode(reader, lh5::kPositionCountBits, -1, positionTable_, positionLengths_);
}

// The code-length code and the position code: a count, then each length as a
// 3-bit field or an escape of 1-bits.
template <size_t kSymbols, typename Table>
BitReader BlockDecoder::ReadShortCode(BitReader reader, int countBits, int zeroRunAfter,
                                      Table& table, std::array<uint8_t, kSymbols>& lengths) {
    const uint32_t count = reader.Get(countBits);
    lengths.fill(0);
    if (count == 0) {
        table.SetSingle(reader.Get(countBits));
        return reader;
    }
    if (count > kSymbols) ThrowCompressedFileCorrupt();
    uint32_t i = 0;
    while (i < count) {
        reader.Refill();
        uint32_t length = reader.Peek(kShortLengthBits);
        if (length == kEscapedLength) {
            const int ones =
                std::countl_one(static_cast<uint32_t>(reader.Peek(32) << kShortLengthBits));
            if (ones > lh5::kMaxCodeLength - static_cast<int>(kEscapedLength))
                ThrowCompressedFileCorrupt();
            length += static_cast<uint32_t>(ones);
            reader.Skip(kShortLengthBits + ones + 1);
        } else {
            reader.Skip(kShortLengthBits);
        }
        lengths[i++] = static_cast<uint8_t>(length);
        if (static_cast<int>(i) == zeroRunAfter) i += reader.Get(kZeroRunBits);  // stays below 19
    }
    table.Build(lengths);
    return reader;
}

BitReader BlockDecoder::ReadLiteralLengthCode(BitReader reader) {
    const uint32_t count = reader.Get(lh5::kLiteralLengthCountBits);
    literalLengthLengths_.fill(0);
    runLength_ = 0;
    if (count == 0) {
        literalLengthTable_.SetSingle(reader.Get(lh5::kLiteralLengthCountBits));
        return reader;
    }
    if (count > lh5::kLiteralLengthSymbols) ThrowCompressedFileCorrupt();
    uint32_t i = 0;
    while (i < count) {
        reader.Refill();
        const uint32_t symbol = codeLengthTable_.Decode(reader);
        if (symbol > kLongZeroRun) {
            literalLengthLengths_[i++] = static_cast<uint8_t>(symbol - 2);
            continue;
        }
        uint32_t zeros = 1;
        if (symbol == kShortZeroRun) zeros = reader.Get(kShortZeroRunBits) + kShortZeroRunBase;
        if (symbol == kLongZeroRun)
            zeros = reader.Get(lh5::kLiteralLengthCountBits) + kLongZeroRunBase;
        if (i + zeros > lh5::kLiteralLengthSymbols) ThrowCompressedFileCorrupt();
        i += zeros;
    }
    literalLengthTable_.Build(literalLengthLengths_);
    runLength_ = LiteralRunLength(literalLengthLengths_, kMaxRunLength);
    return reader;
}

}  // namespace murmel
