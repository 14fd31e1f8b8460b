#pragma once
// What the settings dialog shows and saves: filled from "user.dll" when the dialog
// opens, written back whole on OK and only then, with the SMTP fields fillable from
// the table of known mail domains "Setting.ini". Texts here are UTF-8; the files
// hold GBK and are converted on the way in and out.
#include <stdexcept>
#include <string>
#include <vector>

namespace murmel {

// The dialog's values. AuthIndex is the chosen entry of the authentication box:
// 0 "不需要", 1 "需要", -1 none (typed text, or a stored number outside 0 and 1).
struct SettingsDialogValues {
    bool UseMapi = true;  // "&D使用 OutLook发送邮件" chosen rather than the own SMTP client
    std::string ServerName;
    std::string ServerPort;
    std::string ServerUser;
    std::string ServerPassword;
    std::string MyName;
    std::string EmailAdd;
    int AuthIndex = 1;
    // The password may go to a server that cannot encrypt ("SMTP"/"AllowPlainAuth").
    bool AllowPlainAuth = false;
    std::string Resolution = "2K";  // "1K", "2K", "4K" or "8K"
    std::string Microphone;         // the sound server's source to record from; empty: its default
    bool CleanVoice = false;        // noise suppression and automatic gain while recording
    bool AutoName = true;
    std::string RecordingsFolder;  // shown only
};

// A field holds text the settings file would not give back as typed (characters
// GBK lacks, blanks at either end); the message names the field, never its content.
class ESettingsText : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class AutoDetectResult {
    Filled,      // the domain was in the table; fields filled
    NoAtSign,    // the address has no "@"
    NotInTable,  // no table, or the domain is not in it
};

class SettingsDialogModel {
  public:
    static constexpr const char* kNotSet = "没有设置";
    static constexpr const char* kTableFile = "Setting.ini";
    static const std::vector<std::string>& AuthEntries();  // "不需要", "需要"
    static const std::vector<std::string>& Resolutions();  // "1K" .. "8K"

    explicit SettingsDialogModel(std::string programFolder);

    // The values the dialog opens with (missing keys give the defaults).
    SettingsDialogValues FormCreate() const;

    // The account and server fields are usable only with the own SMTP client.
    static bool AccountFieldsEnabled(const SettingsDialogValues& values) { return !values.UseMapi; }

    // Writes every key, in the settings file's order, ending with "FirstUse" = "0".
    // A text field still showing the stored value is left as the file holds it,
    // byte for byte; one showing the placeholder kNotSet is saved empty. A field
    // GBK cannot hold, or with blanks at its start or end (the file would cut them
    // off), throws ESettingsText before anything is written; the first refused
    // write throws EIniFileError, and keys written before it stay.
    void Button1Click(const SettingsDialogValues& values) const;

    // Fills server, account, port and authentication from the table row of the
    // domain after the first "@" of EmailAdd (letter case ignored). Changes nothing
    // unless it returns Filled.
    AutoDetectResult AutoDetectSmtp(SettingsDialogValues& values) const;

    // The messages to show in turn after an auto-detection.
    static std::vector<std::string> AutoDetectMessages(AutoDetectResult result);

    // The entry index of a text in the authentication box, -1 when it is no entry.
    static int AuthIndexFromText(const std::string& text);

  private:
    std::string programFolder_;
};

}  // namespace murmel
