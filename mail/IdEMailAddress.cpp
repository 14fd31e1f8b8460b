#include "IdEMailAddress.h"

#include "IdException.h"
#include "IdHeaderCoding.h"

namespace murmel {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string_view TrimLeft(std::string_view text) {
    size_t start = 0;
    while (start < text.size() && IsBlank(text[start])) ++start;
    return text.substr(start);
}

bool HasAnyOf(std::string_view text, std::string_view set) {
    return text.find_first_of(set) != std::string_view::npos;
}

// Adds an item parsed from text; drops it again when it renders as nothing.
void AddItem(TIdEMailAddressList& list, std::string_view text, bool dropEmpty) {
    TIdEMailAddressItem item;
    ParseAddressItem(item, text);
    if (dropEmpty) {
        std::string rendered = EncodeAddressItem(item, SimplifiedChineseCharset());
        if (rendered.empty() || rendered == "<>") return;
    }
    list.push_back(std::move(item));
}

constexpr std::string_view kListStops(":;(\", \t", 7);

std::string_view ListStops(int depth, bool inQuote) {
    if (depth > 0) return "(\\)";
    if (inQuote) return "\"\\";
    return kListStops;
}

struct ItemState {
    bool inQuote = false;
    bool angle = false;  // the address stands in angle brackets
    bool inAddress = false;
    bool afterAt = false;
    int depth = 0;

    std::string_view Stops() const {
        if (depth > 0) return "()\\";
        if (inQuote) return "\"\\";
        if (afterAt) return angle ? ".>(" : ".( ";
        if (inAddress) return "\"(@>";
        return "(\"< @\t";
    }
};

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
    text = TrimLeft(text);
    size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1])) --end;
    return text.substr(0, end);
}

void ParseAddressList(TIdEMailAddressList& list, std::string_view text) {
    list.clear();
    if (TrimBlanks(text).empty()) return;
    if (!HasAnyOf(text, kListStops)) {
        AddItem(list, TrimLeft(text), false);
        return;
    }
    std::string cur;
    bool inQuote = false;
    int depth = 0;
    std::string_view rest = text;
    for (;;) {
        size_t p = rest.find_first_of(ListStops(depth, inQuote));
        if (p == std::string_view::npos) break;
        char c = rest[p];
        std::string_view before = rest.substr(0, p);
        std::string_view after = rest.substr(p + 1);
        switch (c) {
            case ' ':
            case '\t':
                cur.append(rest.substr(0, p + 1));
                break;
            case '"':
                cur.append(rest.substr(0, p + 1));
                inQuote = !inQuote;
                break;
            case '(':
                cur.append(rest.substr(0, p + 1));
                ++depth;
                break;
            case ')':
                cur.append(rest.substr(0, p + 1));
                --depth;
                break;
            case ',':
                cur.append(before);
                AddItem(list, cur, true);
                cur.clear();
                break;
            case ':':
                cur.clear();  // a group name
                break;
            case ';':
                cur.append(before);
                if (!TrimBlanks(cur).empty()) {
                    AddItem(list, TrimLeft(cur), false);
                    cur.clear();
                }
                break;
            case '\\':
                cur.append(rest.substr(0, p + 2));
                after = rest.substr(std::min(rest.size(), p + 2));
                break;
        }
        rest = after;
    }
    if (TrimBlanks(cur).empty() && TrimBlanks(rest).empty()) return;
    cur.append(rest);
    AddItem(list, TrimLeft(cur), true);
}

void ParseAddressItem(TIdEMailAddressItem& item, std::string_view text) {
    item.Name.clear();
    item.Address.clear();
    std::string_view t = TrimBlanks(text);
    if (!HasAnyOf(t, std::string_view("(\"< @\t", 6))) {
        item.Address = t;
        return;
    }
    ItemState s;
    for (;;) {
        size_t p = t.find_first_of(s.Stops());
        if (p == std::string_view::npos) break;
        char c = t[p];
        std::string_view part = t.substr(0, p);
        std::string_view rest = t.substr(p + 1);
        switch (c) {
            case ' ':
            case '\t':
                if (p == 0) break;
                if (s.afterAt) {
                    item.Address.append(TrimBlanks(part));
                } else {
                    item.Name.append(part);
                    item.Name += c;
                }
                break;
            case '(':
                ++s.depth;
                if (p == 0) break;
                if (s.inAddress)
                    item.Address.append(TrimBlanks(part));
                else if (s.depth == 1)
                    item.Name.append(part);
                break;
            case ')':
                --s.depth;
                break;
            case '"':
                if (s.inQuote) {
                    (s.angle ? item.Address : item.Name).append(TrimBlanks(part));
                    s.inQuote = false;
                } else {
                    s.inQuote = true;
                    rest = t.substr(1);
                }
                break;
            case '<':
                item.Name.append(part);
                item.Name = std::string(TrimBlanks(item.Name));
                s.angle = true;
                s.inAddress = true;
                break;
            case '>':
                s.inAddress = false;
                s.afterAt = false;
                item.Address.append(TrimBlanks(part));
                break;
            case '@':
                s.afterAt = true;
                if (!s.inAddress && s.angle) throw EIdException("@ Outside address");
                s.inAddress = true;
                item.Address.append(part);
                item.Address += '@';
                break;
            case '.':
                if (s.angle) {
                    item.Address.append(TrimBlanks(part));
                    item.Address += '.';
                    rest = TrimLeft(rest);
                } else {
                    item.Address.append(part);
                    item.Address += '.';
                }
                break;
            case '\\':
                if (s.inQuote) {
                    std::string& target = s.inAddress ? item.Address : item.Name;
                    target.append(part);
                    if (p + 1 < t.size()) target += t[p + 1];
                }
                rest = t.substr(std::min(t.size(), p + 2));
                break;
        }
        t = rest;
    }
    if (s.inAddress && !s.angle) item.Address.append(TrimBlanks(t));
}

std::string EncodeAddressItem(const TIdEMailAddressItem& item, const THeaderCharset& charset) {
    if (item.Name.empty()) return item.Address;
    bool plain = true;
    for (unsigned char c : item.Name)
        if (c < 0x20 || c > 0x7E) plain = false;
    if (!plain)
        return EncodeHeaderText(item.Name, kRfc822Specials, FieldCharset(item.NameUtf8, charset)) +
               " <" + item.Address + ">";
    std::string quoted = "\"";
    for (char c : item.Name) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\" <" + item.Address + ">";
}

std::string EncodeAddressList(const TIdEMailAddressList& list, const THeaderCharset& charset) {
    std::string rendered;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0) rendered += ", ";
        rendered += EncodeAddressItem(list[i], charset);
    }
    return rendered;
}

}  // namespace murmel
