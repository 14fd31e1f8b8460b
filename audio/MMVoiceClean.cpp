#include "MMVoiceClean.h"

#include <algorithm>

#include "VoiceCleaner.h"

namespace murmel {

TMMVoiceClean::TMMVoiceClean(std::string name) : TMMDSPComponent(std::move(name)) {}

TMMVoiceClean::~TMMVoiceClean() = default;

// The cleaner is made here, on the main thread, so the capture thread never
// waits for the library to set itself up. It need not keep more band or
// channels than the elements after it do (a preset stores 16 kHz mono, say).
void TMMVoiceClean::Opened() {
    const TWaveFormatEx* format = PWaveFormat();
    if (!IsOpen() && Enabled && IsValidPCMFormat(format) && format->wBitsPerSample == 16) {
        uint32_t keptRate = format->nSamplesPerSec;
        int keptChannels = format->nChannels;
        for (TMMDSPComponent* after = Output(); after; after = after->Output())
            if (const TWaveFormatEx* kept = after->PWaveFormat();
                kept && kept->nSamplesPerSec >= 4000 && kept->nChannels >= 1) {
                keptRate = std::min(keptRate, kept->nSamplesPerSec);
                keptChannels = std::min<int>(keptChannels, kept->nChannels);
            }
        try {
            cleaner_ = std::make_unique<VoiceCleaner>(format->nSamplesPerSec, format->nChannels,
                                                      int(keptRate), keptChannels);
        } catch (const VoiceCleanerError& error) {
            throw EMMVoiceCleanError(error.what());
        }
    }
    TMMDSPComponent::Opened();
}

void TMMVoiceClean::Closed() {
    cleaner_.reset();
    TMMDSPComponent::Closed();
}

void TMMVoiceClean::BufferReady(PWaveHdr lpWaveHdr) {
    if (cleaner_ && lpWaveHdr && lpWaveHdr->lpData) {
        const size_t bytes = std::min(lpWaveHdr->dwBytesRecorded, lpWaveHdr->dwBufferLength);
        const size_t frameBytes = size_t{2} * PWaveFormat()->nChannels;
        try {
            cleaner_->Process(reinterpret_cast<int16_t*>(lpWaveHdr->lpData), bytes / frameBytes);
        } catch (const VoiceCleanerError& error) {
            throw EMMVoiceCleanError(error.what());
        }
    }
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

}  // namespace murmel
