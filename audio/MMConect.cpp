#include "MMConect.h"

#include <chrono>

namespace murmel {

TMMConnector::TMMConnector(std::string name) : TMMDSPComponent(std::move(name)) {
    Clock = &TMMConnector::MicrosecondClock;
}

uint64_t TMMConnector::MicrosecondClock() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

void TMMConnector::Started() {
    bool wasStarted = IsStarted();
    TMMDSPComponent::Started();
    if (wasStarted || !IsStarted() || !IsPCMFormat(PWaveFormat())) return;
    feed_.Synchronize = Synchronize;
    feed_.Start(PWaveFormat(), BufferSize());
    if (Spectrum2) Spectrum2->SetPWaveFormat(PWaveFormat());
    if (OnDisplayStart) OnDisplayStart(this);
}

void TMMConnector::Stopped() {
    if (feed_.Running()) {
        feed_.Stop();
        if (RefreshOnStop && Spectrum2) Spectrum2->ResetData();
        if (OnDisplayStop) OnDisplayStop(this);
    }
    TMMDSPComponent::Stopped();
}

void TMMConnector::BufferReady(PWaveHdr lpWaveHdr) {
    if (Enabled && !IsPaused() && IsPCMFormat(PWaveFormat()) && lpWaveHdr) {
        PWaveHdr source = lpWaveHdr;
        if (Synchronize && lpWaveHdr->lpCompanion && lpWaveHdr->dwBytesRecorded > 0)
            source = lpWaveHdr->lpCompanion;
        if (source->lpData) feed_.Copy(source->lpData, source->dwBytesRecorded, Clock());
    }
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

}  // namespace murmel
