#include "BlockCoder.h"

#include <bit>

namespace murmel {

namespace {

constexpr int kShortLengthBits = 3;
constexpr int kLongestShortLength = 6;  // 7 and more go out as 1-bits and a 0-bit
constexpr int kZeroRunBits = 2;
constexpr int kZeroRunLimit = 6;  // the two-bit run covers symbols 3..5

constexpr int kSingleZero = 0;
constexpr int kShortZeroRun = 1;
constexpr int kLongZeroRun = 2;
constexpr int kShortZeroRunBits = 4;
constexpr int kLengthSymbolOffset = 2;  // length l is sent as symbol l + 2

}  // namespace

void BlockCoder::Output(uint32_t symbol, uint32_t position) {
    if ((flagMask_ >>= 1) == 0) {
        flagMask_ = 0x80;
        if (used_ >= kBlockEnd) {
            SendBlock();
            used_ = 0;
        }
        flagSlot_ = used_++;
        buffer_[flagSlot_] = 0;
    }
    buffer_[used_++] = static_cast<uint8_t>(symbol);
    ++literalLengthFrequency_[symbol];
    if (symbol >= lh5::kFirstMatchSymbol) {
        buffer_[flagSlot_] |= static_cast<uint8_t>(flagMask_);
        buffer_[used_++] = static_cast<uint8_t>(position >> 8);
        buffer_[used_++] = static_cast<uint8_t>(position);
        ++positionFrequency_[std::bit_width(position)];
    }
}

void BlockCoder::SendBlock() {
    literalLengthCode_.Build(literalLengthFrequency_);
    const uint32_t symbols = literalLengthCode_.RootFrequency();
    writer_.Put(lh5::kBlockSizeBits, symbols);
    if (literalLengthCode_.Single()) {
        WriteSingle(lh5::kCodeLengthCountBits, 0);
        WriteSingle(lh5::kLiteralLengthCountBits, literalLengthCode_.Root());
    } else {
        CountCodeLengthFrequencies();
        codeLengthCode_.Build(codeLengthFrequency_);
        if (codeLengthCode_.Single()) {
            WriteSingle(lh5::kCodeLengthCountBits, codeLengthCode_.Root());
        } else {
            WriteShortCode(codeLengthCode_, lh5::kCodeLengthSymbols, lh5::kCodeLengthCountBits,
                           lh5::kCodeLengthZeroRunAfter);
        }
        WriteLiteralLengthLengths();
    }
    positionCode_.Build(positionFrequency_);
    if (positionCode_.Single()) {
        WriteSingle(lh5::kPositionCountBits, positionCode_.Root());
    } else {
        WriteShortCode(positionCode_, lh5::kPositionSymbols, lh5::kPositionCountBits, -1);
    }

    size_t at = 0;
    uint32_t flags = 0;
    for (uint32_t i = 0; i < symbols; ++i) {
        flags = i % 8 == 0 ? buffer_[at++] : flags << 1;
        if (flags & 0x80) {
            const uint32_t symbol = buffer_[at++] + lh5::kFirstMatchSymbol;
            writer_.Put(literalLengthCode_.Length(symbol), literalLengthCode_.Code(symbol));
            WritePosition(uint32_t{buffer_[at]} << 8 | buffer_[at + 1]);
            at += 2;
        } else {
            const uint32_t symbol = buffer_[at++];
            writer_.Put(literalLengthCode_.Length(symbol), literalLengthCode_.Code(symbol));
        }
    }
    literalLengthFrequency_.fill(0);
    positionFrequency_.fill(0);
}

// A code without a tree: a zero count, then the one symbol every use stands for.
void BlockCoder::WriteSingle(int countBits, int symbol) {
    writer_.Put(countBits, 0);
    writer_.Put(countBits, static_cast<uint32_t>(symbol));
}

void BlockCoder::WriteShortCode(const HuffmanCode& code, int symbols, int countBits,
                                int zeroRunAfter) {
    int count = symbols;
    while (count > 0 && code.Length(count - 1) == 0) --count;
    writer_.Put(countBits, static_cast<uint32_t>(count));
    int i = 0;
    while (i < count) {
        const int length = code.Length(i++);
        if (length <= kLongestShortLength) {
            writer_.Put(kShortLengthBits, static_cast<uint32_t>(length));
        } else {
            writer_.Put(length - 3, (1u << (length - 3)) - 2);
        }
        if (i == zeroRunAfter) {
            while (i < kZeroRunLimit && code.Length(i) == 0) ++i;
            writer_.Put(kZeroRunBits, static_cast<uint32_t>(i - 3) & 3);
        }
    }
}

// Walks the literal/length lengths as WriteLiteralLengthLengths will send them.
void BlockCoder::CountCodeLengthFrequencies() {
    codeLengthFrequency_.fill(0);
    int count = lh5::kLiteralLengthSymbols;
    while (count > 0 && literalLengthCode_.Length(count - 1) == 0) --count;
    int i = 0;
    while (i < count) {
        const int length = literalLengthCode_.Length(i++);
        if (length != 0) {
            ++codeLengthFrequency_[length + kLengthSymbolOffset];
            continue;
        }
        int zeros = 1;
        while (i < count && literalLengthCode_.Length(i) == 0) {
            ++i;
            ++zeros;
        }
        if (zeros <= 2) {
            codeLengthFrequency_[kSingleZero] += static_cast<uint32_t>(zeros);
        } else if (zeros <= 18) {
            ++codeLengthFrequency_[kShortZeroRun];
        } else if (zeros == 19) {
            ++codeLengthFrequency_[kSingleZero];
            ++codeLengthFrequency_[kShortZeroRun];
        } else {
            ++codeLengthFrequency_[kLongZeroRun];
        }
    }
}

void BlockCoder::WriteLiteralLengthLengths() {
    const auto put = [this](int symbol) {
        writer_.Put(codeLengthCode_.Length(symbol), codeLengthCode_.Code(symbol));
    };
    int count = lh5::kLiteralLengthSymbols;
    while (count > 0 && literalLengthCode_.Length(count - 1) == 0) --count;
    writer_.Put(lh5::kLiteralLengthCountBits, static_cast<uint32_t>(count));
    int i = 0;
    while (i < count) {
        const int length = literalLengthCode_.Length(i++);
        if (length != 0) {
            put(length + kLengthSymbolOffset);
            continue;
        }
        int zeros = 1;
        while (i < count && literalLengthCode_.Length(i) == 0) {
            ++i;
            ++zeros;
        }
        if (zeros <= 2) {
            for (int k = 0; k < zeros; ++k) put(kSingleZero);
        } else if (zeros <= 18) {
            put(kShortZeroRun);
            writer_.Put(kShortZeroRunBits, static_cast<uint32_t>(zeros - 3));
        } else if (zeros == 19) {
            put(kSingleZero);
            put(kShortZeroRun);
            writer_.Put(kShortZeroRunBits, 15);
        } else {
            put(kLongZeroRun);
            writer_.Put(lh5::kLiteralLengthCountBits, static_cast<uint32_t>(zeros - 20));
        }
    }
}

// The position's bit length through the position code, then the bits below its leading 1.
void BlockCoder::WritePosition(uint32_t position) {
    const int bits = std::bit_width(position);
    writer_.Put(positionCode_.Length(bits), positionCode_.Code(bits));
    if (bits > 1) writer_.Put(bits - 1, position & (0xFFFFu >> (17 - bits)));
}

}  // namespace murmel
