#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "Lh5Format.h"

namespace murmel {

// The sender's Huffman code for one alphabet and block, built the way the
// classic ar002 coder builds it (heap order, leaf order, length limiting), so
// that the code lengths, and with them the stream, come out bit for bit the same.
class HuffmanCode {
  public:
    static constexpr int kMaxSymbols = lh5::kLiteralLengthSymbols;

    // Builds the code for frequencies[0..n). With fewer than two symbols in use
    // there is no code: Single() is true and Root() names the one symbol (or 0).
    void Build(std::span<const uint32_t> frequencies);

    bool Single() const { return root_ < symbols_; }
    int Root() const { return root_; }
    uint32_t RootFrequency() const { return frequency_[root_]; }  // symbols in the block
    int Length(int symbol) const { return length_[symbol]; }
    uint32_t Code(int symbol) const { return code_[symbol]; }

  private:
    void SiftDown(int slot);
    void CountLeafDepths();
    void LimitLengths();
    void AssignLengths();
    void AssignCodes();

    int symbols_ = 0;
    int root_ = 0;
    int heapSize_ = 0;
    int leafCount_ = 0;
    std::array<uint32_t, 2 * kMaxSymbols - 1> frequency_{};  // symbols, then inner nodes
    std::array<uint16_t, 2 * kMaxSymbols - 1> left_{};
    std::array<uint16_t, 2 * kMaxSymbols - 1> right_{};
    std::array<uint16_t, kMaxSymbols + 1> heap_{};   // slots 1..heapSize_
    std::array<uint16_t, kMaxSymbols> leafOrder_{};  // least frequent first
    std::array<uint16_t, lh5::kMaxCodeLength + 1> depthCount_{};
    std::array<uint8_t, kMaxSymbols> length_{};
    std::array<uint16_t, kMaxSymbols> code_{};
};

}  // namespace murmel
