#pragma once
// The ".mvm" association on a freedesktop desktop: the MIME type "application/x-mvm"
// (glob "*.mvm", comment "音乐语音邮件"), a desktop entry for the player, its icon, and
// the entry made the default handler. Both programs call it at every start.
#include <string>

namespace murmel {

// Registers the association for the player "Murmelplay" in PROGRAM_FOLDER (which ends
// with "/"). Failures are ignored: the program runs on without the association.
void RegisterFileType(const std::string& programFolder) noexcept;

}  // namespace murmel
