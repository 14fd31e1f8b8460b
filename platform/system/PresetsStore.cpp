#include "PresetsStore.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace murmel {
namespace {

constexpr size_t kMaxPresetBytes = 1024;  // the reader's buffer, as the recorder sized it

void PutWord(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

const char* const kResolutions[] = {"1K", "2K", "4K", "8K"};

}  // namespace

std::string PresetsFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && *config) {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/vorn/Sonra/";
}

std::vector<uint8_t> ReadPreset(const std::string& valueName) {
    std::string path = PresetsFolder() + valueName;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > static_cast<off_t>(kMaxPresetBytes))
        return {};
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(static_cast<size_t>(info.st_size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), info.st_size)) return {};
    return bytes;
}

std::vector<uint8_t> EffectivePreset(const std::string& valueName) {
    const std::string prefix = "WaveFormat";
    if (PresetsInstalled() || valueName.rfind(prefix, 0) != 0) return ReadPreset(valueName);
    return StandardPreset(valueName.substr(prefix.size()));
}

void WritePreset(const std::string& valueName, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(PresetsFolder());
    std::string path = PresetsFolder() + valueName;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::runtime_error("Unable to write to " + path);
}

std::vector<uint8_t> StandardPreset(const std::string& resolution) {
    struct Row {
        const char* name;
        uint16_t channels;
        uint32_t rate, bytesPerSecond;
        uint16_t blockSize;
    };
    static const Row rows[] = {{"1K", 1, 8000, 1000, 72},
                               {"2K", 1, 16000, 2000, 72},
                               {"4K", 1, 22050, 4000, 104},
                               {"8K", 2, 44100, 8000, 208}};
    for (const Row& row : rows) {
        if (resolution != row.name) continue;
        std::vector<uint8_t> record;
        PutWord(record, 0x55, 2);  // wFormatTag: MPEG Layer-3
        PutWord(record, row.channels, 2);
        PutWord(record, row.rate, 4);
        PutWord(record, row.bytesPerSecond, 4);
        PutWord(record, 1, 2);   // nBlockAlign
        PutWord(record, 0, 2);   // wBitsPerSample
        PutWord(record, 12, 2);  // cbSize
        PutWord(record, 1, 2);   // wID: MPEGLAYER3_ID_MPEG
        PutWord(record, 0, 4);   // fdwFlags
        PutWord(record, row.blockSize, 2);
        PutWord(record, 1, 2);     // nFramesPerBlock
        PutWord(record, 1393, 2);  // nCodecDelay
        return record;
    }
    return {};
}

std::string InstallPresets() {
    for (const char* resolution : kResolutions)
        WritePreset(std::string("WaveFormat") + resolution, StandardPreset(resolution));
    return PresetsFolder();
}

bool PresetsInstalled() {
    for (const char* resolution : kResolutions)
        if (!ReadPreset(std::string("WaveFormat") + resolution).empty()) return true;
    return false;
}

}  // namespace murmel
