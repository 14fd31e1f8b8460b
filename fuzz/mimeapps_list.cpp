// Any bytes as the user's mimeapps.list: once our default is set, the desktop reads
// exactly one default for our type and it is ours; setting it again changes nothing;
// every other line stays, in order; a file with one kind of line end keeps it; reading
// the default back finds ours alone; and taking our default away leaves none of ours
// behind.
#include <cstdint>
#include <string>
#include <vector>

#include "MimeAppsList.h"

namespace {

const std::string kType = "application/x-mvm", kEntry = "murmelplay.desktop";

struct Line {
    std::string text, end;
};

// Split as the desktop does: at LF with a CR before it dropped; CR alone without any LF.
std::vector<Line> Lines(const std::string& list) {
    std::vector<Line> lines;
    const char separator = list.find('\n') != std::string::npos ? '\n' : '\r';
    std::string current;
    for (const char c : list) {
        if (c != separator) {
            current += c;
            continue;
        }
        std::string end(1, c);
        if (separator == '\n' && !current.empty() && current.back() == '\r') {
            current.pop_back();
            end = "\r\n";
        }
        lines.push_back({current, end});
        current.clear();
    }
    if (!current.empty()) lines.push_back({current, ""});
    return lines;
}

std::string Strip(const std::string& text, const char* blanks) {
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The line without the white space the desktop skips before its content.
std::string Content(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t\n\v\f\r");
    return first == std::string::npos ? "" : line.substr(first);
}

// "[NAME]" with only blanks after it; empty for any other line.
std::string HeaderName(const std::string& line) {
    const std::string content = Content(line);
    const size_t close = content.find(']');
    if (content.empty() || content[0] != '[' || close == std::string::npos ||
        !Strip(content.substr(close + 1), " \t").empty())
        return "";
    return "[" + content.substr(1, close - 1) + "]";
}

// The values the desktop finds for our type in its default groups; the rest of the
// lines go to OTHERS.
std::vector<std::string> OurValues(const std::string& list, std::vector<Line>* others = nullptr) {
    std::vector<std::string> values;
    bool inDefault = false;
    for (const Line& line : Lines(list)) {
        const std::string header = HeaderName(line.text), content = Content(line.text);
        if (!header.empty()) inDefault = header == "[Default Applications]";
        const size_t equals = content.find('=');
        if (header.empty() && inDefault && !content.empty() && content[0] != '#' &&
            equals != std::string::npos && Strip(content.substr(0, equals), " \t") == kType) {
            values.push_back(Strip(content.substr(equals + 1), " \t\n\v\f\r"));
        } else if (others) {
            others->push_back(line);
        }
    }
    return values;
}

std::string OnlyLineEnd(const std::string& list) {
    std::string kind;
    for (const Line& line : Lines(list)) {
        if (line.end.empty()) continue;
        if (!kind.empty() && kind != line.end) return "mixed";
        kind = line.end;
    }
    return kind;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string list(reinterpret_cast<const char*>(data), size);
    const std::string with = murmel::WithDefaultApplication(list, kType, kEntry);
    std::vector<Line> before, after;
    OurValues(list, &before);
    if (OurValues(with, &after) != std::vector<std::string>{kEntry}) __builtin_trap();
    if (murmel::WithDefaultApplication(with, kType, kEntry) != with) __builtin_trap();
    if (murmel::ApplicationsFor(with, "Default Applications", kType) !=
        std::vector<std::string>{kEntry})
        __builtin_trap();
    // Every other line, in order, with its own line end where it had one (a last line
    // without one may get one, and a CR it ended with is then part of that end).
    size_t found = 0;
    for (const Line& line : after) {
        if (found == before.size()) break;
        const Line& old = before[found];
        if ((line.text == old.text && (old.end.empty() || line.end == old.end)) ||
            (old.end.empty() && line.text + line.end == old.text + "\n"))
            ++found;
    }
    if (found != before.size()) __builtin_trap();
    // (A CR that ended the file joins the LF after it: that line end is the file's own.)
    const std::string kind = OnlyLineEnd(list);
    if (kind != "mixed" && !kind.empty() && OnlyLineEnd(with) != kind &&
        !(list.back() == '\r' && kind == "\n"))
        __builtin_trap();
    if (!OurValues(murmel::WithoutDefaultApplication(with, kType, kEntry)).empty())
        __builtin_trap();
    return 0;
}
