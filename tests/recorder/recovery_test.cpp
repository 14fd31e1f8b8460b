// Finding what a killed recorder left, and saving or discarding it: a running
// recorder's files are never taken, nothing is removed before it is saved, and a
// failed save leaves everything where it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "MMDSPObj.h"
#include "MMWave.h"
#include "PkStreamCol.h"
#include "RecordingRecovery.h"
#include "SafeFile.h"
#include "TestFiles.h"
#include "TimeStampName.h"
#include "WaveTrackRepair.h"

using namespace murmel;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kStarted = 1089018187;  // 5 July 2004, around 9:03 UTC

// A PCM track as a killed writer leaves it: the data on disk, sizes not yet written.
std::string UnfinishedTrack(size_t dataBytes) {
    std::string header = "RIFF" + std::string(4, '\0') + "WAVEfmt " + std::string("\x12\0\0\0", 4);
    const char format[18] = {1,          0, 2, 0, 0x44, (char)0xAC, 0, 0, 0x10,
                             (char)0xB1, 2, 0, 4, 0,    16,         0, 0, 0};
    header += std::string(format, 18) + "data" + std::string(4, '\0');
    std::string data(dataBytes, '\0');
    for (size_t i = 0; i < dataBytes; ++i) data[i] = static_cast<char>(i * 7);
    return header + data;
}

std::string Mended(const std::string& track) {
    RepairedWaveTrack mended =
        RepairWaveTrack(reinterpret_cast<const uint8_t*>(track.data()), track.size());
    return std::string(mended.bytes.begin(), mended.bytes.end());
}

// A process that has ended: its pid is free.
ProcessIdentity GoneProcess() {
    pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    ProcessIdentity gone = CurrentProcess();
    gone.pid = child;
    gone.startTicks = 1;
    return gone;
}

struct Fixture : ::testing::Test {
    std::string temp, program;
    void SetUp() override {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        temp = test::FreshFolder("recovery-temp-" + name);
        program = test::FreshFolder("recovery-program-" + name);
        fs::create_directories(program + "MyVoice");
    }
    // A recording's files and journal; the track is left unfinished.
    RecordingJournal Leave(const std::string& base, const ProcessIdentity& writer,
                           size_t dataBytes = 44100 * 4, bool music = false) {
        RecordingJournal journal =
            RecordingJournal::ForThisProcess("Murmel", temp + base, temp + base + ".mp3");
        journal.writer = writer;
        journal.started = kStarted;
        test::WriteFile(journal.base, "");
        test::WriteFile(journal.track, UnfinishedTrack(dataBytes));
        if (music) {
            journal.withMusic = true;
            journal.tune = program + "tune.mid";
            journal.schedule = journal.base + ".Ctr";
            test::WriteFile(journal.tune, "MThd tune");
            test::WriteFile(journal.schedule, "[0]\r\nTime=0\r\nVolume=8\r\n");
        }
        WriteRecordingJournal(journal);
        return journal;
    }
    std::string AutoName(const std::string& extension) {
        std::tm local{};
        const std::time_t started = kStarted;
        localtime_r(&started, &local);
        return program + "MyVoice/" + TimeStampName(local) + extension;
    }
};

using RecoveryScanTest = Fixture;
using RecoverTest = Fixture;

TEST_F(RecoveryScanTest, ALiveRecordersFilesAreNeverOffered) {
    RecordingJournal live = Leave("A1.tmp", CurrentProcess());
    // The journal of a process whose pid was taken over by a newer one is an orphan.
    ProcessIdentity reused = CurrentProcess();
    reused.startTicks += 1;
    Leave("B2.tmp", reused);
    RecoveryScan scan = FindOrphanRecordings(temp);
    ASSERT_EQ(scan.orphans.size(), 1u);
    EXPECT_EQ(scan.orphans[0].journal.base, temp + "B2.tmp");
    EXPECT_EQ(scan.orphans[0].lengthMs, 1000);
    EXPECT_EQ(scan.orphans[0].journal.started, kStarted);
    EXPECT_TRUE(fs::exists(JournalPathFor(live.base)));
}

