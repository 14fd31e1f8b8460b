// murmel-cli record: the recorder's capture chain without a window.
// WaveIn_Mic → Connector → Reverb → ACMConverter → WaveFile_Output, on the capture
// device MURMEL_CAPTURE names, until --seconds of sound, Ctrl-C or the end of a
// file source; the file is finalised in every case.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Command.h"
#include "MMACMCvt.h"
#include "MMACMDlg.h"
#include "MMConect.h"
#include "MMReverb.h"
#include "MMUtils.h"
#include "MMWavIn.h"
#include "MMWave.h"
#include "PresetsStore.h"
#include "ProgramFolder.h"
#include "RecordingJournal.h"
#include "SettingsStore.h"
#include "TempNames.h"
#include "TimeStampName.h"
#include "UIThreadPost.h"

namespace murmel::cli {
namespace {

constexpr auto kTick = std::chrono::milliseconds(50);  // the recorder's elapsed-time timer

struct RecordOptions {
    std::string output;
    double seconds = 0;  // 0: until Ctrl-C or the end of the source
    std::string resolution;
    bool presetGiven = false;  // --preset, rather than the settings' resolution
};

RecordOptions ParseRecordOptions(const Arguments& arguments) {
    ParsedArguments parsed = ParseArguments(arguments, {"--seconds", "--preset"}, {});
    if (parsed.positional.size() > 1) throw UsageError("expected at most one output file");
    RecordOptions options;
    options.output = parsed.positional.empty()
                         ? ProgramFolder() + "MyVoice/" + TimeStampNameNow() + ".mp3"
                         : parsed.positional[0];
    if (parsed.Has("--seconds")) {
        std::string text = parsed.Value("--seconds");
        char* end = nullptr;
        options.seconds = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(options.seconds > 0) || options.seconds > 1e7)
            throw UsageError("--seconds needs a positive number");
    }
    // Without --preset the settings' resolution applies, as in the recorder.
    options.resolution =
        parsed.Has("--preset")
            ? parsed.Value("--preset")
            : SettingsStore(ProgramFolder()).ReadText("SoundSetup", "Resolution", "2K");
    options.presetGiven = parsed.Has("--preset");
    if (options.presetGiven) {
        const std::string& r = options.resolution;
        if (r != "1K" && r != "2K" && r != "4K" && r != "8K" && r != "none")
            throw UsageError("--preset must be 1K, 2K, 4K, 8K or none");
    }
    return options;
}

// The chain as the recorder's window sets it up.
struct CaptureChain {
    TMMWaveIn waveIn{"WaveIn_Mic"};
    TMMConnector connector;
    TMMReverb reverb;
    TMMACMConverter converter;
    TMMWaveFile writer;
    UIThreadQueue ui;
    int64_t startPosition = 0;

    CaptureChain() {
        waveIn.UseRecorderSettings(&ui);
        waveIn.SetOutput(&connector);
        connector.SetOutput(&reverb);
        reverb.SetOutput(&converter);
        converter.SetOutput(&writer);
        writer.Wave().FileMustExist = false;
        waveIn.OnStart = [this](TMMDSPComponent*) { startPosition = waveIn.Position(); };
        waveIn.OnStop = [this](TMMDSPComponent*) {
            startPosition = 0;
            waveIn.Close();  // finalises the file
        };
    }
    ~CaptureChain() { waveIn.Close(); }

    int64_t Elapsed() { return waveIn.Position() - startPosition; }
};

// As the recorder applies the quality preset: a missing preset keeps PCM (said
// only when the preset was asked for by name).
void ApplyQualityPreset(CaptureChain& chain, const std::string& resolution, bool presetGiven) {
    if (resolution == "none") return;
    TMMACM acm;
    if (!acm.ACMPresent()) return;
    if (resolution != "1K" && resolution != "2K" && resolution != "4K" && resolution != "8K")
        return;
    std::vector<uint8_t> record = ReadPreset("WaveFormat" + resolution);
    WaveFormatPtr format = WaveFormatFromBytes(record.data(), record.size());
    if (!format) {
        if (presetGiven)
            std::fprintf(stderr,
                         "murmel-cli record: preset WaveFormat%s not installed; recording PCM\n",
                         resolution.c_str());
        return;
    }
    chain.converter.SetPWaveFormat(format.get());
    acm.SetPWaveFormat(chain.converter.PWaveFormat());
}

// A journal in the temporary folder while the file is written, so that a record
// that is killed can be completed by `murmel-cli recover`; removed once the file
// has been finalised (or was never begun).
struct JournalWhileRecording {
    RecordingJournal journal;
    explicit JournalWhileRecording(const std::string& track) {
        journal = RecordingJournal::ForThisProcess("murmel-cli", MyGetTempFileName(), track);
        journal.target = track;
        WriteRecordingJournal(journal);
    }
    ~JournalWhileRecording() {
        RemoveRecordingJournal(journal);
        unlink(journal.base.c_str());
    }
    JournalWhileRecording(const JournalWhileRecording&) = delete;
    JournalWhileRecording& operator=(const JournalWhileRecording&) = delete;
};

void ShowElapsed(int64_t milliseconds, bool final) {
    static const bool terminal = isatty(STDOUT_FILENO);
    static int64_t lastShown = -1000;
    if (terminal) {
        std::printf("\r%s", FormatTimeText(milliseconds, true).c_str());
        if (final) std::printf("\n");
    } else if (final || milliseconds - lastShown >= 1000) {
        std::printf("%s\n", FormatTimeText(milliseconds, true).c_str());
        lastShown = milliseconds;
    }
    std::fflush(stdout);
}

int Record(const Arguments& arguments) {
    RecordOptions options = ParseRecordOptions(arguments);
    CaptureChain chain;
    ApplyQualityPreset(chain, options.resolution, options.presetGiven);
    chain.writer.Wave().SetFileName(options.output);
    // The wave input's own limit cuts the sound at exactly N seconds, also when a
    // fast file source delivers faster than the loop looks.
    const auto limit = static_cast<int64_t>(std::llround(options.seconds * 1000));
    if (limit > 0) chain.waveIn.SetMaxRecordTime(limit);
    CatchInterrupt();
    JournalWhileRecording journal(chain.writer.Wave().FileName());
    chain.waveIn.Start();  // a failure has closed the chain (and finalised a created file)
    int64_t elapsed = 0;
    while (chain.waveIn.State() & wisStarted) {
        // A failure on the capture thread arrives here; its task has stopped and
        // closed the chain before the error leaves WaitAndRun.
        chain.ui.WaitAndRun(kTick);
        if (!(chain.waveIn.State() & wisStarted)) break;
        elapsed = chain.Elapsed();
        ShowElapsed(elapsed, false);
        if (Interrupted() || (limit > 0 && elapsed >= limit) || chain.waveIn.SourceExhausted())
            break;
    }
    if (chain.waveIn.State() & wisStarted) elapsed = chain.Elapsed();
    chain.waveIn.Stop();
    chain.waveIn.Close();
    ShowElapsed(elapsed, true);
    std::printf("%s\n", chain.writer.Wave().FileName().c_str());
    return 0;
}

const RegisterCommand record({"record", "[OUT] [--seconds N] [--preset 1K|2K|4K|8K|none]", Record});

}  // namespace
}  // namespace murmel::cli
