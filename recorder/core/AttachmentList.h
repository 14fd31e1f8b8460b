#pragma once
// The attachment list of the message being written: the files the next message
// carries, in the order they were added (the same file may be listed twice). The
// window mirrors it as large icons; the send paths read Paths().
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace murmel {

struct Attachment {
    std::string caption;  // the path's last part
    std::string path;     // what every user of the list reads
};

class AttachmentList {
  public:
    static constexpr const char* kSaveAsFailed = "请确定保存文件名合法";
    static constexpr const char* kDeleteFailed = "文件可能正在使用中，请稍后再试";

    // Adds one item, also for a missing file. Returns its index.
    size_t AddAttachment(const std::string& path);
    void Remove(size_t index);
    const std::vector<Attachment>& Items() const { return items_; }
    size_t Count() const { return items_.size(); }
    // Every item's path, first to last.
    std::vector<std::string> Paths() const;

    // Told after an item was added or removed (the window updates its icons).
    std::function<void(size_t index)> OnAdded, OnRemoved;

    // Size in bytes; throws "Cannot open file "PATH". REASON" for a file that
    // cannot be opened.
    static uint64_t FileSizeOf(const std::string& path);
    // The file-name part of a path.
    static std::string CaptionOf(const std::string& path);

    // Save as: CHOSEN followed by the extension of ITEM_PATH (from its last dot in
    // the file name on; nothing when it has none), unless CHOSEN ends in it already
    // (in any letter case): the name the user typed is the name written.
    static std::string SaveAsTarget(const std::string& chosen, const std::string& itemPath);
    enum class SaveAsResult { Saved, Declined, Failed };
    // Copies the item's file to SaveAsTarget, replacing a file of that name only
    // when `confirmReplace(target)` agrees (Declined otherwise). Failed when the
    // copy failed (the window then says kSaveAsFailed).
    SaveAsResult SaveAs(size_t index, const std::string& chosen,
                        const std::function<bool(const std::string&)>& confirmReplace) const;

    // The folders whose files are recordings of ours ("MyVoice", the temporary
    // folder). Only a file directly in one of them goes to the trash with its item.
    void SetRecordingFolders(std::vector<std::string> folders) { ownFolders_ = std::move(folders); }
    bool IsOwnRecording(const std::string& path) const;

    enum class DeleteResult { Trashed, Removed, AlreadyGone, InUse };
    // Removes the item. A recording of ours is moved to the desktop's trash
    // (Trashed), so a slip can be undone; any other file is never touched
    // (Removed). InUse (the window says kDeleteFailed) keeps the item and the
    // recording when it is read-only or not a regular file. A trash that refuses
    // throws EFileError and keeps both.
    DeleteResult Delete(size_t index);

    // pmFileIconPopup: which items of the menu are enabled.
    struct MenuState {
        bool open, add, del, saveAs;
    };
    static MenuState PopupState(bool itemSelected) {
        return {itemSelected, true, itemSelected, itemSelected};
    }

  private:
    std::vector<Attachment> items_;
    std::vector<std::string> ownFolders_;
};

}  // namespace murmel
