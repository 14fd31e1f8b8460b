// The chain's shared parts: format records, the buffer header, the buffer pool,
// links and format propagation, and the connector.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>

#include "ChainTestElements.h"
#include "MMConect.h"
#include "VoiceCleaner.h"

namespace murmel {
namespace {

using test::EventLog;
using test::LoggingElement;

WaveFormatPtr Mp3Format() {
    // 18-byte header + 12 extra bytes, as the presets carry.
    std::vector<uint8_t> bytes = {0x55, 0,  1, 0, 0x40, 0x1F, 0, 0, 0xE8, 3, 0, 0, 1, 0, 0,
                                  0,    12, 0, 1, 0,    2,    0, 0, 0,    0, 0, 1, 0, 0, 0};
    return WaveFormatFromBytes(bytes.data(), bytes.size());
}

TEST(WaveFormatRecord, CopiesPcmAsEighteenBytesWithoutExtras) {
    std::vector<uint8_t> bytes(24, 0xAA);
    WaveFormatPtr pcm = BuildPCMFormat(2, 16, 44100);
    std::memcpy(bytes.data(), pcm.get(), 18);
    bytes[16] = 6;  // a PCM record claiming extra bytes
    WaveFormatPtr copy = WaveFormatFromBytes(bytes.data(), bytes.size());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->cbSize, 0);
    EXPECT_EQ(WaveFormatSize(copy.get()), 18u);
    EXPECT_EQ(WaveFormatBytes(copy.get()).size(), 18u);
}

TEST(WaveFormatRecord, CopiesOtherFormatsWithTheirExtraBytes) {
    WaveFormatPtr mp3 = Mp3Format();
    ASSERT_TRUE(mp3);
    WaveFormatPtr copy = CopyWaveFormat(mp3.get());
    EXPECT_EQ(WaveFormatSize(copy.get()), 30u);
    EXPECT_EQ(WaveFormatBytes(copy.get()), WaveFormatBytes(mp3.get()));
    EXPECT_EQ(WaveFormatExtra(copy.get())[0], 1);
    EXPECT_EQ(CopyWaveFormat(nullptr), nullptr);
}

TEST(WaveFormatRecord, RejectsRecordsShorterThanTheyClaim) {
    std::vector<uint8_t> bytes = WaveFormatBytes(Mp3Format().get());
    EXPECT_FALSE(WaveFormatFromBytes(bytes.data(), 29));
    EXPECT_FALSE(WaveFormatFromBytes(bytes.data(), 17));
    EXPECT_FALSE(WaveFormatFromBytes(nullptr, 30));
}

TEST(WaveFormatRecord, BuildsTheRecordersInputFormat) {
    WaveFormatPtr format = BuildPCMFormat(2, 16, 44100);
    EXPECT_EQ(format->wFormatTag, 1);
    EXPECT_EQ(format->nBlockAlign, 4);
    EXPECT_EQ(format->nAvgBytesPerSec, 176400u);
    EXPECT_EQ(format->cbSize, 0);
    EXPECT_TRUE(IsValidPCMFormat(format.get()));
}

TEST(WaveFormatRecord, ValidPcmBounds) {
    EXPECT_TRUE(IsValidPCMFormat(BuildPCMFormat(1, 8, 4000).get()));
    EXPECT_TRUE(IsValidPCMFormat(BuildPCMFormat(2, 16, 100000).get()));
    EXPECT_FALSE(IsValidPCMFormat(BuildPCMFormat(1, 8, 3999).get()));
    EXPECT_FALSE(IsValidPCMFormat(BuildPCMFormat(1, 8, 100001).get()));
    EXPECT_FALSE(IsValidPCMFormat(BuildPCMFormat(3, 16, 44100).get()));
    EXPECT_FALSE(IsValidPCMFormat(BuildPCMFormat(2, 24, 44100).get()));
    EXPECT_FALSE(IsValidPCMFormat(Mp3Format().get()));
    EXPECT_FALSE(IsValidPCMFormat(nullptr));
}

TEST(WaveFormatRecord, DifferOnlyInTagBitsChannelsOrRate) {
    WaveFormatPtr a = BuildPCMFormat(2, 16, 44100);
    WaveFormatPtr b = BuildPCMFormat(2, 16, 44100);
    b->nAvgBytesPerSec = 1;  // byte rates are not compared
    EXPECT_FALSE(WaveFormatsDiffer(a.get(), b.get()));
    EXPECT_TRUE(WaveFormatsDiffer(a.get(), BuildPCMFormat(1, 16, 44100).get()));
    EXPECT_TRUE(WaveFormatsDiffer(a.get(), BuildPCMFormat(2, 8, 44100).get()));
    EXPECT_TRUE(WaveFormatsDiffer(a.get(), BuildPCMFormat(2, 16, 22050).get()));
    EXPECT_TRUE(WaveFormatsDiffer(a.get(), Mp3Format().get()));
    EXPECT_FALSE(WaveFormatsDiffer(a.get(), nullptr));
}

TEST(WaveHeader, KeepsTheSixtyByteLayout) {
    EXPECT_EQ(sizeof(TWaveHdr), 60u);
    EXPECT_EQ(offsetof(TWaveHdr, dwBufferLength), 8u);
    EXPECT_EQ(offsetof(TWaveHdr, dwBytesRecorded), 12u);
    EXPECT_EQ(offsetof(TWaveHdr, dwFlags), 20u);
    EXPECT_EQ(offsetof(TWaveHdr, lpCompanion), 40u);
}

TEST(Allocator, PrefersAnExactBlockThenABiggerOneThenANewOne) {
    TMMAllocator pool;
    void* big = pool.AllocBuffer(4096);
    void* exact = pool.AllocBuffer(2108);
    pool.FreeBuffer(big);
    pool.FreeBuffer(exact);
    EXPECT_EQ(pool.AllocBuffer(2108), exact);
    EXPECT_EQ(pool.AllocBuffer(2108), big);  // the exact one is taken
    void* fresh = pool.AllocBuffer(2108);
    EXPECT_NE(fresh, big);
    EXPECT_NE(fresh, exact);
    EXPECT_EQ(pool.BlockCount(), 3u);
    pool.Discard();
    EXPECT_EQ(pool.BlockCount(), 0u);
}

TEST(Allocator, NewBlocksAreZeroed) {
    TMMAllocator pool;
    auto* block = static_cast<uint8_t*>(pool.AllocBuffer(256));
    for (int i = 0; i < 256; ++i) ASSERT_EQ(block[i], 0);
}

TEST(Links, AreTwoWayAndRepointingDetachesThePreviousPartner) {
    EventLog log;
    LoggingElement a("A", log), b("B", log), c("C", log);
    b.SetInput(&a);
    EXPECT_EQ(a.Output(), &b);
    EXPECT_EQ(b.InputBackReference(), "Output");
    EXPECT_EQ(a.OutputBackReference(), "Input");
    a.SetOutput(&c);
    EXPECT_EQ(a.Output(), &c);
    EXPECT_EQ(c.Input(), &a);
    EXPECT_EQ(b.Input(), nullptr);
    c.SetInput(nullptr);
    EXPECT_EQ(a.Output(), nullptr);
}

TEST(Links, SelfLinksAndLoopsAreRefusedSilently) {
    EventLog log;
    LoggingElement a("A", log), b("B", log), c("C", log);
    a.SetOutput(&a);
    EXPECT_EQ(a.Output(), nullptr);
    a.SetOutput(&b);
    b.SetOutput(&c);
    c.SetOutput(&a);  // would close a loop
    EXPECT_EQ(c.Output(), nullptr);
    EXPECT_EQ(a.Input(), nullptr);
    a.SetInput(&c);
    EXPECT_EQ(a.Input(), nullptr);
}

TEST(Links, DestroyingAnElementDetachesBothSides) {
    EventLog log;
    LoggingElement a("A", log), c("C", log);
    {
        LoggingElement b("B", log);
        a.SetOutput(&b);
        b.SetOutput(&c);
    }
    EXPECT_EQ(a.Output(), nullptr);
    EXPECT_EQ(c.Input(), nullptr);
}

TEST(FormatPropagation, FlowsDownTheChainAndIsDroppedWithTheLink) {
    EventLog log;
    LoggingElement a("A", log), b("B", log), c("C", log);
    a.SetOutput(&b);
    b.SetOutput(&c);
    WaveFormatPtr format = BuildPCMFormat(2, 16, 44100);
    a.SetPWaveFormat(format.get());
    ASSERT_TRUE(c.PWaveFormat());
    EXPECT_NE(c.PWaveFormat(), a.PWaveFormat());  // private copies
    EXPECT_EQ(c.PWaveFormat()->nSamplesPerSec, 44100u);
    b.SetInput(nullptr);
    EXPECT_EQ(b.PWaveFormat(), nullptr);
    EXPECT_EQ(c.PWaveFormat(), nullptr);
    b.SetInput(&a);  // linking adopts the input's format
    ASSERT_TRUE(c.PWaveFormat());
}

TEST(FormatPropagation, WaitsForTheEndOfLoading) {
    EventLog log;
    LoggingElement a("A", log), b("B", log);
    a.SetOutput(&b);
    a.BeginLoading();
    a.SetPWaveFormat(BuildPCMFormat(1, 8, 8000).get());
    EXPECT_EQ(b.PWaveFormat(), nullptr);
    a.Loaded();
    ASSERT_TRUE(b.PWaveFormat());
    EXPECT_EQ(b.PWaveFormat()->nSamplesPerSec, 8000u);
}

TEST(Lifecycle, OpenedRoundsTheBufferSizeToWholeBlocks) {
    EventLog log;
    LoggingElement a("A", log);
    a.SetPWaveFormat(BuildPCMFormat(2, 16, 44100).get());
    a.SetBufferSize(2050);
    a.Opened();
    EXPECT_EQ(a.EffectiveBufferSize(), 2048);
    a.Closed();
    a.SetBufferSize(3);
    a.Opened();
    EXPECT_EQ(a.EffectiveBufferSize(), 4);
    EXPECT_FALSE(a.IsStarted());
    a.Started();
    EXPECT_TRUE(a.IsStarted());
    a.Stopped();
    EXPECT_FALSE(a.IsStarted());
}

TEST(Lifecycle, StartedNeedsOpened) {
    EventLog log;
    LoggingElement a("A", log);
    a.Started();
    EXPECT_FALSE(a.IsStarted());
}

// --- connector ---

struct ConnectorChain {
    EventLog log;
    TMMConnector connector;
    LoggingElement after{"After", log};
    std::vector<char> block = std::vector<char>(kWaveHdrSize + 2048);
    PWaveHdr header = reinterpret_cast<PWaveHdr>(block.data());
    uint64_t now = 1000;

