#pragma once
// Helpers shared by the codec tests: sample data, LHA archive framing, bit strings.
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "PkStreamRoutines.h"

namespace murmel::test {

inline ByteStream Bytes(std::string_view text) { return ByteStream(text.begin(), text.end()); }

inline ByteStream Join(ByteStream a, const ByteStream& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// "0101 1100 ..." (spaces ignored) packed most significant bit first, zero-padded.
inline ByteStream BitString(std::string_view bits) {
    ByteStream out;
    int used = 0;
    for (char c : bits) {
        if (c != '0' && c != '1') continue;
        if (used % 8 == 0) out.push_back(0);
        if (c == '1') out.back() |= static_cast<uint8_t>(0x80 >> (used % 8));
        ++used;
    }
    return out;
}

// The low `width` bits of value as a bit string.
inline std::string Bits(uint32_t value, int width) {
    std::string out;
    for (int bit = width - 1; bit >= 0; --bit) out += (value >> bit) & 1 ? '1' : '0';
    return out;
}

inline ByteStream WithSize(uint32_t size, const ByteStream& stream) {
    return Join({static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                 static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)},
                stream);
}

inline ByteStream RandomBytes(size_t size, uint32_t seed, uint32_t values = 256) {
    std::mt19937 random(seed);
    ByteStream out(size);
    for (auto& byte : out) byte = static_cast<uint8_t>(random() % values);
    return out;
}

// Words drawn from a small vocabulary with a skewed choice: text-like data
// with plenty of matches at all distances.
inline ByteStream TextLike(size_t size, uint32_t seed) {
    static const char* const words[] = {
        "voice ",    "mail ",   "the ",     "recorder ", "player ",      "music ",     "volume ",
        "schedule ", "of ",     "and ",     "a ",        "block ",       "stream ",    "Huffman ",
        "code ",     "length ", "match ",   "window ",   "dictionary, ", "position. ", "\r\n",
        "Murmel ",   "packs ",  "entries ", "into ",     "one ",         "file "};
    std::mt19937 random(seed);
    std::geometric_distribution<int> pick(0.15);
    ByteStream out;
    out.reserve(size + 16);
    while (out.size() < size) {
        const int index = pick(random) % static_cast<int>(std::size(words));
        out.insert(out.end(), words[index],
                   words[index] + std::char_traits<char>::length(words[index]));
    }
    out.resize(size);
    return out;
}

// A small Standard MIDI File (format 0): a tempo, a program change and a tune
// of note-on/note-off pairs with running deltas.
inline ByteStream MidiFile(int notes) {
    ByteStream track = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // tempo 500,000 us
                        0x00, 0xC0, 0x00};                         // piano
    const uint8_t scale[] = {60, 62, 64, 65, 67, 69, 71, 72};
    for (int i = 0; i < notes; ++i) {
        const uint8_t key = scale[(i * 3) % 8];
        track.insert(track.end(),
                     {0x00, 0x90, key, 0x64, 0x83, 0x60, 0x80, key, 0x40});  // 480 ticks
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    ByteStream file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    const uint32_t length = static_cast<uint32_t>(track.size());
    file.insert(file.end(), {static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
                             static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

// CRC-16 as LHA archives carry it (polynomial 0xA001, reflected, start 0).
inline uint16_t Crc16(const ByteStream& data) {
    uint16_t crc = 0;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// A one-file LHA archive with a level-0 header around a bare -lh5- bit stream.
inline ByteStream LhaArchive(const std::string& name, const ByteStream& original,
                             const ByteStream& bitStream) {
    ByteStream body = {'-', 'l', 'h', '5', '-'};
    auto put32 = [&body](uint32_t v) {
        for (int i = 0; i < 4; ++i) body.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put32(static_cast<uint32_t>(bitStream.size()));
    put32(static_cast<uint32_t>(original.size()));
    put32(0x5A210000);     // an MS-DOS time stamp, 2025-01-01
    body.push_back(0x20);  // attribute: archive
    body.push_back(0);     // header level
    body.push_back(static_cast<uint8_t>(name.size()));
    body.insert(body.end(), name.begin(), name.end());
    const uint16_t crc = Crc16(original);
    body.push_back(static_cast<uint8_t>(crc));
    body.push_back(static_cast<uint8_t>(crc >> 8));
    uint8_t sum = 0;
    for (uint8_t byte : body) sum = static_cast<uint8_t>(sum + byte);
    ByteStream archive = {static_cast<uint8_t>(body.size()), sum};
    archive.insert(archive.end(), body.begin(), body.end());
    archive.insert(archive.end(), bitStream.begin(), bitStream.end());
    archive.push_back(0);  // end of archive
    return archive;
}

}  // namespace murmel::test
