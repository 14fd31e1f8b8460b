#include "AcmDriver.h"

#include <algorithm>
#include <cstring>

namespace murmel {
namespace {

constexpr uint32_t kMinConverterRate = 1000;    // below this no voice is left to convert
constexpr uint32_t kMaxConverterRate = 384000;  // keeps worst-case buffer sizes sane

}  // namespace

bool IsValidConverterPcm(const WAVEFORMATEX& format) {
    return format.wFormatTag == kAcmTagPcm && (format.nChannels == 1 || format.nChannels == 2) &&
           (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
           format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8 &&
           format.nSamplesPerSec >= kMinConverterRate && format.nSamplesPerSec <= kMaxConverterRate;
}

MMRESULT AcmQueuedStream::Convert(ACMSTREAMHEADER& header, uint32_t fdwConvert) {
    // Drop what was already handed out, so the queue never grows by reading slowly.
    if (pendingRead_ > 0) {
        pending_.erase(pending_.begin(),
                       pending_.begin() + static_cast<std::ptrdiff_t>(pendingRead_));
        pendingRead_ = 0;
    }
    Process(header.pbSrc, header.cbSrcLength, (fdwConvert & ACM_STREAMCONVERTF_END) != 0, pending_);
    header.cbSrcLengthUsed = header.cbSrcLength;
    size_t count = std::min<size_t>(pending_.size(), header.cbDstLength);
    if (count > 0) std::memcpy(header.pbDst, pending_.data(), count);
    pendingRead_ = count;
    header.cbDstLengthUsed = static_cast<uint32_t>(count);
    return MMSYSERR_NOERROR;
}

void AcmQueuedStream::Reset() {
    pending_.clear();
    pendingRead_ = 0;
}

}  // namespace murmel
