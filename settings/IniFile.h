#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace murmel {

// A write to an INI file was refused: "Unable to write to <full path>".
class EIniFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a write leaves of the file's mode: an existing file keeps its own (a new one
// is 0600), or the file is 0600 whatever it was, for a file that holds a password.
enum class IniFileMode { KeepMode, OwnerOnly };

// One INI text file ("user.dll", "Setting.ini", ".Ctr" schedules). Nothing is
// cached: every call reads the file as it is now, every write reaches the file at
// once. Names match without regard to ASCII letter case; values are GBK bytes,
// carried through unchanged. Reads never throw: a file that cannot be read
// gives the defaults.
class IniFile {
public:
    static constexpr size_t kMaxValueBytes = 2047;  // longest value a read returns

    explicit IniFile(std::string path, IniFileMode mode = IniFileMode::KeepMode);

    const std::string& FileName() const { return path_; }

    std::string ReadText(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
    int32_t ReadNumber(std::string_view section, std::string_view key, int32_t defaultValue) const;
    bool HasSection(std::string_view section) const;

    // Creates the file, section and key as needed. The file is replaced whole via
    // a sibling temporary file, so a failure never leaves it half written; a link
    // the user made to a file of their own is written through (WriteThroughTarget),
    // no other link is followed. A file that exists but cannot be read whole is
    // never rewritten. Throws EIniFileError naming the file.
    void WriteText(std::string_view section, std::string_view key, std::string_view value);
    void WriteNumber(std::string_view section, std::string_view key, int32_t value);

private:
    // No lines for a missing or unreadable file; `failure`, when given, receives
    // why a regular file could not be read whole.
    static std::vector<std::string> ReadLines(const std::string& path,
                                              std::string* failure = nullptr);
    void WriteLines(const std::string& target, const std::vector<std::string>& lines) const;

    std::string path_;
    IniFileMode mode_;
};

// Parses an INI integer: decimal, or hexadecimal after "0x"/"0X" when the text is
// longer than two characters. False when the text is no valid 32-bit integer.
bool ParseIniNumber(std::string_view text, int32_t& value);

}  // namespace murmel
