#include "PresetsStore.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "../TestFiles.h"

using namespace murmel;

TEST(PresetsStoreTest, InstallWritesTheFourMp3Records) {
    EXPECT_FALSE(PresetsInstalled());
    EXPECT_TRUE(ReadPreset("WaveFormat2K").empty());
    InstallPresets();
    std::vector<uint8_t> record = ReadPreset("WaveFormat8K");
    const std::vector<uint8_t> expected = {0x55, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x40, 0x1F, 0, 0,
                                           1,    0, 0, 0, 12,   0,    1, 0, 0,    0,    0, 0,
                                           208,  0, 1, 0, 0x71, 0x05};
    EXPECT_EQ(record, expected);
    EXPECT_EQ(ReadPreset("WaveFormat4K")[24], 104);
    EXPECT_EQ(ReadPreset("WaveFormat1K").size(), 30u);
    EXPECT_TRUE(StandardPreset("16K").empty());
}

TEST(PresetsStoreTest, OversizedOrOddValuesReadAsNothing) {
    std::filesystem::create_directories(PresetsFolder());
    test::WriteFile(PresetsFolder() + "WaveFormat1K", std::string(1025, 'x'));
    std::filesystem::create_directory(PresetsFolder() + "WaveFormat2K");
    test::WriteFile(PresetsFolder() + "WaveFormat4K", std::string(1024, 'x'));
    EXPECT_TRUE(ReadPreset("WaveFormat1K").empty());
    EXPECT_TRUE(ReadPreset("WaveFormat2K").empty());
    EXPECT_EQ(ReadPreset("WaveFormat4K").size(), 1024u);
}
