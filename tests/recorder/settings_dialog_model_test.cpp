#include <gtest/gtest.h>

#include <filesystem>

#include "../TestFiles.h"
#include "GbkText.h"
#include "IniFile.h"
#include "SettingsDialogModel.h"

using namespace murmel;
using namespace murmel::test;

class SettingsDialogModelTest : public ::testing::Test {
  protected:
    std::string folder = FreshFolder("setup");
    std::string settingsFile = folder + "user.dll";
    SettingsDialogModel model{folder};
    void Table(const std::string& text) { WriteFile(folder + "Setting.ini", text); }
};

TEST_F(SettingsDialogModelTest, OpeningWithoutASettingsFileShowsEveryDefault) {
    SettingsDialogValues values = model.FormCreate();
    EXPECT_TRUE(values.UseMapi);
    EXPECT_FALSE(SettingsDialogModel::AccountFieldsEnabled(values));
    for (const std::string* text : {&values.ServerName, &values.ServerUser, &values.ServerPassword,
                                    &values.MyName, &values.EmailAdd})
        EXPECT_EQ(*text, "没有设置");
    EXPECT_EQ(values.ServerPort, "25");
    EXPECT_EQ(values.AuthIndex, 1);
    EXPECT_EQ(values.Resolution, "2K");
    EXPECT_TRUE(values.AutoName);
    EXPECT_EQ(values.RecordingsFolder, folder + "MyVoice/");
    EXPECT_FALSE(std::filesystem::exists(settingsFile));  // opening writes nothing
}

TEST_F(SettingsDialogModelTest, OpeningReadsExactValuesOnly) {
    WriteFile(settingsFile, "[Mailer]\r\nMAPI=yes\r\n[SMTP]\r\nMyName=" + Utf8ToGbk("张三") +
                                "\r\nSMTPAuthenticationType=7\r\n[SoundSetup]\r\nResolution=16K\r\n"
                                "[AutoNameFile]\r\nAutoName=Yes\r\n");
    SettingsDialogValues values = model.FormCreate();
    EXPECT_FALSE(values.UseMapi);  // "yes" is not "YES"
    EXPECT_TRUE(SettingsDialogModel::AccountFieldsEnabled(values));
    EXPECT_EQ(values.MyName, "张三");
    EXPECT_EQ(values.AuthIndex, -1);  // outside the entries: none chosen
    EXPECT_EQ(values.Resolution, "2K");
    EXPECT_FALSE(values.AutoName);
}

TEST_F(SettingsDialogModelTest, OkWritesEveryKeyInOrderAndEndsTheWelcome) {
    WriteFile(settingsFile, "[firstUse]\r\nFirstUse=1\r\n");
    SettingsDialogValues values = model.FormCreate();
    values.UseMapi = false;
    values.ServerName = "smtp.163.com";
    values.ServerPort = "abc";  // saved as it stands
    values.ServerUser = "zhang";
    values.ServerPassword = "p=ss word";
    values.MyName = "张三";
    values.AuthIndex = SettingsDialogModel::AuthIndexFromText("自己打的");
    values.EmailAdd = "zhang@163.com";
    values.Resolution = "8K";
    values.AutoName = false;
    model.Button1Click(values);
    EXPECT_EQ(ReadFile(settingsFile),
              "[firstUse]\r\nFirstUse=0\r\n[Mailer]\r\nMAPI=NO\r\n[SMTP]\r\n"
              "ServerName=smtp.163.com\r\nServerPort=abc\r\nServerUser=zhang\r\n"
              "ServerPassword=p=ss word\r\nMyName=" +
                  Utf8ToGbk("张三") +
                  "\r\nSMTPAuthenticationType=-1\r\nEmailAdd=zhang@163.com\r\n"
                  "[SoundSetup]\r\nResolution=8K\r\n[AutoNameFile]\r\nAutoName=NO\r\n");
    SettingsDialogValues reopened = model.FormCreate();
    EXPECT_EQ(reopened.ServerPassword, "p=ss word");
    EXPECT_EQ(reopened.MyName, "张三");
    EXPECT_FALSE(reopened.UseMapi);
    EXPECT_EQ(reopened.Resolution, "8K");
}

