// The codec's building blocks on their own: bit packing, the sender's Huffman
// construction and the receiver's decoding tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>

#include "BitReader.h"
#include "BitWriter.h"
#include "ECorruptFile.h"
#include "HuffmanCode.h"
#include "HuffmanTable.h"
#include "codec_support.h"

using namespace murmel;
using namespace murmel::test;

namespace {

uint32_t CodeSpace(const HuffmanCode& code, int symbols) {
    uint32_t space = 0;
    for (int s = 0; s < symbols; ++s) {
        if (code.Length(s) != 0) space += 1u << (16 - code.Length(s));
    }
    return space;
}

}  // namespace

TEST(CodecBits, WriterPacksMostSignificantBitFirstAndPadsTheLastByte) {
    ByteStream out = {0xEE};
    {
        BitWriter writer(out);
        writer.Put(3, 0b101);
        writer.Put(0, 0);
        writer.Put(16, 0xBEEF);
        writer.Put(1, 1);
        writer.Finish();
    }
    EXPECT_EQ(out, Join({0xEE}, BitString("101"
                                          "1011111011101111"
                                          "1")));
}

TEST(CodecBits, WriterAddsNoByteWhenTheBitsEndOnABoundary) {
    ByteStream out;
    BitWriter writer(out);
    for (int i = 0; i < 5000; ++i) writer.Put(16, static_cast<uint32_t>(i));
    writer.Finish();
    ASSERT_EQ(out.size(), 10000u);  // several internal chunks
    EXPECT_EQ(out[9998], 4999 >> 8);
    EXPECT_EQ(out[9999], 4999 & 0xFF);
}

TEST(CodecBits, ReaderReturnsFieldsAndDetectsConsumingPastTheEnd) {
    const ByteStream data = BitString("101 1011111011101111 1");  // 20 bits in 3 bytes
    BitReader reader(data.data(), data.size());
    reader.Refill();
    EXPECT_EQ(reader.Get(3), 0b101u);
    EXPECT_EQ(reader.Get(16), 0xBEEFu);
    EXPECT_EQ(reader.Peek(12), 0x800u);  // peeking into the zero fill is fine
    EXPECT_EQ(reader.Get(5), 0x10u);     // the padding bits of the last byte are data
    EXPECT_NO_THROW(reader.CheckNotPastEnd());
    reader.Skip(1);
    EXPECT_THROW(reader.CheckNotPastEnd(), ECorruptFile);
}

TEST(CodecBits, ReaderReadsLongDataThroughTheWordPath) {
    const ByteStream data = RandomBytes(1001, 7);
    BitReader reader(data.data(), data.size());
    ByteStream back;
    for (size_t i = 0; i < data.size(); ++i) back.push_back(static_cast<uint8_t>(reader.Get(8)));
    EXPECT_EQ(back, data);
    EXPECT_FALSE(reader.PastEnd());
}

TEST(CodecHuffman, BuildsTheTextbookCodeWithTiesResolvedByTheHeap) {
    // Frequencies 1, 3 and 1 for symbols 97, 509 and 484: the two rare symbols
    // leave the heap first and share the longer length.
    std::array<uint32_t, 510> frequency{};
    frequency[97] = 1;
    frequency[484] = 1;
    frequency[509] = 3;
    HuffmanCode code;
    code.Build(frequency);
    ASSERT_FALSE(code.Single());
    EXPECT_EQ(code.RootFrequency(), 5u);
    EXPECT_EQ(code.Length(97), 2);
    EXPECT_EQ(code.Code(97), 0b10u);
    EXPECT_EQ(code.Length(484), 2);
    EXPECT_EQ(code.Code(484), 0b11u);
    EXPECT_EQ(code.Length(509), 1);
    EXPECT_EQ(code.Code(509), 0b0u);
}

TEST(CodecHuffman, OneSymbolOrNoneHasNoCode) {
    std::array<uint32_t, 14> frequency{};
    HuffmanCode code;
    code.Build(frequency);
    EXPECT_TRUE(code.Single());
    EXPECT_EQ(code.Root(), 0);
    frequency[9] = 4;
    code.Build(frequency);
    EXPECT_TRUE(code.Single());
    EXPECT_EQ(code.Root(), 9);
    EXPECT_EQ(code.RootFrequency(), 4u);
    EXPECT_EQ(code.Length(9), 0);
}

TEST(CodecHuffman, LimitsDeepTreesToSixteenBitsAndFillsTheCodeSpace) {
    // Fibonacci frequencies make a tree as deep as it has leaves.
    std::array<uint32_t, 510> frequency{};
    uint32_t a = 1, b = 1;
    for (int s = 0; s < 24; ++s) {
        frequency[s * 20] = a;
        b = std::exchange(a, a + b);
    }
    HuffmanCode code;
    code.Build(frequency);
    int longest = 0;
    for (int s = 0; s < 510; ++s) longest = std::max(longest, code.Length(s));
    EXPECT_EQ(longest, 16);
    EXPECT_EQ(CodeSpace(code, 510), 65536u);
    // The most frequent symbols keep the short codes.
    EXPECT_EQ(code.Length(23 * 20), 1);
    EXPECT_EQ(code.Length(22 * 20), 2);
    EXPECT_GE(code.Length(0), code.Length(23 * 20));
}

