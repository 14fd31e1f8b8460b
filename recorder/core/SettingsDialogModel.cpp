#include "SettingsDialogModel.h"

#include <algorithm>

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

void WriteUtf8(IniFile& ini, const char* section, const char* key, const std::string& value) {
    ini.WriteText(section, key, Utf8ToGbk(value));
}

int AuthIndexFromNumber(int32_t number) { return number == 0 || number == 1 ? number : -1; }

// Refuses text that would turn into "?" in the file (a password above all, which
// would then fail at the server with no hint why).
void CheckStorable(const SettingsDialogValues& values) {
    const std::pair<const std::string*, const char*> fields[] = {
        {&values.MyName, "您的姓名"},     {&values.EmailAdd, "您的邮件地址"},
        {&values.ServerPassword, "密码"}, {&values.ServerName, "SMTP服务器地址"},
        {&values.ServerUser, "帐号"},     {&values.ServerPort, "端口"},
    };
    for (const auto& [text, label] : fields)
        if (!FitsGbk(*text))
            throw ESettingsText(std::string("“") + label + "”中有无法保存的字符，请修改");
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
    std::string resolution = settings.ReadText("SoundSetup", "Resolution", "2K");
    const std::vector<std::string>& known = Resolutions();
    values.Resolution =
        std::find(known.begin(), known.end(), resolution) != known.end() ? resolution : "2K";
    values.AutoName = settings.ReadText("AutoNameFile", "AutoName", "YES") == "YES";
    return values;
}

void SettingsDialogModel::Button1Click(const SettingsDialogValues& values) const {
    CheckStorable(values);
    SettingsStore settings(programFolder_);
    settings.WriteText("Mailer", "MAPI", values.UseMapi ? "YES" : "NO");
    WriteUtf8(settings, "SMTP", "ServerName", values.ServerName);
    WriteUtf8(settings, "SMTP", "ServerPort", values.ServerPort);
    WriteUtf8(settings, "SMTP", "ServerUser", values.ServerUser);
    WriteUtf8(settings, "SMTP", "ServerPassword", values.ServerPassword);
    WriteUtf8(settings, "SMTP", "MyName", values.MyName);
    settings.WriteNumber("SMTP", "SMTPAuthenticationType", values.AuthIndex);
    WriteUtf8(settings, "SMTP", "EmailAdd", values.EmailAdd);
    settings.WriteText("SoundSetup", "Resolution", values.Resolution);
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
