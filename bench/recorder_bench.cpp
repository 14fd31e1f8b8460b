// The recorder window under load:
//  - record_cpu: CPU seconds of this process while the window records N seconds
//    (default 30) at 2K from a 440 Hz tone with the spectrum drawing, beside
//    `parecord | lame` capturing from a private PulseAudio null sink and encoding
//    to the same MP3 format for the same time;
//  - record_core_share: that CPU as a share of one core;
//  - window_start: milliseconds from process start to the main window shown
//    (median of 5), beside a minimal Qt Widgets window started the same way.
// Usage: recorder_bench [SECONDS]. Runs on $DISPLAY, or offscreen without one.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PresetsStore.h"
#include "SettingsStore.h"
#include "TFormMain.h"

namespace fs = std::filesystem;

namespace {

double CpuSeconds(const rusage& usage) {
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double OwnCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return CpuSeconds(usage);
}

// Runs argv to completion; returns its wall milliseconds and CPU seconds (its
// descendants included).
std::pair<double, double> Run(const std::vector<std::string>& command) {
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wall =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "warning: %s exited with %d\n", command[0].c_str(), status);
    return {wall, CpuSeconds(usage)};
}

std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// Child modes: show a window and quit once it is on the screen.
int ShowAndQuit(int argc, char** argv, bool recorder, const std::string& folder) {
    QApplication application(argc, argv);
    std::unique_ptr<QWidget> window;
    if (recorder)
        window = std::make_unique<TFormMain>(folder);
    else
        window = std::make_unique<QWidget>();
    window->resize(548, 496);
    window->show();
    QTimer::singleShot(0, &application, &QApplication::quit);
    return application.exec();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--show-recorder")
        return ShowAndQuit(1, argv, true, argv[2]);
    if (argc == 2 && std::string(argv[1]) == "--show-minimal")
        return ShowAndQuit(1, argv, false, "");
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

    char pattern[] = "/tmp/recorder-bench.XXXXXX";
    const std::string world = mkdtemp(pattern);
    const std::string folder = world + "/program/";
    fs::create_directories(folder + "MyVoice");
    fs::create_directories(folder + "Address");
    std::ofstream(folder + "Address/Default.txt");
    setenv("XDG_CONFIG_HOME", (world + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (world + "/data").c_str(), 1);
    setenv("MURMEL_CAPTURE", "tone:440", 1);
    setenv("MURMEL_AUDIO", "null", 1);
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    murmel::InstallPresets();
    murmel::SettingsStore(folder).WriteText("SoundSetup", "Resolution", "2K");

    // Time to the window shown.
    std::vector<double> ours, minimal;
    for (int i = 0; i < 5; ++i) {
        ours.push_back(Run({argv[0], "--show-recorder", folder}).first);
        minimal.push_back(Run({argv[0], "--show-minimal"}).first);
    }
    std::printf("window_start: ours %.1f ms, peer %.1f ms, ratio %.2f\n", Median(ours),
                Median(minimal), Median(ours) / Median(minimal));

    // Recording in this process, through the window.
    double ourCpu = 0;
    {
        QApplication application(argc, argv);
        TFormMain window(folder);
        window.show();
        auto* record = window.findChild<QPushButton*>(QStringLiteral("bitbtnRec"));
        record->click();
        const double before = OwnCpu();
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        ourCpu = OwnCpu() - before;
        record->click();
    }

    // The peer: the same capture and encoding through PulseAudio's tools.
    const std::string pulseScript = MURMEL_SOURCE_DIR "/scripts/pulse-daemon";
    const std::string server = Capture(pulseScript + " start " + world + "/pulse");
    double peerCpu = 0;
    if (server.empty()) {
        std::fprintf(stderr, "warning: no PulseAudio daemon; peer not measured\n");
    } else {
        const std::string pipeline =
            "timeout -s INT " + std::to_string(seconds) + " parecord --server=" + server +
            " --device=murmel_null.monitor --raw --format=s16le --rate=44100 --channels=2"
            " | lame --quiet -r -s 44.1 --bitwidth 16 -m m --resample 16 -b 16 - " +
            world + "/peer.mp3";
        peerCpu = Run({"sh", "-c", pipeline}).second;
        Capture(pulseScript + " stop " + world + "/pulse");
    }
    std::printf("record_cpu: ours %.2f s, peer %.2f s, ratio %.2f\n", ourCpu, peerCpu,
                peerCpu > 0 ? ourCpu / peerCpu : 0.0);
    std::printf("record_core_share: ours %.1f%% of one core over %d s\n", 100.0 * ourCpu / seconds,
                seconds);
    fs::remove_all(world);
    return 0;
}
