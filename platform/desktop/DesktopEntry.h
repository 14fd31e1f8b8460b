#pragma once
// Text of the freedesktop files the association is made of: desktop entries with a
// properly quoted Exec line, and the default-application list (mimeapps.list).
#include <string>

namespace murmel {

// One argument of a desktop entry's Exec key, as the file must hold it: bare when it
// has no reserved character, else in double quotes with '"', '`', '$' and '\'
// escaped for the command line, every '\' then doubled again for the key's string
// escapes, and '%' written "%%".
// Empty when the path holds a control character no Exec line can carry.
std::string QuoteExecArgument(const std::string& argument);

struct DesktopEntryText {
    std::string name;
    std::string comment;
    std::string program;   // full path of the executable
    std::string icon;      // icon name in the theme
    std::string mimeType;  // empty for a launcher that opens no files
};

// The [Desktop Entry] group; with a MIME type the program is given one file ("%f").
// Empty when the program path cannot be quoted.
std::string DesktopEntry(const DesktopEntryText& entry);

// mimeapps.list with "TYPE=ENTRY" in [Default Applications], as `xdg-mime default`
// writes it: an existing line for TYPE is replaced, every other line kept.
std::string WithDefaultApplication(const std::string& list, const std::string& mimeType,
                                   const std::string& entry);

// mimeapps.list without the default for TYPE when it names ENTRY; unchanged otherwise.
std::string WithoutDefaultApplication(const std::string& list, const std::string& mimeType,
                                      const std::string& entry);

}  // namespace murmel
