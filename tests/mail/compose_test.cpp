// Byte-exact composition: addresses, encoded words, folding, the MIME layout.
#include <sys/stat.h>

#include <chrono>
#include <gtest/gtest.h>

#include <cstdlib>

#include "Base64.h"
#include "GbkText.h"
#include "IdException.h"
#include "IdMessage.h"
#include "TestFiles.h"

namespace murmel {
namespace {

using test::FreshFolder;
using test::WriteFile;

class CaptureWriter : public TIdMessageLineWriter {
  public:
    void WriteLine(std::string_view line) override {
        text.append(line);
        text += "\r\n";
    }
    void BeginBody() override { bodyStart = text.size(); }
    void EndBody() override { ++ends; }
    std::string text;
    size_t bodyStart = 0;
    int ends = 0;
};

// Tue, 5 Mar 2024 14:03:09 +0800
TIdMessageTime FixedTime() {
    TIdMessageTime time;
    time.local.tm_year = 124;
    time.local.tm_mon = 2;
    time.local.tm_mday = 5;
    time.local.tm_wday = 2;
    time.local.tm_hour = 14;
    time.local.tm_min = 3;
    time.local.tm_sec = 9;
    time.utcOffsetMinutes = 480;
    return time;
}

class Compose : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("LC_ALL", "zh_CN.UTF-8", 1);
        message.Clock = FixedTime;
    }
    std::string Write() {
        CaptureWriter writer;
        WriteMessage(message, writer);
        return writer.text;
    }
    TIdMessage message;
};

const THeaderCharset kGb = SimplifiedChineseCharset();

TEST_F(Compose, MessageWithOneAttachmentIsByteExact) {
    std::string folder = FreshFolder("compose");
    std::string bytes;
    for (int i = 0; i < 58; ++i) bytes += static_cast<char>(i);
    WriteFile(folder + "voice.mp3", bytes);
    message.From = {"sender@murmel.example", "Sender"};
    message.Subject = Utf8ToGbk("语音");
    ParseAddressList(message.Recipients, "friend@example.com");
    message.Body = {"Hi\r\n.\r\nthere", "=="};
    message.Parts.push_back({folder + "voice.mp3", "voice.mp3"});
    EXPECT_EQ(Write(),
              "From: \"Sender\" <sender@murmel.example>\r\n"
              "Subject: =?GB2312?B?0+/S9A==?=\r\n"
              "To: friend@example.com\r\n"
              "Content-Type: multipart/mixed; boundary=\"=_NextPart_2rfkindysadvnqw3nerasdf\"\r\n"
              "MIME-Version: 1.0\r\n"
              "Date: Tue, 5 Mar 2024 14:03:09 +0800\r\n"
              "X-Priority: 3\r\n"
              "X-Library: Indy 9.00.10\r\n"
              "\r\n"
              "This is a multi-part message in MIME format\r\n"
              "\r\n"
              "--=_NextPart_2rfkindysadvnqw3nerasdf\r\n"
              "Content-Type: text/plain\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "\r\n"
              "Hi\r\n..\r\nthere\r\n==\r\n"
              "\r\n"
              "--=_NextPart_2rfkindysadvnqw3nerasdf\r\n"
              "Content-Type: application/octet-stream;\r\n"
              "        name=\"voice.mp3\"\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "Content-Disposition: attachment;\r\n"
              "        filename=\"voice.mp3\"\r\n"
              "\r\n"
              "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4\r\n"
              "OQ==\r\n"
              "\r\n"
              "--=_NextPart_2rfkindysadvnqw3nerasdf--\r\n");
}

TEST_F(Compose, AttachmentOf57BytesIsOneLineAndEmptyFileNone) {
    std::string folder = FreshFolder("compose57");
    WriteFile(folder + "a", std::string(57, 'x'));
    WriteFile(folder + "empty", "");
    message.Parts = {{folder + "a", "a"}, {folder + "empty", "empty"}};
    std::string text = Write();
    std::string line;
    for (int i = 0; i < 19; ++i) line += "eHh4";
    EXPECT_NE(text.find("filename=\"a\"\r\n\r\n" + line + "\r\n\r\n\r\n--"), std::string::npos);
    EXPECT_NE(text.find("filename=\"empty\"\r\n\r\n\r\n--"), std::string::npos);
}

