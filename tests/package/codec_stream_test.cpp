// CompressStream and DecompressStream as the container uses them: exact streams
// for small inputs, round trips at the window and chunk boundaries, and damaged input.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "../TestFiles.h"
#include "ECorruptFile.h"
#include "PkStreamRoutines.h"
#include "codec_support.h"

using namespace murmel;
using namespace murmel::test;

namespace {

ByteStream Compress(const ByteStream& data) {
    ByteStream out;
    CompressStream(data.data(), data.size(), out);
    return out;
}

ByteStream Decompress(const ByteStream& stream) {
    ByteStream out;
    DecompressStream(stream.data(), stream.size(), out);
    return out;
}

void ExpectRoundTrip(const ByteStream& data) {
    const ByteStream stream = Compress(data);
    const uint32_t stored =
        stream[0] | stream[1] << 8 | stream[2] << 16 | uint32_t{stream[3]} << 24;
    EXPECT_EQ(stored, data.size());
    const ByteStream back = Decompress(stream);
    ASSERT_EQ(back.size(), data.size());
    EXPECT_TRUE(back == data) << "first difference at "
                              << std::mismatch(back.begin(), back.end(), data.begin()).first -
                                     back.begin();
}

ByteStream ReadData(const std::string& relative) {
    const std::string text = ReadFile(std::string(MURMEL_TEST_DATA) + "/" + relative);
    return ByteStream(text.begin(), text.end());
}

}  // namespace

// The bit strings are laid out field by field.
// clang-format off
// Streams worked out by hand from the block layout and the code construction rules.
TEST(CodecExactStream, OneByteUsesTheOneSymbolFormsThroughout) {
    const std::string bits = Bits(1, 16)                  // one symbol in the block
                             + Bits(0, 5) + Bits(0, 5)    // code-length code: none needed
                             + Bits(0, 9) + Bits('A', 9)  // literal/length code: only 'A'
                             + Bits(0, 4) + Bits(0, 4);   // position code: class 0, no matches
    EXPECT_EQ(Compress(Bytes("A")), WithSize(1, BitString(bits)));
}

TEST(CodecExactStream, TwoLiteralsSendATreeAndTheZeroRunField) {
    // 'a' and 'b' get one bit each; the code-length code has symbols 2 (one run
    // of 97 zeros) and 3 (two lengths of 1), one bit each.
    const std::string bits = Bits(2, 16)
                             + Bits(4, 5) + "000" "000" "001" + "00" + "001"  // lengths 0 0 1, no run, 1
                             + Bits(99, 9) + "0" + Bits(97 - 20, 9) + "1" "1"  // 97 zeros, 1, 1
                             + Bits(0, 4) + Bits(0, 4)
                             + "0" "1";  // 'a', 'b'
    EXPECT_EQ(Compress(Bytes("ab")), WithSize(2, BitString(bits)));
}

TEST(CodecExactStream, RunOfOneByteIsALiteralThenFullMatchesAtDistanceOne) {
    // 1,000 times 'a': 'a', three matches of 256 and one of 231, all with p = 0.
    // Codes: 509 (length 256) "0", 'a' "10", 484 (length 231) "11".
    const std::string bits = Bits(5, 16)
                             + Bits(5, 5) + "000" "000" "001" + "00" + "010" "010"
                             + Bits(510, 9) + "0" + Bits(97 - 20, 9) + "11"  // zeros to 'a', length 2
                             + "0" + Bits(386 - 20, 9) + "11"                 // zeros to 484, length 2
                             + "0" + Bits(24 - 20, 9) + "10"                  // zeros to 509, length 1
                             + Bits(0, 4) + Bits(0, 4)                        // p is always 0: class 0
                             + "10" "0" "0" "0" "11";
    const ByteStream run(1000, 'a');
    EXPECT_EQ(Compress(run), WithSize(1000, BitString(bits)));
    EXPECT_EQ(Decompress(Compress(run)), run);
}

// clang-format on

TEST(CodecRoundTrip, WindowAndChunkBoundaries) {
    for (size_t size :
         {size_t{1}, size_t{2}, size_t{3}, size_t{8191}, size_t{8192}, size_t{8193},
          size_t{8192 + 256}, size_t{16383}, size_t{16384}, size_t{16385}, size_t{3 * 8192},
          size_t{3 * 8192 + 1}, size_t{5 * 8192}, size_t{5 * 8192 + 1}}) {
        SCOPED_TRACE(size);
        ExpectRoundTrip(TextLike(size, static_cast<uint32_t>(size)));
        ExpectRoundTrip(RandomBytes(size, static_cast<uint32_t>(size)));
    }
}

TEST(CodecRoundTrip, RunsOfOneByte) {
    for (size_t size : {size_t{2}, size_t{3}, size_t{4}, size_t{257}, size_t{258}, size_t{8192},
                        size_t{8193}, size_t{200000}}) {
        SCOPED_TRACE(size);
        ExpectRoundTrip(ByteStream(size, 0));
        ExpectRoundTrip(ByteStream(size, 0xFF));
    }
}

