#include "Blowfish.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace murmel {
namespace blowfish {
extern const uint32_t kInitialP[18];
extern const uint32_t kInitialS[4][256];
}  // namespace blowfish

Blowfish::Blowfish(std::string_view key) {
    if (key.empty()) throw std::invalid_argument("an empty Blowfish key cannot be scheduled");
    std::memcpy(p_, blowfish::kInitialP, sizeof p_);
    std::memcpy(s_, blowfish::kInitialS, sizeof s_);
    size_t next = 0;
    for (uint32_t& word : p_) {
        uint32_t mixed = 0;
        for (int i = 0; i < 4; ++i) {
            mixed = (mixed << 8) | static_cast<uint8_t>(key[next]);
            next = (next + 1) % key.size();
        }
        word ^= mixed;
    }
    // The running block replaces the state two words at a time, left half first.
    uint32_t left = 0, right = 0;
    auto refill = [&](uint32_t* words, size_t count) {
        for (size_t i = 0; i < count; i += 2) {
            Encrypt(left, right);
            words[i] = left;
            words[i + 1] = right;
        }
    };
    refill(p_, 18);
    for (auto& box : s_) refill(box, 256);
    rejected_ = HasEqualEntries();
}

uint32_t Blowfish::Round(uint32_t half) const {
    return ((s_[0][half >> 24] + s_[1][(half >> 16) & 0xFF]) ^ s_[2][(half >> 8) & 0xFF]) +
           s_[3][half & 0xFF];
}

void Blowfish::Encrypt(uint32_t& left, uint32_t& right) const {
    uint32_t l = left, r = right;
    for (int i = 0; i < 16; ++i) {
        l ^= p_[i];
        r ^= Round(l);
        std::swap(l, r);
    }
    std::swap(l, r);
    right = r ^ p_[16];
    left = l ^ p_[17];
}

void Blowfish::Decrypt(uint32_t& left, uint32_t& right) const {
    uint32_t l = left, r = right;
    for (int i = 17; i > 1; --i) {
        l ^= p_[i];
        r ^= Round(l);
        std::swap(l, r);
    }
    std::swap(l, r);
    right = r ^ p_[1];
    left = l ^ p_[0];
}

bool Blowfish::HasEqualEntries() const {
    for (const auto& box : s_) {
        std::array<uint32_t, 256> sorted;
        std::copy(std::begin(box), std::end(box), sorted.begin());
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return true;
    }
    return false;
}

}  // namespace murmel