TEST_F(Compose, SinglePartMessageHasNoMimeHeadersAndDoublesDots) {
    message.From = {"me@murmel.example", ""};
    ParseAddressList(message.Recipients, "a@example.com");
    message.Subject = "Plain? =yes=";
    message.Body = {".", "x\r\n.y"};
    EXPECT_EQ(Write(),
              "From: me@murmel.example\r\n"
              "Subject: Plain? =yes=\r\n"
              "To: a@example.com\r\n"
              "Date: Tue, 5 Mar 2024 14:03:09 +0800\r\n"
              "X-Priority: 3\r\n"
              "X-Library: Indy 9.00.10\r\n"
              "\r\n"
              "..\r\nx\r\n..y\r\n");
}

TEST_F(Compose, EmptyFieldsLeaveTheirHeadersOut) {
    ParseAddressList(message.Recipients, " ;, ");
    EXPECT_TRUE(message.Recipients.empty());
    message.Body = {""};
    EXPECT_EQ(Write(),
              "Date: Tue, 5 Mar 2024 14:03:09 +0800\r\n"
              "X-Priority: 3\r\nX-Library: Indy 9.00.10\r\n\r\n\r\n");
}

TEST_F(Compose, NothingCarriesOverFromAnEarlierSend) {
    std::string folder = FreshFolder("carry");
    WriteFile(folder + "f", "abc");
    message.Parts.push_back({folder + "f", "f"});
    message.SubjectUtf8 = message.BodyUtf8 = true;
    message.MsgId = "<1@murmel.example>";
    Write();
    message.Clear();
    message.Body = {"b"};
    std::string text = Write();
    EXPECT_EQ(text.find("Content-Type"), std::string::npos);
    EXPECT_EQ(text.find("MIME-Version"), std::string::npos);
    EXPECT_EQ(text.find("Message-ID"), std::string::npos);
    EXPECT_FALSE(message.SubjectUtf8 || message.BodyUtf8);
}

TEST_F(Compose, SubjectOf22And23ChineseCharactersFolds) {
    std::string subject;
    for (int i = 0; i < 22; ++i) subject += "你";
    message.Subject = Utf8ToGbk(subject);
    TIdHeaderList headers = BuildHeaderLines(message);
    ASSERT_GE(headers.Lines().size(), 2u);
    EXPECT_EQ(headers.Lines()[0], "Subject:");
    EXPECT_EQ(headers.Lines()[1],
              " =?GB2312?B?xOPE48TjxOPE48TjxOPE48TjxOPE48TjxOPE48TjxOPE48TjxOPE48TjxOM=?=");
    // 46 bytes: the second word starts with the 23rd character, never inside it.
    message.Subject += Utf8ToGbk("你");
    headers = BuildHeaderLines(message);
    ASSERT_GE(headers.Lines().size(), 3u);
    EXPECT_EQ(headers.Lines()[0], "Subject:");
    EXPECT_EQ(headers.Lines()[1],
              " =?GB2312?B?xOPE48TjxOPE48TjxOPE48TjxOPE48TjxOPE48TjxOPE48TjxOPE48TjxOM=?=");
    EXPECT_EQ(headers.Lines()[2], "\t=?GB2312?B?xOM=?=");
}

TEST(EncodeHeaderText, OnlyTheWordsThatNeedItAreEncoded) {
    EXPECT_EQ(EncodeHeaderText(Utf8ToGbk("Hello 你好 world"), "", kGb),
              "Hello =?GB2312?B?xOO6ww==?= world");
    EXPECT_EQ(EncodeHeaderText("What? a=b", "", kGb), "What? a=b");
    // A stretch runs over the white space between words that need encoding.
    EXPECT_EQ(EncodeHeaderText(Utf8ToGbk("你 好 ok"), "", kGb), "=?GB2312?B?xOMgusM=?= ok");
    EXPECT_EQ(EncodeHeaderText(Utf8ToGbk("ok 你 "), "", kGb), "ok =?GB2312?B?xOMg?=");
}

