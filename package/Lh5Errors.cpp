#include "Lh5Errors.h"

#include "ECorruptFile.h"

namespace murmel {

void ThrowCompressedFileCorrupt() { throw ECorruptFile("Compressed file is corrupt"); }

}  // namespace murmel
