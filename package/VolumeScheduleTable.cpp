#include "VolumeScheduleTable.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "GbkText.h"
#include "IniFile.h"
#include "SafeFile.h"

namespace murmel {
namespace {

// The profile format's rules, as IniFile reads them line by line.
constexpr uint64_t kMaxFileBytes = 64u << 20;  // what IniFile reads at most

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SectionName(std::string_view line, std::string_view& name) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != '[') return false;
    const size_t close = trimmed.find(']');
    if (close == std::string_view::npos) return false;
    name = Trim(trimmed.substr(1, close - 1));
    return true;
}

// The entry number a section name stands for: the decimal text std::to_string
// gives, which is what the reader asks for.
std::optional<int32_t> EntryNumber(std::string_view name) {
    if (name.empty() || name.size() > 10 || (name.size() > 1 && name[0] == '0')) return {};
    int64_t value = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return {};
        value = value * 10 + (c - '0');
    }
    if (value > INT32_MAX) return {};
    return static_cast<int32_t>(value);
}

// One numbered section being read: the first "Time" and "Volume" lines count.
struct OpenSection {
    int32_t number = -1;
    std::optional<std::string> time, volume;
};

std::optional<std::string> Value(std::string_view text) {
    return std::string(text.substr(0, IniFile::kMaxValueBytes));
}

}  // namespace

VolumeScheduleTable VolumeScheduleTable::Read(const std::string& path) {
    std::vector<uint8_t> bytes;
    try {
        bytes = ReadRegularFile(path, kMaxFileBytes);
    } catch (const EFileError&) {
        return {};
    }
    return Parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

VolumeScheduleTable VolumeScheduleTable::Parse(std::string_view text) {
    std::vector<std::pair<int32_t, ScheduleEntry>> found;  // in file order
    OpenSection open;
    auto close = [&] {
        if (open.number >= 0)
            found.emplace_back(open.number, VolumeSchedule::EntryFromValues(open.time, open.volume));
        open = OpenSection{};
    };
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string_view name;
        if (SectionName(line, name)) {
            close();
            if (const auto number = EntryNumber(name)) open.number = *number;
            continue;
        }
        const size_t equals = line.find('=');
        if (open.number < 0 || equals == std::string_view::npos) continue;
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (!open.time && SameNameNoCase(key, "Time")) open.time = Value(value);
        if (!open.volume && SameNameNoCase(key, "Volume")) open.volume = Value(value);
    }
    close();
    // Of sections with the same number the first counts, as for the reader.
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    VolumeScheduleTable table;
    for (const auto& [number, entry] : found) {
        if (number < static_cast<int32_t>(table.entries_.size())) continue;
        if (number > static_cast<int32_t>(table.entries_.size())) break;  // a gap ends it
        table.entries_.push_back(entry);
        table.latest_.push_back(table.latest_.empty() ? entry.time
                                                      : std::max(table.latest_.back(), entry.time));
    }
    return table;
}

ScheduleEntry VolumeScheduleTable::Entry(int32_t n) const {
    if (n < 0 || static_cast<size_t>(n) >= entries_.size())
        return VolumeSchedule::EntryFromValues(std::nullopt, std::nullopt);
    return entries_[static_cast<size_t>(n)];
}

int32_t VolumeScheduleTable::FirstNotBefore(int64_t ms) const {
    // The first entry not before ms is the first at which the running latest time
    // reaches ms.
    const auto at = std::lower_bound(latest_.begin(), latest_.end(), ms,
                                     [](int32_t time, int64_t key) { return time < key; });
    return static_cast<int32_t>(at - latest_.begin());
}

}  // namespace murmel