TEST(EncodeHeaderText, QFormEscapesAndSplitsAt75Columns) {
    THeaderCharset latin = LatinCharset();
    EXPECT_EQ(EncodeHeaderText("caf\xE9 au lait", "", latin), "=?ISO-8859-1?Q?caf=E9?= au lait");
    EXPECT_EQ(EncodeHeaderText("\xE9t\xE9 a_b?=", "", latin), "=?ISO-8859-1?Q?=E9t=E9?= a_b?=");
    EXPECT_EQ(EncodeHeaderText("\xE9_?= \xE9", "", latin), "=?ISO-8859-1?Q?=E9=5F=3F=3D_=E9?=");
    std::string encoded = EncodeHeaderText(std::string(30, '\xE9'), "", latin);
    // "=?ISO-8859-1?Q?" is 15 columns; the counter starts at 17 and 19 pieces of 3 fit.
    EXPECT_EQ(
        encoded, "=?ISO-8859-1?Q?" +
                     [] {
                         std::string s;
                         for (int i = 0; i < 19; ++i) s += "=E9";
                         return s;
                     }() +
                     "?=\r\n\t=?ISO-8859-1?Q?" +
                     [] {
                         std::string s;
                         for (int i = 0; i < 11; ++i) s += "=E9";
                         return s;
                     }() +
                     "?=");
}

TEST(AddressList, SeparatorsGroupsAndQuotedNames) {
    TIdEMailAddressList list;
    ParseAddressList(list, "a@example.com; b@example.com");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(EncodeAddressList(list, kGb), "a@example.com, b@example.com");

    ParseAddressList(list, "a@example.com b@example.com");
    EXPECT_EQ(list.size(), 1u);

    ParseAddressList(list, "\"Doe, Jane\" <jane@example.com>, Bob <bob@example.com>");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Name, "Doe, Jane");
    EXPECT_EQ(list[0].Address, "jane@example.com");
    EXPECT_EQ(list[1].Name, "Bob");
    EXPECT_EQ(list[1].Address, "bob@example.com");

    ParseAddressList(list, "team: x@example.com, y@example.com;");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Address, "x@example.com");
    EXPECT_EQ(list[1].Address, "y@example.com");

    ParseAddressList(list, "solo@example.com");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Address, "solo@example.com");
    EXPECT_EQ(list[0].Name, "");
}

TEST(AddressItem, NamesCommentsAndTheAtOutsideTheBrackets) {
    TIdEMailAddressItem item;
    ParseAddressItem(item, "  John Smith <john.smith@example.com> ");
    EXPECT_EQ(item.Name, "John Smith");
    EXPECT_EQ(item.Address, "john.smith@example.com");
    ParseAddressItem(item, "john@example.com (John)");
    EXPECT_EQ(item.Address, "john@example.com");
    EXPECT_THROW(ParseAddressItem(item, "<a@example.com> b@example.com"), EIdException);
    try {
        ParseAddressItem(item, "<a@example.com> b@example.com");
    } catch (const EIdException& error) {
        EXPECT_STREQ(error.what(), "@ Outside address");
    }
}

TEST(AddressItem, RenderingQuotesOrEncodesTheName) {
    EXPECT_EQ(EncodeAddressItem({"a@b.c", "Say \"hi\" \\o/"}, kGb),
              "\"Say \\\"hi\\\" \\\\o/\" <a@b.c>");
    EXPECT_EQ(EncodeAddressItem({"a@b.c", Utf8ToGbk("张三")}, kGb),
              "=?GB2312?B?1cXI/Q==?= <a@b.c>");
    EXPECT_EQ(EncodeAddressItem({"", ""}, kGb), "");
    EXPECT_EQ(EncodeAddressItem({"a@b.c", ""}, kGb), "a@b.c");
}

TEST(FoldHeaderLine, BreaksAfterCommasAndSpacesOnlyWhenNeeded) {
    std::string short77 = "X-Long: " + std::string(69, 'a');
    ASSERT_EQ(short77.size(), 77u);
    EXPECT_EQ(FoldHeaderLine(short77), std::vector<std::string>{short77});
    std::string unbreakable = "X-Long: " + std::string(100, 'a');
    EXPECT_EQ(FoldHeaderLine(unbreakable).size(), 2u);  // only after "X-Long:"

    std::string to = "To: ";
    for (int i = 0; i < 6; ++i)
        to += (i ? ", " : "") + std::string("user") + char('0' + i) + "@example.com";
    std::vector<std::string> lines = FoldHeaderLine(to);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "To: user0@example.com, user1@example.com, user2@example.com,");
    EXPECT_EQ(lines[1], " user3@example.com, user4@example.com, user5@example.com");

    std::string quoted =
        "From: \"" + std::string(40, 'n') + " " + std::string(40, 'm') + "\" <a@b.c>";
    lines = FoldHeaderLine(quoted);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "From:");  // never inside the quotes
    EXPECT_EQ(lines[1], " \"" + std::string(40, 'n') + " " + std::string(40, 'm') + "\"");
    EXPECT_EQ(lines[2], " <a@b.c>");
}

