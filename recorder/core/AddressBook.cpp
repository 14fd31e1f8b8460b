#include "AddressBook.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "GbkText.h"
#include "SafeFile.h"

namespace murmel {

AddressBook::AddressBook(const std::string& programFolder)
    : path_(programFolder + kAddressBookFile) {}

void AddressBook::LoadAddressBook() {
    contents_ = {};
    selection_.clear();
    unreadable_.clear();
    try {
        murmel::LoadAddressBook(path_, contents_);
    } catch (const EFileError& error) {
        // "File not found" names no path: a missing book is made by the first save.
        if (!error.Path().empty()) unreadable_ = error.Reason();
        throw;
    }
}

std::vector<std::string> AddressBook::TakeWarnings() {
    return std::exchange(contents_.Warnings, {});
}

void AddressBook::SaveAddressBook() const {
    if (!unreadable_.empty())
        throw EFileError(path_, "it could not be read (" + unreadable_ + "), left as it is");
    murmel::SaveAddressBook(path_, contents_.Rows, contents_.UnreadTail);
}

void AddressBook::SetSelection(std::vector<size_t> rows) {
    std::erase_if(rows, [&](size_t row) { return row >= contents_.Rows.size(); });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    selection_ = std::move(rows);
}

std::optional<size_t> AddressBook::SelectedRow() const {
    if (selection_.empty()) return std::nullopt;
    return selection_.front();
}

AddressMenuState AddressBook::MenuState() const {
    bool selected = SelectedRow().has_value();
    return {true, selected, selected, selected};
}

size_t AddressBook::AddAddress(const AddressEntry& entry) {
    CheckAddressEntry(entry);
    contents_.Rows.push_back(entry);
    SaveAddressBook();
    return contents_.Rows.size() - 1;
}

void AddressBook::ReplaceAddress(size_t row, const AddressEntry& entry) {
    CheckAddressEntry(entry);
    contents_.Rows.at(row) = entry;
    SaveAddressBook();
}

bool AddressBook::DeleteSelectedAddress() {
    std::optional<size_t> row = SelectedRow();
    if (!row) return false;
    contents_.Rows.erase(contents_.Rows.begin() + static_cast<std::ptrdiff_t>(*row));
    selection_.clear();
    SaveAddressBook();
    return true;
}

std::optional<WriteToFields> AddressBook::WriteTo() const {
    std::optional<size_t> row = SelectedRow();
    if (!row) return std::nullopt;
    const AddressEntry& entry = contents_.Rows[*row];
    return WriteToFields{entry.Address, GreetingLine(entry.Name)};
}

void AddressBook::SortByColumn(int column) {
    if (column != 0 && column != 1) return;
    ascending_ = column == sortColumn_ ? !ascending_ : true;
    sortColumn_ = column;
    Sort();
}

void AddressBook::Sort() {
    std::vector<AddressEntry>& rows = contents_.Rows;
    std::vector<size_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    auto text = [&](size_t i) -> const std::string& {
        return sortColumn_ == 0 ? rows[i].Name : rows[i].Address;
    };
    // GBK orders the common Chinese characters by their reading, so comparing the
    // bytes (ASCII letters without case) gives the order a Chinese user expects.
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        int compared = CompareNamesNoCase(text(a), text(b));
        return ascending_ ? compared < 0 : compared > 0;
    });
    std::vector<AddressEntry> sorted;
    std::vector<size_t> newIndex(rows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(std::move(rows[order[i]]));
        newIndex[order[i]] = i;
    }
    rows = std::move(sorted);
    for (size_t& row : selection_) row = newIndex[row];
    std::sort(selection_.begin(), selection_.end());
}

std::string GreetingLine(const std::string& name) { return name + Utf8ToGbk(" , 您好 :"); }

}  // namespace murmel
