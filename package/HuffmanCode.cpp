#include "HuffmanCode.h"

#include <cassert>

namespace murmel {

void HuffmanCode::Build(std::span<const uint32_t> frequencies) {
    assert(frequencies.size() <= kMaxSymbols);
    symbols_ = static_cast<int>(frequencies.size());
    heapSize_ = 0;
    heap_[1] = 0;
    for (int s = 0; s < symbols_; ++s) {
        frequency_[s] = frequencies[s];
        length_[s] = 0;
        code_[s] = 0;
        if (frequencies[s] != 0) heap_[++heapSize_] = static_cast<uint16_t>(s);
    }
    if (heapSize_ < 2) {
        root_ = heap_[1];
        return;
    }
    for (int slot = heapSize_ / 2; slot >= 1; --slot) SiftDown(slot);

    // Merge the two least frequent entries until one is left. Leaves are listed
    // in the order they leave the heap; that order decides who gets which length.
    leafCount_ = 0;
    int next = symbols_;
    do {
        const int least = heap_[1];
        if (least < symbols_) leafOrder_[leafCount_++] = static_cast<uint16_t>(least);
        heap_[1] = heap_[heapSize_--];
        SiftDown(1);
        const int second = heap_[1];
        if (second < symbols_) leafOrder_[leafCount_++] = static_cast<uint16_t>(second);
        const int node = next++;
        frequency_[node] = frequency_[least] + frequency_[second];
        left_[node] = static_cast<uint16_t>(least);
        right_[node] = static_cast<uint16_t>(second);
        heap_[1] = static_cast<uint16_t>(node);
        SiftDown(1);
    } while (heapSize_ > 1);
    root_ = next - 1;

    CountLeafDepths();
    LimitLengths();
    AssignLengths();
    AssignCodes();
}

void HuffmanCode::SiftDown(int slot) {
    const int entry = heap_[slot];
    for (int child; (child = 2 * slot) <= heapSize_; slot = child) {
        if (child < heapSize_ && frequency_[heap_[child]] > frequency_[heap_[child + 1]]) ++child;
        if (frequency_[entry] <= frequency_[heap_[child]]) break;
        heap_[slot] = heap_[child];
    }
    heap_[slot] = static_cast<uint16_t>(entry);
}

// Depths beyond the longest code count as the longest; LimitLengths repairs that.
void HuffmanCode::CountLeafDepths() {
    depthCount_.fill(0);
    struct Visit {
        uint16_t node;
        uint16_t depth;
    };
    std::array<Visit, 2 * kMaxSymbols> stack;
    int top = 0;
    stack[top++] = {static_cast<uint16_t>(root_), 0};
    while (top > 0) {
        const Visit visit = stack[--top];
        if (visit.node < symbols_) {
            ++depthCount_[visit.depth < lh5::kMaxCodeLength ? visit.depth : lh5::kMaxCodeLength];
        } else {
            const uint16_t depth = static_cast<uint16_t>(visit.depth + 1);
            stack[top++] = {right_[visit.node], depth};
            stack[top++] = {left_[visit.node], depth};
        }
    }
}

// Until the lengths fill the code space exactly, trade one longest leaf for
// moving the deepest shorter leaf one level down.
void HuffmanCode::LimitLengths() {
    uint32_t space = 0;
    for (int l = lh5::kMaxCodeLength; l > 0; --l)
        space += uint32_t{depthCount_[l]} << (lh5::kMaxCodeLength - l);
    while ((space & 0xFFFF) != 0) {
        --depthCount_[lh5::kMaxCodeLength];
        for (int l = lh5::kMaxCodeLength - 1; l > 0; --l) {
            if (depthCount_[l] != 0) {
                --depthCount_[l];
                depthCount_[l + 1] += 2;
                break;
            }
        }
        --space;
    }
}

// The least frequent leaves get the longest codes.
void HuffmanCode::AssignLengths() {
    int leaf = 0;
    for (int l = lh5::kMaxCodeLength; l > 0; --l) {
        for (int k = depthCount_[l]; k > 0; --k)
            length_[leafOrder_[leaf++]] = static_cast<uint8_t>(l);
    }
}

void HuffmanCode::AssignCodes() {
    std::array<uint16_t, lh5::kMaxCodeLength + 2> start{};
    for (int l = 1; l <= lh5::kMaxCodeLength; ++l) {
        start[l + 1] = static_cast<uint16_t>((start[l] + depthCount_[l]) << 1);
    }
    for (int s = 0; s < symbols_; ++s) {
        if (length_[s] != 0) code_[s] = start[length_[s]]++;
    }
}

}  // namespace murmel
