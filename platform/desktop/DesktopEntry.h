#pragma once
// Text of the desktop entries the association is made of, with a properly quoted
// Exec line.
#include <string>

namespace murmel {

// One argument of a desktop entry's Exec key, as the file must hold it: bare when it
// has no reserved character, else in double quotes with '"', '`', '$' and '\'
// escaped for the command line, every '\' then doubled again for the key's string
// escapes, '%' written "%%", and a line feed, tab or carriage return written as the
// key's escapes "\n", "\t", "\r".
// Empty when the path holds another control character, which no Exec line can carry.
std::string QuoteExecArgument(const std::string& argument);

struct DesktopEntryText {
    std::string name;
    std::string comment;
    std::string program;   // full path of the executable
    std::string icon;      // icon name in the theme
    std::string mimeType;  // empty for a launcher that opens no files
};

// The [Desktop Entry] group; with a MIME type the program is given one file ("%f").
// A program path with '%' is started through "sh -c". Empty when the program path
// cannot be quoted.
std::string DesktopEntry(const DesktopEntryText& entry);

}  // namespace murmel
