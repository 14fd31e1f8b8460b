// Voice mails made to hurt: weak keys, size bombs, many entries, names with
// terminal escapes, and files and links in the way of saving and loading.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "Blowfish.h"
#include "EntryNames.h"
#include "HostileFiles.h"
#include "PkStreamCol.h"

using namespace murmel;
namespace fs = std::filesystem;

namespace {

std::string Le(uint32_t value, int size) {
    std::string out;
    for (int i = 0; i < size; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
    return out;
}

std::string PlainFile(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string file = "  \x01\x02\x03\x04\x05\x06\x07\x08" + Le(uint32_t(entries.size()), 4);
    for (const auto& [name, data] : entries)
        file += Le(uint32_t(name.size()), 2) + name + Le(uint32_t(data.size()), 4) + data;
    return file;
}

ByteStream Bytes(const std::string& text) { return ByteStream(text.begin(), text.end()); }

ByteStream ReadData(const std::string& name) {
    return Bytes(test::ReadFile(std::string(MURMEL_TEST_DATA) + "/" + name));
}

long PeakKilobytes() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(ContainerHostile, WeakKeyIsRefusedBeforeTheFileIsTouched) {
    ASSERT_TRUE(Blowfish("k69185").Rejected());
    const std::string folder = test::FreshFolder("weak-key");
    test::WriteFile(folder + "mail.mvm", "old voice mail");
    TPkStreams streams;
    streams.AddStream("Mp3File", Bytes("voice"));
    streams.Key = "k69185";
    streams.Encrypted = true;
    try {
        streams.SaveToFile(folder + "mail.mvm");
        ADD_FAILURE() << "saved in clear under a flag that says enciphered";
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find("choose another key"), std::string::npos);
    }
    EXPECT_EQ(test::ReadFile(folder + "mail.mvm"), "old voice mail");
    // An ordinary key still works.
    streams.Key = "k69186";
    streams.SaveToFile(folder + "mail.mvm");
    TPkStreams loaded;
    loaded.Key = "k69186";
    loaded.LoadFromFile(folder + "mail.mvm");
    EXPECT_TRUE(loaded.Encrypted);
    EXPECT_EQ(*loaded.Find("Mp3File"), Bytes("voice"));
}

TEST(ContainerHostile, SizeBombIsRefusedBeforeAllocating) {
    const long before = PeakKilobytes();
    TPkStreams streams;
    streams.AddStream("kept", Bytes("x"));
    try {
        streams.LoadFromStream(ReadData("invalid/mvm-size-bomb.mvm"));
        ADD_FAILURE();
    } catch (const ETooLarge& error) {
        // At most what 955 compressed bytes can hold when our own coder made them.
        EXPECT_EQ(std::string(error.what()), "Voice mail too large: 2000000025 bytes, at most " +
                                                 std::to_string(MaxImageFromCompressed(955)));
    }
    EXPECT_LT(PeakKilobytes() - before, 64 * 1024);
    EXPECT_EQ(streams.Names(), (std::vector<std::string>{"kept"}));  // nothing changed
}

TEST(ContainerHostile, ManyEntriesInReverseOrderLoadSortedWithFirstDuplicateKept) {
    std::vector<std::pair<std::string, std::string>> entries;
    constexpr int kCount = 80000;
    for (int i = kCount - 1; i >= 0; --i)
        entries.emplace_back("e" + std::to_string(100000 + i), "");
    entries.emplace_back("E100005", "second");  // same name, other case: the first one stays
    entries.emplace_back("e100007", "again");
    TPkStreams streams;
    streams.LoadFromStream(Bytes(PlainFile(entries)));
    ASSERT_EQ(streams.Count(), size_t(kCount));
    for (size_t i = 1; i < streams.Count(); ++i) ASSERT_LT(streams.Name(i - 1), streams.Name(i));
    EXPECT_EQ(streams.Name(5), "e100005");
    EXPECT_TRUE(streams.Find("e100007")->empty());
}

TEST(ContainerHostile, EntriesBeforeTruncationStaySortedAndUnique) {
    std::string file = PlainFile({{"c", "3"}, {"a", "1"}, {"A", "dup"}, {"b", "2"}});
    file.pop_back();  // "b" loses its byte
    TPkStreams streams;
    EXPECT_THROW(streams.LoadFromStream(Bytes(file)), EReadError);
    EXPECT_EQ(streams.Names(), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(*streams.Find("A"), Bytes("1"));
}

TEST(ContainerHostile, InputsThatAreNotRegularFilesAreRefused) {
    const std::string folder = test::FreshFolder("container-inputs");
    test::MakeFifo(folder + "fifo.mvm");  // no writer: must not hang
    TPkStreams streams;
    for (const std::string& path : {folder + "fifo.mvm", std::string("/dev/zero")}) {
        try {
            streams.LoadFromFile(path);
            ADD_FAILURE() << path;
        } catch (const EFOpenError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Cannot open file \"" + path + "\". not a regular file");
        }
    }
}

TEST(ContainerHostile, SavingReplacesAtomicallyAndNeverThroughALink) {
    const std::string folder = test::FreshFolder("container-save");
    test::WriteFile(folder + "secret.txt", "secret");
    ASSERT_EQ(symlink((folder + "secret.txt").c_str(), (folder + "mail.mvm").c_str()), 0);
    TPkStreams streams;
    streams.AddStream("Mp3File", Bytes("voice"));
    streams.SaveToFile(folder + "mail.mvm");
    EXPECT_EQ(test::ReadFile(folder + "secret.txt"), "secret");
    EXPECT_FALSE(fs::is_symlink(folder + "mail.mvm"));

    test::SmallDisk disk("container-disk", 64);
    MURMEL_NEED_SMALL_DISK(disk);
    test::WriteFile(disk.Path() + "mail.mvm", "old");
    TPkStreams big;
    big.Compressed = false;
    big.AddStream("Mp3File", ByteStream(200000, 7));
    try {
        big.SaveToFile(disk.Path() + "mail.mvm");
        ADD_FAILURE() << "a full disk went unnoticed";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot create file \"" + disk.Path() + "mail.mvm\". No space left on device");
    }
    EXPECT_EQ(test::ReadFile(disk.Path() + "mail.mvm"), "old");
}