TEST(CodecHuffman, CanonicalCodesFollowLengthThenSymbolOrder) {
    std::array<uint32_t, 19> frequency = {5, 5, 5, 5, 1, 1, 0, 0, 2, 2};
    HuffmanCode code;
    code.Build(frequency);
    std::array<uint32_t, 17> next{};
    std::array<uint32_t, 17> count{};
    for (int s = 0; s < 19; ++s) ++count[code.Length(s)];
    for (int l = 1; l < 16; ++l) next[l + 1] = (next[l] + count[l]) << 1;
    for (int s = 0; s < 19; ++s) {
        if (code.Length(s) == 0) continue;
        EXPECT_EQ(code.Code(s), next[code.Length(s)]++) << "symbol " << s;
    }
    EXPECT_EQ(CodeSpace(code, 19), 65536u);
}

namespace {

using SmallTable = HuffmanTable<8, 19>;

uint32_t DecodeOne(const SmallTable& table, const ByteStream& bits, int* consumed = nullptr) {
    BitReader reader(bits.data(), bits.size());
    reader.Refill();
    const int before = reader.Buffered();
    const uint32_t symbol = table.Decode(reader);
    if (consumed) *consumed = before - reader.Buffered();
    return symbol;
}

}  // namespace

TEST(CodecTable, DecodesShortAndOverflowCodes) {
    // Each block rebuilds the same table: sixteen 4-bit codes first, whose slots
    // the overflow codes below then take over, and again after them.
    std::array<uint8_t, 19> flat{};
    std::fill_n(flat.begin(), 16, uint8_t{4});
    SmallTable table;
    table.Build(flat);
    EXPECT_EQ(DecodeOne(table, BitString("1111")), 15u);
    // Lengths 1, 2, ... 9, 10, 10: a complete code whose last three codes are longer
    // than the 8-bit direct table.
    std::array<uint8_t, 19> lengths{};
    for (int s = 0; s < 10; ++s) lengths[s] = static_cast<uint8_t>(s + 1);
    lengths[10] = 10;
    table.Build(lengths);
    int consumed = 0;
    EXPECT_EQ(DecodeOne(table, BitString("0"), &consumed), 0u);
    EXPECT_EQ(consumed, 1);
    EXPECT_EQ(DecodeOne(table, BitString("110"), &consumed), 2u);
    EXPECT_EQ(consumed, 3);
    EXPECT_EQ(DecodeOne(table, BitString("111111110"), &consumed), 8u);
    EXPECT_EQ(consumed, 9);
    EXPECT_EQ(DecodeOne(table, BitString("1111111110"), &consumed), 9u);
    EXPECT_EQ(consumed, 10);
    EXPECT_EQ(DecodeOne(table, BitString("1111111111"), &consumed), 10u);
    EXPECT_EQ(consumed, 10);
    table.Build(flat);
    EXPECT_EQ(DecodeOne(table, BitString("1111 1111 11"), &consumed), 15u);
    EXPECT_EQ(consumed, 4);
}

TEST(CodecTable, RejectsOverAndUnderFullCodesAndLongLengths) {
    SmallTable table;
    std::array<uint8_t, 19> lengths{};
    lengths[0] = lengths[1] = lengths[2] = lengths[3] = 1;  // 131,072: wraps to 0 modulo 65,536
    EXPECT_THROW(table.Build(lengths), ECorruptFile);
    lengths = {};
    lengths[0] = 1;  // half the code space
    EXPECT_THROW(table.Build(lengths), ECorruptFile);
    lengths = {};
    lengths[0] = 1;
    lengths[1] = 17;
    EXPECT_THROW(table.Build(lengths), ECorruptFile);
}

TEST(CodecTable, AllZeroLengthsFailOnlyWhenASymbolIsDecoded) {
    SmallTable table;
    std::array<uint8_t, 19> lengths{};
    EXPECT_NO_THROW(table.Build(lengths));
    EXPECT_THROW(DecodeOne(table, BitString("0101")), ECorruptFile);
    EXPECT_THROW(DecodeOne(table, BitString("1111 1111 1111")), ECorruptFile);
}

TEST(CodecTable, SingleSymbolTakesNoBitsAndMustBeInTheAlphabet) {
    SmallTable table;
    table.SetSingle(18);
    int consumed = -1;
    EXPECT_EQ(DecodeOne(table, BitString("1111"), &consumed), 18u);
    EXPECT_EQ(consumed, 0);
    EXPECT_THROW(table.SetSingle(19), ECorruptFile);
}
