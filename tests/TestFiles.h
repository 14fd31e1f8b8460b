#pragma once
// Small helpers for tests that work with files in their private TMPDIR.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "TempNames.h"

namespace murmel::test {

// A fresh folder inside the test's private temporary folder.
inline std::string FreshFolder(const std::string& name) {
    std::string path = murmel::TempFolder() + name + "/";
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

}  // namespace murmel::test
