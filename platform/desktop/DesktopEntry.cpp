#include "DesktopEntry.h"

#include <sstream>
#include <vector>

namespace murmel {
namespace {

constexpr const char* kDefaultGroup = "[Default Applications]";
// Characters that make an Exec argument need quotes, and '%' (written "%%").
constexpr const char* kReserved = " \t\"'\\><~|&;$*?#()`%=";
const std::string kControl = [] {
    std::string control(1, '\x7F');
    for (char c = 1; c < 0x20; ++c) control += c;
    return control;
}();

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

bool IsGroup(const std::string& line) { return !line.empty() && line[0] == '['; }

}  // namespace

std::string QuoteExecArgument(const std::string& argument) {
    // Plain paths stay bare: simple readers of Exec (xdg-mime's own fallback among
    // them) take its first word as the program.
    if (!argument.empty() && argument.find_first_of(kReserved) == std::string::npos &&
        argument.find_first_of(kControl) == std::string::npos)
        return argument;
    std::string quoted = "\"";
    for (const char c : argument) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "";
        if (c == '"' || c == '`' || c == '$') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\\') {
            quoted += "\\\\\\\\";  // "\\" on the command line, each '\' doubled for the key
        } else if (c == '%') {
            quoted += "%%";
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string DesktopEntry(const DesktopEntryText& entry) {
    const std::string exec = QuoteExecArgument(entry.program);
    if (exec.empty()) return "";
    std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
    text += "Name=" + entry.name + "\n";
    text += "Comment=" + entry.comment + "\n";
    text += "Exec=" + exec + (entry.mimeType.empty() ? "" : " %f") + "\n";
    text += "Icon=" + entry.icon + "\n";
    text += "Terminal=false\nCategories=AudioVideo;Audio;\n";
    if (!entry.mimeType.empty()) text += "MimeType=" + entry.mimeType + ";\n";
    return text;
}

std::string WithDefaultApplication(const std::string& list, const std::string& mimeType,
                                   const std::string& entry) {
    const std::string prefix = mimeType + "=", line = prefix + entry;
    std::vector<std::string> lines = Lines(list);
    bool inDefault = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (IsGroup(lines[i])) {
            inDefault = lines[i].rfind(kDefaultGroup, 0) == 0;
            if (!inDefault) continue;
            // The group's own line for TYPE, or the end of the group's keys.
            size_t at = i + 1;
            while (at < lines.size() && !IsGroup(lines[at]) && lines[at].rfind(prefix, 0) != 0)
                ++at;
            if (at < lines.size() && !IsGroup(lines[at])) {
                lines[at] = line;
            } else {
                size_t end = at;
                while (end > i + 1 && lines[end - 1].empty()) --end;  // before the blank lines
                lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(end), line);
            }
            return Joined(lines);
        }
    }
    if (!lines.empty() && !lines.back().empty()) lines.push_back("");
    lines.push_back(kDefaultGroup);
    lines.push_back(line);
    return Joined(lines);
}

std::string WithoutDefaultApplication(const std::string& list, const std::string& mimeType,
                                      const std::string& entry) {
    const std::string line = mimeType + "=" + entry;
    std::vector<std::string> lines = Lines(list), kept;
    bool inDefault = false, changed = false;
    for (const std::string& current : lines) {
        if (IsGroup(current)) inDefault = current.rfind(kDefaultGroup, 0) == 0;
        if (inDefault && (current == line || current == line + ";")) {
            changed = true;
            continue;
        }
        kept.push_back(current);
    }
    return changed ? Joined(kept) : list;
}

}  // namespace murmel
