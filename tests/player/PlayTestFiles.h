#pragma once
// Sound files for the playback tests: PCM waves, voice tracks made with lame and
// wrapped in RIFF WAVE, a small MIDI writer, voice mails, and level measurement of
// rendered sound.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "PkStreamCol.h"
#include "TestFiles.h"

namespace murmel::test {

inline void PutLE(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline std::string Chunk(const char* id, const std::string& body) {
    std::string chunk(id, 4);
    PutLE(chunk, static_cast<uint32_t>(body.size()), 4);
    chunk += body;
    if (body.size() & 1) chunk += '\0';
    return chunk;
}

inline std::string Riff(const std::string& chunks) {
    std::string file = "RIFF";
    PutLE(file, static_cast<uint32_t>(chunks.size() + 4), 4);
    return file + "WAVE" + chunks;
}

inline std::string PcmFormat(uint32_t rate, uint16_t channels, uint16_t bits) {
    std::string format;
    PutLE(format, 1, 2);
    PutLE(format, channels, 2);
    PutLE(format, rate, 4);
    PutLE(format, rate * channels * bits / 8, 4);
    PutLE(format, channels * bits / 8, 2);
    PutLE(format, bits, 2);
    return format;
}

// A 16-bit PCM wave: a sine of `hz` (0 gives silence) at `amplitude` (0..1).
inline std::string PcmWave(uint32_t rate, uint16_t channels, double seconds, double hz,
                           double amplitude, bool factAfterData = false) {
    std::string data;
    const auto frames = static_cast<uint32_t>(seconds * rate);
    for (uint32_t i = 0; i < frames; ++i) {
        const double value = amplitude * std::sin(2 * M_PI * hz * i / rate);
        for (int c = 0; c < channels; ++c)
            PutLE(data, static_cast<uint16_t>(static_cast<int16_t>(std::lrint(value * 32767))), 2);
    }
    std::string fact;
    PutLE(fact, frames, 4);
    std::string chunks = Chunk("fmt ", PcmFormat(rate, channels, 16)) + Chunk("data", data);
    if (factAfterData) chunks += Chunk("fact", fact);
    return Riff(chunks);
}

// A voice-track format: what lame makes and how the wave header describes it.
struct Mp3Preset {
    const char* name;
    uint32_t rate;
    uint16_t channels;
    uint32_t kbps;
    const char* lameOptions;
};

inline const Mp3Preset kPresets[] = {
    {"1K", 8000, 1, 8, "-m m -b 8 --resample 8"},
    {"2K", 16000, 1, 16, "-m m -b 16 --resample 16"},
    {"4K", 22050, 1, 32, "-m m -b 32 --resample 22.05"},
    {"8K", 44100, 2, 64, "-m s -b 64 --resample 44.1"},
};

// Encodes a tone with lame (no tag frame, like the recorder's codec); empty on failure.
inline std::string LameMp3(const Mp3Preset& preset, double seconds, const std::string& folder) {
    const std::string source = folder + "lame-in.wav", target = folder + "lame-out.mp3";
    WriteFile(source, PcmWave(44100, 2, seconds, 440, 0.5));
    const std::string command = std::string("lame --quiet -t ") + preset.lameOptions + " '" +
                                source + "' '" + target + "'";
    if (std::system(command.c_str()) != 0) return "";
    return ReadFile(target);
}

// MPEG Layer-3 in RIFF WAVE: 'fact' after 'data' as the recorder writes it, or
// 'fact' and 'LIST' before 'data' as other tools do.
inline std::string WrapMp3(const std::string& mp3, const Mp3Preset& preset, bool recorderOrder) {
    std::string format;
    PutLE(format, 0x55, 2);
    PutLE(format, preset.channels, 2);
    PutLE(format, preset.rate, 4);
    PutLE(format, preset.kbps * 125, 4);
    PutLE(format, 1, 2);
    PutLE(format, 0, 2);
    PutLE(format, 12, 2);  // cbSize
    PutLE(format, 1, 2);   // wID
    PutLE(format, 2, 4);   // fdwFlags
    PutLE(format, 144 * preset.kbps * 1000 / preset.rate, 2);
    PutLE(format, 1, 2);
    PutLE(format, 1393, 2);
    std::string fact;
    PutLE(fact, 0, 4);
    if (recorderOrder)
        return Riff(Chunk("fmt ", format) + Chunk("data", mp3) + Chunk("fact", fact));
    const std::string list = Chunk("LIST", "INFOISFT" + std::string("\x06\0\0\0Lavf\0\0", 10));
    return Riff(Chunk("fmt ", format) + Chunk("fact", fact) + list + Chunk("data", mp3));
}

inline void PutVariable(std::string& out, uint32_t value) {
    char bytes[5];
    int count = 0;
    bytes[count++] = static_cast<char>(value & 0x7F);
    while (value >>= 7) bytes[count++] = static_cast<char>((value & 0x7F) | 0x80);
    while (count) out += bytes[--count];
}

// A format-0 MIDI file holding one note on an organ (which sustains evenly) for
// `seconds`, at 120 beats a minute with 480 ticks a beat.
inline std::string MidiTune(double seconds, int note = 60, int program = 19) {
    std::string track;
    PutVariable(track, 0);
    track += std::string("\xFF\x51\x03\x07\xA1\x20", 6);  // 500000 us per beat
    PutVariable(track, 0);
    track += static_cast<char>(0xC0);
    track += static_cast<char>(program);
    PutVariable(track, 0);
    track += std::string("\x90", 1) + static_cast<char>(note) + static_cast<char>(100);
    PutVariable(track, static_cast<uint32_t>(seconds * 960));
    track += std::string("\x80", 1) + static_cast<char>(note) + static_cast<char>(0);
    PutVariable(track, 0);
    track += std::string("\xFF\x2F\x00", 3);
    std::string file = "MThd";
    for (int byte : {0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0}) file += static_cast<char>(byte);
    file += "MTrk";
    for (int shift : {24, 16, 8, 0}) file += static_cast<char>((track.size() >> shift) & 0xFF);
    return file + track;
}

// Schedule text: entries of (time ms, level).
inline std::string ScheduleText(const std::vector<std::pair<int, int>>& entries) {
    std::string text;
    for (size_t n = 0; n < entries.size(); ++n)
        text += "[" + std::to_string(n) + "]\r\nTime=" + std::to_string(entries[n].first) +
                "\r\nVolume=" + std::to_string(entries[n].second) + "\r\n";
    return text;
}

inline void WriteVoiceMail(const std::string& path, const std::string& voice, const std::string& midi,
                           const std::string& schedule, bool compressed) {
    TPkStreams streams;
    streams.Compressed = compressed;
    auto bytes = [](const std::string& text) { return ByteStream(text.begin(), text.end()); };
    streams.AddStream("Mp3File", bytes(voice));
    streams.AddStream("BGMusic", bytes(midi));
    streams.AddStream("CtrInfo", bytes(schedule));
    streams.SaveToFile(path);
}

// The 16-bit stereo samples of a rendered WAV file (header of 44 bytes).
inline std::vector<int16_t> RenderedSamples(const std::string& path) {
    const std::string file = ReadFile(path);
    std::vector<int16_t> samples;
    for (size_t i = 44; i + 1 < file.size(); i += 2)
        samples.push_back(static_cast<int16_t>(static_cast<uint8_t>(file[i]) |
                                               (static_cast<uint8_t>(file[i + 1]) << 8)));
    return samples;
}

// Level in dB (full scale) of the rendered sound from `fromMs` to `toMs`; -200 for silence.
inline double LevelDb(const std::vector<int16_t>& samples, int fromMs, int toMs, int rate = 44100) {
    const size_t from = static_cast<size_t>(fromMs) * rate / 1000 * 2;
    const size_t to = std::min(samples.size(), static_cast<size_t>(toMs) * rate / 1000 * 2);
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(samples[i]) * samples[i];
    if (to <= from || sum == 0) return -200;
    return 10 * std::log10(sum / double(to - from)) - 20 * std::log10(32768.0);
}

// Files directly in the test's temporary folder (not in sub-folders).
inline std::vector<std::string> LooseTempFiles() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(murmel::TempFolder()))
        if (entry.is_regular_file()) files.push_back(entry.path().filename().string());
    return files;
}

}  // namespace murmel::test
