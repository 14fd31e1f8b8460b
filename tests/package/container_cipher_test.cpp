// The container's cipher: published Blowfish vectors, the little-endian word
// order of the stream routines, padding and round trips.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "Blowfish.h"
#include "PkStreamRoutines.h"

using namespace murmel;

namespace {

std::string Hex(const char* text) {
    std::string bytes;
    for (size_t i = 0; text[i] && text[i + 1]; i += 2)
        bytes.push_back(static_cast<char>(std::stoi(std::string(text + i, 2), nullptr, 16)));
    return bytes;
}

uint32_t BigEndian(const std::string& bytes, size_t at) {
    uint32_t word = 0;
    for (size_t i = 0; i < 4; ++i) word = (word << 8) | static_cast<uint8_t>(bytes[at + i]);
    return word;
}

// Key, plaintext, ciphertext as published (big-endian blocks).
struct Vector {
    std::string key;
    const char* plain;
    const char* cipher;
};

std::vector<Vector> PublishedVectors() {
    return {
        {Hex("0000000000000000"), "0000000000000000", "4EF997456198DD78"},
        {Hex("FFFFFFFFFFFFFFFF"), "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {Hex("3000000000000000"), "1000000000000001", "7D856F9A613063F2"},
        {Hex("1111111111111111"), "1111111111111111", "2466DD878B963C9D"},
        {Hex("0123456789ABCDEF"), "1111111111111111", "61F9C3802281B096"},
        {Hex("1111111111111111"), "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
        {Hex("FEDCBA9876543210"), "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        {Hex("7CA110454A1A6E57"), "01A1D6D039776742", "59C68245EB05282B"},
        {Hex("0131D9619DC1376E"), "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
        {"abcdefghijklmnopqrstuvwxyz", "424C4F5746495348", "324ED0FEF413A203"},
        {"Who is John Galt?", "FEDCBA9876543210", "CC91732B8022F684"},
    };
}

TEST(Blowfish, PublishedVectorsBothWays) {
    for (const Vector& vector : PublishedVectors()) {
        const std::string plain = Hex(vector.plain), cipher = Hex(vector.cipher);
        Blowfish blowfish(vector.key);
        uint32_t left = BigEndian(plain, 0), right = BigEndian(plain, 4);
        blowfish.Encrypt(left, right);
        EXPECT_EQ(left, BigEndian(cipher, 0)) << vector.cipher;
        EXPECT_EQ(right, BigEndian(cipher, 4)) << vector.cipher;
        blowfish.Decrypt(left, right);
        EXPECT_EQ(left, BigEndian(plain, 0));
        EXPECT_EQ(right, BigEndian(plain, 4));
        EXPECT_FALSE(blowfish.Rejected());
    }
}

TEST(Blowfish, KeyBytesBeyondTheSeventySecondDoNotMatter) {
    const std::string key(72, 'k');
    uint32_t a = 1, b = 2, c = 1, d = 2;
    Blowfish(key).Encrypt(a, b);
    Blowfish(key + "anything").Encrypt(c, d);
    EXPECT_EQ(a, c);
    EXPECT_EQ(b, d);
    EXPECT_THROW(Blowfish(""), std::invalid_argument);
}

// The stream routines read each half little-endian: a published block goes in
// with each 4-byte half reversed and comes out the same way.
TEST(CipherStream, WordOrderIsLittleEndian) {
    for (const Vector& vector : PublishedVectors()) {
        const std::string plain = Hex(vector.plain), cipher = Hex(vector.cipher);
        ByteStream stream;
        for (size_t i : {3, 2, 1, 0, 7, 6, 5, 4}) stream.push_back(static_cast<uint8_t>(plain[i]));
        EncryptStream(stream, vector.key);
        ASSERT_EQ(stream.size(), 16u);
        ByteStream expected;
        for (size_t i : {3, 2, 1, 0, 7, 6, 5, 4})
            expected.push_back(static_cast<uint8_t>(cipher[i]));
        EXPECT_EQ(ByteStream(stream.begin(), stream.begin() + 8), expected) << vector.cipher;
    }
}

// Runs the cipher over whole blocks in the stream routines' word order.
void EachBlock(ByteStream& stream, const std::string& key, bool encipher) {
    Blowfish blowfish(key);
    for (size_t at = 0; at + 8 <= stream.size(); at += 8) {
        uint32_t half[2];
        for (int h = 0; h < 2; ++h) {
            const uint8_t* b = &stream[at + 4 * h];
            half[h] = b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24;
        }
        encipher ? blowfish.Encrypt(half[0], half[1]) : blowfish.Decrypt(half[0], half[1]);
        for (int h = 0; h < 2; ++h)
            for (int i = 0; i < 4; ++i) stream[at + 4 * h + i] = uint8_t(half[h] >> (8 * i));
    }
}

TEST(CipherStream, PaddingFillsToTheBlock) {
    // 15 bytes get eight bytes 0x01 and the count 8; 16 bytes get seven and 7.
    for (auto [size, padding] :
         {std::pair<size_t, size_t>{15, 8}, {16, 7}, {7, 8}, {1, 6}, {6, 1}}) {
        ByteStream stream(size, 0xAB);
        EncryptStream(stream, "key");
        ASSERT_EQ(stream.size(), size + padding + 1);
        ByteStream plain = stream;
        EachBlock(plain, "key", false);
        ByteStream expected(size, 0xAB);
        expected.insert(expected.end(), padding, 0x01);
        expected.push_back(uint8_t(padding));
        EXPECT_EQ(plain, expected);
        DecryptStream(stream, "key");
        EXPECT_EQ(stream, ByteStream(size, 0xAB));
    }
}

TEST(CipherStream, RoundTripsAndEmptyStreams) {
    std::mt19937 random(7);
    for (size_t size = 0; size < 70; ++size) {
        ByteStream original(size);
        for (auto& byte : original) byte = static_cast<uint8_t>(random());
        ByteStream stream = original;
        EncryptStream(stream, "Murmel");
        EXPECT_EQ(stream.size() % 8, 0u);
        if (size) {
            EXPECT_NE(stream, original);
        }
        DecryptStream(stream, "Murmel");
        EXPECT_EQ(stream, original) << size;
    }
    ByteStream empty;
    EncryptStream(empty, "");  // an empty stream is never scheduled
    DecryptStream(empty, "");
    EXPECT_TRUE(empty.empty());
}

TEST(CipherStream, EmptyKeyAndImpossiblePaddingAreCorrupt) {
    ByteStream stream{1, 2, 3};
    EXPECT_THROW(EncryptStream(stream, ""), ECorruptFile);
    EXPECT_THROW(DecryptStream(stream, ""), ECorruptFile);
    EXPECT_EQ(stream, (ByteStream{1, 2, 3}));
    // A block whose last byte deciphers to 255 claims more padding than exists.
    ByteStream block(8, 0xFF);
    EachBlock(block, "k", true);
    EXPECT_THROW(DecryptStream(block, "k"), ECorruptFile);
}

}  // namespace

namespace {

// Found by search: this key's schedule leaves two equal entries in one S-box.
const std::string kRejectedKey = "key2031";

TEST(CipherStream, RejectedKeyIsRefusedForWritingAndReadsInClear) {
    EXPECT_TRUE(Blowfish(kRejectedKey).Rejected());
    ByteStream stream{1, 2, 3, 4, 5};
    EXPECT_THROW(EncryptStream(stream, kRejectedKey), std::invalid_argument);
    EXPECT_EQ(stream, (ByteStream{1, 2, 3, 4, 5}));
    DecryptStream(stream, kRejectedKey);
    EXPECT_EQ(stream, (ByteStream{1, 2, 3, 4, 5}));
}

}  // namespace
