#include "Command.h"
#include "RecordingTrim.h"

namespace murmel::cli {

namespace {

int Trim(const Arguments& arguments) {
    const ParsedArguments parsed = ParseArguments(arguments, {"--start", "--end"}, {});
    if (parsed.positional.size() != 2) throw UsageError("expected a recording and an output file");
    if (!parsed.Has("--end")) throw UsageError("--end is required");
    const int64_t startMs = ParseMilliseconds(parsed.Value("--start", "0"), "--start");
    const int64_t endMs = ParseMilliseconds(parsed.Value("--end"), "--end");
    if (endMs <= startMs) throw UsageError("--end must lie after --start");
    if (parsed.positional[0] == parsed.positional[1])
        throw UsageError("OUT must not be the recording itself");
    TrimRecording(parsed.positional[0], parsed.positional[1], startMs, endMs);
    return 0;
}

const RegisterCommand trimCommand({"trim", "IN OUT --start MS --end MS", Trim});

}  // namespace
}  // namespace murmel::cli
