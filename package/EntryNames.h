#pragma once
// Entry names come from files anyone can write: they may hold control bytes,
// terminal escapes, "/" or "..". These turn them into text safe to show and into
// file names that cannot leave the folder they are written to.
#include <stdexcept>
#include <string>
#include <string_view>

namespace murmel {

// The name as UTF-8 with every control character escaped: C0 controls and DEL as
// "\xHH", C1 controls as "\u00HH", a backslash as "\\".
std::string EntryNameForDisplay(std::string_view gbkName);

// "unsafe entry name ...": a name that cannot be a file name of its own.
class EUnsafeEntryName : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The name as a UTF-8 file name. Throws EUnsafeEntryName for an empty name, ".",
// a name with "/" or "..", or with any control character.
std::string EntryFileName(std::string_view gbkName);

}  // namespace murmel
