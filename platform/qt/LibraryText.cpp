#include "LibraryText.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <vector>

namespace {

constexpr const char* kContext = "LibraryText";

// Texts the libraries give in the windows' own language: translated as they stand.
constexpr const char* kWrittenTexts[] = {
    // recorder and player captions
    QT_TRANSLATE_NOOP("LibraryText", "录音"),
    QT_TRANSLATE_NOOP("LibraryText", "停止"),
    QT_TRANSLATE_NOOP("LibraryText", "播放"),
    // attachment list, address book, hand-off
    QT_TRANSLATE_NOOP("LibraryText", "请确定保存文件名合法"),
    QT_TRANSLATE_NOOP("LibraryText", "文件可能正在使用中，请稍后再试"),
    QT_TRANSLATE_NOOP("LibraryText", "收件人地址似乎有误，请修正"),
    QT_TRANSLATE_NOOP("LibraryText", "姓名中不能含有冒号(:)或换行，请修改姓名"),
    QT_TRANSLATE_NOOP("LibraryText", "邮件地址中不能含有换行，请修改邮件地址"),
    QT_TRANSLATE_NOOP("LibraryText", "姓名或邮件地址中有无法保存的字符，请修改"),
    // the send dialog's captions
    QT_TRANSLATE_NOOP("LibraryText", "正在发送......"),
    QT_TRANSLATE_NOOP("LibraryText", "正在连接..."),
    QT_TRANSLATE_NOOP("LibraryText", "正在发送语音邮件"),
    QT_TRANSLATE_NOOP("LibraryText", "邮件发送成功"),
    QT_TRANSLATE_NOOP("LibraryText", "错误,已断开连接"),
    // the settings dialog: its messages, its field names, its placeholders
    QT_TRANSLATE_NOOP("LibraryText", "设置成功!"),
    QT_TRANSLATE_NOOP("LibraryText", "无法识别的Email地址"),
    QT_TRANSLATE_NOOP("LibraryText", "无自动设置数据,请您手动设置邮件高级选项"),
    QT_TRANSLATE_NOOP("LibraryText", "您的姓名"),
    QT_TRANSLATE_NOOP("LibraryText", "您的邮件地址"),
    QT_TRANSLATE_NOOP("LibraryText", "密码"),
    QT_TRANSLATE_NOOP("LibraryText", "SMTP服务器地址"),
    QT_TRANSLATE_NOOP("LibraryText", "帐号"),
    QT_TRANSLATE_NOOP("LibraryText", "端口"),
};

// Placeholders a field shows and stores: "没有设置" for a value never set, the
// entries of the authentication box.
constexpr const char* kStoredTexts[] = {
    QT_TRANSLATE_NOOP("LibraryText", "没有设置"),
    QT_TRANSLATE_NOOP("LibraryText", "不需要"),
    QT_TRANSLATE_NOOP("LibraryText", "需要"),
};

struct Pattern {
    const char* given;       // what the library says, as a regular expression
    const char* shown;       // what the window shows, %1... for the captured parts
    int nested = 0;          // the part that is a library text itself (a reason, a name), from 1
    bool translated = true;  // false: the same in every language
};

// Messages with parts of their own (paths, reasons, codes). Paths and codes are
// shown as they are; a nested reason is looked up in turn ("saved without music:
// File is corrupt.").
constexpr Pattern kPatterns[] = {
    {"File is corrupt\\.", QT_TRANSLATE_NOOP("LibraryText", "文件已损坏。")},
    {"Not a voice mail or a recording", QT_TRANSLATE_NOOP("LibraryText", "不是语音邮件或录音")},
    {"Cannot trim (.*?): (.*)", QT_TRANSLATE_NOOP("LibraryText", "无法剪辑 %1：%2"), 2},
    {"Only the recorder's own recordings \\(MPEG or PCM in a RIFF WAVE\\) and voice mails can "
     "be trimmed",
     QT_TRANSLATE_NOOP("LibraryText", "只能剪辑本程序录的录音（RIFF WAVE 中的 MPEG 或 PCM）和语音邮件")},
    {"Compressed file is corrupt", QT_TRANSLATE_NOOP("LibraryText", "压缩文件已损坏")},
    {"No wave audio recording device found", QT_TRANSLATE_NOOP("LibraryText", "找不到录音设备")},
    {"the server offers no encryption; the password was not sent \\(to send it unencrypted to "
     "this server anyway, set \"AllowPlainAuth\"=\"YES\" in section \"SMTP\" of user.dll\\)",
     QT_TRANSLATE_NOOP("LibraryText",
                       "服务器不提供加密连接，密码没有发送（如果仍要以不加密的方式发给这台服务器，"
                       "请在 user.dll 的 \"SMTP\" 节中设置 \"AllowPlainAuth\"=\"YES\"）")},
    {"Cannot open file \"(.*)\"\\. (.*)", QT_TRANSLATE_NOOP("LibraryText", "无法打开文件“%1”。%2")},
    {"The server refused: (.*)", QT_TRANSLATE_NOOP("LibraryText", "服务器拒绝：%1")},
    {"damaged journal (.*) ignored: (.*)",
     QT_TRANSLATE_NOOP("LibraryText", "录音记录 %1 已损坏，没有使用：%2"), 2},
    {"journal (.*) without its track (.*) removed",
     QT_TRANSLATE_NOOP("LibraryText", "录音记录 %1 所记的录音 %2 已不存在，记录已删除")},
    {"saved without music: (.*)", QT_TRANSLATE_NOOP("LibraryText", "已保存，但没有背景音乐：%1"),
     1},
    {"背景音乐(.+)", QT_TRANSLATE_NOOP("LibraryText", "背景音乐%1")},
    {"“(.*)”中有无法保存的字符，请修改",
     QT_TRANSLATE_NOOP("LibraryText", "“%1”中有无法保存的字符，请修改"), 1},
    {"无法打开邮件程序，邮件没有交出。\n\\((.*)\\)\n\n录制好的语音邮件在 \"MyVoice\" "
     "文件夹中，可以用其他方式作为附件发送：\n(.*)",
     QT_TRANSLATE_NOOP("LibraryText",
                       "无法打开邮件程序，邮件没有交出。\n(%1)\n\n录制好的语音邮件在 \"MyVoice\" "
                       "文件夹中，可以用其他方式作为附件发送：\n%2"),
     1},
    {"附件不存在或无法读取，邮件没有交出：\n(.*)",
     QT_TRANSLATE_NOOP("LibraryText", "附件不存在或无法读取，邮件没有交出：\n%1")},
    {"邮件发送失败：(.*)", QT_TRANSLATE_NOOP("LibraryText", "邮件发送失败：%1"), 1},
    {"“(.*)”的开头和结尾不能是空格，请修改",
     QT_TRANSLATE_NOOP("LibraryText", "“%1”的开头和结尾不能是空格，请修改"), 1},
    {"(.*): is taken by another file; saved as (.*) instead",
     QT_TRANSLATE_NOOP("LibraryText", "%1 已被另一个文件占用，录音已另存为 %2")},
    {"(.*): already recovered", QT_TRANSLATE_NOOP("LibraryText", "%1：已经恢复过了")},
    {"(.*): being recovered by another process",
     QT_TRANSLATE_NOOP("LibraryText", "%1：另一个程序正在恢复它")},
    {"xdg-email failed", QT_TRANSLATE_NOOP("LibraryText", "xdg-email 运行失败")},
    {"xdg-email exited with status (\\d+)",
     QT_TRANSLATE_NOOP("LibraryText", "xdg-email 运行结束，状态为 %1")},
    {"names another recording", QT_TRANSLATE_NOOP("LibraryText", "记录的是另一个录音")},
    // The sound server's failures, alone or after the failed call's name.
    {"(.*)\n\r(.*)", "%1\n\r%2", 2, false},
    {"Connection to the sound server failed",
     QT_TRANSLATE_NOOP("LibraryText", "无法连接声音服务器")},
    {"[Tt]he sound server does not answer", QT_TRANSLATE_NOOP("LibraryText", "声音服务器没有响应")},
    {"no sound server: (.*)", QT_TRANSLATE_NOOP("LibraryText", "没有声音服务器：%1")},
    {"the sound server stopped: no answer for (\\d+) seconds",
     QT_TRANSLATE_NOOP("LibraryText", "声音服务器已停止：%1 秒没有响应")},
    {"no sound arrived for (\\d+) seconds", QT_TRANSLATE_NOOP("LibraryText", "%1 秒没有收到声音")},
    {"(.*): not a regular file", QT_TRANSLATE_NOOP("LibraryText", "%1：不是普通文件")},
    {"(.*): file too large \\((\\d+) bytes, at most (\\d+)\\)",
     QT_TRANSLATE_NOOP("LibraryText", "%1：文件太大（%2 字节，最多 %3 字节）")},
};

QString Translate(const char* text) { return QCoreApplication::translate(kContext, text); }

QString Shown(const QString& text, int depth) {
    const QByteArray utf8 = text.toUtf8();
    for (const char* written : kWrittenTexts)
        if (utf8 == written) return Translate(written);
    static const std::vector<QRegularExpression> expressions = [] {
        std::vector<QRegularExpression> compiled;
        for (const Pattern& pattern : kPatterns)
            compiled.emplace_back(
                QRegularExpression::anchoredPattern(QString::fromUtf8(pattern.given)),
                QRegularExpression::DotMatchesEverythingOption);
        return compiled;
    }();
    for (size_t i = 0; i < expressions.size(); ++i) {
        const QRegularExpressionMatch match = expressions[i].match(text);
        if (!match.hasMatch()) continue;
        QString shown = kPatterns[i].translated ? Translate(kPatterns[i].shown)
                                                : QString::fromUtf8(kPatterns[i].shown);
        QStringList parts;
        for (int part = 1; part <= match.lastCapturedIndex(); ++part)
            parts << (part == kPatterns[i].nested && depth > 0
                          ? Shown(match.captured(part), depth - 1)
                          : match.captured(part));
        // All parts at once, so a "%" in a path is never taken for a place.
        if (parts.size() == 1) shown = shown.arg(parts[0]);
        if (parts.size() == 2) shown = shown.arg(parts[0], parts[1]);
        if (parts.size() == 3) shown = shown.arg(parts[0], parts[1], parts[2]);
        return shown;
    }
    return text;
}

}  // namespace

QString LibraryText(const QString& text) { return Shown(text, 1); }

QString LibraryText(const std::string& utf8) { return LibraryText(QString::fromStdString(utf8)); }

QString LibraryText(const char* utf8) { return LibraryText(QString::fromUtf8(utf8)); }

QString ShownValue(const std::string& stored) {
    for (const char* written : kStoredTexts)
        if (stored == written) return Translate(written);
    return QString::fromStdString(stored);
}

std::string StoredValue(const QString& shown) {
    for (const char* written : kStoredTexts)
        if (shown == Translate(written)) return written;
    return shown.toStdString();
}
