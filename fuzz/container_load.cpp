// Any bytes as a ".mvm" voice mail: it loads, or fails with "File is corrupt." or
// a stream error. What loads saves plain and loads back the same. Read piece by
// piece, as the player reads it, it fails or gives the same entries.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "GbkText.h"
#include "PkStreamCol.h"
#include "PkStreamFiles.h"

namespace {

struct Collected : murmel::PackReader {
    void EntryBegins(std::string_view name, uint32_t) override {
        entries.emplace_back(std::string(name), murmel::ByteStream());
    }
    void EntryData(const uint8_t* data, size_t size) override {
        entries.back().second.insert(entries.back().second.end(), data, data + size);
    }
    void EntryEnds() override {}
    std::vector<std::pair<std::string, murmel::ByteStream>> entries;
};

// The entries read piece by piece, listed as TPkStreams lists them; false on failure.
bool LoadStreamed(const uint8_t* data, size_t size, Collected& collected) {
    size_t at = 0;
    try {
        murmel::LoadPackedStreams(
            [&](uint8_t* out, size_t count) {
                const size_t n = std::min({count, size - at, size_t{313}});
                std::memcpy(out, data + at, n);
                at += n;
                return n;
            },
            size, collected);
    } catch (const murmel::ECorruptFile&) {
        return false;
    } catch (const murmel::EStreamError&) {
        return false;
    }
    auto& entries = collected.entries;
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return murmel::CompareNamesNoCase(a.first, b.first) < 0;
    });
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [](const auto& a, const auto& b) {
                                  return murmel::SameNameNoCase(a.first, b.first);
                              }),
                  entries.end());
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    murmel::TPkStreams streams;
    streams.Key = "MurmelVoiceMail!";  // the key of the enciphered seeds
    Collected collected;
    // Enciphered files are read whole either way, and without the seeds' key.
    const bool compare = size < 2 || data[1] != '*';
    const bool streamedLoaded = compare && LoadStreamed(data, size, collected);
    try {
        streams.LoadFromStream(data, size);
    } catch (const murmel::ECorruptFile& error) {
        if (std::strcmp(error.what(), "File is corrupt.") != 0) __builtin_trap();
        if (streamedLoaded) __builtin_trap();
        return 0;
    } catch (const murmel::EStreamError&) {
        if (streamedLoaded) __builtin_trap();
        return 0;
    }
    if (compare) {
        if (!streamedLoaded || collected.entries.size() != streams.Count()) __builtin_trap();
        for (size_t i = 0; i < streams.Count(); ++i)
            if (collected.entries[i].first != streams.Name(i) ||
                collected.entries[i].second != streams.Data(i))
                __builtin_trap();
    }
    streams.Compressed = false;
    streams.Encrypted = false;
    murmel::ByteStream saved;
    streams.SaveToStream(saved);
    murmel::TPkStreams again;
    again.LoadFromStream(saved);
    if (again.Count() != streams.Count()) __builtin_trap();
    for (size_t i = 0; i < again.Count(); ++i)
        if (again.Name(i) != streams.Name(i) || again.Data(i) != streams.Data(i)) __builtin_trap();
    return 0;
}
