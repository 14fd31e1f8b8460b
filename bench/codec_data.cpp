#include "codec_data.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace murmel::bench {

namespace {

void Append(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

void Append32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// 128 kbit/s joint-stereo frames: 417 or 418 bytes each.
Bytes Mp3Frames(size_t size, std::mt19937& random) {
    Bytes out;
    out.reserve(size + 512);
    std::uniform_int_distribution<int> byte(0, 255);
    for (size_t frame = 0; out.size() < size; ++frame) {
        const bool padded = frame % 3 == 2;
        out.insert(out.end(), {0xFF, 0xFB, static_cast<uint8_t>(padded ? 0x92 : 0x90), 0x64});
        const size_t body = (padded ? 418 : 417) - 4;
        const bool silent = frame % 97 < 4;  // pauses in speech code to almost nothing
        for (size_t i = 0; i < body; ++i) {
            if (i < 32) {
                out.push_back(static_cast<uint8_t>(byte(random) & 0x3F));  // side information
            } else {
                out.push_back(silent ? 0x55 : static_cast<uint8_t>(byte(random)));
            }
        }
    }
    out.resize(size);
    return out;
}

Bytes Midi(size_t notes, std::mt19937& random) {
    Bytes track = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
    const uint8_t scale[] = {60, 62, 64, 65, 67, 69, 71, 72};
    for (size_t i = 0; i < notes; ++i) {
        const uint8_t key = scale[random() % 8];
        const uint8_t velocity = static_cast<uint8_t>(0x50 + random() % 0x20);
        track.insert(track.end(), {0x00, 0x90, key, velocity, 0x83, 0x60, 0x80, key, 0x40});
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    Bytes file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    const uint32_t length = static_cast<uint32_t>(track.size());
    file.insert(file.end(), {static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
                             static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

Bytes Schedule(size_t entries, std::mt19937& random) {
    Bytes out;
    uint32_t time = 0;
    for (size_t n = 0; n < entries; ++n) {
        Append(out, "[" + std::to_string(n) + "]\r\nTime=" + std::to_string(time) +
                        "\r\nVolume=" + std::to_string(1 + random() % 9) + "\r\n");
        time += 150 + random() % 4000;
    }
    return out;
}

void AddEntry(Bytes& image, const std::string& name, const Bytes& data) {
    image.push_back(static_cast<uint8_t>(name.size()));
    Append(image, name);
    Append32(image, static_cast<uint32_t>(data.size()));
    image.insert(image.end(), data.begin(), data.end());
}

}  // namespace

Bytes VoiceMailImage(size_t size) {
    std::mt19937 random(2024);
    const Bytes midi = Midi(6000, random);
    const Bytes schedule = Schedule(2000, random);
    Bytes wave;
    Append(wave, "RIFF");
    Append32(wave, 0);
    Append(wave, "WAVEfmt ");
    Append32(wave, 30);
    wave.insert(wave.end(), {0x55, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x00, 0x3E,
                             0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x01, 0x00,
                             0x02, 0x00, 0x00, 0x00, 0xA1, 0x01, 0x01, 0x00, 0x71, 0x05});
    Append(wave, "fact");
    Append32(wave, 4);
    Append32(wave, 0);
    Append(wave, "data");
    const size_t frames = size - std::min(size, midi.size() + schedule.size() + wave.size() + 64);
    Append32(wave, static_cast<uint32_t>(frames));
    const Bytes mp3 = Mp3Frames(frames, random);
    wave.insert(wave.end(), mp3.begin(), mp3.end());

    Bytes image = {1, 2, 3, 4, 5, 6, 7, 8};
    Append32(image, 3);
    AddEntry(image, "BGMusic", midi);
    AddEntry(image, "CtrInfo", schedule);
    AddEntry(image, "Mp3File", wave);
    image.resize(size, 0);
    return image;
}

Bytes EnglishLikeText(size_t size) {
    std::mt19937 random(1999);
    static const char* const kSyllables[] = {
        "the", "an",  "re",   "con",  "ing", "er",  "ly", "tion", "mur", "mel",
        "voi", "ce",  "mail", "pla",  "yer", "rec", "or", "der",  "sch", "ed",
        "ule", "vol", "ume",  "stre", "am",  "blo", "ck", "co",   "de",  "win"};
    std::vector<std::string> words;
    for (int w = 0; w < 3000; ++w) {
        std::string word;
        const int parts = 1 + static_cast<int>(random() % 3);
        for (int p = 0; p < parts; ++p) word += kSyllables[random() % std::size(kSyllables)];
        words.push_back(word);
    }
    // Zipf-like: word k is drawn with weight 1 / (k + 1).
    std::vector<double> weights(words.size());
    for (size_t k = 0; k < weights.size(); ++k) weights[k] = 1.0 / static_cast<double>(k + 1);
    std::discrete_distribution<size_t> pick(weights.begin(), weights.end());
    Bytes out;
    out.reserve(size + 64);
    size_t column = 0;
    bool capital = true;
    while (out.size() < size) {
        std::string word = words[pick(random)];
        if (capital) word[0] = static_cast<char>(word[0] - 'a' + 'A');
        capital = false;
        const unsigned mark = random() % 16;
        if (mark == 0) {
            word += '.';
            capital = true;
        } else if (mark == 1) {
            word += ',';
        }
        Append(out, word);
        column += word.size() + 1;
        if (column > 72) {
            Append(out, "\n");
            column = 0;
        } else {
            out.push_back(' ');
        }
    }
    out.resize(size);
    return out;
}

Bytes SystemText(size_t size) {
    Bytes out;
    std::FILE* pipe = popen(
        "cd /usr/share/doc 2>/dev/null && find . \\( -name 'changelog*.gz' -o -name copyright \\) "
        "-type f | LC_ALL=C sort | while read -r f; do case $f in *.gz) zcat \"$f\";; *) cat \"$f\";; "
        "esac; done 2>/dev/null",
        "r");
    if (!pipe) return out;
    out.resize(size);
    const size_t got = std::fread(out.data(), 1, size, pipe);
    out.resize(got);
    pclose(pipe);
    return out;
}

}  // namespace murmel::bench
