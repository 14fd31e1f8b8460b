#pragma once
#include <string>

namespace murmel {

// The player's own settings, "Murmelplay.ini" in the program folder: the playback
// speed the listener chose last, kept between runs.
class PlayerSettings {
  public:
    static constexpr const char* kFileName = "Murmelplay.ini";

    explicit PlayerSettings(std::string path) : path_(std::move(path)) {}
    const std::string& Path() const { return path_; }

    // One of PlayerCore::kSpeeds; 1 when unset, unreadable or unknown.
    double Speed() const;
    // Throws as IniFile does when the file cannot be written.
    void SetSpeed(double speed);
    // [Interface] Language: the windows' language when not the desktop's; empty
    // when unset or unreadable.
    std::string Language() const;

  private:
    std::string path_;
};

}  // namespace murmel
