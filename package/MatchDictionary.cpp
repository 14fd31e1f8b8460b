#include "MatchDictionary.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace murmel {

MatchDictionary::MatchDictionary(const ByteSource& source, uint64_t size)
    : source_(source), inputLeft_(size) {
    for (int root = kSize; root < kSize + 256; ++root) level_[root] = 1;
    for (int node = 1; node < kSize - 1; ++node) links_[node].next = static_cast<Node>(node + 1);
    links_[kSize - 1].next = kNil;
    remaining_ = Read(kSize, kSize + lh5::kMaxMatch);
    Insert();
}

int MatchDictionary::Read(int offset, int count) {
    const size_t n =
        static_cast<size_t>(std::min<uint64_t>(inputLeft_, static_cast<uint64_t>(count)));
    // The size is already written: an input that ends early cannot be coded.
    for (size_t done = 0; done < n;) {
        const size_t got = source_(&text_[offset + static_cast<int>(done)], n - done);
        if (got == 0) throw std::runtime_error("CompressStream: the input ended early");
        done += got;
    }
    inputLeft_ -= n;
    return static_cast<int>(n);
}

void MatchDictionary::Advance() {
    --remaining_;
    if (++position_ == 2 * kSize) {
        // What lies behind the bytes read stays as it was: it takes part in
        // comparisons near the end of the input.
        std::memmove(&text_[0], &text_[kSize], kSize + lh5::kMaxMatch);
        remaining_ += Read(kSize + lh5::kMaxMatch, kSize);
        position_ = kSize;
    }
    // Where Insert starts (the leaf after the last match, or the root's chain
    // head), fetched while Delete works.
    if (matchLength_ >= 4) {
        __builtin_prefetch(&links_[(matchPosition_ + 1) | kSize]);
    } else {
        __builtin_prefetch(
            &rootHeads_[RootHead(text_[position_], text_[position_ + 1]) - kFirstRootHead]);
    }
    Delete();
    PrefetchDelete(position_ + 1 < 2 * kSize ? position_ + 1 : kSize);
    Insert();
}

// What Delete will touch at the next position, fetched while Insert works here.
// The tree may still change before then; a stale guess costs nothing.
void MatchDictionary::PrefetchDelete(int leaf) {
    const Link& links = links_[leaf];
    if (links.parent == kNil) return;
    __builtin_prefetch(&NextOf(previous_[leaf]));
    __builtin_prefetch(&previous_[links.next]);
    __builtin_prefetch(&childCount_[links.parent]);
    __builtin_prefetch(&childXor_[links.parent]);
}

MatchDictionary::Node MatchDictionary::Child(Node parent, int byte) {
    Node node = links_[Hash(parent, byte)].next;
    links_[kNil].parent = parent;  // sentinel: ends the chain walk
    while (links_[node].parent != parent) node = links_[node].next;
    return node;
}

void MatchDictionary::MakeChild(ChainLink head, Node parent, Node child) {
    Node& slot = NextOf(head);
    const Node first = slot;
    slot = child;
    links_[child].next = first;
    previous_[first] = child;
    previous_[child] = head;
    links_[child].parent = parent;
    ++childCount_[parent];
    childXor_[parent] ^= static_cast<uint16_t>(child);
}

// A new inner node takes old's place where the strings part after matchLength_ bytes.
void MatchDictionary::Split(Node old) {
    const Node node = available_;
    available_ = links_[node].next;
    childCount_[node] = 0;
    childXor_[node] = 0;
    ChainLink link = previous_[old];
    previous_[node] = link;
    NextOf(link) = node;
    link = links_[old].next;
    links_[node].next = link;
    previous_[link] = node;
    links_[node].parent = links_[old].parent;
    childXor_[links_[old].parent] ^= static_cast<uint16_t>(old ^ node);
    level_[node] = static_cast<uint8_t>(matchLength_);
    recent_[node] = static_cast<uint16_t>(position_);
    MakeChild(Hash(node, text_[matchPosition_ + matchLength_]), node, old);
    MakeChild(Hash(node, text_[position_ + matchLength_]), node, static_cast<Node>(position_));
}

// Length of the common prefix of the strings at a and b, knowing that the
// first `from` bytes agree, at most `limit`.
int MatchDictionary::CommonLength(int a, int b, int from, int limit) const {
    for (int k = from; k < limit; k += 8) {
        uint64_t x;
        uint64_t y;
        std::memcpy(&x, &text_[a + k], 8);
        std::memcpy(&y, &text_[b + k], 8);
        if (const uint64_t differ = x ^ y) {
            const int at =
                k + std::countr_zero(differ) / 8;  // bytes in memory order: little-endian
            return std::min(at, limit);
        }
    }
    return limit;
}

