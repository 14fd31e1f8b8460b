#include "MimeAppsList.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace murmel {
namespace {

constexpr const char* kDefaultGroup = "Default Applications";

struct Line {
    std::string text;  // without its line end
    std::string end;   // "\n", "\r\n", "\r", or "" for a last line without one
};

// Lines as the desktop splits them: at LF, a CR before it belonging to the line end.
// A file without any LF (old Mac line ends) is split at CR.
std::vector<Line> SplitLines(const std::string& text) {
    const char separator = text.find('\n') != std::string::npos ? '\n' : '\r';
    std::vector<Line> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t at = text.find(separator, start);
        if (at == std::string::npos) {
            lines.push_back({text.substr(start), ""});
            break;
        }
        const size_t textEnd =
            separator == '\n' && at > start && text[at - 1] == '\r' ? at - 1 : at;
        lines.push_back(
            {text.substr(start, textEnd - start), text.substr(textEnd, at + 1 - textEnd)});
        start = at + 1;
    }
    return lines;
}

std::string Joined(const std::vector<Line>& lines) {
    std::string text;
    for (const Line& line : lines) text += line.text + line.end;
    return text;
}

// The end our own lines take: the file's first, LF in a file without one.
std::string LineEnd(const std::vector<Line>& lines) {
    for (const Line& line : lines)
        if (!line.end.empty()) return line.end;
    return "\n";
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The line without the white space GLib skips before its content.
std::string Content(const std::string& text) {
    size_t at = 0;
    while (at < text.size() && IsSpace(text[at])) ++at;
    return text.substr(at);
}

// The name of a group header ("[NAME]", blanks after it allowed); none for other lines.
std::optional<std::string> GroupName(const std::string& content) {
    if (content.empty() || content[0] != '[') return std::nullopt;
    const size_t close = content.find(']');
    if (close == std::string::npos) return std::nullopt;
    for (size_t at = close + 1; at < content.size(); ++at)
        if (!IsBlank(content[at])) return std::nullopt;
    return content.substr(1, close - 1);
}

struct Key {
    std::string name;
    std::string value;  // without the blanks around it
};

std::optional<Key> KeyOf(const std::string& content) {
    const size_t equals = content.find('=');
    if (content.empty() || content[0] == '#' || equals == std::string::npos) return std::nullopt;
    size_t nameEnd = equals, valueStart = equals + 1, valueEnd = content.size();
    while (nameEnd > 0 && IsBlank(content[nameEnd - 1])) --nameEnd;
    while (valueStart < valueEnd && IsBlank(content[valueStart])) ++valueStart;
    while (valueEnd > valueStart && IsSpace(content[valueEnd - 1])) --valueEnd;
    return Key{content.substr(0, nameEnd), content.substr(valueStart, valueEnd - valueStart)};
}

// Where TYPE's defaults are: its lines in every [Default Applications] group (the
// desktop merges repeated groups), and the place after the first group's last line.
struct DefaultLines {
    std::vector<size_t> keys;
    std::optional<size_t> groupEnd;
};

DefaultLines FindDefaults(const std::vector<Line>& lines, const std::string& mimeType) {
    DefaultLines found;
    bool inDefault = false, inFirst = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string content = Content(lines[i].text);
        if (const auto group = GroupName(content)) {
            inDefault = *group == kDefaultGroup;
            inFirst = inDefault && !found.groupEnd;
            if (inFirst) found.groupEnd = i + 1;
            continue;
        }
        if (inFirst && !content.empty()) found.groupEnd = i + 1;
        const auto key = KeyOf(content);
        if (inDefault && key && key->name == mimeType) found.keys.push_back(i);
    }
    return found;
}

void Insert(std::vector<Line>& lines, size_t at, const std::string& text, const std::string& end) {
    if (at > 0 && lines[at - 1].end.empty()) lines[at - 1].end = end;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), Line{text, end});
}

// Removes a [Default Applications] group left with nothing but blank lines; at the end
// of the file also the blank line that set it apart, as WithDefaultApplication wrote it.
void RemoveEmptyDefaultGroups(std::vector<Line>& lines) {
    for (size_t i = lines.size(); i-- > 0;) {
        const auto group = GroupName(Content(lines[i].text));
        if (!group || *group != kDefaultGroup) continue;
        size_t end = i + 1;
        while (end < lines.size() && Content(lines[end].text).empty()) ++end;
        if (end < lines.size() && !GroupName(Content(lines[end].text))) continue;
        const size_t start =
            end == lines.size() && i > 0 && Content(lines[i - 1].text).empty() ? i - 1 : i;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(start),
                    lines.begin() + static_cast<std::ptrdiff_t>(end));
        i = start;  // the blank line before the group went too: go on before it
    }
}

}  // namespace

std::vector<std::string> ApplicationsFor(const std::string& list, const std::string& group,
                                         const std::string& mimeType) {
    std::vector<std::string> entries;
    bool inGroup = false;
    for (const Line& line : SplitLines(list)) {
        const std::string content = Content(line.text);
        if (const auto name = GroupName(content)) {
            inGroup = *name == group;
            continue;
        }
        const auto key = KeyOf(content);
        if (!inGroup || !key || key->name != mimeType) continue;
        entries.clear();
        for (size_t start = 0; start < key->value.size();) {
            const size_t end = std::min(key->value.find(';', start), key->value.size());
            if (end > start) entries.push_back(key->value.substr(start, end - start));
            start = end + 1;
        }
    }
    return entries;
}

std::string WithDefaultApplication(const std::string& list, const std::string& mimeType,
                                   const std::string& entry) {
    std::vector<Line> lines = SplitLines(list);
    const std::string end = LineEnd(lines), ours = mimeType + "=" + entry;
    const DefaultLines defaults = FindDefaults(lines, mimeType);
    if (!defaults.keys.empty()) {
        lines[defaults.keys.front()].text = ours;
        // A later line for the type would win when the desktop reads the file.
        for (size_t k = defaults.keys.size() - 1; k > 0; --k)
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(defaults.keys[k]));
    } else if (defaults.groupEnd) {
        Insert(lines, *defaults.groupEnd, ours, end);
    } else {
        if (!lines.empty() && !Content(lines.back().text).empty())
            Insert(lines, lines.size(), "", end);
        Insert(lines, lines.size(), std::string("[") + kDefaultGroup + "]", end);
        Insert(lines, lines.size(), ours, end);
    }
    return Joined(lines);
}

std::string WithoutDefaultApplication(const std::string& list, const std::string& mimeType,
                                      const std::string& entry) {
    std::vector<Line> lines = SplitLines(list);
    const DefaultLines defaults = FindDefaults(lines, mimeType);
    bool changed = false;
    for (auto at = defaults.keys.rbegin(); at != defaults.keys.rend(); ++at) {
        std::string value = KeyOf(Content(lines[*at].text))->value;
        if (!value.empty() && value.back() == ';') value.pop_back();
        if (value != entry) continue;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*at));
        changed = true;
    }
    if (changed) RemoveEmptyDefaultGroups(lines);
    return changed ? Joined(lines) : list;
}

}  // namespace murmel
