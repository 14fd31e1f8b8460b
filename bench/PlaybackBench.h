#pragma once
// What the playback benchmarks share: a long tune and a long voice mail to play
// (running peers and reading CPU time are in BenchProcess.h).
#include <string>

#include "BenchProcess.h"
#include "PlayTestFiles.h"

namespace murmel::test {

// A melody on a piano over a held organ chord, for `seconds`.
inline std::string LongTune(double seconds) {
    std::string track;
    auto event = [&](uint32_t delta, std::initializer_list<int> bytes) {
        PutVariable(track, delta);
        for (int byte : bytes) track += static_cast<char>(byte);
    };
    event(0, {0xC0, 0});
    event(0, {0xC1, 19});
    event(0, {0x91, 48, 70});
    event(0, {0x91, 55, 70});
    const int scale[] = {60, 62, 64, 65, 67, 69, 71, 72};
    const int notes = static_cast<int>(seconds * 4);
    for (int i = 0; i < notes; ++i) {
        event(i ? 60 : 0, {0x90, scale[(i * 3) % 8], 90});
        event(180, {0x80, scale[(i * 3) % 8], 0});
    }
    event(0, {0x81, 48, 0});
    event(0, {0x81, 55, 0});
    event(0, {0xFF, 0x2F, 0x00});
    std::string file = "MThd";
    for (int byte : {0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0}) file += static_cast<char>(byte);
    file += "MTrk";
    for (int shift : {24, 16, 8, 0}) file += static_cast<char>((track.size() >> shift) & 0xFF);
    return file + track;
}

// A voice mail of `seconds` in `folder`: a 2K preset voice track of speech-band tones
// (16 kHz mono, 16 kbit/s; also left as voice.mp3), the long tune (tune.mid) and a
// schedule entry every 5 s. Returns its path; empty when lame fails.
inline std::string LongVoiceMail(const std::string& folder, double seconds) {
    std::string pcm;
    const uint32_t rate = 16000;
    const auto frames = static_cast<uint32_t>(seconds * rate);
    pcm.reserve(frames * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double value = 0.3 * std::sin(2 * M_PI * (200 + 100 * std::sin(t)) * t) +
                             0.1 * std::sin(2 * M_PI * 1300 * t);
        PutLE(pcm, static_cast<uint16_t>(static_cast<int16_t>(std::lrint(value * 32767))), 2);
    }
    WriteFile(folder + "voice-in.wav",
              Riff(Chunk("fmt ", PcmFormat(rate, 1, 16)) + Chunk("data", pcm)));
    if (std::system(
            ("lame --quiet -t -m m -b 16 '" + folder + "voice-in.wav' '" + folder + "voice.mp3'")
                .c_str()) != 0)
        return "";
    const std::string tune = LongTune(seconds);
    WriteFile(folder + "tune.mid", tune);
    std::vector<std::pair<int, int>> entries;
    for (int t = 0; t < seconds * 1000; t += 5000) entries.push_back({t, 1 + (t / 5000) % 9});
    const std::string mail = folder + "long.mvm";
    WriteVoiceMail(mail, WrapMp3(ReadFile(folder + "voice.mp3"), kPresets[1], true), tune,
                   ScheduleText(entries), true);
    return mail;
}

}  // namespace murmel::test
