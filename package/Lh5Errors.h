#pragma once

namespace murmel {

// Throws ECorruptFile("Compressed file is corrupt"), the codec's one error.
[[noreturn]] void ThrowCompressedFileCorrupt();

}  // namespace murmel