TEST(ContainerHostile, StreamingDecompressionMatchesAndStaysSmall) {
    for (const char* name : {"valid/lh5-text.lh5", "valid/lh5-run.lh5", "valid/lh5-one-byte.lh5"}) {
        const ByteStream input = ReadData(name);
        ByteStream whole, streamed;
        DecompressStream(input.data(), input.size(), whole);
        DecompressStreamTo(input.data(), input.size(), [&](const uint8_t* data, size_t size) {
            streamed.insert(streamed.end(), data, data + size);
        });
        EXPECT_EQ(streamed, whole) << name;
    }
    const ByteStream bomb = ReadData("valid/lh5-zeros-64m.lh5");
    const long before = PeakKilobytes();
    uint64_t total = 0;
    bool zeros = true;
    DecompressStreamTo(bomb.data(), bomb.size(), [&](const uint8_t* data, size_t size) {
        for (size_t i = 0; i < size; ++i) zeros = zeros && data[i] == 0;
        total += size;
    });
    EXPECT_EQ(total, uint64_t(64) << 20);
    EXPECT_TRUE(zeros);
    EXPECT_LT(PeakKilobytes() - before, 8 * 1024);
    const ByteStream damaged = ReadData("invalid/lh5-truncated.lh5");
    EXPECT_THROW(DecompressStreamTo(damaged.data(), damaged.size(), [](const uint8_t*, size_t) {}),
                 ECorruptFile);
}

TEST(EntryNames, ControlCharactersAreShownEscapedAndRefusedAsFileNames) {
    EXPECT_EQ(EntryNameForDisplay("Mp3File"), "Mp3File");
    EXPECT_EQ(EntryNameForDisplay("a\x1b[2Jb\nc\x7f"), "a\\x1b[2Jb\\x0ac\\x7f");
    EXPECT_EQ(EntryNameForDisplay("back\\slash"), "back\\\\slash");
    EXPECT_EQ(EntryNameForDisplay("\xd3\xef\xd2\xf4"), "语音");  // GBK stays readable
    EXPECT_EQ(EntryFileName("\xd3\xef\xd2\xf4.mp3"), "语音.mp3");
    for (const char* name : {"", ".", "..", "a/b", "x..y", "line\nbreak", "esc\x1b", "tab\t"})
        EXPECT_THROW(EntryFileName(name), EUnsafeEntryName) << name;
    try {
        EntryFileName("evil\x1b]0;title\x07");
        ADD_FAILURE();
    } catch (const EUnsafeEntryName& error) {
        EXPECT_EQ(std::string(error.what()),
                  "unsafe entry name \"evil\\x1b]0;title\\x07\": nothing unpacked");
    }
}

}  // namespace