TEST_F(SettingsDialogModelTest, TextTheFileCannotHoldIsRefusedBeforeAnyWrite) {
    SettingsDialogValues values = model.FormCreate();
    values.MyName = "张三·李";                       // GBK has these
    values.ServerPassword = "pass\xF0\x9F\x94\x91";  // a key emoji: GBK has none
    try {
        model.Button1Click(values);
        FAIL() << "saved";
    } catch (const ESettingsText& error) {
        EXPECT_STREQ(error.what(), "“密码”中有无法保存的字符，请修改");  // the field, not the text
    }
    EXPECT_FALSE(std::filesystem::exists(settingsFile));
    values.ServerPassword = "pass";
    model.Button1Click(values);
    EXPECT_EQ(model.FormCreate().MyName, "张三·李");
}

TEST_F(SettingsDialogModelTest, OkKeepsUntouchedValuesByteForByteAndNeverStoresThePlaceholder) {
    // A name whose bytes are no valid GBK (shown as "?") and a password too long
    // for one read, stored by hand or by another program.
    const std::string name = "Zh\x80ng\xFF", password(3000, 'p');
    const std::string smtp = "[SMTP]\r\nServerPassword=" + password + "\r\nMyName=" + name +
                             "\r\nEmailAdd=" + Utf8ToGbk("没有设置") + "\r\n";
    WriteFile(settingsFile, smtp);
    SettingsDialogValues values = model.FormCreate();
    EXPECT_EQ(values.ServerName, "没有设置");
    model.Button1Click(values);
    const std::string saved = ReadFile(settingsFile);
    EXPECT_NE(saved.find("\r\nServerPassword=" + password + "\r\nMyName=" + name + "\r\n"),
              std::string::npos);
    EXPECT_NE(saved.find("\r\nServerName=\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nEmailAdd=\r\n"), std::string::npos) << saved;
    EXPECT_EQ(saved.find(Utf8ToGbk("没有设置")), std::string::npos) << saved;
    EXPECT_EQ(saved.find("AllowPlainAuth"), std::string::npos) << saved;  // off, as it was
    EXPECT_EQ(saved.find("CleanVoice"), std::string::npos) << saved;

    // Blanks at either end would be cut off when read: refused, nothing written.
    values.ServerPassword = " pass word ";
    try {
        model.Button1Click(values);
        FAIL() << "saved";
    } catch (const ESettingsText& error) {
        EXPECT_STREQ(error.what(), "“密码”的开头和结尾不能是空格，请修改");
    }
    EXPECT_EQ(ReadFile(settingsFile), saved);
    values.ServerPassword = "pass word";
    values.AllowPlainAuth = true;  // the dialog's option, read by the send
    values.CleanVoice = true;      // read at the start of each recording
    model.Button1Click(values);
    EXPECT_EQ(model.FormCreate().ServerPassword, "pass word");
    EXPECT_TRUE(model.FormCreate().AllowPlainAuth);
    EXPECT_NE(ReadFile(settingsFile).find("\r\nAllowPlainAuth=YES\r\n"), std::string::npos);
    EXPECT_TRUE(model.FormCreate().CleanVoice);
    EXPECT_NE(ReadFile(settingsFile).find("\r\nCleanVoice=YES\r\n"), std::string::npos);
}

TEST_F(SettingsDialogModelTest, AuthenticationBoxTextToIndex) {
    EXPECT_EQ(SettingsDialogModel::AuthIndexFromText("不需要"), 0);
    EXPECT_EQ(SettingsDialogModel::AuthIndexFromText("需要"), 1);
    EXPECT_EQ(SettingsDialogModel::AuthIndexFromText("需要 "), -1);
    EXPECT_EQ(SettingsDialogModel::AuthIndexFromText(""), -1);
}

