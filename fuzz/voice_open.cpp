// Any bytes as a voice track file: the voice device either refuses it with its
// message or plays it to the end, reading nothing outside the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "RenderOutput.h"
#include "TempNames.h"
#include "VoiceDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = murmel::TempFolder() + "fuzz-voice-" + std::to_string(getpid());
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    murmel::RenderOutput output("/dev/null");
    murmel::VoiceDevice voice(output);
    try {
        voice.Open(path);
        voice.Play();
        const int64_t length = voice.Length();
        // Render a little past the end (the length comes from a scan), at most three seconds.
        const int64_t until = length + 500 < 3000 ? length + 500 : 3000;
        output.OutputClock().WaitUntilMs(until);
        if (until < 3000 && voice.Mode() != murmel::mpStopped) __builtin_trap();
    } catch (const murmel::EMCIDeviceError&) {
    }
    unlink(path.c_str());
    return 0;
}
