#include "SettingsDialogModel.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "GbkText.h"
#include "IniFile.h"
#include "SettingsStore.h"

namespace murmel {
namespace {

constexpr const char* kNoAutoData = "无自动设置数据,请您手动设置邮件高级选项";

// A text setting as UTF-8, with a UTF-8 default.
std::string ReadUtf8(const IniFile& ini, const char* section, const char* key,
                     const std::string& defaultValue) {
    return GbkToUtf8(ini.ReadText(section, key, Utf8ToGbk(defaultValue)));
}

int AuthIndexFromNumber(int32_t number) { return number == 0 || number == 1 ? number : -1; }

// What the file keeps for a text field, in GBK: the placeholder is no value, so it
// keeps the empty text; nothing is written when the stored value is what the field
// shows, so bytes that are no valid GBK (shown as "?") and values longer than a
// read returns stay as they are, byte for byte. Text
// the file would change (characters GBK lacks become "?", blanks at either end
// are cut off when read) is refused, naming the field, never its content.
std::optional<std::string> TextToStore(const IniFile& settings, const char* key,
                                       const std::string& text, const char* label) {
    if (text == SettingsDialogModel::kNotSet) return std::string();
    const std::string absent = "\n";  // no stored value holds a line break
    const std::string stored = settings.ReadText("SMTP", key, absent);
    if (stored != absent && GbkToUtf8(stored) == text) return std::nullopt;
    if (!FitsGbk(text))
        throw ESettingsText(std::string("“") + label + "”中有无法保存的字符，请修改");
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (!text.empty() && (blank(text.front()) || blank(text.back())))
        throw ESettingsText(std::string("“") + label + "”的开头和结尾不能是空格，请修改");
    return Utf8ToGbk(text);
}

}  // namespace

const std::vector<std::string>& SettingsDialogModel::AuthEntries() {
    static const std::vector<std::string> entries = {"不需要", "需要"};
    return entries;
}

const std::vector<std::string>& SettingsDialogModel::Resolutions() {
    static const std::vector<std::string> resolutions = {"1K", "2K", "4K", "8K"};
    return resolutions;
}

SettingsDialogModel::SettingsDialogModel(std::string programFolder)
    : programFolder_(std::move(programFolder)) {}

SettingsDialogValues SettingsDialogModel::FormCreate() const {
    SettingsStore settings(programFolder_);
    SettingsDialogValues values;
    values.RecordingsFolder = programFolder_ + "MyVoice/";
    values.UseMapi = settings.ReadText("Mailer", "MAPI", "YES") == "YES";
    values.ServerName = ReadUtf8(settings, "SMTP", "ServerName", kNotSet);
    values.ServerPort = ReadUtf8(settings, "SMTP", "ServerPort", "25");
    values.ServerUser = ReadUtf8(settings, "SMTP", "ServerUser", kNotSet);
    values.ServerPassword = ReadUtf8(settings, "SMTP", "ServerPassword", kNotSet);
    values.MyName = ReadUtf8(settings, "SMTP", "MyName", kNotSet);
    values.EmailAdd = ReadUtf8(settings, "SMTP", "EmailAdd", kNotSet);
    values.AuthIndex =
        AuthIndexFromNumber(settings.ReadNumber("SMTP", "SMTPAuthenticationType", 1));
    values.AllowPlainAuth = settings.ReadText("SMTP", "AllowPlainAuth", "NO") == "YES";
    std::string resolution = settings.ReadText("SoundSetup", "Resolution", "2K");
    const std::vector<std::string>& known = Resolutions();
    values.Resolution =
        std::find(known.begin(), known.end(), resolution) != known.end() ? resolution : "2K";
    values.AutoName = settings.ReadText("AutoNameFile", "AutoName", "YES") == "YES";
    values.Microphone = GbkToUtf8(settings.ReadText("SoundSetup", "Microphone", ""));
    values.CleanVoice = settings.ReadText("SoundSetup", "CleanVoice", "NO") == "YES";
    return values;
}

void SettingsDialogModel::Button1Click(const SettingsDialogValues& values) const {
    SettingsStore settings(programFolder_);
    // In the file's order; every field is checked before anything is written.
    const struct {
        const char* key;
        const std::string& text;
        const char* label;
    } fields[] = {
        {"ServerName", values.ServerName, "SMTP服务器地址"},
        {"ServerPort", values.ServerPort, "端口"},
        {"ServerUser", values.ServerUser, "帐号"},
        {"ServerPassword", values.ServerPassword, "密码"},
        {"MyName", values.MyName, "您的姓名"},
        {"EmailAdd", values.EmailAdd, "您的邮件地址"},
    };
    // Checked as the dialog shows them, top to bottom, so the first refusal is
    // about the uppermost field.
    std::optional<std::string> stored[std::size(fields)];
    for (size_t i : {4, 5, 3, 0, 2, 1})
        stored[i] = TextToStore(settings, fields[i].key, fields[i].text, fields[i].label);
    auto writeField = [&](size_t i) {
        if (stored[i]) settings.WriteText("SMTP", fields[i].key, *stored[i]);
    };
    settings.WriteText("Mailer", "MAPI", values.UseMapi ? "YES" : "NO");
    for (size_t i = 0; i < 5; ++i) writeField(i);
    settings.WriteNumber("SMTP", "SMTPAuthenticationType", values.AuthIndex);
    writeField(5);
    // Off is the default: a file without the key stays without it.
    if (values.AllowPlainAuth != (settings.ReadText("SMTP", "AllowPlainAuth", "NO") == "YES"))
        settings.WriteText("SMTP", "AllowPlainAuth", values.AllowPlainAuth ? "YES" : "NO");
    settings.WriteText("SoundSetup", "Resolution", values.Resolution);
    // Written only when chosen anew, so a file without the key keeps none.
    if (values.Microphone != GbkToUtf8(settings.ReadText("SoundSetup", "Microphone", "")))
        settings.WriteText("SoundSetup", "Microphone", Utf8ToGbk(values.Microphone));
    if (values.CleanVoice != (settings.ReadText("SoundSetup", "CleanVoice", "NO") == "YES"))
        settings.WriteText("SoundSetup", "CleanVoice", values.CleanVoice ? "YES" : "NO");
    settings.WriteText("AutoNameFile", "AutoName", values.AutoName ? "YES" : "NO");
    settings.WriteText("firstUse", "FirstUse", "0");
}

AutoDetectResult SettingsDialogModel::AutoDetectSmtp(SettingsDialogValues& values) const {
    size_t at = values.EmailAdd.find('@');
    if (at == std::string::npos) return AutoDetectResult::NoAtSign;
    std::string domain = Utf8ToGbk(values.EmailAdd.substr(at + 1));
    IniFile table(programFolder_ + kTableFile);
    if (!table.HasSection(domain)) return AutoDetectResult::NotInTable;
    values.ServerName = GbkToUtf8(table.ReadText(domain, "SMTP", Utf8ToGbk("错误")));
    values.ServerUser = values.EmailAdd.substr(0, at);
    values.ServerPort = GbkToUtf8(table.ReadText(domain, "SMTPPort", "25"));
    values.AuthIndex = AuthIndexFromNumber(table.ReadNumber(domain, "SMTPAuthenticationType", 1));
    return AutoDetectResult::Filled;
}

std::vector<std::string> SettingsDialogModel::AutoDetectMessages(AutoDetectResult result) {
    switch (result) {
        case AutoDetectResult::Filled:
            return {"设置成功!"};
        case AutoDetectResult::NoAtSign:
            return {"无法识别的Email地址", kNoAutoData};
        case AutoDetectResult::NotInTable:
            break;
    }
    return {kNoAutoData};
}

int SettingsDialogModel::AuthIndexFromText(const std::string& text) {
    const std::vector<std::string>& entries = AuthEntries();
    auto found = std::find(entries.begin(), entries.end(), text);
    return found == entries.end() ? -1 : static_cast<int>(found - entries.begin());
}

}  // namespace murmel
