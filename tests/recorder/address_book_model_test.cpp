#include <gtest/gtest.h>

#include <filesystem>

#include "../TestFiles.h"
#include "AddressBook.h"
#include "GbkText.h"
#include "SafeFile.h"

using namespace murmel;
using namespace murmel::test;

class AddressBookModelTest : public ::testing::Test {
  protected:
    std::string folder = FreshFolder("book");
    std::string file = folder + "Address/Default.txt";
    AddressBook book{folder};

    void SetUp() override { std::filesystem::create_directories(folder + "Address"); }
    void Load(const std::string& text) {
        WriteFile(file, text);
        book.LoadAddressBook();
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const AddressEntry& row : book.Rows()) names.push_back(row.Name);
        return names;
    }
};

TEST_F(AddressBookModelTest, CommandsActOnTheFirstSelectedRowAndSaveAtOnce) {
    Load("1:A:a@x\r\n2:B:b@x\r\n3:C:c@x\r\n");
    EXPECT_FALSE(book.MenuState().Delete);
    EXPECT_FALSE(book.WriteTo());
    EXPECT_FALSE(book.DeleteSelectedAddress());

    book.SetSelection({2, 1});
    AddressMenuState menu = book.MenuState();
    EXPECT_TRUE(menu.New && menu.Delete && menu.Edit && menu.Send);
    EXPECT_EQ(book.SelectedRow(), 1u);
    EXPECT_EQ(book.WriteTo()->Recipient, "b@x");
    EXPECT_EQ(book.WriteTo()->GreetingLine, "B" + Utf8ToGbk(" , 您好 :"));

    book.ReplaceAddress(*book.SelectedRow(), {9, "Bee", "bee@x"});
    EXPECT_EQ(ReadFile(file), "1:A:a@x\r\n9:Bee:bee@x\r\n3:C:c@x\r\n");
    EXPECT_TRUE(book.DeleteSelectedAddress());  // only the first of the two goes
    EXPECT_EQ(ReadFile(file), "1:A:a@x\r\n3:C:c@x\r\n");
    EXPECT_FALSE(book.SelectedRow());

    EXPECT_EQ(book.AddAddress({28, "", ""}), 2u);  // nothing validated beyond the file's needs
    EXPECT_EQ(ReadFile(file), "1:A:a@x\r\n3:C:c@x\r\n28::\r\n");
}

TEST_F(AddressBookModelTest, RefusedNameChangesNothing) {
    Load("1:A:a@x\r\n");
    EXPECT_THROW(book.AddAddress({1, "B:C", "b@x"}), EAddressBookError);
    EXPECT_THROW(book.ReplaceAddress(0, {1, "B\nC", "b@x"}), EAddressBookError);
    EXPECT_EQ(Names(), std::vector<std::string>{"A"});
    EXPECT_EQ(ReadFile(file), "1:A:a@x\r\n");
}

TEST_F(AddressBookModelTest, FailedSaveKeepsTheChangeInTheList) {
    Load("1:A:a@x\r\n");
    std::filesystem::remove_all(folder + "Address");
    EXPECT_THROW(book.AddAddress({2, "B", "b@x"}), EFileError);
    EXPECT_EQ(Names(), (std::vector<std::string>{"A", "B"}));
    std::filesystem::create_directories(folder + "Address");
    book.SaveAddressBook();
    EXPECT_EQ(ReadFile(file), "1:A:a@x\r\n2:B:b@x\r\n");
}

TEST_F(AddressBookModelTest, SortingTogglesKeepsSelectionAndTheNextSaveWritesTheOrder) {
    Load("1:" + Utf8ToGbk("张三") + ":z@x\r\n2:bob:c@x\r\n3:Alice:b@x\r\n4:" + Utf8ToGbk("李四") +
         ":a@x\r\n");
    book.SetSelection({1});  // bob
    book.SortByColumn(0);
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"Alice", "bob", Utf8ToGbk("李四"), Utf8ToGbk("张三")}));
    EXPECT_TRUE(book.SortAscending());
    EXPECT_EQ(book.Rows()[*book.SelectedRow()].Name, "bob");
    book.SortByColumn(0);
    EXPECT_FALSE(book.SortAscending());
    EXPECT_EQ(Names().front(), Utf8ToGbk("张三"));
    EXPECT_EQ(book.Rows()[*book.SelectedRow()].Name, "bob");

    book.SortByColumn(1);  // another column starts ascending
    EXPECT_EQ(book.SortColumn(), 1);
    EXPECT_TRUE(book.SortAscending());
    EXPECT_EQ(book.Rows().front().Address, "a@x");
    // Sorting alone writes nothing; the next change saves the order shown.
    EXPECT_EQ(ReadFile(file).substr(0, 2), "1:");
    book.DeleteSelectedAddress();
    EXPECT_EQ(ReadFile(file), "4:" + Utf8ToGbk("李四") +
                                  ":a@x\r\n3:Alice:b@x\r\n1:" + Utf8ToGbk("张三") + ":z@x\r\n");
}

TEST_F(AddressBookModelTest, LoadFailureKeepsEarlierRowsAndTheRestOfTheFile) {
    EXPECT_THROW(book.LoadAddressBook(), EFileError);  // no file yet
    EXPECT_TRUE(book.Rows().empty());
    book.AddAddress({1, "A", "a@x"});  // the first save creates the file
    EXPECT_EQ(ReadFile(file), "1:A:a@x\r\n");

    WriteFile(file, "1:A:a@x\r\nbad\r\n2:B:b@x\r\n");
    EXPECT_THROW(book.LoadAddressBook(), EAddressBookError);
    EXPECT_EQ(Names(), std::vector<std::string>{"A"});
    book.AddAddress({3, "C", "c@x"});
    EXPECT_EQ(ReadFile(file), "1:A:a@x\r\n3:C:c@x\r\nbad\r\n2:B:b@x\r\n");

    // A book too large to read whole is never overwritten by the next save.
    const uintmax_t huge = (uintmax_t{1} << 30) + 1;
    std::filesystem::resize_file(file, huge);  // sparse: no disk space used
    EXPECT_THROW(book.LoadAddressBook(), EFileError);
    try {
        book.AddAddress({4, "D", "d@x"});
        FAIL() << "saved over a book it could not read";
    } catch (const EFileError& error) {
        EXPECT_EQ(error.Path(), file);
    }
    EXPECT_EQ(std::filesystem::file_size(file), huge);
}
