#include "AudioOutput.h"

#include <cstdlib>
#include <mutex>

#include "NullOutput.h"
#include "PulseOutput.h"
#include "RenderOutput.h"

namespace murmel {

std::unique_ptr<AudioOutput> OpenAudioOutput(const std::string& choice) {
    if (choice.empty() || choice == "pulse") return std::make_unique<PulseOutput>();
    if (choice == "null") return std::make_unique<NullOutput>();
    const std::string renderPrefix = "render:";
    if (choice.compare(0, renderPrefix.size(), renderPrefix) == 0 &&
        choice.size() > renderPrefix.size())
        return std::make_unique<RenderOutput>(choice.substr(renderPrefix.size()));
    throw EAudioOutputError("MURMEL_AUDIO: unknown output \"" + choice +
                            "\" (expected pulse, null or render:PATH)");
}

std::unique_ptr<AudioOutput> OpenAudioOutput() {
    const char* choice = std::getenv("MURMEL_AUDIO");
    return OpenAudioOutput(choice ? choice : "");
}

AudioOutput& SharedAudioOutput() {
    static std::mutex guard;
    static std::unique_ptr<AudioOutput> output;
    std::lock_guard<std::mutex> lock(guard);
    if (!output) output = OpenAudioOutput();
    return *output;
}

}  // namespace murmel