void MatchDictionary::Insert() {
    Node parent;
    Node node;
    if (matchLength_ >= 4) {
        // The string here is the previous match minus its first byte: resume
        // one level shorter below the previous match's leaf instead of at the root.
        --matchLength_;
        node = static_cast<Node>((matchPosition_ + 1) | kSize);
        while ((parent = links_[node].parent) == kNil) node = links_[node].next;
        while (level_[parent] >= matchLength_) {
            node = parent;
            parent = links_[parent].parent;
        }
        Node up = parent;
        while (recent_[up] & kPercolate) {
            recent_[up] = static_cast<uint16_t>(position_);
            up = links_[up].parent;
        }
        if (up < kSize) recent_[up] = static_cast<uint16_t>(position_ | kPercolate);
    } else {
        // A root's child for the second byte has a head of its own, which
        // holds it alone.
        parent = static_cast<Node>(text_[position_] + kSize);
        const ChainLink head = RootHead(text_[position_], text_[position_ + 1]);
        if ((node = rootHeads_[head - kFirstRootHead]) == kNil) {
            MakeChild(head, parent, static_cast<Node>(position_));
            matchLength_ = 1;
            return;
        }
        matchLength_ = 2;
    }
    for (;;) {
        int limit;
        if (node >= kSize) {
            limit = lh5::kMaxMatch;
            matchPosition_ = node;
        } else {
            limit = level_[node];
            matchPosition_ = recent_[node] & ~kPercolate;
        }
        if (matchPosition_ >= position_) matchPosition_ -= kSize;
        const int common = CommonLength(position_, matchPosition_, matchLength_, limit);
        if (common < limit) {
            matchLength_ = common;
            Split(node);
            return;
        }
        matchLength_ = limit;
        if (matchLength_ >= lh5::kMaxMatch) break;
        recent_[node] = static_cast<uint16_t>(position_);
        parent = node;
        const int byte = text_[position_ + matchLength_];
        if ((node = Child(parent, byte)) == kNil) {
            MakeChild(Hash(parent, byte), parent, static_cast<Node>(position_));
            return;
        }
        ++matchLength_;
    }
    // A full-length match: the new position replaces the old leaf, which keeps
    // a link to its successor for a resumed walk that starts there.
    ChainLink link = previous_[node];
    previous_[position_] = link;
    NextOf(link) = static_cast<Node>(position_);
    link = links_[node].next;
    links_[position_].next = link;
    previous_[link] = static_cast<Node>(position_);
    links_[position_].parent = parent;
    childXor_[parent] ^= static_cast<uint16_t>(node ^ position_);
    links_[node].parent = kNil;
    links_[node].next = static_cast<Node>(position_);
}

void MatchDictionary::Delete() {
    if (links_[position_].parent == kNil) return;
    ChainLink link = previous_[position_];
    const Node after = links_[position_].next;
    NextOf(link) = after;
    previous_[after] = link;
    const Node node = links_[position_].parent;
    links_[position_].parent = kNil;
    if (node >= kSize) return;
    childXor_[node] ^= static_cast<uint16_t>(position_);
    if (--childCount_[node] > 1) return;

    // The node keeps one child and is merged away; its position moves upward
    // through the ancestors still waiting for one.
    int kept = recent_[node] & ~kPercolate;
    if (kept >= position_) kept -= kSize;
    int newest = kept;
    Node up = links_[node].parent;
    int recent;
    while ((recent = recent_[up]) & kPercolate) {
        recent &= ~kPercolate;
        if (recent >= position_) recent -= kSize;
        if (recent > newest) newest = recent;
        recent_[up] = static_cast<uint16_t>(newest | kSize);
        up = links_[up].parent;
    }
    if (up < kSize) {
        if (recent >= position_) recent -= kSize;
        if (recent > newest) newest = recent;
        recent_[up] = static_cast<uint16_t>(newest | kSize | kPercolate);
    }
    const Node only = static_cast<Node>(childXor_[node]);
    link = previous_[only];
    Node follow = links_[only].next;
    NextOf(link) = follow;
    previous_[follow] = link;
    link = previous_[node];
    NextOf(link) = only;
    previous_[only] = link;
    follow = links_[node].next;
    previous_[follow] = only;
    links_[only].next = follow;
    links_[only].parent = links_[node].parent;
    childXor_[links_[node].parent] ^= static_cast<uint16_t>(node ^ only);
    links_[node].parent = kNil;
    links_[node].next = available_;
    available_ = node;
}

}  // namespace murmel
