#include "IniFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>

#include "GbkText.h"
#include "LinkedFiles.h"
#include "SafeFile.h"

namespace murmel {
namespace {

// Far above any settings file people keep (some grow to tens of megabytes), below
// what would exhaust memory. A larger file is read as empty and never rewritten.
constexpr uint64_t kMaxFileBytes = 1ull << 30;

std::string_view Trim(std::string_view text) {
    const char* blanks = " \t";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// The section name of a "[name]" line, or false for any other line.
bool SectionName(std::string_view line, std::string_view& name) {
    std::string_view trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != '[') return false;
    size_t close = trimmed.find(']');
    if (close == std::string_view::npos) return false;
    name = Trim(trimmed.substr(1, close - 1));
    return true;
}

// The key and value of a "key=value" line, or false for any other line.
bool KeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    key = Trim(line.substr(0, equals));
    value = Trim(line.substr(equals + 1));
    return true;
}

// Where a section's lines are: [begin, end) after its header; end is past its
// last key line. npos when the section is absent.
struct SectionSpan {
    size_t header = std::string::npos;
    size_t lastKey = std::string::npos;
    size_t end = std::string::npos;
};

SectionSpan FindSection(const std::vector<std::string>& lines, std::string_view section) {
    SectionSpan span;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view name;
        if (SectionName(lines[i], name)) {
            if (span.header != std::string::npos) break;
            if (SameNameNoCase(name, section)) span.header = span.lastKey = i;
            continue;
        }
        std::string_view key, value;
        if (span.header != std::string::npos && KeyLine(lines[i], key, value)) span.lastKey = i;
    }
    if (span.header != std::string::npos) span.end = span.lastKey + 1;
    return span;
}

// The line of a key within its section (the first one), or npos.
size_t FindKey(const std::vector<std::string>& lines, const SectionSpan& span, std::string_view key) {
    if (span.header == std::string::npos) return std::string::npos;
    for (size_t i = span.header + 1; i < span.end; ++i) {
        std::string_view name, value;
        if (KeyLine(lines[i], name, value) && SameNameNoCase(name, key)) return i;
    }
    return std::string::npos;
}

std::string WithoutLineBreaks(std::string_view text) {
    std::string clean(text);
    for (char& c : clean)
        if (c == '\r' || c == '\n') c = ' ';
    return clean;
}

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return path;
    return std::string(cwd) + "/" + path;
}

}  // namespace

bool ParseIniNumber(std::string_view text, int32_t& value) {
    std::string digits(text);
    if (digits.empty()) return false;
    errno = 0;
    char* end = nullptr;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        if (digits.size() > 10) return false;
        unsigned long parsed = std::strtoul(digits.c_str() + 2, &end, 16);
        if (*end != '\0' || errno != 0 || digits[2] == '-' || digits[2] == '+' || digits[2] == ' ')
            return false;
        value = static_cast<int32_t>(static_cast<uint32_t>(parsed));
        return true;
    }
    if (digits[0] == ' ') return false;
    long long parsed = std::strtoll(digits.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

IniFile::IniFile(std::string path, IniFileMode mode) : path_(AbsolutePath(path)), mode_(mode) {}

std::vector<std::string> IniFile::ReadLines(const std::string& path, std::string* failure) {
    // A missing file has no lines; so has a folder, FIFO or device in its place,
    // which is never waited on and never replaced. A regular file we cannot read
    // whole has none for a reader either, but `failure` says why, so that no
    // write replaces what we never saw.
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    std::vector<std::string> lines;
    try {
        const std::vector<uint8_t> bytes = ReadRegularFile(path, kMaxFileBytes);
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        while (!text.empty()) {
            const size_t end = std::min(text.find('\n'), text.size());
            std::string_view line = text.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            lines.emplace_back(line);
            text.remove_prefix(std::min(end + 1, text.size()));
        }
    } catch (const EFileError& error) {
        if (failure) *failure = error.Reason();
        return {};
    } catch (const std::bad_alloc&) {
        if (failure) *failure = "too large to hold in memory";
        return {};
    }
    return lines;
}

std::string IniFile::ReadText(std::string_view section, std::string_view key,
                              std::string_view defaultValue) const {
    std::vector<std::string> lines = ReadLines(path_);
    size_t at = FindKey(lines, FindSection(lines, section), key);
    std::string value(defaultValue);
    if (at != std::string::npos) {
        std::string_view name, text;
        KeyLine(lines[at], name, text);
        value = text;
    }
    if (value.size() > kMaxValueBytes) value.resize(kMaxValueBytes);
    return value;
}

int32_t IniFile::ReadNumber(std::string_view section, std::string_view key,
                            int32_t defaultValue) const {
    std::vector<std::string> lines = ReadLines(path_);
    size_t at = FindKey(lines, FindSection(lines, section), key);
    if (at == std::string::npos) return defaultValue;
    std::string_view name, text;
    KeyLine(lines[at], name, text);
    int32_t value = 0;
    return ParseIniNumber(text.substr(0, kMaxValueBytes), value) ? value : defaultValue;
}

bool IniFile::HasSection(std::string_view section) const {
    std::vector<std::string> lines = ReadLines(path_);
    SectionSpan span = FindSection(lines, section);
    return span.header != std::string::npos && span.lastKey != span.header;
}

void IniFile::WriteText(std::string_view section, std::string_view key, std::string_view value) {
    std::string target;
    try {
        target = WriteThroughTarget(path_);
    } catch (const EFileError& error) {
        throw EIniFileError("Unable to write to " + path_ + ": " + error.Reason());
    }
    std::string failure;
    std::vector<std::string> lines = ReadLines(target, &failure);
    if (!failure.empty())
        throw EIniFileError("Unable to write to " + path_ + ": it could not be read whole (" +
                            failure + "), left as it is");
    std::string keyLine = WithoutLineBreaks(key) + "=" + WithoutLineBreaks(value);
    SectionSpan span = FindSection(lines, section);
    size_t at = FindKey(lines, span, key);
    if (at != std::string::npos) {
        lines[at] = keyLine;
    } else if (span.header != std::string::npos) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(span.end), keyLine);
    } else {
        lines.push_back("[" + WithoutLineBreaks(section) + "]");
        lines.push_back(keyLine);
    }
    WriteLines(target, lines);
}

void IniFile::WriteNumber(std::string_view section, std::string_view key, int32_t value) {
    WriteText(section, key, std::to_string(value));
}

void IniFile::WriteLines(const std::string& target, const std::vector<std::string>& lines) const {
    std::string content;
    for (const std::string& line : lines) content += line + "\r\n";
    try {
        ReplaceFileWith(target, FileSharing::Private, [&](int fd) {
            if (mode_ == IniFileMode::OwnerOnly && fchmod(fd, 0600) != 0) return false;
            return WriteAll(fd, content.data(), content.size());
        });
    } catch (const EFileError&) {
        throw EIniFileError("Unable to write to " + path_);
    }
}

}  // namespace murmel
