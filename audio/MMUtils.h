#pragma once
#include <cstdint>
#include <string>

namespace murmel {

// Milliseconds as elapsed-time text: "1:05.250", "1:00:00.000", "1:01:01:01.001";
// without milliseconds "1:05" etc. Negative values get a leading "-".
std::string FormatTimeText(int64_t milliseconds, bool withMilliseconds);

}  // namespace murmel
