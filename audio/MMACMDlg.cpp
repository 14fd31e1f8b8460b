#include "MMACMDlg.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Acm.h"

namespace murmel {
namespace {

int Metric(uint32_t metric) {
    uint32_t value = 0;
    if (acmMetrics(nullptr, metric, &value) != MMSYSERR_NOERROR) return 0;
    return static_cast<int>(std::min<uint32_t>(value, INT32_MAX));
}

}  // namespace

TMMACM::Binding TMMACM::SystemBinding() { return {true, acmGetVersion()}; }

std::string TMMACM::NotInstalledText() {
    return "The Audio Compression Manager (ACM) is not installed on this system. Most features of "
           "this "
           "application will not be available.";
}

std::string TMMACM::OldVersionText(uint32_t version) {
    char text[256];
    std::snprintf(
        text, sizeof text,
        "This application requires Version 2.00 or greater of the Audio Compression Manager (ACM). "
        "The version installed on this system is Version %u.%.02u. Most features of this "
        "application will not be available.",
        (version >> 24) & 0xFF, (version >> 16) & 0xFF);
    return text;
}

TMMACM::TMMACM(std::function<void(const std::string&)> informationBox, Binding binding) {
    if (!binding.loaded) {
        if (informationBox) informationBox(NotInstalledText());
        return;
    }
    if ((binding.version >> 16) < 0x0200) {
        if (informationBox) informationBox(OldVersionText(binding.version));
        return;
    }
    present_ = true;
    numDrivers_ = Metric(ACM_METRIC_COUNT_DRIVERS);
    numCodecs_ = Metric(ACM_METRIC_COUNT_CODECS);
    numConverters_ = Metric(ACM_METRIC_COUNT_CONVERTERS);
    numFilters_ = Metric(ACM_METRIC_COUNT_FILTERS);
    if (int size = Metric(ACM_METRIC_MAX_SIZE_FORMAT); size > 0)
        currentFormat_.assign(size_t(size), 0);
    if (int size = Metric(ACM_METRIC_MAX_SIZE_FILTER); size > 0)
        currentFilter_.assign(size_t(size), 0);
}

void TMMACM::SetPWaveFormat(const TWaveFormatEx* format) {
    if (!format) return;
    size_t size = std::min(WaveFormatSize(format), currentFormat_.size());
    if (size > 0) std::memcpy(currentFormat_.data(), format, size);
}

}  // namespace murmel
