#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "../TestFiles.h"
#include "AddressBookFile.h"
#include "GbkText.h"
#include "SafeFile.h"

using namespace murmel;
using namespace murmel::test;

namespace {

AddressBookContents Parse(const std::string& text) {
    AddressBookContents contents;
    ParseAddressBook(text, contents);
    return contents;
}

std::string Message(const std::string& text) {
    AddressBookContents contents;
    try {
        ParseAddressBook(text, contents);
    } catch (const EAddressBookError& error) {
        return error.what();
    }
    return "no error";
}

}  // namespace

TEST(AddressBookParse, SplitsFaceNameAndAddressAtTheFirstTwoColons) {
    AddressBookContents book = Parse(
        "28:Zhang:zhang@example.com\r\n"
        "5:" +
        Utf8ToGbk("李四") +
        "\r\n"                                  // one colon after the face: all address
        "7:Wang:mailto:wang@example.com:8\r\n"  // address keeps its own colons
        "0::\r\n"
        "-3:Neg:x");  // last line without a line end
    ASSERT_EQ(book.Rows.size(), 5u);
    EXPECT_EQ(book.Rows[0], (AddressEntry{28, "Zhang", "zhang@example.com"}));
    EXPECT_EQ(book.Rows[1], (AddressEntry{5, "", Utf8ToGbk("李四")}));
    EXPECT_EQ(book.Rows[2], (AddressEntry{7, "Wang", "mailto:wang@example.com:8"}));
    EXPECT_EQ(book.Rows[3], (AddressEntry{0, "", ""}));
    EXPECT_EQ(book.Rows[4], (AddressEntry{-3, "Neg", "x"}));
    EXPECT_TRUE(book.UnreadTail.empty());
}

TEST(AddressBookParse, BlankLinesAreSkippedAndTheEntriesAfterThemLoad) {
    AddressBookContents book = Parse("1:A:a@x\r\n\r\n\n2:B:b@x\r\n\r\n");
    ASSERT_EQ(book.Rows.size(), 2u);
    EXPECT_EQ(book.Rows[1].Name, "B");
    EXPECT_EQ(Parse("").Rows.size(), 0u);
    EXPECT_EQ(Parse("3:C:c\n").Rows.at(0).Address, "c");  // LF-only files from other editors
}

TEST(AddressBookParse, FaceThatIsNotANumberStopsLoadingAndKeepsTheRest) {
    AddressBookContents book;
    std::string tail = "x1:Bad:bad@x\r\n4:D:d@x\r\n";
    try {
        ParseAddressBook("1:A:a@x\r\n" + tail, book);
        FAIL() << "no error";
    } catch (const EAddressBookError& error) {
        EXPECT_STREQ(error.what(), "'x1' is not a valid integer value");
    }
    ASSERT_EQ(book.Rows.size(), 1u);
    EXPECT_EQ(book.UnreadTail, tail);

    EXPECT_EQ(Message("no colon at all\r\n"), "'' is not a valid integer value");
    EXPECT_EQ(Message(":A:a\r\n"), "'' is not a valid integer value");
    EXPECT_EQ(Message(" 1:A:a\r\n"), "' 1' is not a valid integer value");
    EXPECT_EQ(Message("1.5:A:a\r\n"), "'1.5' is not a valid integer value");
    EXPECT_EQ(Message("+-1:A:a\r\n"), "'+-1' is not a valid integer value");
    EXPECT_EQ(Message("99999999999:A:a\r\n"), "'99999999999' is not a valid integer value");
    EXPECT_EQ(Message("+12:A:a\r\n"), "no error");
}

TEST(AddressBookFormat, WritesCrLfLinesAndTheUnreadTail) {
    EXPECT_EQ(FormatAddressBook({{28, "A", "a@x"}, {3, "", "b:c"}}, "bad\r\n"),
              "28:A:a@x\r\n3::b:c\r\nbad\r\n");
    EXPECT_EQ(FormatAddressBook({}, ""), "");
}

TEST(AddressBookFormat, RefusesNamesAndAddressesThatWouldNotSurvive) {
    EXPECT_THROW(CheckAddressEntry({1, "a:b", "x"}), EAddressBookError);
    EXPECT_THROW(CheckAddressEntry({1, "a\nb", "x"}), EAddressBookError);
    EXPECT_THROW(CheckAddressEntry({1, "a\rb", "x"}), EAddressBookError);
    EXPECT_THROW(CheckAddressEntry({1, "a", "x\r\ny"}), EAddressBookError);
    EXPECT_NO_THROW(CheckAddressEntry({1, "", "a:b@c"}));
    // GBK trail bytes never look like ":" or a line break.
    EXPECT_NO_THROW(CheckAddressEntry({1, Utf8ToGbk("张三丰"), "x"}));
}

class AddressBookFileTest : public ::testing::Test {
  protected:
    std::string folder = FreshFolder("address") + "Address/";
    std::string path = folder + "Default.txt";
    void SetUp() override { std::filesystem::create_directories(folder); }
};

TEST_F(AddressBookFileTest, GbkNamesRoundTripByteForByte) {
    std::vector<AddressEntry> rows = {{28, Utf8ToGbk("张三"), "zhang@163.com"},
                                      {77, Utf8ToGbk("欧阳·娜娜"), Utf8ToGbk("娜娜<nana@qq.com>")}};
    SaveAddressBook(path, rows);
    EXPECT_EQ(ReadFile(path), "28:" + Utf8ToGbk("张三") +
                                  ":zhang@163.com\r\n77:" + Utf8ToGbk("欧阳·娜娜") + ":" +
                                  Utf8ToGbk("娜娜<nana@qq.com>") + "\r\n");
    AddressBookContents loaded;
    LoadAddressBook(path, loaded);
    EXPECT_EQ(loaded.Rows, rows);
}

