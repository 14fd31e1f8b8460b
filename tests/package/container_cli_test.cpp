// murmel-cli's package commands, run as a user would run them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "PkStreamCol.h"
#include "TestFiles.h"

using namespace murmel;
namespace fs = std::filesystem;

namespace {

struct CliRun {
    int status;
    std::string out, err;
};

// Arguments are quoted with single quotes; the tests pass none that hold one.
CliRun Cli(const std::string& arguments) {
    const std::string folder = TempFolder();
    const std::string command = std::string("'") + MURMEL_PROGRAM_DIR + "murmel-cli' " + arguments +
                                " >'" + folder + "cli.out' 2>'" + folder + "cli.err'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(folder + "cli.out"),
            test::ReadFile(folder + "cli.err")};
}

class PackageCommands : public testing::Test {
  protected:
    void SetUp() override {
        folder = test::FreshFolder("package-cli");
        test::WriteFile(folder + "voice.wav",
                        std::string("RIFF\x10\0\0\0WAVEdata", 16) + std::string(2996, '\x5a'));
        test::WriteFile(folder + "tune.mid", std::string("MThd\0\0\0\x06", 8));
        test::WriteFile(folder + "schedule.ctr", "[0]\r\nTime=0\r\nVolume=8\r\n");
    }
    std::string Pack(const std::string& options) {
        return "pack '" + folder + "mail.mvm' Mp3File='" + folder + "voice.wav' BGMusic='" +
               folder + "tune.mid' CtrInfo='" + folder + "schedule.ctr' " + options;
    }
    void ExpectUnpacked(const std::string& into) {
        EXPECT_EQ(test::ReadFile(into + "/Mp3File"), test::ReadFile(folder + "voice.wav"));
        EXPECT_EQ(test::ReadFile(into + "/BGMusic"), test::ReadFile(folder + "tune.mid"));
        EXPECT_EQ(test::ReadFile(into + "/CtrInfo"), test::ReadFile(folder + "schedule.ctr"));
    }
    std::string folder;
};

TEST_F(PackageCommands, PlainAndEncipheredVoiceMailsUnpackByteIdentical) {
    ASSERT_EQ(Cli(Pack("--plain")).status, 0);
    CliRun list = Cli("list '" + folder + "mail.mvm'");
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("compressed: no\nencrypted: no\nentries: 3\n"), std::string::npos);
    EXPECT_LT(list.out.find("BGMusic"), list.out.find("CtrInfo"));
    EXPECT_NE(list.out.find("      3012  Mp3File"), std::string::npos);
    ASSERT_EQ(Cli("unpack '" + folder + "mail.mvm' '" + folder + "out'").status, 0);
    ExpectUnpacked(folder + "out");

    ASSERT_EQ(Cli(Pack("--plain --key secret")).status, 0);
    CliRun wrong = Cli("unpack '" + folder + "mail.mvm' '" + folder + "wrong' --key other");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.err, "File is corrupt.\n");
    EXPECT_FALSE(fs::exists(folder + "wrong"));
    ASSERT_EQ(Cli("unpack '" + folder + "mail.mvm' '" + folder + "keyed' --key secret").status, 0);
    ExpectUnpacked(folder + "keyed");
}

TEST_F(PackageCommands, CompressedVoiceMailUnpacksByteIdentical) {
    ASSERT_EQ(Cli(Pack("")).status, 0);
    EXPECT_EQ(test::ReadFile(folder + "mail.mvm").substr(0, 2), "& ");
    ASSERT_EQ(Cli("unpack '" + folder + "mail.mvm' '" + folder + "out'").status, 0);
    ExpectUnpacked(folder + "out");
    ASSERT_EQ(Cli("compress '" + folder + "voice.wav' '" + folder + "voice.lh5'").status, 0);
    ASSERT_EQ(Cli("decompress '" + folder + "voice.lh5' '" + folder + "voice.out'").status, 0);
    EXPECT_EQ(test::ReadFile(folder + "voice.out"), test::ReadFile(folder + "voice.wav"));
}

TEST_F(PackageCommands, ChineseNamesTravelAsGbk) {
    // "背景" in UTF-8 is stored as GBK B1 B3 BE B0.
    ASSERT_EQ(Cli("pack '" + folder + "names.mvm' --plain '背景=" + folder + "tune.mid'").status,
              0);
    TPkStreams streams;
    streams.LoadFromFile(folder + "names.mvm");
    EXPECT_EQ(streams.Names(), (std::vector<std::string>{"\xB1\xB3\xBE\xB0"}));
    EXPECT_NE(Cli("list '" + folder + "names.mvm'").out.find("  背景\n"), std::string::npos);
    ASSERT_EQ(Cli("unpack '" + folder + "names.mvm' '" + folder + "out'").status, 0);
    EXPECT_EQ(test::ReadFile(folder + "out/背景"), test::ReadFile(folder + "tune.mid"));
}

TEST_F(PackageCommands, UnsafeEntryNamesAreRefusedBeforeAnythingIsWritten) {
    for (const std::string name : {"../x", "a/b", "..", ".", ""}) {
        TPkStreams streams;
        streams.Compressed = false;
        streams.AddStream("Aaa", ByteStream{1});
        ByteStream file;
        streams.SaveToStream(file);
        // Append the unsafe entry by hand: AddStream ignores empty names.
        file[10] = 2;
        file.push_back(uint8_t(name.size()));
        file.push_back(0);
        file.insert(file.end(), name.begin(), name.end());
        for (uint8_t byte : {uint8_t(1), uint8_t(0), uint8_t(0), uint8_t(0), uint8_t('x')})
            file.push_back(byte);
        test::WriteFile(folder + "bad.mvm", std::string(file.begin(), file.end()));
        CliRun run = Cli("unpack '" + folder + "bad.mvm' '" + folder + "deep/out'");
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_NE(run.err.find("unsafe entry name"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(folder + "deep")) << name;
        EXPECT_FALSE(fs::exists(folder + "deep/x"));
    }
}

TEST_F(PackageCommands, ErrorsAndUsage) {
    CliRun missing = Cli("pack '" + folder + "m.mvm' A='" + folder + "missing'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "Cannot open file \"" + folder + "missing\". No such file or directory\n");
    EXPECT_FALSE(fs::exists(folder + "m.mvm"));
    EXPECT_EQ(Cli("pack '" + folder + "m.mvm' noequals").status, 2);
    EXPECT_EQ(Cli("pack '" + folder + "m.mvm'").status, 2);
    EXPECT_EQ(Cli("unpack onlyone").status, 2);
    EXPECT_EQ(Cli("list").status, 2);
    CliRun corrupt =
        Cli("list '" + std::string(MURMEL_TEST_DATA) + "/invalid/mvm-bad-signature.mvm'");
    EXPECT_EQ(corrupt.status, 1);
    EXPECT_EQ(corrupt.err, "File is corrupt.\n");
    CliRun truncated =
        Cli("list '" + std::string(MURMEL_TEST_DATA) + "/invalid/mvm-truncated-plain.mvm'");
    EXPECT_EQ(truncated.status, 1);
    EXPECT_EQ(truncated.err, "Stream read error\n");
    test::WriteFile(folder + "junk", "12");
    CliRun junk = Cli("decompress '" + folder + "junk' '" + folder + "junk.out'");
    EXPECT_EQ(junk.status, 1);
    EXPECT_EQ(junk.err, "Compressed file is corrupt\n");
}

}  // namespace
