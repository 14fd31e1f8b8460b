// The journal beside a recording: what is written reads back, anything else is
// refused with a reason, never half taken.
#include <gtest/gtest.h>

#include <vector>

#include "RecordingJournal.h"

using namespace murmel;

namespace {

TEST(RecordingJournal, ReadsBackWhatWasWrittenPathsWithLineBreaksIncluded) {
    RecordingJournal journal =
        RecordingJournal::ForThisProcess("Murmel", "/tmp/1A.tmp", "/tmp/1A.tmp.mp3");
    journal.withMusic = true;
    journal.tune = "/home/u/BGMusic/50%\nof it.mid";
    journal.schedule = "/tmp/1A.tmp.Ctr";
    EXPECT_GT(journal.writer.startTicks, 0u);
    EXPECT_FALSE(journal.writer.bootId.empty());
    const RecordingJournal back = RecordingJournal::FromText(journal.ToText());
    EXPECT_EQ(back.ToText(), journal.ToText());
    EXPECT_EQ(back.tune, journal.tune);
    EXPECT_EQ(back.writer.pid, journal.writer.pid);
    EXPECT_EQ(back.writer.startTicks, journal.writer.startTicks);
    EXPECT_TRUE(back.withMusic);
    EXPECT_TRUE(IsProcessRunning(back.writer));
}

TEST(RecordingJournal, DamagedTextIsRefused) {
    const std::string good = "[MurmelRecording]\nPid=12\nStarted=5\nTrack=/tmp/a.mp3\nMusic=NO\n";
    EXPECT_NO_THROW(RecordingJournal::FromText(good));
    for (const std::string& bad : std::vector<std::string>{
             std::string(""), std::string("Pid=12\n"), good.substr(0, 30),
             "[MurmelRecording]\nPid=x\nStarted=5\nTrack=/tmp/a.mp3\nMusic=NO\n",
             "[MurmelRecording]\nPid=0\nStarted=5\nTrack=/tmp/a.mp3\nMusic=NO\n",
             "[MurmelRecording]\nPid=12\nStarted=-5\nTrack=/tmp/a.mp3\nMusic=NO\n",
             "[MurmelRecording]\nPid=12\nStarted=5\nTrack=a.mp3\nMusic=NO\n",
             "[MurmelRecording]\nPid=12\nStarted=5\nTrack=/tmp/a.mp3\nMusic=MAYBE\n",
             "[MurmelRecording]\nPid=12\nStarted=5\nTrack=/tmp/a.mp3\nMusic=YES\n",
             "[MurmelRecording]\nPid=12\nStarted=5\nTrack=/tmp/a%7.mp3\nMusic=NO\n",
             "[MurmelRecording]\nPid=12\nStarted=5\ngarbage\nTrack=/tmp/a.mp3\nMusic=NO\n"})
        EXPECT_THROW(RecordingJournal::FromText(bad), EJournalError) << bad;
}

}  // namespace
