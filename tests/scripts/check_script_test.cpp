// scripts/check's helpers: check-skips on a made-up build folder (an audio or GUI test
// that skipped fails the run unless skipping was asked for; other skips do not), and
// the private PulseAudio beside a desktop's own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
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

// A desktop's PulseAudio holds its name on the desktop's D-Bus session; ours must start
// all the same (it used to die with "org.PulseAudio1 already taken").
TEST(PulseDaemon, StartsBesideADesktopsOwnPulseAudio) {
    if (std::system("command -v pulseaudio >/dev/null && command -v dbus-daemon >/dev/null") != 0)
        GTEST_SKIP() << "no pulseaudio or dbus-daemon";
    const std::string desktop = FreshFolder("desktop");
    const std::string bus = "DBUS_SESSION_BUS_ADDRESS=unix:path=" + desktop + "bus";
    const std::string world = "env -u PULSE_SERVER " + bus + " XDG_RUNTIME_DIR='" + desktop +
                              "run' HOME='" + desktop + "' ";
    ASSERT_EQ(std::system(("mkdir -m 700 '" + desktop + "run' && env " + bus +
                           " dbus-daemon --session --address=unix:path='" + desktop +
                           "bus' --fork --print-pid >'" + desktop + "dbus.pid'")
                              .c_str()),
              0);
    const int desktopPulse = std::system(
        (world + "pulseaudio --daemonize=yes -n --load=module-native-protocol-unix "
                 "--exit-idle-time=-1 --use-pid-file=yes --log-target=stderr 2>/dev/null")
            .c_str());
    const std::string ours = desktop + "ours";
    FILE* pipe = popen(
        (world + "'" MURMEL_SOURCE_DIR "/scripts/pulse-daemon' start '" + ours + "' 2>/dev/null")
            .c_str(),
        "r");
    char line[512] = {};
    const std::string server = fgets(line, sizeof line, pipe) ? line : "";
    const int status = WEXITSTATUS(pclose(pipe));
    std::system(("'" MURMEL_SOURCE_DIR "/scripts/pulse-daemon' stop '" + ours + "'").c_str());
    std::system(("kill $(cat '" + desktop + "run/pulse/pid' '" + desktop + "dbus.pid') 2>/dev/null")
                    .c_str());
    ASSERT_EQ(desktopPulse, 0) << "the desktop's PulseAudio did not start";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(server, "unix:" + ours + "/runtime/native\n");
}
