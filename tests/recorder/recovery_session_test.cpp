// The recording session keeps a journal beside every recording while it runs:
// gone after a save or a cancel, kept when the window closes mid-recording (the
// track finalised), so the next start can offer the recording back.
#include <sys/wait.h>
#include <unistd.h>

#include "PkStreamCol.h"
#include "RecordingRecovery.h"
#include "SessionFixture.h"
#include "WaveTrackRepair.h"

namespace murmel::test {
namespace {

namespace fs = std::filesystem;

RecordingJournal JournalOf(const RecordingSession& session) {
    return RecordingJournal::FromText(ReadFile(JournalPathFor(session.TempBaseName())));
}

// As if the recorder that wrote the journal had died since.
void WriterGone(const std::string& base) {
    RecordingJournal journal = RecordingJournal::FromText(ReadFile(JournalPathFor(base)));
    pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    journal.writer.pid = child;
    WriteRecordingJournal(journal);
}

TEST_F(SessionTest, TheJournalLivesFromTheStartToTheSave) {
    session->cbRecWithMusicClick(true);
    user.musicAnswers = {tune};
    session->bitbtnRecClick();
    ASSERT_TRUE(session->Recording());
    RecordingJournal journal = JournalOf(*session);
    EXPECT_EQ(journal.program, "Murmel");
    EXPECT_EQ(journal.track, session->VoiceTrackPath());
    EXPECT_TRUE(journal.withMusic);
    EXPECT_EQ(journal.tune, tune);
    EXPECT_EQ(journal.schedule, session->SchedulePath());
    EXPECT_TRUE(journal.target.empty());
    EXPECT_TRUE(IsProcessRunning(journal.writer));
    EXPECT_TRUE(FindOrphanRecordings(TempFolder()).orphans.empty()) << "our own recording";

    device.Deliver(300);
    session->bitbtnRecClick();
    EXPECT_FALSE(fs::exists(JournalPathFor(session->TempBaseName())));
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(SessionTest, ACancelledSaveRemovesTheJournalWithTheRecording) {
    Setting("AutoNameFile", "AutoName", "NO");
    session->bitbtnRecClick();
    ASSERT_TRUE(fs::exists(JournalPathFor(session->TempBaseName())));
    session->bitbtnRecClick();  // the save question is cancelled
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(SessionTest, ClosingMidRecordingKeepsAFinalisedTrackForTheNextStart) {
    session->cbRecWithMusicClick(true);
    user.musicAnswers = {tune};
    session->bitbtnRecClick();
    device.Deliver(1000);
    const std::string base = session->TempBaseName();
    session->FormClose();
    EXPECT_TRUE(attachments.Items().empty()) << "closing saves nothing by itself";
    ASSERT_TRUE(fs::exists(JournalPathFor(base)));
    const std::string track = ReadFile(base + ".mp3");
    RepairedWaveTrack finished =
        RepairWaveTrack(reinterpret_cast<const uint8_t*>(track.data()), track.size());
    EXPECT_TRUE(finished.wasFinalised);

    WriterGone(base);
    RecoveryScan scan = FindOrphanRecordings(TempFolder());
    ASSERT_EQ(scan.orphans.size(), 1u);
    EXPECT_NEAR(scan.orphans[0].lengthMs, 1000, 100);
    RecoveredRecording saved = RecoverRecording(scan.orphans[0], folder);
    EXPECT_EQ(fs::path(saved.path).extension(), ".mvm");
    TPkStreams container;
    container.LoadFromFile(saved.path);
    EXPECT_EQ(container.Count(), 3u);
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(SessionTest, AFailedStartLeavesNoJournal) {
    device.present = false;
    EXPECT_ANY_THROW(session->bitbtnRecClick());
    for (const std::string& file : TempFiles())
        EXPECT_EQ(file.find(".journal"), std::string::npos) << file;
}

}  // namespace
}  // namespace murmel::test
