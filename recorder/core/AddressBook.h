#pragma once
// The address book the page "地址薄" shows: its rows in display order, which rows
// are selected, the sort order, and the commands new, edit, delete and write to.
// Every change is saved at once; a failed save keeps the change in the rows.
#include <optional>
#include <string>
#include <vector>

#include "AddressBookFile.h"

namespace murmel {

// What "write to" puts on the new-message page (GBK text).
struct WriteToFields {
    std::string Recipient;     // replaces the recipient field
    std::string GreetingLine;  // appended to the message body
};

// Which popup menu items are enabled.
struct AddressMenuState {
    bool New = true;
    bool Delete = false;
    bool Edit = false;
    bool Send = false;
};

class AddressBook {
  public:
    static constexpr int kFaceCount = 78;
    static constexpr int kDefaultFace = 28;  // preselected in the new-address dialog

    // The book of the recorder in `programFolder` (which ends with "/").
    explicit AddressBook(const std::string& programFolder);

    const std::string& FileName() const { return path_; }
    const std::vector<AddressEntry>& Rows() const { return contents_.Rows; }

    // Reads the file once. Throws as murmel::LoadAddressBook; the rows read before
    // a failure stay. Warnings (rows that could not be added) are kept for
    // TakeWarnings.
    void LoadAddressBook();
    std::vector<std::string> TakeWarnings();
    // Writes every row in display order. Throws EFileError or EAddressBookError.
    // A book that exists but could not be read is never overwritten: every save
    // throws EFileError naming it, until a load succeeds.
    void SaveAddressBook() const;

    // Selection by display index; the selected row is the first selected one.
    void SetSelection(std::vector<size_t> rows);
    const std::vector<size_t>& Selection() const { return selection_; }
    std::optional<size_t> SelectedRow() const;
    AddressMenuState MenuState() const;

    // Appends a row and saves. A refused entry (CheckAddressEntry) changes nothing.
    // Returns the new row's index; when the save throws, the row stays.
    size_t AddAddress(const AddressEntry& entry);
    // Replaces row `row` and saves; same failure rules as AddAddress.
    void ReplaceAddress(size_t row, const AddressEntry& entry);
    // Removes the selected row (only the first when several are) and saves.
    // False when nothing is selected.
    bool DeleteSelectedAddress();
    // The fields "write to" sets, or nothing when no row is selected.
    std::optional<WriteToFields> WriteTo() const;

    // A header click: a new column sorts ascending, the same column again reverses.
    // The selected rows stay selected.
    void SortByColumn(int column);
    int SortColumn() const { return sortColumn_; }  // -1 before the first click
    bool SortAscending() const { return ascending_; }

  private:
    void Sort();

    std::string path_;
    AddressBookContents contents_;
    std::string unreadable_;  // why the existing file could not be read; empty when it was
    std::vector<size_t> selection_;
    int sortColumn_ = -1;
    bool ascending_ = true;
};

// The greeting "write to" appends: the name followed by " , 您好 :" (GBK).
std::string GreetingLine(const std::string& name);

}  // namespace murmel
