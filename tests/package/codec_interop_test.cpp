// The bit stream is standard -lh5-: Debian's lhasa extracts our output wrapped in
// an archive header, and we decode what another encoder (jlha-utils) wrote.
// Also round trips of a real MP3 file made by lame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "../TestFiles.h"
#include "PkStreamRoutines.h"
#include "codec_support.h"

using namespace murmel;
using namespace murmel::test;

namespace {

bool HaveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

int RunIn(const std::string& folder, const std::string& command) {
    return std::system(("cd '" + folder + "' && " + command + " >/dev/null 2>&1").c_str());
}

ByteStream ReadBytes(const std::string& path) {
    const std::string text = ReadFile(path);
    return ByteStream(text.begin(), text.end());
}

void WriteBytes(const std::string& path, const ByteStream& data) {
    WriteFile(path, std::string(data.begin(), data.end()));
}

ByteStream Compress(const ByteStream& data) {
    ByteStream out;
    CompressStream(data.data(), data.size(), out);
    return out;
}

// A stereo 16-bit tone with a little noise, encoded by the lame command.
ByteStream LameMp3(const std::string& folder, int seconds) {
    ByteStream pcm;
    uint32_t noise = 1;
    for (int i = 0; i < 44100 * seconds; ++i) {
        noise = noise * 1103515245 + 12345;
        const double t = i / 44100.0;
        const int sample =
            static_cast<int>(9000 * std::sin(2 * M_PI * 440 * t) * std::sin(2 * M_PI * 0.5 * t)) +
            static_cast<int>((noise >> 16) % 600) - 300;
        for (int channel = 0; channel < 2; ++channel) {
            pcm.push_back(static_cast<uint8_t>(sample));
            pcm.push_back(static_cast<uint8_t>(sample >> 8));
        }
    }
    WriteBytes(folder + "tone.pcm", pcm);
    if (RunIn(folder,
              "lame -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 64 tone.pcm "
              "tone.mp3") != 0) {
        return {};
    }
    return ReadBytes(folder + "tone.mp3");
}

struct Sample {
    std::string name;
    ByteStream data;
};

std::vector<Sample> Samples() {
    return {{"one-byte", Bytes("x")},
            {"text", TextLike(200000, 21)},
            {"random", RandomBytes(3 * 8192 + 1, 22)},
            {"run", ByteStream(70000, 'r')},
            {"window", TextLike(2 * 8192, 23)},
            {"midi", MidiFile(400)}};
}

class CodecInterop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTool("lhasa") || !HaveTool("jlha") || !HaveTool("lame"))
            GTEST_SKIP() << "lhasa, jlha or lame missing";
        folder_ = FreshFolder("codec-interop");
    }

    // Wraps our stream in a level-0 archive and has lhasa extract and check it.
    void ExpectLhasaExtracts(const std::string& name, const ByteStream& data) {
        SCOPED_TRACE(name);
        const ByteStream stream = Compress(data);
        const ByteStream bitStream(stream.begin() + 4, stream.end());
        const std::string work = FreshFolder("codec-interop/" + name);
        WriteBytes(work + "archive.lzh", LhaArchive(name + ".bin", data, bitStream));
        ASSERT_EQ(RunIn(work, "lhasa -tq archive.lzh"), 0) << "lhasa's CRC test failed";
        ASSERT_EQ(RunIn(work, "lhasa -xqf archive.lzh"), 0);
        EXPECT_TRUE(ReadBytes(work + name + ".bin") == data);
    }

    // Has jlha compress the data, strips the level-2 header, decodes the rest.
    void ExpectJlhaStreamDecodes(const std::string& name, const ByteStream& data) {
        SCOPED_TRACE(name);
        const std::string work = FreshFolder("codec-interop/j-" + name);
        WriteBytes(work + name, data);
        ASSERT_EQ(RunIn(work, "jlha a archive.lzh " + name), 0);
        const ByteStream archive = ReadBytes(work + "archive.lzh");
        ASSERT_GT(archive.size(), 22u);
        ASSERT_EQ(std::string(archive.begin() + 2, archive.begin() + 7), "-lh5-");
        ASSERT_EQ(archive[20], 2) << "expected a level-2 header";
        const size_t header = archive[0] | archive[1] << 8;
        const uint32_t packed =
            archive[7] | archive[8] << 8 | archive[9] << 16 | uint32_t{archive[10]} << 24;
        ASSERT_LE(header + packed, archive.size());
        const ByteStream stream =
            WithSize(static_cast<uint32_t>(data.size()),
                     ByteStream(archive.begin() + header, archive.begin() + header + packed));
        ByteStream out;
        DecompressStream(stream.data(), stream.size(), out);
        EXPECT_TRUE(out == data);
    }

    std::string folder_;
};

}  // namespace

TEST_F(CodecInterop, LhasaExtractsOurStreams) {
    for (const Sample& sample : Samples()) ExpectLhasaExtracts(sample.name, sample.data);
}

TEST_F(CodecInterop, WeDecodeJlhaStreams) {
    for (Sample& sample : Samples()) {
        // jlha stores what does not shrink as -lh0-: one byte it never packs, six
        // random bits per byte it does.
        if (sample.name == "one-byte") continue;
        if (sample.name == "random") {
            for (auto& byte : sample.data) byte &= 0x3F;
        }
        ExpectJlhaStreamDecodes(sample.name, sample.data);
    }
}

TEST_F(CodecInterop, RealMp3FileBothWays) {
    const ByteStream mp3 = LameMp3(folder_, 3);
    ASSERT_GT(mp3.size(), 10000u) << "lame did not make the MP3 file";
    const ByteStream stream = Compress(mp3);
    ByteStream back;
    DecompressStream(stream.data(), stream.size(), back);
    EXPECT_TRUE(back == mp3);
    EXPECT_LT(stream.size(), mp3.size() + mp3.size() / 20);  // hardly compressible, hardly grows
    ExpectLhasaExtracts("mp3", mp3);
    ExpectJlhaStreamDecodes("mp3", mp3);
}
