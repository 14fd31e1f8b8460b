// Damaged voice mails: golden files, every truncation, bit flips and garbage.
// Each must load or fail with ECorruptFile or a stream error; nothing else.
#include <gtest/gtest.h>

#include <random>

#include "PkStreamCol.h"
#include "TestFiles.h"

using namespace murmel;

namespace {

ByteStream ReadData(const std::string& name) {
    const std::string bytes = test::ReadFile(std::string(MURMEL_TEST_DATA) + "/" + name);
    return ByteStream(bytes.begin(), bytes.end());
}

enum class Outcome { Loaded, Corrupt, ReadError, TooLarge };

Outcome TryLoad(const ByteStream& file, const std::string& key = "", TPkStreams* into = nullptr) {
    TPkStreams local;
    TPkStreams& streams = into ? *into : local;
    streams.Key = key;
    try {
        streams.LoadFromStream(file);
        return Outcome::Loaded;
    } catch (const ECorruptFile& error) {
        EXPECT_STREQ(error.what(), "File is corrupt.");
        return Outcome::Corrupt;
    } catch (const ETooLarge&) {
        return Outcome::TooLarge;
    } catch (const EStreamError&) {
        return Outcome::ReadError;
    }
}

const char* kGoldenKey = "MurmelVoiceMail!";

void ExpectVoiceMail(const TPkStreams& streams, const TPkStreams& reference) {
    ASSERT_EQ(streams.Names(), (std::vector<std::string>{"BGMusic", "CtrInfo", "Mp3File"}));
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(streams.Data(i), reference.Data(i));
}

TEST(ContainerGolden, PlainVoiceMailHoldsItsThreeEntries) {
    TPkStreams plain;
    plain.LoadFromStream(ReadData("valid/mvm-plain.mvm"));
    ASSERT_EQ(plain.Count(), 3u);
    EXPECT_EQ(std::string(plain.Data(1).begin(), plain.Data(1).end()),
              "[0]\r\nTime=0\r\nVolume=8\r\n[1]\r\nTime=1250\r\nVolume=5\r\n");
    EXPECT_EQ(std::string(plain.Data(0).begin(), plain.Data(0).begin() + 4), "MThd");
    EXPECT_EQ(std::string(plain.Data(2).begin(), plain.Data(2).begin() + 4), "RIFF");
    // Saving it again plain gives the same bytes.
    plain.Compressed = false;
    ByteStream again;
    plain.SaveToStream(again);
    EXPECT_EQ(again, ReadData("valid/mvm-plain.mvm"));
}

TEST(ContainerGolden, OddFlagsReadAsPlain) {
    TPkStreams reference, odd;
    reference.LoadFromStream(ReadData("valid/mvm-plain.mvm"));
    odd.LoadFromStream(ReadData("valid/mvm-odd-flags.mvm"));
    ExpectVoiceMail(odd, reference);
    EXPECT_FALSE(odd.Compressed);
}

TEST(ContainerGolden, OpenSslEncipheredFileReads) {
    TPkStreams reference, enciphered;
    reference.LoadFromStream(ReadData("valid/mvm-plain.mvm"));
    enciphered.Key = kGoldenKey;
    enciphered.LoadFromStream(ReadData("valid/mvm-enciphered-openssl.mvm"));
    ExpectVoiceMail(enciphered, reference);
    EXPECT_TRUE(enciphered.Encrypted);
    // Our cipher writes the same bytes.
    enciphered.Compressed = false;
    ByteStream again;
    enciphered.SaveToStream(again);
    EXPECT_EQ(again, ReadData("valid/mvm-enciphered-openssl.mvm"));
}

TEST(ContainerGolden, NamesFileKeepsFirstOfEachName) {
    TPkStreams streams;
    streams.LoadFromStream(ReadData("valid/mvm-names.mvm"));
    EXPECT_EQ(streams.Names(),
              (std::vector<std::string>{"", "Empty", "Mp3File", "\xC4\x41", "\xC4\x61"}));
    EXPECT_EQ(std::string(streams.Find("mp3file")->begin(), streams.Find("mp3file")->end()),
              "first");
    EXPECT_TRUE(streams.Find("EMPTY")->empty());
}

TEST(ContainerGolden, InvalidFilesFailCleanly) {
    const std::vector<std::pair<std::string, Outcome>> files = {
        {"mvm-empty.mvm", Outcome::Corrupt},
        {"mvm-flags-only.mvm", Outcome::Corrupt},
        {"mvm-bad-signature.mvm", Outcome::Corrupt},
        {"mvm-negative-count.mvm", Outcome::Corrupt},
        {"mvm-negative-size.mvm", Outcome::Corrupt},
        {"mvm-name-past-end.mvm", Outcome::ReadError},
        {"mvm-size-past-end.mvm", Outcome::ReadError},
        {"mvm-count-past-end.mvm", Outcome::ReadError},
        {"mvm-truncated-plain.mvm", Outcome::ReadError},
        {"mvm-truncated-compressed.mvm", Outcome::Corrupt},
        {"mvm-huge-size-compressed.mvm", Outcome::TooLarge},
        {"mvm-size-bomb.mvm", Outcome::TooLarge},
        {"mvm-bad-padding.mvm", Outcome::Corrupt},
    };
    for (const auto& [name, outcome] : files)
        EXPECT_EQ(TryLoad(ReadData("invalid/" + name), "k"), outcome) << name;
    EXPECT_NE(TryLoad(ReadData("invalid/mvm-enciphered-truncated-block.mvm"), kGoldenKey),
              Outcome::Loaded);
}

// The compressed golden payload comes from another -lh5- encoder (jlha).
TEST(ContainerGolden, ForeignCompressedFilesRead) {
    TPkStreams reference;
    reference.LoadFromStream(ReadData("valid/mvm-plain.mvm"));
    TPkStreams compressed;
    compressed.Compressed = false;
    compressed.LoadFromStream(ReadData("valid/mvm-compressed-jlha.mvm"));
    ExpectVoiceMail(compressed, reference);
    EXPECT_TRUE(compressed.Compressed);
    TPkStreams both;
    both.Key = kGoldenKey;
    both.LoadFromStream(ReadData("valid/mvm-compressed-enciphered.mvm"));
    ExpectVoiceMail(both, reference);
    EXPECT_TRUE(both.Compressed && both.Encrypted);
}

TPkStreams& SmallVoiceMail(TPkStreams& streams) {
    streams.LoadFromStream(ReadData("valid/mvm-plain.mvm"));
    return streams;
}

ByteStream Saved(bool compressed, const std::string& key) {
    TPkStreams streams;
    SmallVoiceMail(streams);
    streams.Compressed = compressed;
    streams.Encrypted = !key.empty();
    streams.Key = key;
    ByteStream file;
    streams.SaveToStream(file);
    return file;
}

TEST(ContainerRoundTrip, CompressedAndEncipheredForms) {
    TPkStreams reference;
    SmallVoiceMail(reference);
    for (bool compressed : {false, true}) {
        for (const std::string key : {"", "k", kGoldenKey}) {
            const ByteStream file = Saved(compressed, key);
            EXPECT_EQ(file[0], compressed ? '&' : ' ');
            EXPECT_EQ(file[1], key.empty() ? ' ' : '*');
            TPkStreams loaded;
            loaded.Compressed = !compressed;
            loaded.Key = key;
            loaded.LoadFromStream(file);
            ExpectVoiceMail(loaded, reference);
            EXPECT_EQ(loaded.Compressed, compressed);
            EXPECT_EQ(loaded.Encrypted, !key.empty());
        }
    }
}

TEST(ContainerRoundTrip, CompressedPayloadIsTheCodecOfTheImage) {
    const ByteStream plain = ReadData("valid/mvm-plain.mvm");
    ByteStream expected{'&', ' '};
    CompressStream(plain.data() + 2, plain.size() - 2, expected);
    EXPECT_EQ(Saved(true, ""), expected);
}

// Every proper prefix of a voice mail is damaged, whichever form it has.
TEST(ContainerDamage, EveryTruncationFails) {
    TPkStreams reference;
    SmallVoiceMail(reference);
    for (bool compressed : {false, true}) {
        for (const std::string key : {"", kGoldenKey}) {
            const ByteStream file = Saved(compressed, key);
            for (size_t size = 0; size < file.size(); ++size) {
                TPkStreams loaded;
                const Outcome outcome =
                    TryLoad(ByteStream(file.begin(), file.begin() + size), key, &loaded);
                // Cutting only into an enciphered file's padding can leave the image whole.
                if (outcome == Outcome::Loaded && !key.empty() && size + 8 >= file.size()) {
                    ExpectVoiceMail(loaded, reference);
                    continue;
                }
                EXPECT_NE(outcome, Outcome::Loaded)
                    << "prefix " << size << " compressed " << compressed << " key " << key;
            }
        }
    }
}

TEST(ContainerDamage, BitFlipsNeverCrash) {
    std::mt19937 random(11);
    for (bool compressed : {false, true}) {
        for (const std::string key : {"", kGoldenKey}) {
            const ByteStream file = Saved(compressed, key);
            for (int trial = 0; trial < 300; ++trial) {
                ByteStream damaged = file;
                for (int flips = 1 + int(random() % 3); flips > 0; --flips)
                    damaged[random() % damaged.size()] ^= uint8_t(1u << (random() % 8));
                TryLoad(damaged, key);
            }
        }
    }
}

TEST(ContainerDamage, GarbageAfterEachFlagPairFails) {
    std::mt19937 random(5);
    for (const char* flags : {"  ", "& ", " *", "&*"}) {
        for (size_t size : {1, 7, 8, 12, 64, 1000}) {
            ByteStream file(flags, flags + 2);
            for (size_t i = 0; i < size; ++i) file.push_back(uint8_t(random()));
            EXPECT_NE(TryLoad(file, "k"), Outcome::Loaded) << flags << size;
        }
    }
}

}  // namespace
