// The attachment list: items, sizes, save as with the extension rule, delete.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "AttachmentList.h"
#include "PkStreamCol.h"
#include "TestFiles.h"

namespace murmel::test {
namespace {

namespace fs = std::filesystem;

class AttachmentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = FreshFolder("attachments");
        list.OnAdded = [this](size_t i) { added.push_back(i); };
        list.OnRemoved = [this](size_t i) { removed.push_back(i); };
    }
    std::string folder;
    AttachmentList list;
    std::vector<size_t> added, removed;
};

TEST_F(AttachmentTest, ItemsKeepTheirOrderAndMayRepeat) {
    WriteFile(folder + "a.mvm", "x");
    list.AddAttachment(folder + "a.mvm");
    list.AddAttachment(folder + "missing.txt");  // a missing file still gets an item
    list.AddAttachment(folder + "a.mvm");
    EXPECT_EQ(added, (std::vector<size_t>{0, 1, 2}));
    EXPECT_EQ(list.Paths(), (std::vector<std::string>{folder + "a.mvm", folder + "missing.txt",
                                                      folder + "a.mvm"}));
    EXPECT_EQ(list.Items()[1].caption, "missing.txt");
    EXPECT_EQ(AttachmentList::CaptionOf("plain"), "plain");
}

TEST_F(AttachmentTest, FileSizes) {
    WriteFile(folder + "empty", "");
    WriteFile(folder + "five", "12345");
    EXPECT_EQ(AttachmentList::FileSizeOf(folder + "empty"), 0u);
    EXPECT_EQ(AttachmentList::FileSizeOf(folder + "five"), 5u);
    try {
        AttachmentList::FileSizeOf(folder + "gone");
        FAIL();
    } catch (const EFOpenError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Cannot open file \"" + folder + "gone\". ", 0),
                  0u);
    }
}

TEST_F(AttachmentTest, SaveAsAppendsTheItemsExtension) {
    EXPECT_EQ(AttachmentList::SaveAsTarget("/x/copy", "/v/2004_7_5_9_3_7.mvm"), "/x/copy.mvm");
    EXPECT_EQ(AttachmentList::SaveAsTarget("/x/copy.mvm", "/v/2004_7_5_9_3_7.mvm"),
              "/x/copy.mvm.mvm");
    EXPECT_EQ(AttachmentList::SaveAsTarget("/x/copy", "/v/README"), "/x/copy");
    EXPECT_EQ(AttachmentList::SaveAsTarget("/x/copy", "/v.d/README"), "/x/copy")
        << "a dot in a folder name is no extension";
    EXPECT_EQ(AttachmentList::SaveAsTarget("/x/copy", "/v/a.tar.gz"), "/x/copy.gz");
}

TEST_F(AttachmentTest, SaveAsCopiesAndReportsFailure) {
    WriteFile(folder + "song.mp3", "sound");
    list.AddAttachment(folder + "song.mp3");
    EXPECT_TRUE(list.SaveAs(0, folder + "copy"));
    EXPECT_EQ(ReadFile(folder + "copy.mp3"), "sound");
    EXPECT_FALSE(list.SaveAs(0, folder + "no/such/folder/copy"));
    EXPECT_FALSE(list.SaveAs(0, ""));
    EXPECT_EQ(list.Count(), 1u);
}

TEST_F(AttachmentTest, DeleteRemovesFileAndItem) {
    WriteFile(folder + "a.mp3", "x");
    list.AddAttachment(folder + "a.mp3");
    list.AddAttachment(folder + "a.mp3");
    EXPECT_EQ(list.Delete(0), AttachmentList::DeleteResult::Deleted);
    EXPECT_FALSE(fs::exists(folder + "a.mp3"));
    EXPECT_EQ(removed, (std::vector<size_t>{0}));
    // The other item now names a missing file, and goes without a message.
    EXPECT_EQ(list.Delete(0), AttachmentList::DeleteResult::AlreadyGone);
    EXPECT_EQ(list.Count(), 0u);
}

TEST_F(AttachmentTest, AReadOnlyFileIsProtected) {
    WriteFile(folder + "keep.mp3", "x");
    chmod((folder + "keep.mp3").c_str(), 0444);
    list.AddAttachment(folder + "keep.mp3");
    EXPECT_EQ(list.Delete(0), AttachmentList::DeleteResult::InUse);
    EXPECT_TRUE(fs::exists(folder + "keep.mp3"));
    EXPECT_EQ(list.Count(), 1u);
}

TEST_F(AttachmentTest, OnlyRegularFilesAreDeleted) {
    fs::create_directory(folder + "dir");
    list.AddAttachment(folder + "dir");
    EXPECT_EQ(list.Delete(0), AttachmentList::DeleteResult::InUse);
    EXPECT_TRUE(fs::exists(folder + "dir"));
}

TEST_F(AttachmentTest, PopupEnablingFollowsTheSelection) {
    AttachmentList::MenuState none = AttachmentList::PopupState(false);
    EXPECT_FALSE(none.open || none.del || none.saveAs);
    EXPECT_TRUE(none.add);
    AttachmentList::MenuState one = AttachmentList::PopupState(true);
    EXPECT_TRUE(one.open && one.add && one.del && one.saveAs);
}

}  // namespace
}  // namespace murmel::test
