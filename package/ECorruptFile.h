#pragma once
#include <stdexcept>

namespace murmel {

// A voice mail (or its compressed stream) that cannot be read back:
// "File is corrupt." from the container, "Compressed file is corrupt" from the codec.
class ECorruptFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace murmel
