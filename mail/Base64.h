#pragma once
#include <string>
#include <string_view>

namespace murmel {

// Standard alphabet, padded with "=", no line breaks.
std::string EncodeBase64(std::string_view bytes);
void AppendBase64(std::string& out, const unsigned char* bytes, size_t size);

}  // namespace murmel
