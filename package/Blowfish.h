#pragma once
#include <cstdint>
#include <string_view>

namespace murmel {

// Blowfish with 16 rounds on one 64-bit block given as two 32-bit halves.
// Each instance holds its own key schedule, so concurrent users do not meet.
class Blowfish {
  public:
    // The key's bytes repeat over the 72 bytes of the P-array; later bytes
    // have no effect. An empty key cannot be scheduled (std::invalid_argument).
    explicit Blowfish(std::string_view key);

    // A key whose schedule leaves two equal entries in one S-box.
    bool Rejected() const { return rejected_; }

    void Encrypt(uint32_t& left, uint32_t& right) const;
    void Decrypt(uint32_t& left, uint32_t& right) const;

  private:
    uint32_t Round(uint32_t half) const;
    bool HasEqualEntries() const;

    uint32_t p_[18];
    uint32_t s_[4][256];
    bool rejected_ = false;
};

}  // namespace murmel
