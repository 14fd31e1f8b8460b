// The silent device: real-time silence for machines without sound.
#include <algorithm>

#include "PacedCapture.h"

namespace murmel {
namespace {

class NullCapture : public PacedCapture {
public:
    NullCapture() : PacedCapture(true) {}
    bool Probe() override { return true; }
    std::string ProductName() const override { return "Silence"; }

protected:
    void Prepare(const CaptureFormat&) override {}
    size_t Generate(float* samples, size_t frames) override {
        std::fill(samples, samples + frames * format().channels, 0.0f);
        return frames;
    }
};

}  // namespace

std::unique_ptr<CaptureDevice> MakeNullCapture() { return std::make_unique<NullCapture>(); }

}  // namespace murmel
