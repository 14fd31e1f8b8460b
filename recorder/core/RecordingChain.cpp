#include "RecordingChain.h"

namespace murmel {

TMMReverbSettings RecorderReverbSettings() {
    TMMReverbSettings settings;  // eight silent echoes, as the window stores them
    settings.InputGain = 100;
    return settings;
}

RecordingChain::RecordingChain(UIThreadPost* ui, std::unique_ptr<CaptureDevice> device)
    : WaveIn_Mic("WaveIn_Mic", std::move(device)) {
    WaveIn_Mic.UseRecorderSettings(ui);
    // Room for seconds of sound: a source with a long latency hands it over in lumps,
    // and what finds no free buffer is lost.
    WaveIn_Mic.SetNumBuffers(kMaxWaveInBuffers);
    WaveIn_Mic.SetOutput(&VoiceClean);
    VoiceClean.SetOutput(&Connector);
    Connector.SetOutput(&Reverb);
    Reverb.SetOutput(&ACMConverter);
    ACMConverter.SetOutput(&WaveFile_Output);
    Reverb.SetSettings(RecorderReverbSettings());
    ACMConverter.SetQuality(TMMACMQuality::cqHigh);
    WaveFile_Output.Wave().FileMustExist = false;
}

RecordingChain::~RecordingChain() { WaveIn_Mic.Close(); }

}  // namespace murmel
