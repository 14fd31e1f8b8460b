// murmel-cli record with background music and slider moves: the recorder's session
// and saving code without a window.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "IniFile.h"
#include "PkStreamCol.h"
#include "TestFiles.h"

namespace murmel::test {
namespace {

struct CliRun {
    int status;
    std::string out, err;
};

CliRun Cli(const std::string& environment, const std::string& arguments) {
    std::string folder = FreshFolder("cli-run");
    std::string command = environment + " " MURMEL_PROGRAM_DIR "murmel-cli " + arguments + " >" +
                          folder + "out 2>" + folder + "err";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(folder + "out"),
            ReadFile(folder + "err")};
}

const char* const kDevices = "MURMEL_CAPTURE=tone:440 MURMEL_AUDIO=null";

TEST(RecordWithMusic, SliderMovesBecomeTheVoiceMailsSchedule) {
    const std::string folder = FreshFolder("record-music");
    CliRun run = Cli(kDevices, "record '" + folder +
                                   "mail.mvm' --seconds 1 --music " MURMEL_TEST_DATA
                                   "/valid/play-organ.mid --slider 500:60 --slider 200:79");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(folder + "mail.mvm\n"), std::string::npos) << run.out;
    TPkStreams mail;
    mail.LoadFromFile(folder + "mail.mvm");
    ASSERT_EQ(mail.Names(), (std::vector<std::string>{"BGMusic", "CtrInfo", "Mp3File"}));
    EXPECT_EQ(mail.Find("BGMusic")->size(),
              std::filesystem::file_size(MURMEL_TEST_DATA "/valid/play-organ.mid"));
    const ByteStream& ctr = *mail.Find("CtrInfo");
    WriteFile(folder + "schedule.Ctr", std::string(ctr.begin(), ctr.end()));
    IniFile schedule(folder + "schedule.Ctr");
    EXPECT_EQ(schedule.ReadText("0", "Time", "?"), "0");
    EXPECT_EQ(schedule.ReadText("0", "Volume", "?"), "8");
    // In time order, each logged at the first tick after its moment.
    EXPECT_EQ(schedule.ReadText("1", "Volume", "?"), "7");
    EXPECT_GE(schedule.ReadNumber("1", "Time", -1), 200);
    EXPECT_LT(schedule.ReadNumber("1", "Time", -1), 400);
    EXPECT_EQ(schedule.ReadText("2", "Volume", "?"), "6");
    EXPECT_GE(schedule.ReadNumber("2", "Time", -1), 500);
    EXPECT_FALSE(schedule.HasSection("3"));
    EXPECT_EQ(ReadFile(folder + "mail.mvm").size() > 0, true);
}

TEST(RecordWithMusic, WithoutOutputTheRecordingIsNamedInMyVoice) {
    CliRun run = Cli(kDevices, "record --seconds 0.3 --preset none");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string path = run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1);
    const std::string saved = path.substr(0, path.size() - 1);
    EXPECT_EQ(saved.rfind(MURMEL_PROGRAM_DIR "MyVoice/", 0), 0u) << saved;
    EXPECT_EQ(saved.substr(saved.size() - 4), ".mp3");
    EXPECT_EQ(ReadFile(saved).substr(0, 4), "RIFF");
    std::filesystem::remove(saved);
}

TEST(RecordWithMusic, OptionsAreChecked) {
    EXPECT_EQ(Cli(kDevices, "record x.mvm --slider 100:50").status, 2) << "slider without music";
    EXPECT_EQ(Cli(kDevices, "record x.mvm --music a.mid --slider 100").status, 2);
    EXPECT_EQ(Cli(kDevices, "record x.mvm --music a.mid --slider 100:101").status, 2);
    EXPECT_EQ(Cli(kDevices, "record x.mvm --music a.mid --slider -1:50").status, 2);
    CliRun help = Cli("", "record --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--music"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("MURMEL_CAPTURE"), std::string::npos) << help.out;
    EXPECT_EQ(Cli("", "list --help").status, 0);
}

TEST(RecordWithMusic, AnUnplayableTuneRecordsNothing) {
    const std::string folder = FreshFolder("record-bad-tune");
    WriteFile(folder + "bad.mid", "not a tune");
    CliRun run = Cli(kDevices,
                     "record '" + folder + "mail.mvm' --seconds 1 --music '" + folder + "bad.mid'");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(std::filesystem::exists(folder + "mail.mvm"));
}

}  // namespace
}  // namespace murmel::test
