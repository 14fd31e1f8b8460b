#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "BitReader.h"
#include "HuffmanTable.h"
#include "Lh5Format.h"

namespace murmel {

// Turns the blocks of an -lh5- bit stream back into bytes: reads each block's
// three codes when the previous block's symbols are used up, then decodes
// literals and matches into the output, which is also the dictionary.
class BlockDecoder {
  public:
    static constexpr size_t kSlack = 16;  // writable bytes the caller keeps behind `end`

    explicit BlockDecoder(BitReader reader) : reader_(reader) {}

    // Produces out[produced..end). `out` is the start of this stream's output;
    // out[end..end + kSlack) may be scribbled on. A match running past `end`
    // goes on in the next call.
    void Fill(uint8_t* out, size_t& produced, size_t end);

    // Throws unless every bit consumed came from the input.
    void Finish() const { reader_.CheckNotPastEnd(); }

  private:
    using CodeLengthTable = HuffmanTable<8, lh5::kCodeLengthSymbols>;
    using LiteralLengthTable = HuffmanTable<12, lh5::kLiteralLengthSymbols>;
    using PositionTable = HuffmanTable<8, lh5::kPositionSymbols>;

    void FastSymbols(uint8_t* out, size_t& produced, size_t fastEnd, BitReader& reader,
                     uint32_t& remaining) const;
    static constexpr uint32_t kRunLanes = 6;  // codes looked up at once by FastLiteralRuns
    static constexpr int kMaxRunLength = 8;   // the longest literal code it takes runs of
    void FastLiteralRuns(uint8_t* out, size_t& produced, size_t fastEnd, BitReader& reader,
                         uint32_t& remaining) const;
    template <int kLength>
    void LiteralRuns(uint8_t* out, size_t& produced, size_t fastEnd, BitReader& reader,
                     uint32_t& remaining) const;
    // The match distance (p + 1) after a match-length symbol.
    uint32_t DecodeDistance(BitReader& reader) const {
        // p is 0 or 1 for classes 0 and 1, else 2^(class - 1) and class - 1 more bits.
        const uint32_t bits = positionTable_.Decode(reader);
        const int extra = static_cast<int>(bits) - (bits > 0);
        const uint32_t position = ((1u << bits) >> 1) | reader.Peek(extra);
        reader.Skip(extra);
        return position + 1;
    }
    BitReader ReadBlockHeader(BitReader reader);
    template <size_t kSymbols, typename Table>
    BitReader ReadShortCode(BitReader reader, int countBits, int zeroRunAfter, Table& table,
                            std::array<uint8_t, kSymbols>& lengths);
    BitReader ReadLiteralLengthCode(BitReader reader);

    BitReader reader_;
    uint32_t blockRemaining_ = 0;
    uint32_t runLength_ = 0;     // most literals' code length where FastLiteralRuns pays, else 0
    uint32_t pendingCount_ = 0;  // match bytes still to copy into the next chunk
    uint32_t pendingDistance_ = 0;
    CodeLengthTable codeLengthTable_;
    LiteralLengthTable literalLengthTable_;
    PositionTable positionTable_;
    std::array<uint8_t, lh5::kCodeLengthSymbols> codeLengthLengths_{};
    std::array<uint8_t, lh5::kLiteralLengthSymbols> literalLengthLengths_{};
    std::array<uint8_t, lh5::kPositionSymbols> positionLengths_{};
};

}  // namespace murmel