TEST_F(RecoveryScanTest, ATrackSomeProcessHoldsOpenIsNotOffered) {
    RecordingJournal journal = Leave("C3.tmp", GoneProcess());
    int fd = open(journal.track.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(FindOrphanRecordings(temp).orphans.empty());
    close(fd);
    EXPECT_EQ(FindOrphanRecordings(temp).orphans.size(), 1u);
}

TEST_F(RecoveryScanTest, AJournalWithoutItsTrackIsCleanedUp) {
    RecordingJournal journal = Leave("D4.tmp", GoneProcess(), 100, true);
    fs::remove(journal.track);
    RecoveryScan scan = FindOrphanRecordings(temp);
    EXPECT_TRUE(scan.orphans.empty());
    ASSERT_EQ(scan.notes.size(), 1u);
    EXPECT_NE(scan.notes[0].find("without its track"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(temp)) << "journal, schedule and reservation removed";
    EXPECT_TRUE(fs::exists(journal.tune)) << "the tune is the user's";
}

TEST_F(RecoveryScanTest, ADamagedJournalIsReportedAndItsAudioStillOffered) {
    RecordingJournal journal = Leave("E5.tmp", GoneProcess());
    test::WriteFile(JournalPathFor(journal.base), "[MurmelRecording]\nPid=");
    RecoveryScan scan = FindOrphanRecordings(temp);
    ASSERT_EQ(scan.notes.size(), 1u);
    EXPECT_NE(scan.notes[0].find("damaged journal"), std::string::npos);
    ASSERT_EQ(scan.orphans.size(), 1u);
    EXPECT_TRUE(scan.orphans[0].journalDamaged);
    EXPECT_EQ(scan.orphans[0].journal.track, journal.track);
    EXPECT_EQ(scan.orphans[0].lengthMs, 1000);
    // Other users' files and names that merely look alike are not journals.
    test::WriteFile(temp + ".journal", "x");
    EXPECT_EQ(FindOrphanRecordings(temp).orphans.size(), 1u);
}

TEST_F(RecoverTest, APlainRecordingIsSavedAsAnMp3UnderAFreeName) {
    const std::string unfinished = UnfinishedTrack(44100 * 4 + 3);  // with part of a frame
    RecordingJournal first = Leave("F6.tmp", GoneProcess());
    test::WriteFile(first.track, unfinished);
    Leave("F7.tmp", GoneProcess());
    RecoveryScan scan = FindOrphanRecordings(temp);
    ASSERT_EQ(scan.orphans.size(), 2u);
    RecoveredRecording one = RecoverRecording(scan.orphans[0], program);
    RecoveredRecording two = RecoverRecording(scan.orphans[1], program);
    EXPECT_EQ(one.path, AutoName(".mp3"));
    EXPECT_EQ(two.path, AutoName("_2.mp3"));
    EXPECT_EQ(test::ReadFile(AutoName(".mp3")), Mended(unfinished));
    EXPECT_TRUE(fs::is_empty(temp)) << "track, journal and reservation removed after saving";
    EXPECT_TRUE(FindOrphanRecordings(temp).orphans.empty());
}

TEST_F(RecoverTest, ARecordingWithMusicBecomesAVoiceMailWithItsThreeEntries) {
    RecordingJournal journal = Leave("G8.tmp", GoneProcess(), 44100 * 4, true);
    const std::string track = test::ReadFile(journal.track);
    RecoveryScan scan = FindOrphanRecordings(temp);
    ASSERT_EQ(scan.orphans.size(), 1u);
    RecoveredRecording saved = RecoverRecording(scan.orphans[0], program);
    EXPECT_EQ(saved.path, AutoName(".mvm"));
    EXPECT_TRUE(saved.note.empty());
    TPkStreams container;
    container.LoadFromFile(saved.path);
    EXPECT_TRUE(container.Compressed);
    ASSERT_EQ(container.Names(), (std::vector<std::string>{"BGMusic", "CtrInfo", "Mp3File"}));
    const ByteStream* voice = container.Find("Mp3File");
    EXPECT_EQ(std::string(voice->begin(), voice->end()), Mended(track));
    const ByteStream* schedule = container.Find("CtrInfo");
    EXPECT_EQ(std::string(schedule->begin(), schedule->end()), "[0]\r\nTime=0\r\nVolume=8\r\n");
    EXPECT_TRUE(fs::exists(journal.tune));
    EXPECT_TRUE(fs::is_empty(temp));
}

TEST_F(RecoverTest, WithoutItsTuneTheVoiceIsStillSaved) {
    RecordingJournal journal = Leave("H9.tmp", GoneProcess(), 4000, true);
    fs::remove(journal.tune);
    RecoveredRecording saved = RecoverRecording(FindOrphanRecordings(temp).orphans.at(0), program);
    EXPECT_EQ(saved.path, AutoName(".mp3"));
    EXPECT_NE(saved.note.find("without music"), std::string::npos);
}

TEST_F(RecoverTest, ARecordingMeantForAPathGoesThereOnlyWhileItIsFree) {
    const std::string target = program + "chosen.mp3";
    for (const char* base : {"I1.tmp", "I2.tmp"}) {
        RecordingJournal journal = Leave(base, GoneProcess());
        journal.target = target;
        WriteRecordingJournal(journal);
    }
    const std::string unfinished = test::ReadFile(temp + "I1.tmp.mp3");
    RecoveryScan scan = FindOrphanRecordings(temp);
    ASSERT_EQ(scan.orphans.size(), 2u);
    EXPECT_EQ(RecoveryDestination(scan.orphans[0], program), target);
    RecoveredRecording saved = RecoverRecording(scan.orphans[0], program);
    EXPECT_EQ(saved.path, target);
    EXPECT_TRUE(saved.note.empty());
    EXPECT_EQ(test::ReadFile(target), Mended(unfinished));
    EXPECT_TRUE(fs::is_empty(program + "MyVoice"));

    // The second was meant for the same path, which holds the first by now.
    EXPECT_EQ(RecoveryDestination(scan.orphans[1], program), AutoName(".mp3"));
    saved = RecoverRecording(scan.orphans[1], program);
    EXPECT_EQ(saved.path, AutoName(".mp3"));
    EXPECT_EQ(saved.note,
              target + ": is taken by another file; saved as " + AutoName(".mp3") + " instead");
    EXPECT_EQ(test::ReadFile(target), Mended(unfinished));
    EXPECT_TRUE(fs::is_empty(temp));
}

TEST_F(RecoverTest, AJournalNamingFilesElsewhereIsRefusedAndThoseFilesKept) {
    const std::string keep = program + "keep.mp3", notes = program + "notes.Ctr";
    test::WriteFile(keep, UnfinishedTrack(100));
    test::WriteFile(notes, "[0]\r\nTime=0\r\n");
    RecordingJournal track = Leave("L1.tmp", GoneProcess());
    track.track = keep;
    WriteRecordingJournal(track);
    RecordingJournal schedule = Leave("L2.tmp", GoneProcess(), 100, true);
    schedule.schedule = notes;
    WriteRecordingJournal(schedule);
    RecoveryScan scan = FindOrphanRecordings(temp);
    ASSERT_EQ(scan.notes.size(), 2u);
    EXPECT_NE(scan.notes[0].find("its track " + keep + " is not this recording's"),
              std::string::npos);
    EXPECT_NE(scan.notes[1].find("its schedule " + notes + " is not this recording's"),
              std::string::npos);
    ASSERT_EQ(scan.orphans.size(), 2u);
    EXPECT_EQ(scan.orphans[0].journal.track, temp + "L1.tmp.mp3") << "its own track is offered";
    for (const OrphanRecording& orphan : scan.orphans) DiscardRecording(orphan);
    EXPECT_TRUE(fs::exists(keep));
    EXPECT_TRUE(fs::exists(notes));
    EXPECT_TRUE(fs::is_empty(temp));
}

TEST_F(RecoverTest, ARecordingIsSavedOnceHoweverManyRecoveriesRun) {
    Leave("M1.tmp", GoneProcess());
    const OrphanRecording orphan = FindOrphanRecordings(temp).orphans.at(0);
    const OrphanRecording seenByOther = FindOrphanRecordings(temp).orphans.at(0);
    {
        // Another recovery at work on it: neither offered nor saved here.
        const int other = open(orphan.journalPath.c_str(), O_RDONLY);
        ASSERT_EQ(flock(other, LOCK_EX), 0);
        EXPECT_TRUE(FindOrphanRecordings(temp).orphans.empty());
        EXPECT_THROW(RecoverRecording(orphan, program), ERecordingTaken);
        EXPECT_THROW(DiscardRecording(orphan), ERecordingTaken);
        close(other);
    }
    EXPECT_EQ(RecoverRecording(orphan, program).path, AutoName(".mp3"));
    EXPECT_THROW(RecoverRecording(seenByOther, program), ERecordingTaken);
    EXPECT_EQ(std::distance(fs::directory_iterator(program + "MyVoice"), fs::directory_iterator()),
              1);
}

TEST_F(RecoverTest, DiscardRemovesTheRecordingButNotTheTune) {
    RecordingJournal journal = Leave("J2.tmp", GoneProcess(), 4000, true);
    DiscardRecording(FindOrphanRecordings(temp).orphans.at(0));
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_TRUE(fs::exists(journal.tune));
    EXPECT_TRUE(fs::is_empty(program + "MyVoice"));
}

TEST_F(RecoverTest, AFullDiskLeavesTheOrphanWhereItWas) {
    const std::string small = program + "small/";
    fs::create_directories(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    fs::create_directories(small + "MyVoice");
    RecordingJournal journal = Leave("K3.tmp", GoneProcess(), 44100 * 4 * 2);
    const std::string track = test::ReadFile(journal.track);
    const std::string journalText = test::ReadFile(JournalPathFor(journal.base));
    OrphanRecording orphan = FindOrphanRecordings(temp).orphans.at(0);
    EXPECT_THROW(RecoverRecording(orphan, small), EFileError);
    EXPECT_TRUE(fs::is_empty(small + "MyVoice")) << "no partial file left";
    EXPECT_EQ(test::ReadFile(journal.track), track);
    EXPECT_EQ(test::ReadFile(JournalPathFor(journal.base)), journalText);
    EXPECT_EQ(FindOrphanRecordings(temp).orphans.size(), 1u);
    umount(small.c_str());
}

}  // namespace
