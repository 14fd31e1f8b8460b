// From the recorder's tools to the player window: a voice recorded from a tone, a
// tune and the recorder's schedule packed as a voice mail, opened by Murmelplay from
// its command line as a file manager opens it, and the rendered sound measured.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <complex>
#include <cstdlib>

#include "PlayTestFiles.h"
#include "VolumeSchedule.h"
#include "WMediaPlayer.h"

using namespace murmel;
using namespace murmel::test;

namespace {

const std::string kProgramDir = MURMEL_PROGRAM_DIR;

int Shell(const std::string& command) { return WEXITSTATUS(std::system(command.c_str())); }

// Level (dB full scale) of one frequency in the left channel from `fromMs` to `toMs`.
// A Hann window keeps the loud voice tone from leaking into the quiet tune's band.
double ToneDb(const std::vector<int16_t>& samples, double hz, int fromMs, int toMs) {
    const size_t from = static_cast<size_t>(fromMs) * 441 / 10;
    const size_t to = static_cast<size_t>(toMs) * 441 / 10;
    const double length = double(to - from);
    std::complex<double> sum;
    for (size_t i = from; i < to && 2 * i < samples.size(); ++i) {
        const double window = 0.5 - 0.5 * std::cos(2 * M_PI * double(i - from) / length);
        sum += double(samples[2 * i]) / 32768 * window *
               std::polar(1.0, -2 * M_PI * hz * double(i) / 44100);
    }
    const double amplitude = 4 * std::abs(sum) / length;
    return amplitude > 0 ? 20 * std::log10(amplitude) : -200;
}

// The median ToneDb of the 250 ms windows (every 125 ms) from `fromMs` to `toMs`:
// one click in the recorded voice must not move the figure.
double Level(const std::vector<int16_t>& samples, double hz, int fromMs, int toMs) {
    std::vector<double> levels;
    for (int at = fromMs; at + 250 <= toMs; at += 125)
        levels.push_back(ToneDb(samples, hz, at, at + 250));
    std::sort(levels.begin(), levels.end());
    return levels[levels.size() / 2];
}

}  // namespace

TEST(PlayerEndToEnd, PlaysVoiceAndTuneWithTheRecordedVolumeMoves) {
    const std::string folder = FreshFolder("voice mails/李 明");
    const std::string cli = "'" + kProgramDir + "murmel-cli'";
    ASSERT_EQ(Shell(cli + " presets install >/dev/null"), 0);
    // The voice: four seconds of a 440 Hz tone through the recorder's capture chain.
    ASSERT_EQ(Shell("MURMEL_CAPTURE=tone:440 " + cli + " record '" + folder +
                    "voice.mp3' --seconds 4 --preset 2K >/dev/null"),
              0);
    // The tune: one sustained C5 (523.25 Hz), clear of the voice's tone.
    WriteFile(folder + "tune.mid", MidiTune(6, 72));
    // The schedule as the recorder logs it: slider at 85, then to 5 (faded out) and to 100.
    VolumeSchedule schedule(folder + "tune.Ctr");
    schedule.WriteEntry(0, 0, 85);
    schedule.WriteEntry(1, 1500, 5);
    schedule.WriteEntry(2, 3000, 100);
    const std::string mail = folder + "问候 mail.mvm";
    ASSERT_EQ(Shell(cli + " pack '" + mail + "' 'Mp3File=" + folder + "voice.mp3' 'BGMusic=" +
                    folder + "tune.mid' 'CtrInfo=" + folder + "tune.Ctr' >/dev/null"),
              0);
    ASSERT_TRUE(LooseTempFiles().empty());

    const std::string render = folder + "heard.wav";
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("MURMEL_AUDIO", ("render:" + render).c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const std::string player = kProgramDir + "Murmelplay";
        execl(player.c_str(), player.c_str(), mail.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // The voice mail is unpacked about a second after the window shows, and its
    // files go when the voice track ends.
    bool unpacked = false;
    for (int i = 0; i < 1500 && !(unpacked && LooseTempFiles().empty()); ++i) {
        if (LooseTempFiles().size() == 6) unpacked = true;
        usleep(10000);
    }
    EXPECT_TRUE(unpacked);
    EXPECT_TRUE(LooseTempFiles().empty());
    kill(pid, SIGTERM);  // the window closes as its close button closes it
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The player registered itself for ".mvm" at its start.
    const std::string data = std::getenv("XDG_DATA_HOME"), config = std::getenv("XDG_CONFIG_HOME");
    const std::string entry = ReadFile(data + "/applications/murmelplay.desktop");
    EXPECT_NE(entry.find("\nExec="), std::string::npos);
    EXPECT_NE(entry.find(kProgramDir + "Murmelplay"), std::string::npos) << entry;
    EXPECT_NE(ReadFile(config + "/mimeapps.list").find("application/x-mvm=murmelplay.desktop"),
              std::string::npos);

    const std::vector<int16_t> samples = RenderedSamples(render);
    ASSERT_GE(samples.size(), 2u * 44100 * 4);
    // The voice is heard throughout at one level.
    const double voice = Level(samples, 440, 500, 1400);
    EXPECT_GT(voice, -40);
    EXPECT_NEAR(Level(samples, 440, 1700, 2900), voice, 1.5);
    EXPECT_NEAR(Level(samples, 440, 3200, 3900), voice, 1.5);
    // The tune follows the slider: level 8 (-8 dB), 0 (-40 dB: faded out, not the
    // -28 dB of level 3), then 10 (full volume).
    if (TWMediaPlayer::SoundFontPath().empty()) GTEST_SKIP() << "no General MIDI soundfont";
    const double first = Level(samples, 523.25, 500, 1400);
    EXPECT_GT(first, -70);
    // The organ's own level wavers by about 2 dB; level 3 would be 20 dB down.
    EXPECT_NEAR(Level(samples, 523.25, 1700, 2900) - first, -32.0, 4.0);
    EXPECT_NEAR(Level(samples, 523.25, 3200, 3900) - first, 8.0, 4.0);
}
