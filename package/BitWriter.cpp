#include "BitWriter.h"

namespace murmel {

void BitWriter::EmitWord() {
    // At most 32 + 16 bits are pending here, so four whole bytes can go.
    pendingBits_ -= 32;
    const uint32_t word = static_cast<uint32_t>(pending_ >> pendingBits_);
    pending_ &= (uint64_t{1} << pendingBits_) - 1;
    if (used_ + 4 > chunk_.size()) Flush();
    chunk_[used_++] = static_cast<uint8_t>(word >> 24);
    chunk_[used_++] = static_cast<uint8_t>(word >> 16);
    chunk_[used_++] = static_cast<uint8_t>(word >> 8);
    chunk_[used_++] = static_cast<uint8_t>(word);
}

void BitWriter::Finish() {
    while (pendingBits_ >= 8) {
        pendingBits_ -= 8;
        EmitByte(static_cast<uint8_t>(pending_ >> pendingBits_));
    }
    if (pendingBits_ > 0) EmitByte(static_cast<uint8_t>(pending_ << (8 - pendingBits_)));
    pending_ = 0;
    pendingBits_ = 0;
    Flush();
}

void BitWriter::Flush() {
    if (used_ > 0) sink_(chunk_.data(), used_);
    used_ = 0;
}

}  // namespace murmel
