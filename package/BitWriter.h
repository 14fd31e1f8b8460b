#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "Lh5Format.h"
#include "PkStreamRoutines.h"

namespace murmel {

// Packs bit fields most significant bit first and hands the bytes to a sink (or
// appends them to a stream), collecting them in chunks so that it is called seldom.
class BitWriter {
  public:
    explicit BitWriter(ByteStream& output)
        : sink_([&output](const uint8_t* data, size_t size) {
              output.insert(output.end(), data, data + size);
          }) {}
    explicit BitWriter(ByteSink sink) : sink_(std::move(sink)) {}
    BitWriter(const BitWriter&) = delete;
    BitWriter& operator=(const BitWriter&) = delete;

    // Writes the low `count` bits of `value` (count 0..16; higher bits must be 0).
    void Put(int count, uint32_t value) {
        pending_ = (pending_ << count) | value;
        pendingBits_ += count;
        if (pendingBits_ >= 32) EmitWord();
    }

    // Completes the last byte with zero bits and hands every byte to the stream.
    void Finish();

  private:
    void EmitWord();
    void EmitByte(uint8_t byte) {
        if (used_ == chunk_.size()) Flush();
        chunk_[used_++] = byte;
    }
    void Flush();

    ByteSink sink_;
    uint64_t pending_ = 0;  // the low pendingBits_ bits are not yet emitted
    int pendingBits_ = 0;
    std::array<uint8_t, lh5::kChunkSize> chunk_{};
    size_t used_ = 0;
};

}  // namespace murmel
