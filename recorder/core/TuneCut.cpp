#include "TuneCut.h"

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

#include "MidiTempoMap.h"

namespace murmel {
namespace {

constexpr uint8_t kMeta = 0xFF;
constexpr uint8_t kEndOfTrack = 0x2F;
constexpr uint8_t kTempo = 0x51;
// Meta events whose last value before the cut still holds after it.
constexpr uint8_t kStateMetas[] = {0x03, 0x04, 0x21, kTempo, 0x58, 0x59};

[[noreturn]] void Fail(const std::string& reason) {
    throw std::runtime_error("The tune is not a MIDI file: " + reason);
}

uint32_t Big(const uint8_t* at, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 8) | at[i];
    return value;
}

void PutBig(std::vector<uint8_t>& out, uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutVariable(std::vector<uint8_t>& out, uint64_t value) {
    uint8_t bytes[10];
    int count = 0;
    do {
        bytes[count++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value && count < 10);
    while (count > 1) out.push_back(bytes[--count] | 0x80);
    out.push_back(bytes[0]);
}

// One event as it is written back: its status and the bytes after it.
struct Event {
    int64_t tick = 0;
    std::vector<uint8_t> bytes;  // status first, then the rest as stored
};

class TrackReader {
  public:
    TrackReader(const uint8_t* data, size_t size) : data_(data), end_(data + size) {}
    bool AtEnd() const { return data_ >= end_; }

    uint64_t Variable() {
        uint64_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t byte = Byte();
            value = (value << 7) | (byte & 0x7F);
            if (!(byte & 0x80)) return value;
        }
        Fail("a length runs over four bytes");
    }

    Event Next(int64_t& tick) {
        tick += static_cast<int64_t>(Variable());
        Event event{tick, {}};
        uint8_t status = Byte();
        if (status < 0x80) {
            if (!running_) Fail("data without a status");
            --data_;  // running status: the byte was data
            status = running_;
        }
        event.bytes.push_back(status);
        if (status == kMeta || status == 0xF0 || status == 0xF7) {
            running_ = 0;
            if (status == kMeta) event.bytes.push_back(Byte());
            const uint64_t length = Variable();
            PutVariable(event.bytes, length);
            Take(event.bytes, length);
        } else if (status >= 0xF0) {
            Fail("a system message inside a track");
        } else {
            running_ = status;
            Take(event.bytes, (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2);
        }
        return event;
    }

  private:
    uint8_t Byte() {
        if (data_ >= end_) Fail("a track ends inside an event");
        return *data_++;
    }
    void Take(std::vector<uint8_t>& out, uint64_t count) {
        if (count > static_cast<uint64_t>(end_ - data_)) Fail("a track ends inside an event");
        out.insert(out.end(), data_, data_ + count);
        data_ += count;
    }

    const uint8_t* data_;
    const uint8_t* end_;
    uint8_t running_ = 0;
};

// What an event before the cut leaves in force, as a key unique per kind of
// state (a later event of the same key replaces it); nullopt when it leaves none
// (notes, end of track, all-notes-off and the like).
std::optional<uint32_t> StateKey(const Event& event) {
    const uint8_t status = event.bytes[0];
    if (status == kMeta) {
        for (uint8_t meta : kStateMetas)
            if (event.bytes[1] == meta) return 0x10000u | meta;
        return std::nullopt;
    }
    if (status == 0xF0 || status == 0xF7) return std::nullopt;  // kept every one, below
    switch (status & 0xF0) {
        case 0xB0:
            if (event.bytes[1] >= 120) return std::nullopt;  // channel mode messages
            return (static_cast<uint32_t>(status) << 8) | event.bytes[1];
        case 0xC0:
        case 0xD0:
        case 0xE0:
            return static_cast<uint32_t>(status) << 8;
        default:
            return std::nullopt;
    }
}

std::vector<uint8_t> CutTrack(const uint8_t* data, size_t size, int64_t cutTick) {
    TrackReader reader(data, size);
    std::map<uint32_t, size_t> carriedAt;  // state key -> index in `carried`
    std::vector<std::optional<Event>> carried;
    std::vector<Event> kept;
    std::map<uint16_t, Event> sounding;  // (channel, key) -> its note-on, held at the cut
    int64_t tick = 0;
    bool ended = false;
    while (!reader.AtEnd() && !ended) {
        Event event = reader.Next(tick);
        ended = event.bytes[0] == kMeta && event.bytes[1] == kEndOfTrack;
        if (event.tick >= cutTick || ended) {
            event.tick = std::max<int64_t>(event.tick - cutTick, 0);
            kept.push_back(std::move(event));
            continue;
        }
        const uint8_t kind = event.bytes[0] & 0xF0;
        if ((kind == 0x90 || kind == 0x80) && event.bytes[0] < 0xF0) {
            const auto note =
                static_cast<uint16_t>(((event.bytes[0] & 0x0F) << 8) | event.bytes[1]);
            if (kind == 0x90 && event.bytes[2] > 0)
                sounding[note] = event;
            else
                sounding.erase(note);
            continue;
        }
        const std::optional<uint32_t> key = StateKey(event);
        const bool sysex = event.bytes[0] == 0xF0 || event.bytes[0] == 0xF7;
        if (!key && !sysex) continue;
        if (key) {
            if (auto found = carriedAt.find(*key); found != carriedAt.end())
                carried[found->second].reset();
            carriedAt[*key] = carried.size();
        }
        event.tick = 0;
        carried.push_back(std::move(event));
    }
    if (!ended) kept.push_back({kept.empty() ? 0 : kept.back().tick, {kMeta, kEndOfTrack, 0}});

    std::vector<uint8_t> out;
    int64_t last = 0;
    auto put = [&](const Event& event) {
        PutVariable(out, static_cast<uint64_t>(event.tick - last));
        last = event.tick;
        out.insert(out.end(), event.bytes.begin(), event.bytes.end());
    };
    for (const auto& event : carried)
        if (event) put(*event);
    // Notes held across the cut sound again from the new start.
    for (auto& [note, event] : sounding) {
        event.tick = 0;
        put(event);
    }
    for (const Event& event : kept) put(event);
    return out;
}

}  // namespace

std::vector<uint8_t> CutTune(const uint8_t* data, size_t size, int64_t startMs) {
    if (size < 14 || Big(data, 4) != 0x4D546864 /* "MThd" */) Fail("no header");
    const uint32_t headerLength = Big(data + 4, 4);
    if (headerLength < 6 || headerLength > size - 8) Fail("a damaged header");
    const int64_t cutTick = MidiTempoMap::Read(data, size).TickAt(startMs);

    std::vector<uint8_t> out(data, data + 8 + headerLength);
    size_t at = 8 + headerLength;
    while (size - at >= 8) {
        const uint32_t id = Big(data + at, 4);
        const uint32_t length = Big(data + at + 4, 4);
        if (length > size - at - 8) Fail("a chunk runs past the end of the file");
        const uint8_t* body = data + at + 8;
        std::vector<uint8_t> chunk = id == 0x4D54726B /* "MTrk" */
                                         ? CutTrack(body, length, cutTick)
                                         : std::vector<uint8_t>(body, body + length);
        if (chunk.size() > UINT32_MAX) Fail("a track too long");
        PutBig(out, id, 4);
        PutBig(out, static_cast<uint32_t>(chunk.size()), 4);
        out.insert(out.end(), chunk.begin(), chunk.end());
        at += 8 + length;
    }
    return out;
}

}  // namespace murmel