TEST(CodecRoundTrip, MatchesAtTheLongestDistance) {
    // A random pattern repeated: with period 8,191 every match reaches back as far
    // as the dictionary does (the string 8,192 back is dropped just before the
    // new one goes in); longer periods leave nothing to match.
    for (size_t period : {size_t{8191}, size_t{8192}, size_t{8193}}) {
        const ByteStream pattern = RandomBytes(period, static_cast<uint32_t>(period));
        ByteStream data;
        for (int i = 0; i < 5; ++i) data.insert(data.end(), pattern.begin(), pattern.end());
        SCOPED_TRACE(period);
        ExpectRoundTrip(data);
        if (period == 8191) {
            EXPECT_LT(Compress(data).size(), 2 * period);
        }
    }
}

TEST(CodecRoundTrip, MixedContentOverManyBlocks) {
    ByteStream data;
    for (uint32_t part = 0; part < 12; ++part) {
        const ByteStream piece = part % 3 == 0 ? RandomBytes(20000, part)
                                 : part % 3 == 1
                                     ? TextLike(45000, part)
                                     : ByteStream(9000 + part, static_cast<uint8_t>(part));
        data.insert(data.end(), piece.begin(), piece.end());
    }
    ExpectRoundTrip(data);
    // Random bytes of a smaller alphabet: short matches about as frequent as each
    // literal, so that some match codes are as long as most literal codes.
    for (uint32_t values : {80u, 96u, 112u}) ExpectRoundTrip(RandomBytes(60000, values, values));
    const ByteStream text = TextLike(1 << 20, 99);
    EXPECT_LT(Compress(text).size(), text.size() / 3);
}

TEST(CodecRoundTrip, MidiFile) {
    const ByteStream midi = MidiFile(300);
    ASSERT_GT(midi.size(), 2500u);
    ExpectRoundTrip(midi);
    EXPECT_LT(Compress(midi).size(), midi.size() / 4);  // its repetitions are found
}

TEST(CodecRoundTrip, AppendsToTheOutputAndIsDeterministic) {
    const ByteStream data = TextLike(30000, 5);
    ByteStream stream = {'x', 'y'};
    CompressStream(data.data(), data.size(), stream);
    EXPECT_EQ(ByteStream(stream.begin() + 2, stream.end()), Compress(data));
    ByteStream out = {'z'};
    DecompressStream(stream.data() + 2, stream.size() - 2, out);
    EXPECT_EQ(out, Join({'z'}, data));
}

namespace {

// A block whose every symbol is `symbol`, taking no bits, and whose every
// position is of class `positionClass`.
std::string OneSymbolBlock(uint32_t count, uint32_t symbol, uint32_t positionClass) {
    return Bits(count, 16) + Bits(0, 5) + Bits(0, 5) + Bits(0, 9) + Bits(symbol, 9) + Bits(0, 4) +
           Bits(positionClass, 4);
}

}  // namespace

TEST(CodecDecompress, MatchReachesTheFullDictionary) {
    // 'a', 8,191 times 'b', then a match of 3 with p = 8,191 (class 13 and twelve
    // 1-bits): it starts at the 'a' 8,192 bytes back.
    const std::string bits = OneSymbolBlock(1, 'a', 0) + OneSymbolBlock(8191, 'b', 0) +
                             OneSymbolBlock(1, 256, 13) + std::string(12, '1');
    ByteStream expected = Join(Bytes("a"), ByteStream(8191, 'b'));
    expected.insert(expected.end(), {'a', 'b', 'b'});
    EXPECT_EQ(Decompress(WithSize(8195, BitString(bits))), expected);
}

TEST(CodecDecompress, MatchBeforeTheStartReadsZeros) {
    // 'a', then a match of 3 with p = 5 (class 3, bits 01): nothing lies 6 back yet.
    const std::string bits = OneSymbolBlock(1, 'a', 0) + OneSymbolBlock(1, 256, 3) + "01";
    EXPECT_EQ(Decompress(WithSize(4, BitString(bits))), (ByteStream{'a', 0, 0, 0}));
}

TEST(CodecDecompress, MatchCarriesOverIntoTheNextChunk) {
    // 8,190 times 'c', then one match of 256 at p = 0 across the 8,192-byte chunk edge.
    const std::string bits = OneSymbolBlock(8190, 'c', 0) + OneSymbolBlock(1, 509, 0);
    EXPECT_EQ(Decompress(WithSize(8190 + 256, BitString(bits))), ByteStream(8190 + 256, 'c'));
}