TEST(FoldHeaderLine, DoubleByteCharactersCountTwoColumnsAndStayWhole) {
    std::string gbk;
    for (int i = 0; i < 36; ++i) gbk += "\xC4\xE3";
    std::string line = "X-Name: a " + gbk;  // 82 bytes
    std::vector<std::string> lines = FoldHeaderLine(line);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "X-Name: a");
    EXPECT_EQ(lines[1], " " + gbk);
}

TEST(HeaderList, SetValueReplacesInPlaceAndEmptyRemoves) {
    TIdHeaderList headers;
    headers.SetValue("A", "1");
    headers.SetValue("B", "2");
    headers.SetValue("a", "3");
    EXPECT_EQ(headers.Lines(), (std::vector<std::string>{"a: 3", "B: 2"}));
    headers.SetValue("B", "");
    EXPECT_EQ(headers.Lines(), (std::vector<std::string>{"a: 3"}));
    EXPECT_EQ(headers.Value("A"), "3");
}

TEST(MessageDate, FormatAndOffsets) {
    TIdMessageTime time = FixedTime();
    EXPECT_EQ(FormatMessageDate(time), "Tue, 5 Mar 2024 14:03:09 +0800");
    time.utcOffsetMinutes = -330;
    EXPECT_EQ(FormatMessageDate(time), "Tue, 5 Mar 2024 14:03:09 -0530");
    time.utcOffsetMinutes = 0;
    EXPECT_EQ(FormatMessageDate(time), "Tue, 5 Mar 2024 14:03:09 +0000");

    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "CST-8", 1);
    tzset();
    EXPECT_EQ(SystemMessageTime().utcOffsetMinutes, 480);
    setenv("TZ", "EST5", 1);
    tzset();
    EXPECT_EQ(SystemMessageTime().utcOffsetMinutes, -300);
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

// Repairs: line breaks cannot inject headers, bare CR/LF cannot end the data,
// 8-bit text is declared.
TEST_F(Compose, LineBreaksInHeaderFieldsAreRefusedBeforeAnythingIsWritten) {
    message.Subject = "hi\r\nBcc: victim@example.com";
    CaptureWriter writer;
    EXPECT_THROW(WriteMessage(message, writer), EIdException);
    EXPECT_TRUE(writer.text.empty());
    message.Subject = "ok";
    message.Recipients = {{"a@example.com\r\nRCPT TO:<b@example.com>", ""}};
    EXPECT_THROW(WriteMessage(message, writer), EIdException);
    message.Recipients.clear();
    message.From = {"me@example.com", "Me\nX-Evil: 1"};
    EXPECT_THROW(WriteMessage(message, writer), EIdException);
    EXPECT_TRUE(writer.text.empty());
}

TEST_F(Compose, BareCrAndLfInTheBodyBecomeLineBreaks) {
    message.Body = {"a\n.\rb\r\n.\n"};
    std::string text = Write();
    EXPECT_EQ(text.substr(text.find("\r\n\r\n") + 4), "a\r\n..\r\nb\r\n..\r\n\r\n");
}

TEST_F(Compose, EightBitBodiesDeclareTheirCharset) {
    message.Body = {Utf8ToGbk("你好")};
    std::string text = Write();
    EXPECT_NE(text.find("Content-Type: text/plain; charset=\"GB2312\"\r\nMIME-Version: 1.0\r\n"
                        "Content-Transfer-Encoding: 8bit\r\nDate:"),
              std::string::npos);
    message.Body = {Utf8ToGbk("镕")};  // in GBK, not in GB2312
    EXPECT_NE(Write().find("charset=\"GBK\""), std::string::npos);

    std::string folder = FreshFolder("eightbit");
    WriteFile(folder + "f", "x");
    message.Parts.push_back({folder + "f", "f"});
    text = Write();
    EXPECT_NE(text.find("asdf\r\nContent-Type: text/plain; charset=\"GBK\"\r\n"
                        "Content-Transfer-Encoding: 8bit\r\n"),
              std::string::npos);
    EXPECT_EQ(text.find("MIME-Version: 1.0\r\nContent-Transfer-Encoding"), std::string::npos);
}

