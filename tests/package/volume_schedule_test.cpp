#include <gtest/gtest.h>

#include "../TestFiles.h"
#include "VolumeSchedule.h"

using namespace murmel;
using namespace murmel::test;

class VolumeScheduleTest : public ::testing::Test {
  protected:
    std::string path = FreshFolder("ctr") + "1A2B.tmp.Ctr";
    VolumeSchedule schedule{path};
};

TEST_F(VolumeScheduleTest, WritesTheLoggedMovesAsNumberedSections) {
    schedule.WriteEntry(0, 0, 85);
    schedule.WriteEntry(1, 5230, 62);
    schedule.WriteEntry(2, 9800, 100);
    EXPECT_EQ(ReadFile(path),
              "[0]\r\nTime=0\r\nVolume=8\r\n[1]\r\nTime=5230\r\nVolume=6\r\n"
              "[2]\r\nTime=9800\r\nVolume=10\r\n");
    EXPECT_EQ(schedule.ReadScheduleEntry(1).time, 5230);
    EXPECT_EQ(schedule.ReadScheduleEntry(1).level, 6);
    EXPECT_EQ(schedule.ReadScheduleEntry(2).level, 10);  // the slider at 100
    EXPECT_EQ(schedule.ReadScheduleEntry(3).time, VolumeSchedule::kNever);
}

TEST_F(VolumeScheduleTest, FallbacksForMissingAndBrokenEntries) {
    WriteFile(path,
              "[2]\r\nTime=100\r\nVolume=0\r\n[0]\r\nTime=abc\r\nVolume=5\r\n"
              "[1]\r\nTime=40\r\nVolume=x\r\n[3]\r\nVolume=7\r\n[4]\r\nTime=5\r\n"
              "[5]\r\nTime=99999999999\r\nVolume=5\r\n[6]\r\nTime=-20\r\nVolume=-1\r\n");
    EXPECT_EQ(schedule.ReadScheduleEntry(0).time, VolumeSchedule::kNever);
    EXPECT_EQ(schedule.ReadScheduleEntry(0).level, 3);
    EXPECT_EQ(schedule.ReadScheduleEntry(1).time, VolumeSchedule::kNever);
    EXPECT_EQ(schedule.ReadScheduleEntry(2).time, 100);
    EXPECT_EQ(schedule.ReadScheduleEntry(2).level, 0);
    EXPECT_EQ(schedule.ReadScheduleEntry(3).time, VolumeSchedule::kNever);
    EXPECT_EQ(schedule.ReadScheduleEntry(3).level, 7);
    EXPECT_EQ(schedule.ReadScheduleEntry(4).time, 5);
    EXPECT_EQ(schedule.ReadScheduleEntry(4).level, 3);  // a missing volume is not silence
    EXPECT_EQ(schedule.ReadScheduleEntry(5).time, VolumeSchedule::kNever);
    EXPECT_EQ(schedule.ReadScheduleEntry(6).time, -20);
    EXPECT_EQ(schedule.ReadScheduleEntry(6).level, 3);
}

TEST_F(VolumeScheduleTest, AbsentFileStopsReplayAtOnce) {
    VolumeSchedule absent(path + ".none");
    EXPECT_EQ(absent.ReadScheduleEntry(0).time, VolumeSchedule::kNever);
    EXPECT_EQ(absent.ReadScheduleEntry(0).level, 3);
}

TEST_F(VolumeScheduleTest, SliderEndsReplayAsRecordedAndOtherLevelsFallBack) {
    schedule.WriteEntry(0, 0, 5);     // slider 0..9: faded out
    schedule.WriteEntry(1, 10, 100);  // slider at the top
    WriteFile(path,
              ReadFile(path) + "[2]\r\nTime=20\r\nVolume=11\r\n[3]\r\nTime=30\r\nVolume=-1\r\n");
    EXPECT_EQ(VolumeSchedule::LevelToVolume(schedule.ReadScheduleEntry(0).level), -4000);
    EXPECT_EQ(VolumeSchedule::LevelToVolume(schedule.ReadScheduleEntry(1).level), 0);
    EXPECT_EQ(schedule.ReadScheduleEntry(2).level, 3);
    EXPECT_EQ(schedule.ReadScheduleEntry(3).level, 3);
    EXPECT_EQ(schedule.ReadScheduleEntry(3).time, 30);
}

TEST(VolumeScheduleLevels, MapToHundredthsOfADecibel) {
    EXPECT_EQ(VolumeSchedule::LevelToVolume(1), -3600);
    EXPECT_EQ(VolumeSchedule::LevelToVolume(9), -400);
    EXPECT_EQ(VolumeSchedule::LevelToVolume(3), -2800);
}
