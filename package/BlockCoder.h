#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "BitWriter.h"
#include "HuffmanCode.h"
#include "Lh5Format.h"

namespace murmel {

// Collects the parse's literals and matches and sends them in -lh5- blocks:
// each block carries its three Huffman codes (built from the block's own
// frequencies), then the symbols. Blocks end where the ar002 coder ends them.
class BlockCoder {
  public:
    explicit BlockCoder(BitWriter& writer) : writer_(writer) {}
    BlockCoder(const BlockCoder&) = delete;
    BlockCoder& operator=(const BlockCoder&) = delete;

    void Literal(uint8_t byte) { Output(byte, 0); }
    // A match of `length` bytes (3..256) whose source lies position + 1 bytes back.
    void Match(int length, uint32_t position) {
        Output(static_cast<uint32_t>(length + lh5::kFirstMatchSymbol - lh5::kThreshold), position);
    }
    // Sends what is collected as the last block.
    void Finish() { SendBlock(); }

  private:
    // Symbols travel in groups of eight behind a flag byte (bit 7 first, set for
    // a match): a literal as its byte, a match as length - 3 and two bytes of p.
    static constexpr size_t kBufferSize = 16384;
    static constexpr size_t kGroupBytes = 3 * 8;
    static constexpr size_t kBlockEnd = kBufferSize - kGroupBytes;

    void Output(uint32_t symbol, uint32_t position);
    void SendBlock();
    void CountCodeLengthFrequencies();
    void WriteShortCode(const HuffmanCode& code, int symbols, int countBits, int zeroRunAfter);
    void WriteSingle(int countBits, int symbol);
    void WriteLiteralLengthLengths();
    void WritePosition(uint32_t position);

    BitWriter& writer_;
    std::array<uint8_t, kBufferSize> buffer_{};
    size_t used_ = 0;
    size_t flagSlot_ = 0;
    uint32_t flagMask_ = 0;
    std::array<uint32_t, lh5::kLiteralLengthSymbols> literalLengthFrequency_{};
    std::array<uint32_t, lh5::kPositionSymbols> positionFrequency_{};
    std::array<uint32_t, lh5::kCodeLengthSymbols> codeLengthFrequency_{};
    HuffmanCode literalLengthCode_;
    HuffmanCode codeLengthCode_;
    HuffmanCode positionCode_;
};

}  // namespace murmel
