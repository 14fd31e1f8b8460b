#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace murmel {

// Reads bit fields most significant bit first from a byte buffer. A 64-bit
// look-ahead window lets a table look-up peek past the end of the data (it sees
// zero bits there); consuming such a bit is what CheckNotPastEnd reports.
//
// A small value type on purpose: the decoder's hot loop works on a local copy,
// which the compiler can keep in registers while output bytes are written.
class BitReader {
  public:
    static constexpr int kMinimumAfterRefill = 56;  // bits buffered after Refill()

    // Where more input comes from when the bytes given run out, for a stream read
    // piece by piece. More() keeps the bytes [next, end) not yet read, adds what
    // follows them and points next and end at the result; false when nothing follows.
    class Feeder {
      public:
        virtual bool More(const uint8_t*& next, const uint8_t*& end) = 0;

      protected:
        ~Feeder() = default;
    };

    BitReader(const uint8_t* data, size_t size, Feeder* feeder = nullptr)
        : next_(data), end_(data + size), feeder_(feeder) {}

    // Tops the window up to at least kMinimumAfterRefill bits. Throws
    // ECorruptFile once a bit past the end of the data has been consumed.
    void Refill() {
        if (end_ - next_ >= 8) [[likely]] {
            uint64_t word;
            std::memcpy(&word, next_, sizeof word);
            window_ |= __builtin_bswap64(word) >> count_;
            next_ += (63 - count_) >> 3;
            count_ |= 56;
        } else {
            *this = RefillNearEnd(*this);
        }
    }

    // The next `count` bits (0..32) without consuming them; needs them buffered.
    uint32_t Peek(int count) const { return static_cast<uint32_t>((window_ >> (63 - count)) >> 1); }
    // The `count` bits (1..32) that follow the next `skip` bits (0..63).
    uint32_t PeekAt(int skip, int count) const {
        return static_cast<uint32_t>((window_ << skip) >> (64 - count));
    }
    void Skip(int count) {
        window_ <<= count;
        count_ -= count;
    }
    uint32_t Get(int count) {
        if (count_ < count) Refill();
        const uint32_t value = Peek(count);
        Skip(count);
        return value;
    }
    int Buffered() const { return count_; }
    // Refill() can run `refills` times in a row, each taking a whole word from
    // the data without looking at its end.
    bool WholeWordsLeft(int refills = 1) const { return end_ - next_ >= 7 * refills + 1; }

    // Every bit consumed so far came from the data.
    bool PastEnd() const { return count_ < overrunBits_; }
    void CheckNotPastEnd() const;

  private:
    // By value, so that a caller's local reader never has its address taken.
    static BitReader RefillNearEnd(BitReader reader);

    const uint8_t* next_;
    const uint8_t* end_;
    Feeder* feeder_;
    uint64_t window_ = 0;  // the top count_ bits are the next bits of the stream
    int count_ = 0;
    int overrunBits_ = 0;  // zero bits supplied past the end, at the bottom of the window
};

}  // namespace murmel
