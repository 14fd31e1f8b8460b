// The attachment list: items, sizes, save as with the extension rule, delete.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
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

TEST_F(AttachmentTest, SaveAsAppendsTheItemsExtensionOnlyWhenMissing) {
    EXPECT_EQ(AttachmentList::SaveAsTarget("/x/copy", "/v/2004_7_5_9_3_7.mvm"), "/x/copy.mvm");
    EXPECT_EQ(AttachmentList::SaveAsTarget("/x/copy.mvm", "/v/2004_7_5_9_3_7.mvm"), "/x/copy.mvm");
    EXPECT_EQ(AttachmentList::SaveAsTarget("/x/副本.PDF", "/v/合同.pdf"), "/x/副本.PDF");
    EXPECT_EQ(AttachmentList::SaveAsTarget("/x/copy.pdf", "/v/a.mp3"), "/x/copy.pdf.mp3");
    EXPECT_EQ(AttachmentList::SaveAsTarget("/x.mp3/copy", "/v/a.mp3"), "/x.mp3/copy.mp3")
        << "only the file name counts";
    EXPECT_EQ(AttachmentList::SaveAsTarget("/x/copy", "/v/README"), "/x/copy");
    EXPECT_EQ(AttachmentList::SaveAsTarget("/x/copy", "/v.d/README"), "/x/copy")
        << "a dot in a folder name is no extension";
    EXPECT_EQ(AttachmentList::SaveAsTarget("/x/copy", "/v/a.tar.gz"), "/x/copy.gz");
}

TEST_F(AttachmentTest, SaveAsAsksAboutTheFileReallyWritten) {
    WriteFile(folder + "song.mp3", "sound");
    WriteFile(folder + "copy.mp3", "older copy");
    list.AddAttachment(folder + "song.mp3");
    std::vector<std::string> asked;
    bool agree = false;
    auto confirm = [&](const std::string& target) {
        asked.push_back(target);
        return agree;
    };
    EXPECT_EQ(list.SaveAs(0, folder + "copy", confirm), AttachmentList::SaveAsResult::Declined);
    EXPECT_EQ(asked, std::vector<std::string>{folder + "copy.mp3"});
    EXPECT_EQ(ReadFile(folder + "copy.mp3"), "older copy");
    agree = true;
    EXPECT_EQ(list.SaveAs(0, folder + "copy", confirm), AttachmentList::SaveAsResult::Saved);
    EXPECT_EQ(ReadFile(folder + "copy.mp3"), "sound");
    EXPECT_EQ(list.SaveAs(0, folder + "new", nullptr), AttachmentList::SaveAsResult::Saved);
    EXPECT_EQ(ReadFile(folder + "new.mp3"), "sound");
    EXPECT_EQ(list.SaveAs(0, folder + "no/such/folder/copy", confirm),
              AttachmentList::SaveAsResult::Failed);
    EXPECT_EQ(list.SaveAs(0, "", confirm), AttachmentList::SaveAsResult::Failed);
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(list.Count(), 1u);
}

TEST_F(AttachmentTest, DeleteTrashesOurRecordingsAndNeverTouchesOtherFiles) {
    fs::create_directory(folder + "MyVoice");
    list.SetRecordingFolders({folder + "MyVoice/", TempFolder()});
    const std::string ours = folder + "MyVoice/a.mp3", theirs = folder + "contract.pdf";
    WriteFile(ours, "x");
    WriteFile(theirs, "signed");
    list.AddAttachment(ours);
    list.AddAttachment(ours);
    list.AddAttachment(theirs);
    EXPECT_EQ(list.Delete(0), AttachmentList::DeleteResult::Trashed);
    EXPECT_FALSE(fs::exists(ours));
    EXPECT_EQ(ReadFile(std::string(std::getenv("XDG_DATA_HOME")) + "/Trash/files/a.mp3"), "x");
    EXPECT_EQ(removed, (std::vector<size_t>{0}));
    // The other item now names a missing file, and goes without a message.
    EXPECT_EQ(list.Delete(0), AttachmentList::DeleteResult::AlreadyGone);
    EXPECT_EQ(list.Delete(0), AttachmentList::DeleteResult::Removed);
    EXPECT_EQ(ReadFile(theirs), "signed");
    EXPECT_EQ(list.Count(), 0u);
}

TEST_F(AttachmentTest, AReadOnlyOrIrregularRecordingIsKept) {
    list.SetRecordingFolders({folder});
    WriteFile(folder + "keep.mp3", "x");
    chmod((folder + "keep.mp3").c_str(), 0444);
    fs::create_directory(folder + "dir");
    list.AddAttachment(folder + "keep.mp3");
    list.AddAttachment(folder + "dir");
    EXPECT_EQ(list.Delete(0), AttachmentList::DeleteResult::InUse);
    EXPECT_EQ(list.Delete(1), AttachmentList::DeleteResult::InUse);
    EXPECT_TRUE(fs::exists(folder + "keep.mp3"));
    EXPECT_TRUE(fs::exists(folder + "dir"));
    EXPECT_EQ(list.Count(), 2u);
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
