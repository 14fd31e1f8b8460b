#include "Command.h"
#include "VoiceMailExport.h"

namespace murmel::cli {

namespace {

int Export(const Arguments& arguments) {
    const ParsedArguments parsed = ParseArguments(arguments, {"--preset", "--speed"}, {});
    if (parsed.positional.size() != 2)
        throw UsageError("expected a voice mail or recording and an MP3 file");
    ExportOptions options;
    options.preset = parsed.Value("--preset");
    if (parsed.Has("--preset") && options.preset != "1K" && options.preset != "2K" &&
        options.preset != "4K" && options.preset != "8K")
        throw UsageError("--preset takes 1K, 2K, 4K or 8K");
    options.speed = ParseSpeed(parsed.Value("--speed", "1"));
    CatchInterrupt();
    ExportVoiceMail(parsed.positional[0], parsed.positional[1], options,
                    [](int64_t, int64_t) { return !Interrupted(); });
    return 0;
}

const RegisterCommand exportCommand(
    {"export", "IN.mvm|IN.mp3|IN.wav OUT.mp3 [--preset 1K|2K|4K|8K] [--speed X]", Export});

}  // namespace
}  // namespace murmel::cli
