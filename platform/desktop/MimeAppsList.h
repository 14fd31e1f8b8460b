#pragma once
// Our one key in the user's default-application list (mimeapps.list), read as the
// desktop's own tools read it (GLib's key files): leading blanks before a group
// header or key are ignored, as are blanks around "=" and a CR before the LF; a file
// with only CR line ends is taken line by line as well. Every line we do not edit
// stays byte for byte, and lines we add take the file's own line ends.
#include <string>
#include <vector>

namespace murmel {

// The entries TYPE's key names in the list's GROUP ("Default Applications", "Added
// Associations"), in their order; a later line for the type wins, as when the desktop
// reads the file. Empty without one.
std::vector<std::string> ApplicationsFor(const std::string& list, const std::string& group,
                                         const std::string& mimeType);

// The list with TYPE's default in [Default Applications] set to ENTRY, as
// `xdg-mime default` does: the first line for TYPE in the group (blanks or not) is
// replaced, any later one removed, so the desktop reads ENTRY; without one a line is
// added to the group, or the group to the end of the file.
std::string WithDefaultApplication(const std::string& list, const std::string& mimeType,
                                   const std::string& entry);

// The list without TYPE's default when it names ENTRY; unchanged otherwise.
std::string WithoutDefaultApplication(const std::string& list, const std::string& mimeType,
                                      const std::string& entry);

}  // namespace murmel