    ConnectorChain() {
        connector.SetOutput(&after);
        connector.SetPWaveFormat(BuildPCMFormat(2, 16, 44100).get());
        connector.Clock = [this] { return now; };
        header->lpData = block.data() + kWaveHdrSize;
        header->dwBufferLength = 2048;
        connector.Opened();
        after.Opened();
        connector.Started();
        after.Started();
    }
};

TEST(Connector, CopiesForDisplayAndHandsTheBufferOnUnchanged) {
    ConnectorChain chain;
    for (int i = 0; i < 2048; ++i) chain.header->lpData[i] = static_cast<char>(i);
    chain.header->dwBytesRecorded = 2048;
    chain.connector.BufferReady(chain.header);
    EXPECT_TRUE(chain.connector.Feed().Pending());
    EXPECT_TRUE(chain.after.Bytes() == std::string(chain.header->lpData, 2048));
}

TEST(Connector, ShowsTheCompanionOnlyWhenTheBufferHoldsData) {
    ConnectorChain chain;
    std::vector<char> companionBlock(kWaveHdrSize + 16);
    auto* companion = reinterpret_cast<PWaveHdr>(companionBlock.data());
    companion->lpData = nullptr;  // a display source without data is skipped
    chain.header->lpCompanion = companion;
    chain.header->dwBytesRecorded = 0;
    chain.connector.BufferReady(chain.header);
    EXPECT_TRUE(chain.connector.Feed().Pending());  // the empty buffer itself was shown

    ConnectorChain second;
    second.header->lpCompanion = companion;
    second.header->dwBytesRecorded = 2048;
    second.connector.BufferReady(second.header);
    EXPECT_FALSE(second.connector.Feed().Pending());  // the companion was taken
    EXPECT_EQ(second.after.Bytes().size(), 2048u);
}

TEST(Connector, DisplayRunsFromStartedToStopped) {
    ConnectorChain chain;
    int starts = 0, stops = 0;
    chain.connector.OnDisplayStop = [&](TMMDSPComponent*) { ++stops; };
    EXPECT_TRUE(chain.connector.Feed().Running());
    chain.connector.Stopped();
    chain.connector.Stopped();
    EXPECT_EQ(stops, 1);
    chain.connector.OnDisplayStart = [&](TMMDSPComponent*) { ++starts; };
    chain.connector.Started();
    EXPECT_EQ(starts, 1);
    chain.header->dwBytesRecorded = 100;
    chain.connector.Enabled = false;
    chain.connector.BufferReady(chain.header);
    EXPECT_FALSE(chain.connector.Feed().Pending());
    EXPECT_EQ(chain.after.Bytes().size(), 100u);
}

// Rates the library does not take are resampled around it; whatever the rate,
// the band and channels kept, and the buffer size, the cleaned sound comes out
// without gaps after its delay.
TEST(VoiceCleaning, EveryRateAndBufferSizeComesOutWithoutGaps) {
    for (int rate : {8000, 11025, 22050, 44100, 48000, 96000})
        for (size_t frames : {37u, 512u})
            for (int kept : {0, 16000}) {
                VoiceCleaner cleaner(rate, 2, kept, kept ? 1 : 0);
                std::vector<int16_t> buffer(frames * 2);
                for (size_t done = 0; done < size_t(rate) * 2; done += frames) {
                    for (size_t i = 0; i < buffer.size(); ++i)
                        buffer[i] = int16_t(8000 * std::sin(double(done + i / 2) * 0.05));
                    cleaner.Process(buffer.data(), frames);
                }
                EXPECT_EQ(cleaner.Underruns(), 0u)
                    << rate << " Hz, " << frames << " frames, " << kept;
            }
}

}  // namespace
}  // namespace murmel