TEST_F(Compose, JapaneseLocaleSendsIso2022JpHeadersAndBody) {
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    message.Subject = "\x93\xFA\x96\x7B";  // Shift_JIS "日本"
    message.Body = {"\x93\xFA\x96\x7B\r\n\xB6\xDE"};
    std::string text = Write();
    EXPECT_NE(text.find("Subject: =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=\r\n"), std::string::npos);
    EXPECT_NE(text.find("Content-Type: text/plain; charset=\"ISO-2022-JP\"\r\nMIME-Version: 1.0\r\n"
                        "Content-Transfer-Encoding: 7bit\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\r\n\r\n\x1B$BF|K\\\x1B(B\r\n\x1B$B%,\x1B(B\r\n"), std::string::npos);
}

// A FIFO put where the attachment was (after the sender checked it) must fail
// the message at once, not wait for a writer that never comes.
TEST_F(Compose, AnAttachmentThatIsNoLongerAFileFailsWithoutWaiting) {
    const std::string fifo = test::FreshFolder("fifo attachment") + "voice.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    message.Parts.push_back({fifo, "voice.mp3"});
    CaptureWriter writer;
    const auto start = std::chrono::steady_clock::now();
    try {
        WriteMessage(message, writer);
        ADD_FAILURE() << "a FIFO was sent";
    } catch (const EIdException& error) {
        EXPECT_NE(std::string(error.what()).find("not a regular file"), std::string::npos)
            << error.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(writer.ends, 1);
}

TEST_F(Compose, MissingAttachmentFailsInTheBodyAndEndsTheBodyWork) {
    message.Parts.push_back({"/nonexistent/voice.mp3", "voice.mp3"});
    CaptureWriter writer;
    EXPECT_THROW(WriteMessage(message, writer), EIdException);
    EXPECT_EQ(writer.ends, 1);
    EXPECT_GT(writer.bodyStart, 0u);
}

}  // namespace
}  // namespace murmel

