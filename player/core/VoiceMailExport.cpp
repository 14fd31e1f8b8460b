#include "VoiceMailExport.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <vector>

#include "ExportTarget.h"
#include "GbkText.h"
#include "Mp3FileEncoder.h"
#include "PlayerCore.h"
#include "PresetsStore.h"
#include "RenderOutput.h"
#include "SafeFile.h"

namespace murmel {
namespace {

constexpr int64_t kTickMs = 50;  // the player's progress timer
constexpr int kFallbackRate = 44100;
constexpr int kLayer3Rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

// Carries the file's errno out of the renderer to the file writer.
struct WriteFailed {
    int error;
};

class EncoderSink : public RenderOutput::Sink {
  public:
    void Write(const int16_t* samples, size_t frames) override {
        const auto count =
            static_cast<size_t>(std::clamp<int64_t>(remaining, 0, static_cast<int64_t>(frames)));
        if (count == 0 || !encoder) return;
        if (!encoder->Write(samples, count)) throw WriteFailed{errno};
        remaining -= static_cast<int64_t>(count);
    }
    Mp3FileEncoder* encoder = nullptr;
    int64_t remaining = 0;  // frames the MP3 still takes: the voice's length, nothing after
};

uint32_t Little(const std::vector<uint8_t>& bytes, size_t at, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<size_t>(i)];
    return value;
}

Mp3FileEncoder::Format PresetFormat(const std::string& preset) {
    std::vector<uint8_t> record = ReadPreset("WaveFormat" + preset);
    if (record.size() < 18) record = StandardPreset(preset);
    if (record.size() < 18)
        throw std::invalid_argument("Unknown preset \"" + preset +
                                    "\" (expected 1K, 2K, 4K or 8K)");
    const Mp3FileEncoder::Format format{static_cast<int>(Little(record, 4, 4)),
                                        static_cast<int>(Little(record, 2, 2)),
                                        static_cast<int>(Little(record, 8, 4) * 8 / 1000)};
    if (!Mp3FileEncoder::Supports(format))
        throw std::invalid_argument("The preset \"" + preset + "\" is not an MP3 format");
    return format;
}

// The voice track's own rate and channels, at its own bit rate but no less than
// kMinimumKbps, and high enough for the info frame that keeps the length exact.
Mp3FileEncoder::Format OwnFormat(const VoiceDevice::TrackInfo& voice) {
    Mp3FileEncoder::Format format{voice.sampleRate, std::clamp(voice.channels, 1, 2), 0};
    if (std::find(std::begin(kLayer3Rates), std::end(kLayer3Rates), format.sampleRate) ==
        std::end(kLayer3Rates))
        format.sampleRate = kFallbackRate;
    for (int kbps = std::max(kMinimumKbps, voice.kbps); kbps <= 320 && !format.kbps; ++kbps)
        if (Mp3FileEncoder::Supports({format.sampleRate, format.channels, kbps}) &&
            Mp3FileEncoder::HoldsInfoFrame({format.sampleRate, format.channels, kbps}))
            format.kbps = kbps;
    if (!format.kbps)
        format.kbps = format.sampleRate >= 32000 ? 320 : 160;  // the version's highest
    return format;
}

// UTF-8 to UTF-16; false for bytes that are not UTF-8.
bool Utf8ToUtf16(const std::string& text, std::u16string& out) {
    out.clear();
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<uint8_t>(text[i++]);
        int extra = 0;
        uint32_t code = lead;
        if (lead >= 0xF0 && lead < 0xF5)
            extra = 3, code = lead & 0x07;
        else if (lead >= 0xE0)
            extra = 2, code = lead & 0x0F;
        else if (lead >= 0xC2)
            extra = 1, code = lead & 0x1F;
        else if (lead >= 0x80)
            return false;
        if (lead >= 0xF5 || text.size() - i < static_cast<size_t>(extra)) return false;
        for (int k = 0; k < extra; ++k, ++i) {
            const auto next = static_cast<uint8_t>(text[i]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return true;
}

// The voice mail's name without folder and extension; a name that is not UTF-8
// is taken as the product's GBK.
std::u16string Title(const std::string& voiceMail) {
    std::string name = voiceMail.substr(voiceMail.find_last_of('/') + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    std::u16string title;
    if (Utf8ToUtf16(name, title) || Utf8ToUtf16(GbkToUtf8(name), title)) return title;
    return u"";
}

}  // namespace

void ExportVoiceMail(const std::string& voiceMail, const std::string& target,
                     const ExportOptions& options, const ExportProgress& progress) {
    const std::string failure = "Cannot export " + voiceMail + ": ";
    CheckExportTarget(voiceMail, target);
    if (!options.preset.empty())
        PresetFormat(options.preset);  // a bad preset stops us before any work
    EncoderSink sink;
    RenderOutput output(sink);
    PlayerListener listener;
    PlayerCore core(output, listener);
    core.SetSpeed(options.speed);
    try {
        if (!core.ExecuteMVMFile(voiceMail))
            throw std::runtime_error(failure + core.LastLoadError());
    } catch (const EMCIDeviceError& error) {
        throw std::runtime_error(failure + error.what());
    }
    const VoiceDevice::TrackInfo voice = core.Voice().Info();
    const Mp3FileEncoder::Format format =
        options.preset.empty() ? OwnFormat(voice) : PresetFormat(options.preset);
    const int64_t frames = std::llround(static_cast<double>(voice.frames) * RenderOutput::kRate /
                                        voice.sampleRate / core.Speed());
    const int64_t totalMs = frames * 1000 / RenderOutput::kRate;
    Clock& clock = output.OutputClock();

    ReplaceFileWith(target, FileSharing::Shared, [&](int fd) {
        try {
            Mp3FileEncoder encoder(fd, format, Title(voiceMail));
            sink.encoder = &encoder;
            sink.remaining = frames;
            for (int64_t next = kTickMs; core.Display().progressTimerEnabled && sink.remaining > 0;
                 next += kTickMs) {
                clock.WaitUntilMs(next);
                core.TmProgressTimer();
                if (progress && !progress(std::min(next, totalMs), totalMs))
                    throw EExportCancelled();
            }
            sink.encoder = nullptr;
            return encoder.Finish();
        } catch (const WriteFailed& failed) {
            errno = failed.error;
            return false;
        }
    });
}

}  // namespace murmel
