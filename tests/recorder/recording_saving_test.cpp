// Saving a finished recording: automatic names, names by question, the clean-up of
// temporary files, and what a failure leaves behind.
#include <sys/stat.h>

#include <filesystem>

#include "PkStreamCol.h"
#include "RecordingSaver.h"
#include "SafeFile.h"
#include "SessionFixture.h"

namespace murmel::test {
namespace {

namespace fs = std::filesystem;

TEST_F(SessionTest, TwoAutomaticSavesInOneSecondKeepBothRecordings) {
    session->bitbtnRecClick();
    device.Deliver(100);
    session->bitbtnRecClick();
    const std::string first = ReadFile(MyVoice("2004_7_5_9_3_7.mp3"));
    session->bitbtnRecClick();
    device.Deliver(300);
    session->bitbtnRecClick();
    EXPECT_EQ(ReadFile(MyVoice("2004_7_5_9_3_7.mp3")), first);
    ASSERT_TRUE(fs::exists(MyVoice("2004_7_5_9_3_7_2.mp3")));
    EXPECT_NE(ReadFile(MyVoice("2004_7_5_9_3_7_2.mp3")), first);
    ASSERT_EQ(attachments.Count(), 2u);
    EXPECT_EQ(attachments.Items()[1].caption, "2004_7_5_9_3_7_2.mp3");
}

TEST_F(SessionTest, ANameByQuestionIsTakenExactlyAsTyped) {
    Setting("AutoNameFile", "AutoName", "NO");
    const std::string chosen = folder + "greeting";
    user.saveAnswers = {chosen};
    session->bitbtnRecClick();
    session->bitbtnRecClick();
    ASSERT_EQ(user.saveKinds.size(), 1u);
    EXPECT_EQ(user.saveKinds[0], SaveDialogKind::sdMp3);
    EXPECT_TRUE(fs::exists(chosen));
    EXPECT_FALSE(fs::exists(chosen + ".mp3"));
    EXPECT_EQ(attachments.Items().at(0).path, chosen);
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(SessionTest, AnyOtherNamingValueThanYesAsks) {
    Setting("AutoNameFile", "AutoName", "yes");
    session->bitbtnRecClick();
    session->bitbtnRecClick();  // cancelled
    EXPECT_EQ(user.saveKinds.size(), 1u);
    EXPECT_EQ(attachments.Count(), 0u);
    EXPECT_TRUE(TempFiles().empty()) << "a cancelled recording is discarded";
}

TEST_F(SessionTest, ACancelledVoiceMailRemovesBothTemporaryFiles) {
    Setting("AutoNameFile", "AutoName", "NO");
    session->cbRecWithMusicClick(true);
    user.musicAnswers = {tune};
    session->bitbtnRecClick();
    session->BGVolumeChange(70);
    session->bitbtnRecClick();
    EXPECT_EQ(user.saveKinds.at(0), SaveDialogKind::sdMVM);
    EXPECT_EQ(attachments.Count(), 0u);
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(SessionTest, TheSaveQuestionProposesAFreshNameAndAsksBeforeReplacing) {
    Setting("AutoNameFile", "AutoName", "NO");
    const std::string chosen = folder + "greeting.mp3";
    WriteFile(chosen, "an earlier recording");
    // Typed over an existing file: declined, asked again on that name, then agreed.
    user.saveAnswers = {chosen, chosen};
    user.replaceAnswers = {false, true};
    session->bitbtnRecClick();
    session->bitbtnRecClick();
    EXPECT_EQ(user.saveProposals.at(0), MyVoice("2004_7_5_9_3_7.mp3"));
    EXPECT_EQ(user.saveProposals.at(1), chosen);
    EXPECT_EQ(user.replaceQuestions, (std::vector<std::string>{chosen, chosen}));
    EXPECT_NE(ReadFile(chosen), "an earlier recording");

    // The next question opens in that folder on a new name, never on the last one.
    session->Now = [] {
        std::tm t{};
        t.tm_year = 104, t.tm_mon = 6, t.tm_mday = 5, t.tm_hour = 9, t.tm_min = 4;
        return t;
    };
    session->bitbtnRecClick();
    session->bitbtnRecClick();  // cancelled
    EXPECT_EQ(user.saveProposals.at(2), folder + "2004_7_5_9_4_0.mp3");
}

TEST_F(SessionTest, AFailedCopyIsReportedAndKeepsTheTemporaryTrack) {
    Setting("AutoNameFile", "AutoName", "NO");
    user.saveAnswers = {folder + "missing/greeting.mp3"};
    session->bitbtnRecClick();
    device.Deliver(100);
    const std::string track = session->VoiceTrackPath();
    EXPECT_THROW(session->bitbtnRecClick(), EFileError);
    EXPECT_FALSE(session->Recording());
    EXPECT_EQ(user.display.recCaption, "录音");
    EXPECT_TRUE(user.display.musicCheckEnabled);
    EXPECT_TRUE(fs::exists(track));
    EXPECT_EQ(attachments.Count(), 0u);
}

TEST_F(SessionTest, ARemovedTuneFailsThePackageAndKeepsTheRecording) {
    session->cbRecWithMusicClick(true);
    user.musicAnswers = {tune};
    session->bitbtnRecClick();
    const std::string track = session->VoiceTrackPath(), ctr = session->SchedulePath();
    fs::remove(tune);
    EXPECT_ANY_THROW(session->bitbtnRecClick());
    EXPECT_FALSE(session->Recording());
    EXPECT_TRUE(fs::exists(track));
    EXPECT_TRUE(fs::exists(ctr));
    EXPECT_EQ(attachments.Count(), 0u);
    EXPECT_FALSE(fs::exists(MyVoice("2004_7_5_9_3_7.mvm"))) << "no empty voice mail is left";

    // The container was emptied: the next voice mail holds only its own three entries.
    fs::copy_file(MURMEL_TEST_DATA "/valid/play-organ.mid", tune);
    session->bitbtnRecClick();
    session->bitbtnRecClick();
    TPkStreams mail;
    mail.LoadFromFile(MyVoice("2004_7_5_9_3_7.mvm"));
    EXPECT_EQ(mail.Count(), 3u);
    EXPECT_EQ(mail.Find("BGMusic")->size(), fs::file_size(tune));
}

TEST_F(SessionTest, AMissingFolderFailsTheVoiceMailAndKeepsTheRecording) {
    Setting("AutoNameFile", "AutoName", "NO");
    session->cbRecWithMusicClick(true);
    user.musicAnswers = {tune};
    user.saveAnswers = {folder + "missing/mail.mvm"};
    session->bitbtnRecClick();
    const std::string track = session->VoiceTrackPath();
    EXPECT_THROW(session->bitbtnRecClick(), EFCreateError);
    EXPECT_TRUE(fs::exists(track));
    EXPECT_EQ(attachments.Count(), 0u);
}

TEST(RecordingSaver, ReservedNamesNeverReplaceARecording) {
    const std::string folder = FreshFolder("names");
    EXPECT_EQ(ReserveAutomaticName(folder, "2004_7_5_9_3_7", ".mp3"),
              folder + "2004_7_5_9_3_7.mp3");
    EXPECT_EQ(ReserveAutomaticName(folder, "2004_7_5_9_3_7", ".mp3"),
              folder + "2004_7_5_9_3_7_2.mp3");
    EXPECT_EQ(ReserveAutomaticName(folder, "2004_7_5_9_3_7", ".mvm"),
              folder + "2004_7_5_9_3_7.mvm");
    // A dangling link at the name is taken, not followed.
    fs::create_symlink(folder + "nowhere", folder + "2004_7_5_9_3_8.mp3");
    EXPECT_EQ(ReserveAutomaticName(folder, "2004_7_5_9_3_8", ".mp3"),
              folder + "2004_7_5_9_3_8_2.mp3");
    EXPECT_FALSE(fs::exists(folder + "nowhere"));
}

TEST(RecordingSaver, ACopyReplacesTheChosenFileOrLeavesItWhole) {
    const std::string folder = FreshFolder("copy");
    WriteFile(folder + "track", "new sound");
    WriteFile(folder + "target", "old sound");
    CopyRecording(folder + "track", folder + "target");
    EXPECT_EQ(ReadFile(folder + "target"), "new sound");
    EXPECT_THROW(CopyRecording(folder + "gone", folder + "target"), EFileError);
    EXPECT_EQ(ReadFile(folder + "target"), "new sound");
    EXPECT_THROW(CopyRecording(folder + "track", folder), EFileError);
}

TEST(RecordingSaver, PackingEmptiesTheContainerOnSuccessAndFailure) {
    const std::string folder = FreshFolder("pack");
    WriteFile(folder + "voice", "RIFF");
    WriteFile(folder + "tune", "MThd");
    WriteFile(folder + "ctr", "[0]\r\nTime=0\r\nVolume=8\r\n");
    TPkStreams container;
    PackVoiceMailFiles(container, folder + "voice", folder + "tune", folder + "ctr",
                       folder + "a.mvm");
    EXPECT_EQ(container.Count(), 0u);
    TPkStreams loaded;
    loaded.LoadFromFile(folder + "a.mvm");
    EXPECT_EQ(loaded.Names(), (std::vector<std::string>{"BGMusic", "CtrInfo", "Mp3File"}));
    EXPECT_THROW(PackVoiceMailFiles(container, folder + "voice", folder + "gone", folder + "ctr",
                                    folder + "b.mvm"),
                 EFileError);
    EXPECT_EQ(container.Count(), 0u);
    EXPECT_FALSE(fs::exists(folder + "b.mvm"));
}

}  // namespace
}  // namespace murmel::test