TEST(CodecRoundTrip, CallsOnSeveralThreadsDoNotMeet) {
    // Each call keeps its tables to itself; the container may load and save at once.
    std::vector<ByteStream> inputs;
    for (uint32_t i = 0; i < 4; ++i)
        inputs.push_back(i % 2 ? TextLike(60000, i) : MidiFile(500 + 100 * i));
    std::vector<ByteStream> expected;
    for (const ByteStream& input : inputs) expected.push_back(Compress(input));
    std::vector<int> good(inputs.size(), 0);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < inputs.size(); ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 3; ++round) {
                const ByteStream stream = Compress(inputs[i]);
                good[i] += stream == expected[i] && Decompress(stream) == inputs[i];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(good, std::vector<int>(inputs.size(), 3));
}

TEST(CodecDecompress, StopsAtTheStoredSizeAndIgnoresWhatFollows) {
    const ByteStream data = TextLike(5000, 1);
    EXPECT_EQ(Decompress(Join(Compress(data), RandomBytes(100, 3))), data);
}

TEST(CodecDecompress, SizeOfZeroOrLessGivesNothing) {
    EXPECT_TRUE(Decompress({0, 0, 0, 0}).empty());
    EXPECT_TRUE(Decompress(Join({0xFF, 0xFF, 0xFF, 0xFF}, RandomBytes(50, 1))).empty());
    EXPECT_TRUE(Decompress({0, 0, 0, 0x80}).empty());
}

TEST(CodecDecompress, TooShortForTheSizeIsCorrupt) {
    EXPECT_THROW(Decompress({}), ECorruptFile);
    EXPECT_THROW(Decompress({1, 0, 0}), ECorruptFile);
}

TEST(CodecDecompress, EveryTruncationIsCorruptAndLeavesTheOutputAlone) {
    const ByteStream stream = Compress(TextLike(3000, 8));
    for (size_t cut = 4; cut < stream.size(); ++cut) {
        ByteStream out = {'k'};
        try {
            DecompressStream(stream.data(), cut, out);
            ADD_FAILURE() << "a stream cut at " << cut << " of " << stream.size()
                          << " was accepted";
        } catch (const ECorruptFile& error) {
            EXPECT_STREQ(error.what(), "Compressed file is corrupt");
        }
        EXPECT_EQ(out, ByteStream{'k'});
    }
}

TEST(CodecDecompress, HugeClaimedSizeFailsFastAndSmall) {
    ByteStream stream = Compress(Bytes("a voice mail"));
    stream[0] = 0x00;  // 2,000,000,000 = 0x77359400
    stream[1] = 0x94;
    stream[2] = 0x35;
    stream[3] = 0x77;
    ByteStream out;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(DecompressStream(stream.data(), stream.size(), out), ECorruptFile);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_LT(out.capacity(), size_t{1} << 20);
}

TEST(CodecDecompress, BitFlipsNeverBreakTheDecoder) {
    const ByteStream data = TextLike(20000, 4);
    const ByteStream stream = Compress(data);
    std::mt19937 random(11);
    int rejected = 0;
    for (int trial = 0; trial < 400; ++trial) {
        ByteStream damaged = stream;
        const size_t at = 4 + random() % (damaged.size() - 4);
        damaged[at] ^= static_cast<uint8_t>(1 << (random() % 8));
        ByteStream out;
        try {
            DecompressStream(damaged.data(), damaged.size(), out);
            EXPECT_EQ(out.size(), data.size());
        } catch (const ECorruptFile&) {
            EXPECT_TRUE(out.empty());
            ++rejected;
        }
    }
    EXPECT_GT(rejected, 0);
}

TEST(CodecGoldenFiles, ValidStreamsDecodeToTheirSources) {
    struct Golden {
        const char* stream;
        const char* source;
        bool ours;  // made by CompressStream: compressing the source gives it again
    };
    for (const Golden& golden :
         {Golden{"lh5-one-byte.lh5", "lh5-one-byte.src", true},
          Golden{"lh5-run.lh5", "lh5-run.src", true}, Golden{"lh5-text.lh5", "lh5-text.src", true},
          Golden{"lh5-text-jlha.lh5", "lh5-text.src", false}}) {
        SCOPED_TRACE(golden.stream);
        const ByteStream stream = ReadData(std::string("valid/") + golden.stream);
        const ByteStream source = ReadData(std::string("valid/") + golden.source);
        ASSERT_FALSE(source.empty());
        EXPECT_EQ(Decompress(stream), source);
        if (golden.ours) {
            EXPECT_EQ(Compress(source), stream);
        }
    }
}

TEST(CodecGoldenFiles, DamagedStreamsAreRejected) {
    int seen = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(MURMEL_TEST_DATA) + "/invalid")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("lh5-", 0) != 0) continue;
        SCOPED_TRACE(name);
        ++seen;
        const ByteStream stream = ReadData("invalid/" + name);
        ByteStream out = {'k'};
        EXPECT_THROW(DecompressStream(stream.data(), stream.size(), out), ECorruptFile);
        EXPECT_EQ(out, ByteStream{'k'});
    }
    EXPECT_GE(seen, 8);
}
