#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "../TestFiles.h"
#include "TempNames.h"
#include "TimeStampName.h"

using namespace murmel;

TEST(TempNamesTest, ReservesUniqueEmptyPrivateFilesInTmpdir) {
    std::set<std::string> names;
    for (int i = 0; i < 200; ++i) {
        std::string name = MyGetTempFileName();
        EXPECT_EQ(name.rfind(TempFolder(), 0), 0u);
        EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
        struct stat info {};
        ASSERT_EQ(stat(name.c_str(), &info), 0);
        EXPECT_EQ(info.st_size, 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 200u);
}

TEST(TempNamesTest, DerivedFilesNeverFollowAPlantedLink) {
    std::string base = NewTempBaseName();
    std::string victim = TempFolder() + "victim";
    test::WriteFile(victim, "precious");
    ASSERT_EQ(symlink(victim.c_str(), (base + ".mp3").c_str()), 0);
    EXPECT_THROW(CreateDerivedTempFile(base + ".mp3"), std::runtime_error);
    EXPECT_EQ(test::ReadFile(victim), "precious");

    // A file someone else left at the name is not ours to write, nor to read back.
    test::WriteFile(base + ".mid", "");
    chmod((base + ".mid").c_str(), 0666);
    EXPECT_THROW(CreateDerivedTempFile(base + ".mid"), std::runtime_error);

    int fd = CreateDerivedTempFile(base + ".Ctr");
    ASSERT_GE(fd, 0);
    close(fd);
}

TEST(TimeStampNameTest, HasNoLeadingZeros) {
    std::tm t{};
    t.tm_year = 104;
    t.tm_mon = 6;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 3;
    t.tm_sec = 7;
    EXPECT_EQ(TimeStampName(t), "2004_7_5_9_3_7");
    t.tm_mon = 11, t.tm_mday = 31, t.tm_hour = 23, t.tm_min = 59, t.tm_sec = 59;
    EXPECT_EQ(TimeStampName(t), "2004_12_31_23_59_59");
}
