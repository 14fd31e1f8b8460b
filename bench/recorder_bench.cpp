// The recorder window under load:
//  - record_cpu: CPU seconds of this process while the window records N seconds
//    (default 30) at 2K from a 440 Hz tone with the spectrum drawing, beside
//    `parecord | lame` capturing the same tone from a private PulseAudio server and
//    encoding it to the same MP3 format at the same LAME quality for the same time;
//  - record_core_share: that CPU as a share of one core;
//  - record_cpu_chain_threads / record_cpu_window_thread: the same CPU split into
//    the capture threads (beside the peer) and the window thread (beside a bare Qt
//    window drawing an image of the spectrum's size at the same frame rate and a
//    label every 50 ms); bare_window_cpu: that bare window beside the peer;
//  - pause_record_cpu: CPU of the same recording paused halfway for a second and
//    resumed (the pause and resume clicks counted, the pause itself not), beside
//    the plain recording;
//  - window_start: milliseconds from process start to the main window shown
//    (median of 5), beside a minimal Qt Widgets window started the same way.
// Each CPU figure is the median of ROUNDS rounds (default 3).
// Usage: recorder_bench [SECONDS [ROUNDS]]. Runs on $DISPLAY, or offscreen without one.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "PresetsStore.h"
#include "SettingsStore.h"
#include "SpectrumWidget.h"
#include "TFormMain.h"

namespace fs = std::filesystem;

namespace {

using murmel::test::Median;
using murmel::test::ProcessCpu;
using murmel::test::RunProcess;
using murmel::test::ThreadCpu;

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

void RunEventsFor(int seconds) {
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Cpu {
    double total = 0;   // the whole process
    double window = 0;  // its window (main) thread
};

// Records `seconds` through the window, the record button clicked as a user would.
Cpu RecordThroughWindow(const std::string& folder, int seconds) {
    TFormMain window(folder);
    window.show();
    auto* record = window.findChild<QPushButton*>(QStringLiteral("bitbtnRec"));
    record->click();
    const double total = ProcessCpu(), main = ThreadCpu();
    RunEventsFor(seconds);
    Cpu spent{ProcessCpu() - total, ThreadCpu() - main};
    record->click();
    return spent;
}

// The same, paused halfway for a second: the CPU of the recording part only.
double RecordWithPauseThroughWindow(const std::string& folder, int seconds) {
    TFormMain window(folder);
    window.show();
    auto* record = window.findChild<QPushButton*>(QStringLiteral("bitbtnRec"));
    auto* pause = window.findChild<QPushButton*>(QStringLiteral("bitbtnPause"));
    record->click();
    double spent = -ProcessCpu();
    RunEventsFor(seconds / 2);
    pause->click();
    spent += ProcessCpu();
    RunEventsFor(1);
    spent -= ProcessCpu();
    pause->click();
    RunEventsFor(seconds - seconds / 2);
    spent += ProcessCpu();
    record->click();
    return spent;
}

// A window with nothing behind it that draws what ours draws, as often.
class BareWindow : public QWidget {
  public:
    BareWindow() : image_(315, 43, QImage::Format_RGB888) {
        auto* layout = new QVBoxLayout(this);
        auto* box = new QGroupBox(QStringLiteral("Bare"), this);
        auto* boxLayout = new QVBoxLayout(box);
        picture_ = new Picture(image_);
        label_ = new QLabel(QStringLiteral("0:00.000"));
        label_->setFixedSize(315, label_->sizeHint().height());
        boxLayout->addWidget(picture_);
        boxLayout->addWidget(label_);
        layout->addWidget(box);
        layout->addStretch();
        resize(548, 496);
        frames_.setTimerType(Qt::PreciseTimer);
        connect(&frames_, &QTimer::timeout, this, [this] {
            image_.fill(QColor(frame_++ % 256, 80, 80));
            picture_->update();
        });
        connect(&labels_, &QTimer::timeout, this, [this] {
            label_->setText(QString::number(++tick_ * 50));
        });
    }
    void Start(int frameMs) {
        frames_.start(frameMs);
        labels_.start(50);
    }

  private:
    struct Picture : QWidget {
        explicit Picture(const QImage& image) : image(image) {
            setFixedSize(image.size());
            setAttribute(Qt::WA_OpaquePaintEvent);
        }
        void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, image); }
        const QImage& image;
    };
    QImage image_;
    Picture* picture_;
    QLabel* label_;
    QTimer frames_, labels_;
    int frame_ = 0, tick_ = 0;
};

