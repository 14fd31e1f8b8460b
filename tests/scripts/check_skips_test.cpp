// scripts/check-skips on a made-up build folder: an audio or GUI test that skipped
// fails the run unless skipping was asked for; other skips do not.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "TestFiles.h"

using namespace murmel::test;

namespace {

// ctest's test list for the build folder, as CMake would write it.
constexpr const char* kTests =
    "add_test(audio.Plays \"true\")\n"
    "set_tests_properties(audio.Plays PROPERTIES LABELS \"audio\")\n"
    "add_test(window.Shows \"true\")\n"
    "set_tests_properties(window.Shows PROPERTIES LABELS \"gui\")\n"
    "add_test(tools.NeedsFfmpeg \"true\")\n"
    "set_tests_properties(tools.NeedsFfmpeg PROPERTIES LABELS \"interop\")\n";

int CheckSkips(const std::string& skipped, const std::string& environment = "") {
    const std::string build = FreshFolder("build");
    WriteFile(build + "CTestTestfile.cmake", kTests);
    WriteFile(build + "ctest.log",
              "100% tests passed, 0 tests failed out of 3\n\n"
              "The following tests did not run:\n" +
                  skipped);
    const std::string command = "cd '" + build + "' && env -u MURMEL_ALLOW_SKIPS " + environment +
                                " '" MURMEL_SOURCE_DIR
                                "/scripts/check-skips' ctest.log 2>/dev/null";
    return WEXITSTATUS(std::system(command.c_str()));
}

}  // namespace

TEST(CheckSkips, OnlyAudioAndGuiSkipsFailAndOnlyUnlessAllowed) {
    EXPECT_EQ(CheckSkips(""), 0);
    EXPECT_EQ(CheckSkips("\t  3 - tools.NeedsFfmpeg (Skipped)\n"), 0);
    EXPECT_EQ(CheckSkips("\t  1 - audio.Plays (Skipped)\n"), 1);
    EXPECT_EQ(CheckSkips("\t  2 - window.Shows (Skipped)\n\t  3 - tools.NeedsFfmpeg (Skipped)\n"),
              1);
    EXPECT_EQ(CheckSkips("\t  1 - audio.Plays (Skipped)\n", "MURMEL_ALLOW_SKIPS=1"), 0);
}
