#include "CompletionSound.h"


namespace murmel {

bool CompletionSound::Play(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    try {
        device_.Open(path);
        device_.Play();
        return true;
    } catch (const std::exception&) {
        device_.Close();
        return false;
    }
}

bool CompletionSound::Playing() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_.Mode() == mpPlaying;
}

bool PlayCompletionSound(const std::string& path) {
    AudioOutput* output = nullptr;
    try {
        output = &SharedAudioOutput();
    } catch (const std::exception&) {
        return false;
    }
    // Declared after the output exists, so it is destroyed before the output at exit.
    static CompletionSound sound(*output);
    return sound.Play(path);
}

}  // namespace murmel
