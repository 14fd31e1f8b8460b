// Any recipient text: parsing either succeeds or fails with the parser's own
// error, and every item renders.
#include <cstdint>
#include <string>

#include "IdEMailAddress.h"
#include "IdException.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    murmel::TIdEMailAddressList list;
    try {
        murmel::ParseAddressList(list, text);
    } catch (const murmel::EIdException&) {
        return 0;
    }
    static const murmel::THeaderCharset charset = murmel::SimplifiedChineseCharset();
    std::string rendered = murmel::EncodeAddressList(list, charset);
    for (const murmel::TIdEMailAddressItem& item : list) {
        // Every byte of an item comes from the text.
        if (item.Address.size() > size || item.Name.size() > size) __builtin_trap();
    }
    (void)rendered;
    return 0;
}