TEST_F(AddressBookFileTest, SaveAfterABadLineKeepsEveryEntryTheFileHeld) {
    WriteFile(path, "1:A:a@x\r\n\r\nzz:B:b@x\r\n2:C:c@x\r\n");
    AddressBookContents book;
    EXPECT_THROW(LoadAddressBook(path, book), EAddressBookError);
    book.Rows.push_back({5, "New", "new@x"});
    SaveAddressBook(path, book.Rows, book.UnreadTail);
    EXPECT_EQ(ReadFile(path), "1:A:a@x\r\n5:New:new@x\r\nzz:B:b@x\r\n2:C:c@x\r\n");
}

TEST_F(AddressBookFileTest, MissingFileSaysFileNotFoundOthersNameThePath) {
    AddressBookContents book;
    try {
        LoadAddressBook(path, book);
        FAIL();
    } catch (const EFileError& error) {
        EXPECT_STREQ(error.what(), "File not found");
    }
    std::filesystem::create_directory(folder + "dir.txt");
    try {
        LoadAddressBook(folder + "dir.txt", book);
        FAIL();
    } catch (const EFileError& error) {
        EXPECT_NE(std::string(error.what()).find(folder + "dir.txt"), std::string::npos);
    }
}

TEST_F(AddressBookFileTest, DeletingTheLastRowLeavesAnEmptyFileWithItsMode) {
    WriteFile(path, "1:A:a\r\n");
    chmod(path.c_str(), 0640);
    SaveAddressBook(path, {});
    EXPECT_EQ(ReadFile(path), "");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(AddressBookFileTest, ALinkTheUserMadeIsWrittenThroughOthersAreNotFollowed) {
    const std::string kept = FreshFolder("synced") + "book.txt";
    WriteFile(kept, "1:A:a\r\n");
    ASSERT_EQ(symlink(kept.c_str(), path.c_str()), 0);
    SaveAddressBook(path, {{2, "B", "b"}});
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(ReadFile(kept), "2:B:b\r\n");
    // A link someone else made is neither followed nor replaced.
    if (lchown(path.c_str(), 65534, 65534) != 0) GTEST_SKIP() << "needs root to act as another user";
    EXPECT_THROW(SaveAddressBook(path, {{3, "C", "c"}}), EFileError);
    EXPECT_EQ(ReadFile(kept), "2:B:b\r\n");
    EXPECT_TRUE(std::filesystem::is_symlink(path));
}

TEST_F(AddressBookFileTest, RefusedRowLeavesTheFileUntouched) {
    WriteFile(path, "1:A:a\r\n");
    EXPECT_THROW(SaveAddressBook(path, {{1, "A", "a"}, {2, "B:C", "b"}}), EAddressBookError);
    EXPECT_EQ(ReadFile(path), "1:A:a\r\n");
}

TEST_F(AddressBookFileTest, MissingAddressFolderIsAFileError) {
    std::filesystem::remove_all(folder);
    EXPECT_THROW(SaveAddressBook(path, {{1, "A", "a"}}), EFileError);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(AddressBookFileTest, ReadOnlyFolderFailsTheSaveAndKeepsTheOldBook) {
    // Permission bits do not stop root, so the save runs in a child as "nobody".
    if (geteuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
    WriteFile(path, "1:Old:old@x\r\n");
    // "nobody" must reach the folder: open up our private test folders on the way.
    std::filesystem::path world = std::filesystem::path(TempFolder()).parent_path().parent_path();
    if (world.filename().string().rfind("murmel-test.", 0) == 0) chmod(world.c_str(), 0755);
    for (std::filesystem::path p = folder; p.string().rfind(TempFolder(), 0) == 0;
         p = p.parent_path())
        chmod(p.c_str(), 0755);
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);  // the file is writable, the folder is not
    chmod(folder.c_str(), 0555);
    pid_t child = fork();
    if (child == 0) {
        int status = 3;
        if (setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 65534) == 0 &&
            setresuid(65534, 65534, 65534) == 0) {
            try {
                SaveAddressBook(path, {{2, "New", "new@x"}});
                status = 0;
            } catch (const EFileError&) {
                status = 1;
            }
        }
        _exit(status);
    }
    int status = 0;
    waitpid(child, &status, 0);
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(ReadFile(path), "1:Old:old@x\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);  // no leftovers
}

TEST(AddressBookSamples, BlankLineSampleLoadsWholeAndBadFaceSampleStopsCleanly) {
    AddressBookContents valid;
    LoadAddressBook(MURMEL_TEST_DATA "/valid/address-book-blank-line.txt", valid);
    ASSERT_EQ(valid.Rows.size(), 2u);
    EXPECT_EQ(valid.Rows[0].Name, Utf8ToGbk("张三"));
    EXPECT_EQ(valid.Rows[1], (AddressEntry{3, "Anna", "anna@web.de"}));

    AddressBookContents invalid;
    EXPECT_THROW(LoadAddressBook(MURMEL_TEST_DATA "/invalid/address-book-bad-face.txt", invalid),
                 EAddressBookError);
    EXPECT_EQ(invalid.Rows.size(), 1u);
    EXPECT_EQ(invalid.UnreadTail, "x1:B:b@x\r\n2:C:c@x\r\n");
}
