#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace murmel {

// The per-user store of the quality presets: one binary value per file under
// $XDG_CONFIG_HOME/vorn/Sonra/ (default ~/.config). The programs only read it;
// the install step ("murmel-cli presets install") writes it.
std::string PresetsFolder();

// The value "WaveFormat1K" etc.: its bytes when it exists, is a regular file and
// holds at most 1024 bytes, else no bytes. Never throws.
std::vector<uint8_t> ReadPreset(const std::string& valueName);

// What a recording uses for "WaveFormat1K" etc.: the store's value; while the store
// holds no preset at all (any fresh user of a system-wide install), the shipped one.
std::vector<uint8_t> EffectivePreset(const std::string& valueName);

// Writes a value (the install step). Throws std::runtime_error on failure.
void WritePreset(const std::string& valueName, const std::vector<uint8_t>& bytes);

// The record shipped for "1K", "2K", "4K" or "8K": an MPEG Layer-3 WAVEFORMATEX
// (30 bytes) at the preset's rate, channels and byte rate; empty for other names.
std::vector<uint8_t> StandardPreset(const std::string& resolution);

// Writes the four shipped presets. Returns the folder written.
std::string InstallPresets();

// True when at least one preset value is present.
bool PresetsInstalled();

}  // namespace murmel
