#pragma once
// Text that came from outside (server replies, journal lines, entry and file
// names) on its way to a terminal or a window. Control characters there would
// retitle or clear the terminal, ring its bell or colour what follows; bytes that
// are not UTF-8 can start the same sequences on an 8-bit terminal.
#include <string>
#include <string_view>

namespace murmel {

// The text with every control character made visible: C0 controls and DEL as
// "\xHH", C1 controls (U+0080 to U+009F) as "\u00HH", bytes that are not part of
// valid UTF-8 as "\xHH". Everything else, backslashes included, stays, so that
// text escaped once (or escaped by EntryNameForDisplay) is unchanged by a second
// pass.
std::string PrintableText(std::string_view utf8);

// The same on one line: each line break (CR LF, LF or CR) and each TAB becomes
// one space first, as in a server's multi-line reply shown as a reason.
std::string PrintableLine(std::string_view utf8);

}  // namespace murmel
