// murmel-cli devices: the sound server's sources that record and --device takes,
// one a line: NAME, a tab, the description, and a tab and "monitor" for the
// monitor of an output.
#include <cstdio>

#include "CaptureDevice.h"
#include "Command.h"

namespace murmel::cli {
namespace {

int Devices(const Arguments& arguments) {
    if (!arguments.empty()) throw UsageError("expected no arguments");
    for (const CaptureSource& source : ListCaptureSources())
        std::printf("%s\t%s%s\n", source.name.c_str(), source.description.c_str(),
                    source.monitor ? "\tmonitor" : "");
    return 0;
}

const RegisterCommand devices({"devices", "", Devices});

}  // namespace
}  // namespace murmel::cli