TEST_F(SettingsDialogModelTest, UnwritableSettingsFileThrowsAndKeepsEarlierKeys) {
    std::filesystem::create_directory(settingsFile);  // a folder where the file should be
    EXPECT_THROW(model.Button1Click(model.FormCreate()), EIniFileError);
    try {
        model.Button1Click(model.FormCreate());
    } catch (const EIniFileError& error) {
        EXPECT_STREQ(error.what(), ("Unable to write to " + settingsFile).c_str());
    }
}

TEST_F(SettingsDialogModelTest, AutoDetectFillsFromTheDomainRowInAnyLetterCase) {
    Table(
        "[163.com]\r\nSMTP=smtp.163.com\r\nSMTPPort=465\r\nSMTPAuthenticationType=0\r\n"
        "[odd.org]\r\nSMTPPort=2525\r\n");
    SettingsDialogValues values = model.FormCreate();
    values.EmailAdd = "Zhang.San@MAIL@163.COM";  // two at signs: the domain is after the first
    EXPECT_EQ(model.AutoDetectSmtp(values), AutoDetectResult::NotInTable);
    EXPECT_EQ(values.ServerName, "没有设置");

    values.EmailAdd = "Zhang.San@163.COM";
    EXPECT_EQ(model.AutoDetectSmtp(values), AutoDetectResult::Filled);
    EXPECT_EQ(values.ServerName, "smtp.163.com");
    EXPECT_EQ(values.ServerUser, "Zhang.San");
    EXPECT_EQ(values.ServerPort, "465");
    EXPECT_EQ(values.AuthIndex, 0);
    EXPECT_FALSE(std::filesystem::exists(settingsFile));  // nothing saved before OK

    values.EmailAdd = "me@Odd.Org";  // a row without "SMTP"
    EXPECT_EQ(model.AutoDetectSmtp(values), AutoDetectResult::Filled);
    EXPECT_EQ(values.ServerName, "错误");
    EXPECT_EQ(values.ServerPort, "2525");
    EXPECT_EQ(values.AuthIndex, 1);
}

TEST_F(SettingsDialogModelTest, AutoDetectWithoutAtSignOrTableSaysSo) {
    SettingsDialogValues values = model.FormCreate();
    values.EmailAdd = "nobody.example.com";
    SettingsDialogValues before = values;
    EXPECT_EQ(model.AutoDetectSmtp(values), AutoDetectResult::NoAtSign);
    EXPECT_EQ(SettingsDialogModel::AutoDetectMessages(AutoDetectResult::NoAtSign),
              (std::vector<std::string>{"无法识别的Email地址",
                                        "无自动设置数据,请您手动设置邮件高级选项"}));
    values.EmailAdd = "me@163.com";  // no "Setting.ini" at all
    EXPECT_EQ(model.AutoDetectSmtp(values), AutoDetectResult::NotInTable);
    EXPECT_EQ(values.ServerName, before.ServerName);
    EXPECT_EQ(SettingsDialogModel::AutoDetectMessages(AutoDetectResult::Filled),
              std::vector<std::string>{"设置成功!"});
}

TEST(ShippedSmtpTable, ListsTheCommonDomainsWithServerPortAndAuthentication) {
    IniFile table(MURMEL_SOURCE_DIR "/data/Setting.ini");
    for (const char* domain :
         {"163.com",     "126.com",     "yeah.net",   "qq.com",     "foxmail.com",
          "sina.com",    "sohu.com",    "aliyun.com", "139.com",    "gmail.com",
          "outlook.com", "hotmail.com", "yahoo.com",  "icloud.com", "gmx.net",
          "gmx.com",     "web.de",      "mail.ru",    "yandex.ru",  "yandex.com"}) {
        SCOPED_TRACE(domain);
        EXPECT_NE(table.ReadText(domain, "SMTP", ""), "");
        int32_t port = table.ReadNumber(domain, "SMTPPort", 0);
        EXPECT_TRUE(port == 25 || port == 465 || port == 587) << port;
        EXPECT_EQ(table.ReadNumber(domain, "SMTPAuthenticationType", -1), 1);
    }
    EXPECT_FALSE(table.HasSection("firstUse"));
}
