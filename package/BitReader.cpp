#include "BitReader.h"

#include "ECorruptFile.h"
#include "Lh5Errors.h"

namespace murmel {

BitReader BitReader::RefillNearEnd(BitReader reader) {
    reader.CheckNotPastEnd();
    if (reader.feeder_ && reader.feeder_->More(reader.next_, reader.end_) &&
        reader.end_ - reader.next_ >= 8) {
        reader.Refill();
        return reader;
    }
    while (reader.count_ <= 56) {
        uint64_t byte = 0;
        if (reader.next_ < reader.end_) {
            byte = *reader.next_++;
        } else {
            reader.overrunBits_ += 8;
        }
        reader.window_ |= byte << (56 - reader.count_);
        reader.count_ += 8;
    }
    return reader;
}

void BitReader::CheckNotPastEnd() const {
    if (PastEnd()) ThrowCompressedFileCorrupt();
}

}  // namespace murmel
