#pragma once
// The recorder's capture chain, set up as its window sets it up:
// WaveIn_Mic → VoiceClean → Connector → Reverb → ACMConverter → WaveFile_Output,
// the cleaning off until a recording asks for it, the recorder's reverb settings,
// high conversion quality and MMACM beside it.
// The window and murmel-cli record use this one setup.
#include <cstdint>
#include <memory>
#include <vector>

#include "CaptureDevice.h"
#include "MMACMCvt.h"
#include "MMACMDlg.h"
#include "MMConect.h"
#include "MMReverb.h"
#include "MMVoiceClean.h"
#include "MMWavIn.h"
#include "MMWave.h"
#include "UIThreadPost.h"

namespace murmel {

// The reverb settings stored with the recorder's window: no active echo, input
// gain 100 %, so the stage passes the sound through unchanged.
TMMReverbSettings RecorderReverbSettings();

struct RecordingChain {
    // `ui` receives what the capture thread reports; `device` defaults to the
    // device MURMEL_CAPTURE names.
    explicit RecordingChain(UIThreadPost* ui,
                            std::unique_ptr<CaptureDevice> device = CaptureDeviceFromEnvironment());
    ~RecordingChain();
    RecordingChain(const RecordingChain&) = delete;
    RecordingChain& operator=(const RecordingChain&) = delete;

    TMMWaveIn WaveIn_Mic;
    TMMVoiceClean VoiceClean;
    TMMConnector Connector;
    TMMReverb Reverb;
    TMMACMConverter ACMConverter;
    TMMWaveFile WaveFile_Output;
    TMMACM MMACM;
};

}  // namespace murmel
