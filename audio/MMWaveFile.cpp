// TMMWaveFile, the chain element around TMMWave (declared in MMWave.h).
#include "MMWave.h"

namespace murmel {

TMMWaveFile::TMMWaveFile(std::string name) : TMMDSPComponent(std::move(name)) {
    wave_.FileMustExist = false;
}

TMMWaveFile::~TMMWaveFile() {
    std::lock_guard<std::mutex> guard(fileLock_);
    if (fileOpen_) wave_.Finalise();
}

void TMMWaveFile::Opened() {
    TMMDSPComponent::Opened();
    if (!fileOpen_ && Input()) {
        SetPWaveFormat(Input()->PWaveFormat());
        if (PWaveFormat() && !wave_.FileName().empty()) {
            // Appending to an existing file is not needed: a recording always
            // starts a new file (OverwriteExisting or not).
            std::lock_guard<std::mutex> guard(fileLock_);
            wave_.Create(PWaveFormat());
            fileStarted_ = false;
            everStarted_ = false;
            fileOpen_ = true;
        }
    }
    if (fileOpen_ && OnOpen) OnOpen(this);
}

void TMMWaveFile::Started() {
    TMMDSPComponent::Started();
    if (fileOpen_) fileStarted_ = everStarted_ = true;
}

// Writing goes on after Stopped: the converter hands its last output down when the
// chain stops, and the file takes it until Closed finalises it.
void TMMWaveFile::Stopped() { TMMDSPComponent::Stopped(); }

void TMMWaveFile::Paused() {
    TMMDSPComponent::Paused();
    std::lock_guard<std::mutex> guard(fileLock_);
    if (fileOpen_ && !wave_.Save()) FinaliseLocked();
}

void TMMWaveFile::AppendOrFinalise(const void* data, size_t size, bool save) {
    std::lock_guard<std::mutex> guard(fileLock_);
    if (!fileOpen_) return;
    // Full disk or failed write: keep what was written as a valid file.
    if (!wave_.Append(data, size) || (save && !wave_.Save())) FinaliseLocked();
}

// The last buffer a pausing device hands back may come after Paused: it is put
// on disk at once, with what came before.
void TMMWaveFile::BufferReady(PWaveHdr lpWaveHdr) {
    if (fileStarted_ && Enabled && Input() && !wave_.FileName().empty() && lpWaveHdr &&
        lpWaveHdr->lpData && lpWaveHdr->dwBytesRecorded > 0)
        AppendOrFinalise(lpWaveHdr->lpData, lpWaveHdr->dwBytesRecorded, IsPaused());
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMWaveFile::FinaliseLocked() {
    fileStarted_ = false;
    // A file always holds some data: four zero bytes when nothing arrived. They
    // go in even on a full disk, where the check alone would refuse them.
    if (Input() && !wave_.FileName().empty() && PWaveFormat() && wave_.SampleCount() == 0) {
        const uint8_t silence[4] = {};
        wave_.Append(silence, sizeof silence, false);
    }
    wave_.Finalise();
    fileOpen_ = false;
}

void TMMWaveFile::FinaliseFile() {
    {
        std::lock_guard<std::mutex> guard(fileLock_);
        if (!fileOpen_) return;
        FinaliseLocked();
    }
    if (OnClose) OnClose(this);
}

void TMMWaveFile::Closed() {
    // A chain that closes before it started (a converter that cannot start, a
    // failed device) made no recording: its file goes, rather than stay empty.
    if (fileOpen_ && !everStarted_) {
        std::lock_guard<std::mutex> guard(fileLock_);
        wave_.Discard();
        fileOpen_ = false;
    }
    FinaliseFile();
    TMMDSPComponent::Closed();
}

}  // namespace murmel
