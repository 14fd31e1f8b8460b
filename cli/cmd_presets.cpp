#include <cstdio>

#include "Command.h"
#include "PresetsStore.h"

namespace murmel::cli {
namespace {

uint32_t Word(const std::vector<uint8_t>& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<size_t>(i)];
    return value;
}

void Show(const char* resolution) {
    std::string name = std::string("WaveFormat") + resolution;
    std::vector<uint8_t> record = ReadPreset(name);
    if (record.size() < 18) {
        std::printf("%s: %s\n", name.c_str(), record.empty() ? "absent" : "too short");
        return;
    }
    std::printf("%s: tag 0x%X, %u channel(s), %u Hz, %u bytes/s, align %u, %u bits, cbSize %u",
                name.c_str(), Word(record, 0, 2), Word(record, 2, 2), Word(record, 4, 4),
                Word(record, 8, 4), Word(record, 12, 2), Word(record, 14, 2), Word(record, 16, 2));
    if (record.size() >= 30)
        std::printf(", wID %u, flags %u, block %u, frames/block %u, codec delay %u",
                    Word(record, 18, 2), Word(record, 20, 4), Word(record, 24, 2),
                    Word(record, 26, 2), Word(record, 28, 2));
    std::printf("\n");
}

int Presets(const Arguments& arguments) {
    if (arguments.size() != 1) throw UsageError("expected install or show");
    if (arguments[0] == "install") {
        std::printf("presets written to %s\n", InstallPresets().c_str());
        return 0;
    }
    if (arguments[0] != "show") throw UsageError("expected install or show");
    std::printf("%s\n", PresetsFolder().c_str());
    for (const char* resolution : {"1K", "2K", "4K", "8K"}) Show(resolution);
    return 0;
}

const RegisterCommand presets({"presets", "install|show", Presets});

}  // namespace
}  // namespace murmel::cli
