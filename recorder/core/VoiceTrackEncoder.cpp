#include "VoiceTrackEncoder.h"

#include <unistd.h>

#include <algorithm>

#include "SafeFile.h"

namespace murmel {
namespace {
constexpr size_t kBufferBytes = 2048;  // what the capture device hands the chain
}

VoiceTrackEncoder::VoiceTrackEncoder(const std::string& target,
                                     const std::vector<uint8_t>& formatRecord, int rate,
                                     int channels)
    : target_(target), source_("Trim"), buffer_(kBufferBytes) {
    writer_.Wave().FileMustExist = false;
    writer_.Wave().UpdateIntervalMs = 0;
    writer_.Wave().SetFileName(target);
    converter_.SetQuality(TMMACMQuality::cqHigh);
    source_.SetOutput(&converter_);
    converter_.SetOutput(&writer_);
    source_.SetPWaveFormat(BuildPCMFormat(channels, 16, static_cast<uint32_t>(rate)).get());
    converter_.SetPWaveFormat(WaveFormatFromBytes(formatRecord.data(), formatRecord.size()).get());
    converter_.SetBufferSize(kBufferBytes);
    writer_.SetBufferSize(kBufferBytes);
    converter_.Opened();
    writer_.Opened();
    if (!writer_.FileOpen()) {
        converter_.Closed();
        throw EMMWaveError("Unable to create wave file");
    }
    converter_.Started();
    writer_.Started();
}

VoiceTrackEncoder::~VoiceTrackEncoder() {
    if (finished_) return;
    converter_.Closed();
    writer_.Closed();
    unlink(target_.c_str());  // an encoding given up leaves nothing behind
}

void VoiceTrackEncoder::Put(const int16_t* samples, size_t count) {
    const auto* bytes = reinterpret_cast<const char*>(samples);
    pending_.insert(pending_.end(), bytes, bytes + count * sizeof(int16_t));
    size_t at = 0;
    for (; pending_.size() - at >= kBufferBytes; at += kBufferBytes) {
        std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(at), kBufferBytes,
                    buffer_.begin());
        TWaveHdr header{};
        header.lpData = buffer_.data();
        header.dwBufferLength = kBufferBytes;
        header.dwBytesRecorded = kBufferBytes;
        converter_.BufferReady(&header);
        CheckWritten();
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}

void VoiceTrackEncoder::Finish() {
    if (!pending_.empty()) {
        std::copy(pending_.begin(), pending_.end(), buffer_.begin());
        TWaveHdr header{};
        header.lpData = buffer_.data();
        header.dwBufferLength = kBufferBytes;
        header.dwBytesRecorded = static_cast<uint32_t>(pending_.size());
        converter_.BufferReady(&header);
        pending_.clear();
        CheckWritten();
    }
    converter_.Stopped();
    writer_.Stopped();
    CheckWritten();
    converter_.Closed();
    writer_.Closed();
    CheckWritten();
    finished_ = true;
}

void VoiceTrackEncoder::CheckWritten() {
    if (writer_.WriteError()) throw EFileError(target_, writer_.WriteError());
}

}  // namespace murmel
