#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>

#include "BitReader.h"
#include "Lh5Errors.h"
#include "Lh5Format.h"

namespace murmel {

// The receiver's decoding table for one canonical Huffman code: a direct table
// indexed by the next kTableBits bits, and for longer codes overflow nodes that
// take one further bit each (left for 0, right for 1).
//
// An entry holds a symbol (or node) in its top bits and the code length in the
// low six: 0..16 for a symbol, kNodeMark for an overflow node, kEmptyMark where
// no code lies (a table built from all-zero lengths). Both marks have kMarkBit
// set, so a symbol is told by one bit test and the window can be shifted by the
// entry as it stands (a 64-bit shift takes its count modulo 64).
template <int kTableBits, int kSymbols>
class HuffmanTable {
  public:
    // Every symbol decodes to `symbol` and takes no bits.
    void SetSingle(uint32_t symbol) {
        if (symbol >= kSymbols) ThrowCompressedFileCorrupt();
        direct_.fill(Entry(symbol, 0));
    }

    // Builds the table from the code lengths of symbols 0..kSymbols-1 (each at
    // most 16). The lengths must fill the code space exactly; all-zero lengths
    // give a table that rejects every look-up.
    void Build(std::span<const uint8_t, kSymbols> lengths);

    // Decodes one symbol; the reader must hold at least 16 bits.
    uint32_t Decode(BitReader& reader) const {
        uint16_t entry = direct_[reader.Peek(kTableBits)];
        if ((entry & kMarkBit) == 0) [[likely]] {
            reader.Skip(entry & kLengthMask);
            return entry >> kValueShift;
        }
        entry = FollowNodes(entry, reader.Peek(lh5::kMaxCodeLength));
        reader.Skip(entry & kLengthMask);
        return entry >> kValueShift;
    }

    // The direct entry for the next kTableBits bits `index`, for a decoder that
    // looks several codes up at once (see the layout above).
    uint16_t DirectEntry(uint32_t index) const { return direct_[index]; }

    static constexpr int kIndexBits = kTableBits;
    static constexpr int kValueShift = 6;
    static constexpr uint16_t kLengthMask = 63;
    static constexpr uint16_t kMarkBit = 32;  // above every code length

  private:
    static constexpr uint16_t kNodeMark = 63;
    static constexpr uint16_t kEmptyMark = 62;
    static constexpr int kMaxNodes = kSymbols;  // a complete code needs fewer
    static_assert(((kSymbols - 1) << kValueShift | kLengthMask) <= 0xFFFF);

    static constexpr uint16_t Entry(uint32_t value, uint32_t length) {
        return static_cast<uint16_t>(value << kValueShift | length);
    }

    // The long-code path gets the next 16 bits by value (the reader stays out of
    // memory in the caller's loop) and returns the leaf's entry, full length included.
    uint16_t FollowNodes(uint16_t entry, uint32_t next16) const {
        if ((entry & kLengthMask) != kNodeMark) ThrowCompressedFileCorrupt();
        int bit = lh5::kMaxCodeLength - kTableBits;
        do {
            const int node = entry >> kValueShift;
            entry = (next16 >> --bit) & 1 ? right_[node] : left_[node];
        } while ((entry & kLengthMask) == kNodeMark && bit > 0);
        if ((entry & kLengthMask) > lh5::kMaxCodeLength) ThrowCompressedFileCorrupt();
        return entry;
    }

    // Fills the `slots` slots from `first` on with `entry`, four at a time where a
    // code covers as many (`first` is then a multiple of four).
    void PlaceShortCode(uint16_t entry, uint32_t first, uint32_t slots) {
        if (slots < 4) {
            for (uint32_t i = first; i < first + slots; ++i) direct_[i] = entry;
            return;
        }
        const uint64_t four = entry * uint64_t{0x0001000100010001};
        for (uint32_t i = first; i < first + slots; i += 4)
            std::memcpy(&direct_[i], &four, sizeof four);
    }
    void PlaceLongCode(uint32_t symbol, uint32_t code, int length);

