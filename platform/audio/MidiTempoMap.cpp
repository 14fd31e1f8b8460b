#include "MidiTempoMap.h"

#include <algorithm>

namespace murmel {
namespace {

constexpr size_t kMaxTracks = 1024;
constexpr size_t kMaxChanges = 100000;  // far above any tune; bounds the map's memory

class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Has(size_t bytes) const { return bytes <= size_ - at_; }
    uint32_t Big(int bytes) {
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value = (value << 8) | data_[at_++];
        return value;
    }
    uint8_t Byte() { return data_[at_++]; }
    // A variable-length quantity of at most four bytes; false when cut off.
    bool Variable(uint32_t& value) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (!Has(1)) return false;
            const uint8_t byte = Byte();
            value = (value << 7) | (byte & 0x7F);
            if (!(byte & 0x80)) return true;
        }
        return false;
    }
    void Skip(size_t bytes) { at_ += bytes; }
    size_t At() const { return at_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Adds the tempo changes of one track's events; stops quietly at damage.
void ReadTrack(Reader track, std::vector<MidiTempoMap::Change>& changes) {
    int64_t tick = 0;
    uint8_t status = 0;
    uint32_t delta = 0;
    while (track.Variable(delta)) {
        tick += delta;
        if (!track.Has(1)) return;
        uint8_t byte = track.Byte();
        if (byte == 0xFF || byte == 0xF0 || byte == 0xF7) {
            uint8_t type = 0;
            if (byte == 0xFF) {
                if (!track.Has(1)) return;
                type = track.Byte();
            }
            uint32_t length = 0;
            if (!track.Variable(length) || !track.Has(length)) return;
            if (byte == 0xFF && type == 0x51 && length == 3 && changes.size() < kMaxChanges) {
                const uint32_t tempo = track.Big(3);
                if (tempo > 0) changes.push_back({tick, tempo});
            } else {
                track.Skip(length);
            }
            if (byte == 0xFF && type == 0x2F) return;  // end of track
            continue;
        }
        // Without a status byte the last one runs on and this is its first data byte.
        if (byte & 0x80)
            status = byte;
        else if (!status)
            return;
        const uint8_t kind = status & 0xF0;
        const size_t dataBytes = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
        const size_t remaining = (byte & 0x80) ? dataBytes : dataBytes - 1;
        if (!track.Has(remaining)) return;
        track.Skip(remaining);
    }
}

}  // namespace

MidiTempoMap MidiTempoMap::Read(const uint8_t* data, size_t size) {
    MidiTempoMap map;
    Reader file(data, size);
    if (!file.Has(14) || file.Big(4) != 0x4D546864 /* MThd */) return map;
    const uint32_t headerLength = file.Big(4);
    if (headerLength < 6 || !file.Has(headerLength)) return map;
    file.Skip(2);  // format
    const uint32_t tracks = file.Big(2);
    const uint32_t division = file.Big(2);
    file.Skip(headerLength - 6);
    if (division & 0x8000) {
        const int framesPerSecond = -static_cast<int8_t>(division >> 8);
        const int ticksPerFrame = static_cast<int>(division & 0xFF);
        if (framesPerSecond > 0 && ticksPerFrame > 0) {
            map.ticksPerSecond_ = true;
            map.division_ = framesPerSecond * ticksPerFrame;
        }
        return map;
    }
    if (division == 0) return map;
    map.division_ = static_cast<int>(division);
    for (uint32_t n = 0; n < tracks && n < kMaxTracks && file.Has(8); ++n) {
        const uint32_t id = file.Big(4);
        const uint32_t length = file.Big(4);
        const size_t available = std::min<size_t>(length, size - file.At());
        if (id == 0x4D54726B /* MTrk */)
            ReadTrack(Reader(data + file.At(), available), map.changes_);
        file.Skip(available);
    }
    std::stable_sort(map.changes_.begin(), map.changes_.end(),
                     [](const Change& a, const Change& b) { return a.tick < b.tick; });
    return map;
}

int64_t MidiTempoMap::TickAt(int64_t ms) const {
    if (ms <= 0) return 0;
    const double us = static_cast<double>(ms) * 1000.0;
    if (ticksPerSecond_) return static_cast<int64_t>(us * division_ / 1e6);
    double elapsed = 0;  // µs up to `tick`
    int64_t tick = 0;
    uint32_t tempo = kDefaultTempo;
    for (const Change& change : changes_) {
        const double span = static_cast<double>(change.tick - tick) * tempo / division_;
        if (elapsed + span >= us) break;
        elapsed += span;
        tick = change.tick;
        tempo = change.tempo;
    }
    return tick + static_cast<int64_t>((us - elapsed) * division_ / tempo);
}

}  // namespace murmel
