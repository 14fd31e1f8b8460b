#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "HeaderCharset.h"

namespace murmel {

struct TIdEMailAddressItem {
    std::string Address;
    std::string Name;       // display name
    bool NameUtf8 = false;  // the name is UTF-8, not in the locale's code page
};

using TIdEMailAddressList = std::vector<TIdEMailAddressItem>;

// Fills the list from a recipient text: items separated by "," or ";", group
// names dropped, quoted names and comments kept whole. Throws EIdException
// ("@ Outside address") for an "@" after an address in angle brackets.
void ParseAddressList(TIdEMailAddressList& list, std::string_view text);

// Sets Name and Address of one item from an address text.
void ParseAddressItem(TIdEMailAddressItem& item, std::string_view text);

// "address", "\"name\" <address>", or an encoded name before "<address>".
std::string EncodeAddressItem(const TIdEMailAddressItem& item, const THeaderCharset& charset);

// The items rendered and joined by ", ".
std::string EncodeAddressList(const TIdEMailAddressList& list, const THeaderCharset& charset);

// Bytes up to 0x20 removed from both ends, as the address rules trim.
std::string_view TrimBlanks(std::string_view text);

}  // namespace murmel
