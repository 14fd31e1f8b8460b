// The ".mvm" container: byte layout, entry order, load sequence and properties.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include <cstring>

#include "PkStreamCol.h"
#include "PkStreamFiles.h"
#include "TestFiles.h"

using namespace murmel;

namespace {

ByteStream Bytes(const std::string& text) { return ByteStream(text.begin(), text.end()); }
std::string Text(const ByteStream& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string Le(uint32_t value, int size) {
    std::string out;
    for (int i = 0; i < size; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
    return out;
}

// A plain image built by hand: signature, count, then (name, data) in the order given.
std::string Image(const std::vector<std::pair<std::string, std::string>>& entries,
                  std::optional<int32_t> count = std::nullopt) {
    std::string image = "\x01\x02\x03\x04\x05\x06\x07\x08";
    image += Le(static_cast<uint32_t>(count.value_or(int32_t(entries.size()))), 4);
    for (const auto& [name, data] : entries)
        image += Le(uint32_t(name.size()), 2) + name + Le(uint32_t(data.size()), 4) + data;
    return image;
}

ByteStream Save(const TPkStreams& streams) {
    ByteStream out;
    streams.SaveToStream(out);
    return out;
}

TPkStreams& Plain(TPkStreams& streams) {
    streams.Compressed = false;
    return streams;
}

TEST(ContainerLayout, EmptyContainerIsFlagsAndTwelveBytes) {
    TPkStreams streams;
    EXPECT_EQ(Text(Save(Plain(streams))), "  " + Image({}));
}

TEST(ContainerLayout, VoiceMailEntriesAreSortedInTheFile) {
    TPkStreams streams;
    streams.AddStream("Mp3File", Bytes("RIFF....WAVE"));
    streams.AddStream("BGMusic", Bytes("MThd"));
    streams.AddStream("CtrInfo", Bytes("[0]\r\nTime=0\r\nVolume=8\r\n"));
    EXPECT_EQ(Text(Save(Plain(streams))),
              "  " + Image({{"BGMusic", "MThd"},
                            {"CtrInfo", "[0]\r\nTime=0\r\nVolume=8\r\n"},
                            {"Mp3File", "RIFF....WAVE"}}));
    EXPECT_EQ(streams.Names(), (std::vector<std::string>{"BGMusic", "CtrInfo", "Mp3File"}));
}

TEST(ContainerLayout, EmptyEntryHasSizeZeroAndComesBack) {
    TPkStreams streams;
    streams.AddStream("Empty", ByteStream{});
    const ByteStream file = Save(Plain(streams));
    EXPECT_EQ(Text(file), "  " + Image({{"Empty", ""}}));
    TPkStreams loaded;
    loaded.LoadFromStream(file);
    ASSERT_EQ(loaded.Count(), 1u);
    EXPECT_TRUE(loaded.Data(0).empty());
}

TEST(ContainerEntries, NamesCompareWithoutAsciiCaseAndKeepTheFirst) {
    TPkStreams streams;
    streams.AddStream("Mp3File", Bytes("voice"));
    streams.AddStream("mp3file", Bytes("other"));
    ASSERT_EQ(streams.Count(), 1u);
    ByteStream found;
    EXPECT_TRUE(streams.GetStream("MP3FILE", found));
    EXPECT_EQ(Text(found), "voice");
    EXPECT_EQ(streams.Name(0), "Mp3File");
}

TEST(ContainerEntries, TrailBytesOfChineseNamesAreNotFolded) {
    // C4 41 and C4 61 are two different characters; only a byte-wise fold merges them.
    TPkStreams streams;
    streams.AddStream("\xC4\x61", Bytes("second"));
    streams.AddStream("\xC4\x41", Bytes("first"));
    streams.AddStream("b", Bytes("b"));
    streams.AddStream("A", Bytes("a"));
    EXPECT_EQ(streams.Names(), (std::vector<std::string>{"A", "b", "\xC4\x41", "\xC4\x61"}));
    ByteStream found;
    streams.GetStream("\xC4\x61", found);
    EXPECT_EQ(Text(found), "second");
}

TEST(ContainerEntries, AddCopiesAndIgnoresEmptyNames) {
    TPkStreams streams;
    ByteStream source = Bytes("abc");
    streams.AddStream("x", source);
    source[0] = 'z';
    streams.AddStream("", source);
    EXPECT_EQ(Text(*streams.Find("X")), "abc");
    EXPECT_EQ(streams.Count(), 1u);
    // A stream source is copied from its first byte, whatever its position.
    std::istringstream input("whole stream");
    input.seekg(6);
    streams.AddStream("s", input);
    EXPECT_EQ(Text(*streams.Find("s")), "whole stream");
    EXPECT_THROW(streams.AddStream(std::string(65536, 'n'), source), std::length_error);
    EXPECT_EQ(streams.Count(), 2u);
}

TEST(ContainerEntries, GetStreamAppendsAndRewinds) {
    TPkStreams streams;
    streams.AddStream("a", Bytes("123"));
    ByteStream destination = Bytes("xy");
    EXPECT_TRUE(streams.GetStream("A", destination));
    EXPECT_EQ(Text(destination), "xy123");
    EXPECT_FALSE(streams.GetStream("missing", destination));
    EXPECT_FALSE(streams.GetStream("", destination));
    EXPECT_EQ(Text(destination), "xy123");

    std::stringstream out;
    out << "head";
    EXPECT_TRUE(streams.GetStream("a", out));
    EXPECT_EQ(out.tellp(), 0);
    EXPECT_EQ(out.str(), "head123");
    std::stringstream empty;
    EXPECT_FALSE(streams.GetStream("missing", empty));
    EXPECT_EQ(empty.tellp(), 0);
    EXPECT_EQ(empty.str(), "");
}

TEST(ContainerLoad, EntriesComeBackWhateverTheirOrderAndDuplicatesKeepTheFirst) {
    const std::string file = "  " + Image({{"Zeta", "z"},
                                           {"alpha", "first"},
                                           {"ALPHA", "second"},
                                           {"", "nameless"},
                                           {"Beta", std::string(300, '\0')}});
    TPkStreams streams;
    streams.LoadFromStream(Bytes(file));
    EXPECT_EQ(streams.Names(), (std::vector<std::string>{"", "alpha", "Beta", "Zeta"}));
    EXPECT_EQ(Text(streams.Data(1)), "first");
    EXPECT_EQ(streams.Data(2), ByteStream(300, 0));
    EXPECT_EQ(Text(streams.Data(0)), "nameless");
}

TEST(ContainerLoad, OnlyAmpersandAndStarAreFlags) {
    TPkStreams streams;
    streams.LoadFromStream(Bytes("X!" + Image({{"a", "1"}})));
    EXPECT_FALSE(streams.Compressed);
    EXPECT_FALSE(streams.Encrypted);
    EXPECT_EQ(streams.Count(), 1u);
}

TEST(ContainerLoad, ReplacesEntriesAndSetsPropertiesOnSuccess) {
    TPkStreams streams;
    streams.AddStream("old", Bytes("x"));
    streams.Encrypted = true;
    streams.Key = "kept";
    streams.LoadFromStream(Bytes("  " + Image({{"new", "y"}})));
    EXPECT_EQ(streams.Names(), (std::vector<std::string>{"new"}));
    EXPECT_FALSE(streams.Compressed);
    EXPECT_FALSE(streams.Encrypted);
    EXPECT_EQ(streams.Key, "kept");
}

TEST(ContainerLoad, CorruptFileKeepsEntriesAndPropertiesAndCallsOnCorrupt) {
    TPkStreams streams;
    streams.AddStream("old", Bytes("x"));
    streams.Compressed = false;
    streams.Encrypted = true;
    streams.Key = "k";
    int corrupt = 0;
    streams.OnCorrupt = [&](TPkStreams& sender) {
        EXPECT_EQ(&sender, &streams);
        ++corrupt;
    };
    for (const std::string& file : {std::string(""), std::string(" "), std::string("  \x01\x02"),
                                    "  " + Image({}).replace(7, 1, "\x09")}) {
        try {
            streams.LoadFromStream(Bytes(file));
            ADD_FAILURE() << "loaded a corrupt file";
        } catch (const ECorruptFile& error) {
            EXPECT_STREQ(error.what(), "File is corrupt.");
        }
    }
    EXPECT_EQ(corrupt, 4);
    EXPECT_EQ(streams.Names(), (std::vector<std::string>{"old"}));
    EXPECT_FALSE(streams.Compressed);
    EXPECT_TRUE(streams.Encrypted);
    EXPECT_EQ(streams.Key, "k");
}

TEST(ContainerLoad, DataRunningOutIsTheReadErrorAndKeepsWhatWasRead) {
    std::string file = "  " + Image({{"a", "first"}, {"b", "second"}});
    file.resize(file.size() - 1);
    TPkStreams streams;
    streams.Key = "k";
    int corrupt = 0;
    streams.OnCorrupt = [&](TPkStreams&) { ++corrupt; };
    try {
        streams.LoadFromStream(Bytes(file));
        ADD_FAILURE() << "loaded a truncated file";
    } catch (const EReadError& error) {
        EXPECT_STREQ(error.what(), "Stream read error");
    }
    EXPECT_EQ(corrupt, 0);
    EXPECT_EQ(streams.Names(), (std::vector<std::string>{"a"}));
    EXPECT_TRUE(streams.Compressed);  // unchanged
}

TEST(ContainerLoad, DamagedEntryListsFailSmall) {
    // A count far beyond the data, a name past the end, negative count and size.
    EXPECT_THROW(TPkStreams().LoadFromStream(Bytes("  " + Image({{"a", "1"}}, 0x7FFFFFFF))),
                 EReadError);
    std::string name_past_end = "  " + Image({}, 1) + Le(60000, 2) + "abc";
    EXPECT_THROW(TPkStreams().LoadFromStream(Bytes(name_past_end)), EReadError);
    std::string size_past_end = "  " + Image({}, 1) + Le(1, 2) + "a" + Le(0x7FFFFFFF, 4) + "x";
    EXPECT_THROW(TPkStreams().LoadFromStream(Bytes(size_past_end)), EReadError);
    EXPECT_THROW(TPkStreams().LoadFromStream(Bytes("  " + Image({}, -1))), ECorruptFile);
    std::string negative_size = "  " + Image({}, 1) + Le(1, 2) + "a" + Le(0xFFFFFFF0, 4);
    EXPECT_THROW(TPkStreams().LoadFromStream(Bytes(negative_size)), ECorruptFile);
}

TEST(ContainerCipher, EncryptedWithoutKeyIsSavedPlain) {
    TPkStreams streams;
    streams.AddStream("a", Bytes("1"));
    Plain(streams).Encrypted = true;
    EXPECT_EQ(Text(Save(streams)), "  " + Image({{"a", "1"}}));
}

TEST(ContainerCipher, EncipheredRoundTripWithKeyAndAskedKey) {
    TPkStreams streams;
    streams.AddStream("Mp3File", Bytes("voice"));
    Plain(streams).Encrypted = true;
    streams.Key = "secret";
    const ByteStream file = Save(streams);
    ASSERT_EQ(file[0], ' ');
    ASSERT_EQ(file[1], '*');
    EXPECT_EQ((file.size() - 2) % 8, 0u);

    TPkStreams same_key;
    same_key.Key = "secret";
    same_key.LoadFromStream(file);
    EXPECT_TRUE(same_key.Encrypted);
    EXPECT_EQ(Text(*same_key.Find("mp3file")), "voice");

    TPkStreams asking;
    asking.Key = "ignored";
    int asked = 0;
    asking.OnAskForKey = [&](TPkStreams& sender) {
        EXPECT_EQ(&sender, &asking);
        ++asked;
        return std::string("secret");
    };
    asking.LoadFromStream(file);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(asking.Key, "secret");
    EXPECT_EQ(asking.Count(), 1u);
}

TEST(ContainerCipher, WrongOrMissingKeyIsCorrupt) {
    TPkStreams streams;
    streams.AddStream("Mp3File", Bytes("voice mail content"));
    Plain(streams).Encrypted = true;
    streams.Key = "secret";
    const ByteStream file = Save(streams);
    TPkStreams reader;
    int corrupt = 0;
    reader.OnCorrupt = [&](TPkStreams&) { ++corrupt; };
    EXPECT_THROW(reader.LoadFromStream(file), ECorruptFile);  // empty key
    reader.Key = "wrong";
    EXPECT_THROW(reader.LoadFromStream(file), ECorruptFile);
    EXPECT_EQ(corrupt, 2);
    EXPECT_EQ(reader.Key, "wrong");
    EXPECT_FALSE(reader.Encrypted);
}

TEST(ContainerCipher, RejectedKeyIsRefusedOnSavingAndStillReads) {
    TPkStreams streams;
    streams.AddStream("a", Bytes("1"));
    Plain(streams).Encrypted = true;
    streams.Key = "key2031";  // its schedule is rejected: the payload would stay plain
    ByteStream refused;
    EXPECT_THROW(streams.SaveToStream(refused), std::invalid_argument);
    EXPECT_TRUE(refused.empty());
    // Files written before the refusal: flagged enciphered, payload in clear.
    const ByteStream file = Bytes(" *" + Image({{"a", "1"}}));
    TPkStreams reader;
    reader.Key = "key2031";
    reader.LoadFromStream(file);
    EXPECT_TRUE(reader.Encrypted);
    EXPECT_EQ(reader.Names(), (std::vector<std::string>{"a"}));
}

TEST(ContainerFiles, SaveAndLoadThroughFiles) {
    const std::string folder = test::FreshFolder("container-files");
    TPkStreams streams;
    streams.AddStream("a", Bytes("1"));
    Plain(streams).SaveToFile(folder + "a.mvm");
    EXPECT_EQ(test::ReadFile(folder + "a.mvm"), "  " + Image({{"a", "1"}}));
    TPkStreams loaded;
    loaded.LoadFromFile(folder + "a.mvm");
    EXPECT_EQ(loaded.Names(), (std::vector<std::string>{"a"}));

    try {
        loaded.LoadFromFile(folder + "missing.mvm");
        ADD_FAILURE();
    } catch (const EFOpenError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot open file \"" + folder + "missing.mvm\". No such file or directory");
    }
    EXPECT_THROW(loaded.LoadFromFile(folder), EFOpenError);
    EXPECT_EQ(loaded.Count(), 1u);
    // A folder where the file should go refuses the write, also for root.
    std::filesystem::create_directory(folder + "taken.mvm");
    EXPECT_THROW(streams.SaveToFile(folder + "taken.mvm"), EFCreateError);
}

TEST(ContainerFiles, StreamOverloadsReadFromTheStart) {
    TPkStreams streams;
    streams.AddStream("a", Bytes("1"));
    std::stringstream file;
    file << "junk";
    Plain(streams).SaveToStream(file);
    EXPECT_EQ(file.str(), "junk  " + Image({{"a", "1"}}));
    std::stringstream clean("  " + Image({{"b", "2"}}));
    clean.seekg(5);
    TPkStreams loaded;
    loaded.LoadFromStream(clean);
    EXPECT_EQ(loaded.Names(), (std::vector<std::string>{"b"}));
}

}  // namespace

namespace {

// What the streamed reader is told, as (name, data) in file order.
struct Collected : PackReader {
    void EntryBegins(std::string_view name, uint32_t) override { entries.push_back({std::string(name), ""}); }
    void EntryData(const uint8_t* data, size_t size) override {
        entries.back().second.append(reinterpret_cast<const char*>(data), size);
    }
    void EntryEnds() override {}
    std::vector<std::pair<std::string, std::string>> entries;
};

}  // namespace

// Written and read piece by piece, the file is byte for byte the in-memory one,
// compressed or not, with names out of order, repeated and in other cases.
TEST(ContainerStreamed, SameBytesAsInMemoryBothWays) {
    std::string voice(200000, '\0');
    for (size_t i = 0; i < voice.size(); ++i) voice[i] = static_cast<char>((i * 7919) >> 5);
    const std::vector<std::pair<std::string, std::string>> given = {
        {"Mp3File", voice}, {"BGMusic", "MThd tune"}, {"mp3file", "second"}, {"CtrInfo", ""}};
    for (bool compressed : {true, false}) {
        TPkStreams streams;
        streams.Compressed = compressed;
        std::vector<PackSource> sources;
        std::vector<size_t> read(given.size(), 0);
        for (size_t i = 0; i < given.size(); ++i) {
            streams.AddStream(given[i].first, Bytes(given[i].second));
            sources.push_back({given[i].first, given[i].second.size(),
                               [&, i](uint8_t* out, size_t count) {
                                   const size_t n = std::min<size_t>(
                                       std::min<size_t>(count, 777), given[i].second.size() - read[i]);
                                   std::memcpy(out, given[i].second.data() + read[i], n);
                                   read[i] += n;
                                   return n;
                               }});
        }
        ByteStream streamed;
        SavePackedStreams(sources, compressed, [&](const uint8_t* data, size_t size) {
            streamed.insert(streamed.end(), data, data + size);
        });
        ASSERT_EQ(streamed, Save(streams)) << compressed;

        Collected collected;
        size_t at = 0;
        LoadPackedStreams(
            [&](uint8_t* out, size_t count) {
                const size_t n = std::min<size_t>(std::min<size_t>(count, 1000), streamed.size() - at);
                std::memcpy(out, streamed.data() + at, n);
                at += n;
                return n;
            },
            streamed.size(), collected);
        TPkStreams loaded;
        loaded.LoadFromStream(streamed);
        ASSERT_EQ(collected.entries.size(), loaded.Count());
        for (size_t i = 0; i < loaded.Count(); ++i) {
            EXPECT_EQ(collected.entries[i].first, loaded.Name(i));
            EXPECT_EQ(collected.entries[i].second, Text(loaded.Data(i)));
        }
    }
}
