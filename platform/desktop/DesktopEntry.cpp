#include "DesktopEntry.h"

namespace murmel {
namespace {

// Characters that make an Exec argument need quotes, and '%' (written "%%").
constexpr const char* kReserved = " \t\"'\\><~|&;$*?#()`%=";
const std::string kControl = [] {
    std::string control(1, '\x7F');
    for (char c = 1; c < 0x20; ++c) control += c;
    return control;
}();

}  // namespace

std::string QuoteExecArgument(const std::string& argument) {
    // Plain paths stay bare: simple readers of Exec (xdg-mime's own fallback among
    // them) take its first word as the program.
    if (!argument.empty() && argument.find_first_of(kReserved) == std::string::npos &&
        argument.find_first_of(kControl) == std::string::npos)
        return argument;
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '\n' || c == '\t' || c == '\r') {
            quoted += c == '\n' ? "\\n" : c == '\t' ? "\\t" : "\\r";  // the key's escapes
            continue;
        }
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
    std::string exec = QuoteExecArgument(entry.program);
    if (exec.empty()) return "";
    // The desktop looks for the program under the Exec line's first word before it
    // turns "%%" into "%", so a path with '%' cannot be that word: a shell starts it.
    if (entry.program.find('%') != std::string::npos)
        exec = "sh -c " + QuoteExecArgument("exec \"$0\" \"$@\"") + " " + exec;
    std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
    text += "Name=" + entry.name + "\n";
    text += "Comment=" + entry.comment + "\n";
    text += "Exec=" + exec + (entry.mimeType.empty() ? "" : " %f") + "\n";
    text += "Icon=" + entry.icon + "\n";
    text += "Terminal=false\nCategories=AudioVideo;Audio;\n";
    if (!entry.mimeType.empty()) text += "MimeType=" + entry.mimeType + ";\n";
    return text;
}

}  // namespace murmel
