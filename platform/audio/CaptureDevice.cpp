#include "CaptureDevice.h"

#include <cstdlib>

namespace murmel {
namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The device of a MURMEL_CAPTURE value we do not understand: never present.
class AbsentCapture : public CaptureDevice {
public:
    bool Probe() override { return false; }
    std::string ProductName() const override { return ""; }
    bool CanRecord(const CaptureFormat&) const override { return false; }
    void Open(const CaptureFormat&, CaptureClient*) override { throw CaptureError("No device"); }
    void Start() override {}
    void Stop() override {}
    uint64_t Position() override { return 0; }
    void Close() override {}
};

}  // namespace

std::unique_ptr<CaptureDevice> CaptureDeviceFromSpec(const std::string& spec) {
    if (spec.empty() || spec == "pulse") return MakePulseCapture("");
    if (StartsWith(spec, "pulse:")) return MakePulseCapture(spec.substr(6));
    if (StartsWith(spec, "file:")) return MakeFileCapture(spec.substr(5), true);
    if (StartsWith(spec, "file-fast:")) return MakeFileCapture(spec.substr(10), false);
    if (StartsWith(spec, "tone:")) {
        char* end = nullptr;
        double frequency = std::strtod(spec.c_str() + 5, &end);
        if (end && *end == '\0' && frequency > 0 && frequency < 1e6)
            return MakeToneCapture(frequency);
    }
    if (spec == "null") return MakeNullCapture();
    return std::make_unique<AbsentCapture>();
}

bool CaptureChosenByEnvironment() {
    const char* value = std::getenv("MURMEL_CAPTURE");
    return value && *value;
}

std::unique_ptr<CaptureDevice> CaptureDeviceForSource(const std::string& source) {
    if (CaptureChosenByEnvironment() || source.empty()) return CaptureDeviceFromEnvironment();
    return MakePulseCapture(source);
}

std::unique_ptr<CaptureDevice> CaptureDeviceFromEnvironment() {
    const char* value = std::getenv("MURMEL_CAPTURE");
    return CaptureDeviceFromSpec(value ? value : "");
}

}  // namespace murmel