    std::array<uint16_t, 1 << kTableBits> direct_{};
    std::array<uint16_t, kMaxNodes> left_{};
    std::array<uint16_t, kMaxNodes> right_{};
    int nodesUsed_ = 0;
};

template <int kTableBits, int kSymbols>
void HuffmanTable<kTableBits, kSymbols>::Build(std::span<const uint8_t, kSymbols> lengths) {
    // Four partial counts: most codes of a block share a few lengths, and the
    // increments of one counter would wait on each other.
    std::array<std::array<uint32_t, lh5::kMaxCodeLength + 2>, 4> partial{};
    uint8_t longest = 0;
    for (size_t symbol = 0; symbol < kSymbols; ++symbol) {
        longest = std::max(longest, lengths[symbol]);
        ++partial[symbol % 4][std::min<uint8_t>(lengths[symbol], lh5::kMaxCodeLength + 1)];
    }
    if (longest > lh5::kMaxCodeLength) ThrowCompressedFileCorrupt();
    std::array<uint32_t, lh5::kMaxCodeLength + 2> count{};
    for (size_t l = 0; l < count.size(); ++l)
        count[l] = partial[0][l] + partial[1][l] + partial[2][l] + partial[3][l];
    uint32_t space = 0;
    for (int l = 1; l <= lh5::kMaxCodeLength; ++l) space += count[l] << (lh5::kMaxCodeLength - l);
    nodesUsed_ = 0;
    if (space == 0) {
        direct_.fill(Entry(0, kEmptyMark));
        return;
    }
    // Anything but an exactly full code space would leave holes or overlaps.
    if (space != 1u << lh5::kMaxCodeLength) ThrowCompressedFileCorrupt();
    // Canonical codes put every short code below every long one: the short codes
    // cover the first slots exactly, and only the slots behind them, where the
    // long codes hang their nodes, need to start empty.
    uint32_t shortSlots = 0;
    for (int l = 1; l <= kTableBits; ++l) shortSlots += count[l] << (kTableBits - l);
    std::fill(direct_.begin() + shortSlots, direct_.end(), Entry(0, kEmptyMark));

    std::array<uint32_t, lh5::kMaxCodeLength + 2> next{};  // next canonical code per length
    for (int l = 1; l <= lh5::kMaxCodeLength; ++l) next[l + 1] = (next[l] + count[l]) << 1;
    for (uint32_t symbol = 0; symbol < kSymbols; ++symbol) {
        const int length = lengths[symbol];
        if (length == 0) continue;
        const uint32_t code = next[length]++;
        if (length <= kTableBits) {
            PlaceShortCode(Entry(symbol, length), code << (kTableBits - length),
                           1u << (kTableBits - length));
        } else {
            PlaceLongCode(symbol, code, length);
        }
    }
}

template <int kTableBits, int kSymbols>
void HuffmanTable<kTableBits, kSymbols>::PlaceLongCode(uint32_t symbol, uint32_t code, int length) {
    uint16_t* slot = &direct_[code >> (length - kTableBits)];
    for (int bit = length - kTableBits - 1; bit >= 0; --bit) {
        if ((*slot & kLengthMask) == kEmptyMark) {
            if (nodesUsed_ == kMaxNodes) ThrowCompressedFileCorrupt();
            left_[nodesUsed_] = right_[nodesUsed_] = Entry(0, kEmptyMark);
            *slot = Entry(nodesUsed_++, kNodeMark);
        } else if ((*slot & kLengthMask) != kNodeMark) {
            ThrowCompressedFileCorrupt();  // a shorter code already ends here
        }
        const int node = *slot >> kValueShift;
        slot = (code >> bit) & 1 ? &right_[node] : &left_[node];
    }
    if ((*slot & kLengthMask) != kEmptyMark) ThrowCompressedFileCorrupt();
    *slot = Entry(symbol, length);
}

}  // namespace murmel
