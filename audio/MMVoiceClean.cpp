#include "MMVoiceClean.h"

#include <algorithm>
#include <cstring>

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
        leadInLeft_ = cleaner_->LatencyFrames();
        tail_.assign(leadInLeft_ * FrameBytes(), 0);
    }
    TMMDSPComponent::Opened();
}

size_t TMMVoiceClean::FrameBytes() const { return size_t{2} * PWaveFormat()->nChannels; }

void TMMVoiceClean::Closed() {
    cleaner_.reset();
    TMMDSPComponent::Closed();
}

// The capture has ended (the wave input tells its chain in order, so everything
// after this stage still takes sound): what the cleaner holds goes on now.
void TMMVoiceClean::Stopped() {
    if (cleaner_ && IsStarted()) HandOnTail();
    TMMDSPComponent::Stopped();
}

// As many frames as the lead-in that was left out, so the length is what was captured.
void TMMVoiceClean::HandOnTail() {
    const size_t frames = cleaner_->LatencyFrames() - leadInLeft_;
    leadInLeft_ = cleaner_->LatencyFrames();  // a new start begins with a new lead-in
    if (frames == 0) return;
    std::fill(tail_.begin(), tail_.end(), 0);
    try {
        cleaner_->Process(reinterpret_cast<int16_t*>(tail_.data()), frames);
    } catch (const VoiceCleanerError& error) {
        throw EMMVoiceCleanError(error.what());
    }
    tailHeader_ = TWaveHdr{};
    tailHeader_.lpData = tail_.data();
    tailHeader_.dwBufferLength = tailHeader_.dwBytesRecorded =
        static_cast<uint32_t>(frames * FrameBytes());
    TMMDSPComponent::BufferReady(&tailHeader_);
}

void TMMVoiceClean::BufferReady(PWaveHdr lpWaveHdr) {
    if (cleaner_ && lpWaveHdr && lpWaveHdr->lpData) {
        const size_t bytes = std::min(lpWaveHdr->dwBytesRecorded, lpWaveHdr->dwBufferLength);
        const size_t frameBytes = FrameBytes();
        const size_t frames = bytes / frameBytes;
        try {
            cleaner_->Process(reinterpret_cast<int16_t*>(lpWaveHdr->lpData), frames);
        } catch (const VoiceCleanerError& error) {
            throw EMMVoiceCleanError(error.what());
        }
        if (const size_t left = std::min(leadInLeft_, frames)) {
            std::memmove(lpWaveHdr->lpData, lpWaveHdr->lpData + left * frameBytes,
                         bytes - left * frameBytes);
            lpWaveHdr->dwBytesRecorded = static_cast<uint32_t>(bytes - left * frameBytes);
            leadInLeft_ -= left;
        }
    }
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

}  // namespace murmel
