// The reverb's settings block as the window design stores it (declared in MMReverb.h).
#include <strings.h>

#include <algorithm>

#include "MMReverb.h"

namespace murmel {

namespace {

constexpr uint8_t kSignature[4] = {'R', 'V', 'B', 0};
constexpr char kEchoClass[] = "TMMEcho";

// Reads little-endian fields; running out of bytes is a broken stream.
class BlockReader {
  public:
    BlockReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    const uint8_t* Take(size_t count) {
        if (count > size_ - position_) throw EFilerError("Invalid Object stream");
        const uint8_t* bytes = data_ + position_;
        position_ += count;
        return bytes;
    }
    uint8_t Byte() { return *Take(1); }
    uint16_t Word() {
        const uint8_t* b = Take(2);
        return static_cast<uint16_t>(b[0] | b[1] << 8);
    }
    int32_t Long() {
        const uint8_t* b = Take(4);
        return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                    static_cast<uint32_t>(b[2]) << 16 |
                                    static_cast<uint32_t>(b[3]) << 24);
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

void PutLong(std::vector<uint8_t>& out, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

}  // namespace

TMMReverbSettings ReadReverbSettings(const uint8_t* data, size_t size) {
    BlockReader in(data, size);
    const uint8_t* signature = in.Take(4);
    for (int i = 0; i < 4; ++i)
        if (signature[i] != kSignature[i]) throw EFilerError("Invalid Object stream");

    TMMReverbSettings settings;
    settings.ListFlag = in.Byte();
    const int32_t length = in.Long();
    if (length < 0) throw EFilerError("Invalid Object stream");
    const uint8_t* text = in.Take(static_cast<size_t>(length));
    settings.Description.assign(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
    settings.MaxDelay = in.Long();
    settings.InputGain = static_cast<int16_t>(in.Long());
    settings.InputPan = static_cast<int16_t>(in.Long());
    settings.OutputGain = static_cast<int16_t>(in.Long());
    settings.FeedBack = static_cast<uint8_t>(in.Long());

    const size_t count = std::min<size_t>(in.Word(), kMaxEchos);
    settings.Echos.clear();
    for (size_t i = 0; i < count; ++i) {
        const uint8_t nameLength = in.Byte();
        std::string name(reinterpret_cast<const char*>(in.Take(nameLength)), nameLength);
        // Class lookups are case-insensitive, as the framework's registry is.
        if (strcasecmp(name.c_str(), kEchoClass) != 0 || name.size() != sizeof kEchoClass - 1)
            throw EClassNotFound("Class <" + name + "> not registered");
        TMMEcho echo;
        echo.Delay = in.Long();
        echo.Gain = in.Long();
        settings.Echos.push_back(echo);
    }
    return settings;
}

std::vector<uint8_t> WriteReverbSettings(const TMMReverbSettings& settings) {
    std::vector<uint8_t> out(kSignature, kSignature + 4);
    out.push_back(settings.ListFlag);
    PutLong(out, static_cast<int32_t>(settings.Description.size()));
    out.insert(out.end(), settings.Description.begin(), settings.Description.end());
    PutLong(out, settings.MaxDelay);
    PutLong(out, settings.InputGain);
    PutLong(out, settings.InputPan);
    PutLong(out, settings.OutputGain);
    PutLong(out, settings.FeedBack);
    const size_t count = std::min(settings.Echos.size(), kMaxEchos);
    out.push_back(static_cast<uint8_t>(count));
    out.push_back(static_cast<uint8_t>(count >> 8));
    for (size_t i = 0; i < count; ++i) {
        out.push_back(sizeof kEchoClass - 1);
        out.insert(out.end(), kEchoClass, kEchoClass + sizeof kEchoClass - 1);
        PutLong(out, settings.Echos[i].Delay);
        PutLong(out, settings.Echos[i].Gain);
    }
    return out;
}

}  // namespace murmel