namespace murmel {
namespace {

// Text that is not plain 7-bit ASCII in short lines.
class ComposeBeyondAscii : public Compose {
  protected:
    std::string BodyOf(const std::string& text) { return text.substr(text.find("\r\n\r\n") + 4); }
    std::string Write(bool eightBitAllowed) {
        CaptureWriter writer;
        WriteMessage(message, writer, eightBitAllowed);
        return writer.text;
    }
};

TEST_F(ComposeBeyondAscii, LabelsFollowTheBytesAndUtf8FieldsSayUtf8) {
    message.Subject = Utf8ToGbk("朱镕基");  // 镕 lies beyond GB2312
    message.From = {"me@murmel.example", Utf8ToGbk("张三")};
    message.Body = {"ok"};
    std::string text = Compose::Write();
    EXPECT_NE(text.find("Subject: =?GBK?B?"), std::string::npos);
    EXPECT_NE(text.find("From: =?GB2312?B?1cXI/Q==?= <me@murmel.example>"), std::string::npos);

    message.Subject = "\xF0\x9F\x98\x80 hi";
    message.SubjectUtf8 = true;
    message.Body = {"\xED\x95\x9C"};  // Korean, in no Chinese code page
    message.BodyUtf8 = true;
    text = Compose::Write();
    EXPECT_NE(text.find("Subject: =?UTF-8?B?8J+YgA==?= hi\r\n"), std::string::npos);
    EXPECT_NE(text.find("Content-Type: text/plain; charset=\"UTF-8\"\r\nMIME-Version: 1.0\r\n"
                        "Content-Transfer-Encoding: 8bit\r\n"),
              std::string::npos);
}

TEST_F(ComposeBeyondAscii, EncodedWordsEndBetweenCharacters) {
    std::string emoji;
    for (int i = 0; i < 12; ++i) emoji += "\xF0\x9F\x98\x80";  // 48 bytes
    std::string encoded = EncodeHeaderText(emoji, "", Utf8Charset());
    // 45 bytes fit a word: 11 characters (44 bytes) in the first, 1 in the second.
    EXPECT_EQ(encoded, "=?UTF-8?B?" + EncodeBase64(emoji.substr(0, 44)) + "?=\r\n\t=?UTF-8?B?" +
                           EncodeBase64(emoji.substr(44)) + "?=");
}

TEST_F(ComposeBeyondAscii, AttachmentNamesBeyondAsciiAreEncodedAsciiOnesStay) {
    std::string folder = FreshFolder("names");
    WriteFile(folder + "f", "x");
    message.Parts = {{folder + "f", Utf8ToGbk("语音.mvm")},
                     {folder + "f", "\xF0\x9F\x98\x80.mvm", true},
                     {folder + "f", "plain name.mvm"}};
    std::string text = Compose::Write();
    EXPECT_NE(text.find("Content-Type: application/octet-stream;\r\n"
                        "        name=\"=?GB2312?B?0+/S9C5tdm0=?=\"\r\n"
                        "Content-Transfer-Encoding: base64\r\n"
                        "Content-Disposition: attachment;\r\n"
                        "        filename*=GB2312''%D3%EF%D2%F4.mvm\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("        filename*=UTF-8''%F0%9F%98%80.mvm\r\n"), std::string::npos);
    EXPECT_NE(text.find("        name=\"plain name.mvm\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("        filename=\"plain name.mvm\"\r\n"), std::string::npos);
    for (char c : text.substr(0, text.rfind("--=_NextPart")))
        ASSERT_LT(static_cast<unsigned char>(c), 0x80) << "8-bit byte in a header";
}

TEST_F(ComposeBeyondAscii, LongLinesAndEightBitWithout8BitMimeAreEncoded) {
    std::string longAscii(1500, 'a');
    longAscii[0] = '.';
    longAscii[1000] = '=';
    message.Body = {longAscii};
    std::string body = BodyOf(Compose::Write());
    EXPECT_EQ(body.substr(0, 4), "..aa");  // a soft-broken line that starts with "." is doubled
    std::string decoded;
    for (size_t at = 0; at < body.size();) {
        size_t end = body.find("\r\n", at);
        std::string line = body.substr(at, end - at);
        if (line[0] == '.') line.erase(0, 1);  // the doubled dot goes on the wire only
        EXPECT_LE(line.size(), 76u);
        if (!line.empty() && line.back() == '=')
            line.pop_back();
        else
            line += "\n";
        decoded += line;
        at = end + 2;
    }
    std::string expected = longAscii;
    expected.replace(1000, 1, "=3D");
    EXPECT_EQ(decoded, expected + "\n");
    EXPECT_NE(Compose::Write().find("Content-Transfer-Encoding: quoted-printable\r\n"),
              std::string::npos);

    message.Body = {Utf8ToGbk("你好")};
    std::string text = Write(false);
    EXPECT_NE(text.find("Content-Transfer-Encoding: base64\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(text), EncodeBase64(Utf8ToGbk("你好\r\n")) + "\r\n");
    EXPECT_NE(Write(true).find("Content-Transfer-Encoding: 8bit\r\n"), std::string::npos);
}

TEST_F(ComposeBeyondAscii, TransportSizeIsWhatIsWrittenAndEightBitOnlyWhenSent) {
    std::string folder = FreshFolder("size");
    WriteFile(folder + "a", std::string(100, 'a'));
    WriteFile(folder + "b", std::string(57, 'b'));
    WriteFile(folder + "c", "");
    message.Body = {Utf8ToGbk("你好\r\n.dot")};
    message.Parts = {{folder + "a", "a"}, {folder + "b", Utf8ToGbk("语")}, {folder + "c", "c"}};
    for (bool eightBit : {true, false}) {
        TIdMessageTransport transport = MessageTransport(message, eightBit);
        EXPECT_EQ(transport.size, Write(eightBit).size());
        EXPECT_EQ(transport.bodySize, BodyOf(Write(eightBit)).size());
        EXPECT_EQ(transport.eightBit, eightBit);
    }
    message.Body = {"ascii"};
    EXPECT_FALSE(MessageTransport(message, true).eightBit);
}

TEST_F(ComposeBeyondAscii, MessageIdsAreUniqueAndCarryTheSendersDomain) {
    std::string id = NewMessageId("me@Mail.Example-1.org");
    ASSERT_EQ(id.size(), 1 + 32 + 20u);
    EXPECT_EQ(id.substr(33), "@Mail.Example-1.org>");
    EXPECT_NE(id, NewMessageId("me@Mail.Example-1.org"));
    for (const char* odd : {"", "me", "me@", "me@a b", "me@.x", "me@x>y"})
        EXPECT_NE(NewMessageId(odd).find("@murmel.invalid>"), std::string::npos) << odd;
    message.MsgId = "<id@murmel.example>";
    message.Body = {"b"};
    EXPECT_NE(Compose::Write().find("X-Library: Indy 9.00.10\r\nMessage-ID: <id@murmel.example>\r\n"
                                    "\r\n"),
              std::string::npos);
}

}  // namespace
}  // namespace murmel
