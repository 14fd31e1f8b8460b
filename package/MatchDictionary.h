#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "Lh5Format.h"
#include "PkStreamRoutines.h"

namespace murmel {

// The compressor's sliding window and match finder: a PATRICIA tree over the
// strings that start in the last 8,192 positions, in the form of the ar002
// coder with position percolation. Inner nodes (1..8,191) record their match
// level, child count and a recent position; leaves are window positions;
// children hang in chains: under a hash of parent and byte for inner nodes,
// under a head per second byte for the roots.
//
// Every step is kept as ar002 takes it (including what lies in the window past
// the end of the input) because the matches found decide the output bytes.
class MatchDictionary {
  public:
    // Loads the first part of the input (`size` bytes from `source`, read as the
    // window slides) and finds the match at its first byte.
    MatchDictionary(const ByteSource& source, uint64_t size);
    MatchDictionary(const MatchDictionary&) = delete;
    MatchDictionary& operator=(const MatchDictionary&) = delete;

    // Moves to the next position: slides the window when needed, forgets the
    // string that falls out of the dictionary and finds the match at the new one.
    void Advance();

    // Bytes from the current position to the end of the input.
    int Remaining() const { return remaining_; }
    // The longest earlier match found at the current position (never longer
    // than the remaining input once ClipMatch has run) and where it starts.
    int MatchLength() const { return matchLength_; }
    int MatchPosition() const { return matchPosition_; }
    void ClipMatch() {
        if (matchLength_ > remaining_) matchLength_ = remaining_;
    }
    int Position() const { return position_; }
    uint8_t ByteAt(int index) const { return text_[index]; }

  private:
    using Node = int16_t;
    static constexpr int kSize = lh5::kDictionarySize;
    static constexpr Node kNil = 0;
    static constexpr uint16_t kPercolate = 0x8000;  // position not yet passed to the parent
    // A chain link names a node, an inner node's chain head (after the nodes)
    // or a root's chain head (after those).
    using ChainLink = int32_t;
    // Inner nodes' chain heads, twice as many as nodes so that chains stay short.
    // For one parent every byte has its own chain (the byte's multiplier is odd),
    // so a walk that meets the parent has found the child for that byte.
    static constexpr int kHeads = 4 * kSize;
    static constexpr int kMaxHash = 2 * kSize + kHeads - 1;
    // Every pair of first bytes has a head: the root's child is found in one step.
    static constexpr ChainLink kFirstRootHead = kMaxHash + 1;
    static constexpr int kWindowBytes = 2 * kSize + lh5::kMaxMatch;
    static constexpr int kCompareSlack = 8;  // word compares may look this far past the window

    static int Hash(int node, int byte) {
        const auto mixed =
            static_cast<uint32_t>(node) * 0x9E3779B1u + static_cast<uint32_t>(byte) * 0x2F;
        return 2 * kSize + static_cast<int>(mixed & (kHeads - 1));
    }
    static ChainLink RootHead(int first, int second) {
        return kFirstRootHead + (first << 8 | second);
    }
    // Where the successor of a chain link is kept.
    Node& NextOf(ChainLink link) {
        return link >= kFirstRootHead ? rootHeads_[link - kFirstRootHead] : links_[link].next;
    }
    Node Child(Node parent, int byte);  // of an inner node
    void MakeChild(ChainLink head, Node parent, Node child);
    void Split(Node old);
    void Insert();
    void Delete();
    void PrefetchDelete(int leaf);
    int CommonLength(int a, int b, int from, int limit) const;
    int Read(int offset, int count);

    const ByteSource& source_;
    uint64_t inputLeft_;
    int position_ = kSize;
    int remaining_ = 0;
    int matchLength_ = 0;
    int matchPosition_ = 0;
    Node available_ = 1;

    std::array<uint8_t, kWindowBytes + kCompareSlack> text_{};
    std::array<uint8_t, kSize + 256> level_{};  // inner nodes, then the 256 roots
    std::array<uint8_t, kSize + 256> childCount_{};
    // The children's ids XORed together: a node left with one child names it
    // without a search.
    std::array<uint16_t, kSize + 256> childXor_{};
    std::array<uint16_t, kSize + 256> recent_{};  // a recent position, maybe flagged kPercolate
    // A node's parent and its chain link side by side: a chain walk reads both.
    struct Link {
        Node parent;  // inner nodes and leaves
        Node next;    // chain links, then the chain heads
    };
    std::array<ChainLink, 2 * kSize> previous_{};
    std::array<Link, kMaxHash + 1> links_{};
    std::array<Node, 256 * 256> rootHeads_{};
};

}  // namespace murmel