double BareWindowCpu(int seconds) {
    BareWindow window;
    window.show();
    window.Start(TMMSpectrumWidget::kFrameIntervalMs);
    const double before = ProcessCpu();
    RunEventsFor(seconds);
    return ProcessCpu() - before;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--show-recorder")
        return ShowAndQuit(1, argv, true, argv[2]);
    if (argc == 2 && std::string(argv[1]) == "--show-minimal")
        return ShowAndQuit(1, argv, false, "");
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    char pattern[] = "/tmp/recorder-bench.XXXXXX";
    const std::string world = mkdtemp(pattern);
    const std::string folder = world + "/program/";
    fs::create_directories(folder + "MyVoice");
    fs::create_directories(folder + "Address");
    std::ofstream(folder + "Address/Default.txt");
    setenv("XDG_CONFIG_HOME", (world + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (world + "/data").c_str(), 1);
    setenv("MURMEL_CAPTURE", "tone:440", 0);  // another source may be given to compare
    setenv("MURMEL_AUDIO", "null", 1);
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    murmel::InstallPresets();
    murmel::SettingsStore(folder).WriteText("SoundSetup", "Resolution", "2K");

    // Time to the window shown.
    std::vector<double> starts, minimal;
    for (int i = 0; i < 5; ++i) {
        starts.push_back(1000 * RunProcess({argv[0], "--show-recorder", folder}).wall);
        minimal.push_back(1000 * RunProcess({argv[0], "--show-minimal"}).wall);
    }
    std::printf("window_start: ours %.1f ms, peer %.1f ms, ratio %.2f\n", Median(starts),
                Median(minimal), Median(starts) / Median(minimal));

    QApplication application(argc, argv);
    const std::string pulseScript = MURMEL_SOURCE_DIR "/scripts/pulse-daemon";
    const std::string server = Capture(pulseScript + " start " + world + "/pulse");
    if (server.empty()) std::fprintf(stderr, "warning: no PulseAudio daemon; peer not measured\n");
    else
        Capture("pactl --server=" + server +
                " load-module module-sine-source source_name=murmel_tone rate=44100 frequency=440");

    // Rounds of the three, one after the other, so a busy moment of a shared machine
    // weighs on all of them alike; the medians are compared.
    std::vector<double> total, window, chain, bare, peer, paused;
    for (int round = 0; round < rounds; ++round) {
        // Recording in this process, through the window.
        const Cpu ours = RecordThroughWindow(folder, seconds);
        total.push_back(ours.total);
        window.push_back(ours.window);
        chain.push_back(ours.total - ours.window);
        paused.push_back(RecordWithPauseThroughWindow(folder, seconds));
        // The least a window costs here that draws as ours does: the same image size
        // at the same frame rate and a label set every 50 ms, nothing computed.
        bare.push_back(BareWindowCpu(seconds));
        // The peer: the same tone captured from a sound server and encoded by LAME at
        // the quality the recorder asks of its encoder (-q 2), to the same format.
        if (!server.empty()) {
            const std::string pipeline =
                "timeout -s INT " + std::to_string(seconds) + " parecord --server=" + server +
                " --device=murmel_tone --raw --format=s16le --rate=44100 --channels=2"
                " | lame --quiet -q 2 -r -s 44.1 --bitwidth 16 -m m --resample 16 -b 16 - " +
                world + "/peer.mp3 2>/dev/null";
            peer.push_back(RunProcess({"sh", "-c", pipeline}).cpu);
        }
    }
    if (!server.empty()) Capture(pulseScript + " stop " + world + "/pulse");

    const double peerCpu = peer.empty() ? 0.0 : Median(peer);
    auto ratio = [](double value, double to) { return to > 0 ? value / to : 0.0; };
    std::printf("record_cpu: ours %.3f s, peer %.3f s, ratio %.2f\n", Median(total), peerCpu,
                ratio(Median(total), peerCpu));
    std::printf("record_core_share: ours %.1f%% of one core over %d s\n",
                100.0 * Median(total) / seconds, seconds);
    std::printf("record_cpu_chain_threads: ours %.3f s, peer %.3f s, ratio %.2f\n", Median(chain),
                peerCpu, ratio(Median(chain), peerCpu));
    std::printf("record_cpu_window_thread: ours %.3f s, bare window %.3f s, ratio %.2f\n",
                Median(window), Median(bare), ratio(Median(window), Median(bare)));
    std::printf("pause_record_cpu: ours %.3f s, plain recording %.3f s, ratio %.2f\n",
                Median(paused), Median(total), ratio(Median(paused), Median(total)));
    std::printf("bare_window_cpu: bare window %.3f s, peer %.3f s, ratio %.2f\n", Median(bare),
                peerCpu, ratio(Median(bare), peerCpu));
    fs::remove_all(world);
    return 0;
}
