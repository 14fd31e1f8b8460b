// Writes one key to the INI file named on the command line: exit 0 on success,
// 1 when the write is refused. Run under another user by the settings tests.
#include <cstdio>

#include "IniFile.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    try {
        murmel::IniFile(argv[1]).WriteText("A", "b", "c");
        return 0;
    } catch (const murmel::EIniFileError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
