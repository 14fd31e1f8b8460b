#include "WMediaPlayer.h"

#include <fluidsynth.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "MidiTempoMap.h"

namespace murmel {
namespace {

// FluidSynth's own default (0.2) leaves a General MIDI tune near -40 dBFS, far under
// a voice; this puts a tune at volume 0 near -18 dBFS RMS, so the schedule's levels
// (hundredths of a decibel below full) mean what the speaker heard.
constexpr double kSynthGain = 2.0;

constexpr size_t kMaxTuneBytes = size_t{16} << 20;  // far beyond any MIDI tune

const char* const kSoundFontCandidates[] = {
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/default-GM.sf2",
};

// The soundfont is parsed once per process by a synthesiser that never plays and
// lives until exit; every tune's own synthesiser borrows it.
class SoundFontLibrary {
  public:
    static SoundFontLibrary& Instance() {
        static SoundFontLibrary library;
        return library;
    }

    ~SoundFontLibrary() {
        if (holder_) delete_fluid_synth(holder_);
        if (settings_) delete_fluid_settings(settings_);
    }

    fluid_settings_t* Settings() { return settings_; }

    // The loaded soundfont, or nullptr with `error` set.
    fluid_sfont_t* Font(std::string& error) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!attempted_) {
            attempted_ = true;
            const std::string path = TWMediaPlayer::SoundFontPath();
            const int id =
                path.empty() ? FLUID_FAILED : fluid_synth_sfload(holder_, path.c_str(), 0);
            if (id != FLUID_FAILED) font_ = fluid_synth_get_sfont_by_id(holder_, id);
            if (!font_)
                error_ = path.empty() ? "No General MIDI soundfont found; set MURMEL_SOUNDFONT"
                                      : "Cannot load the soundfont " + path;
        }
        error = error_;
        return font_;
    }

  private:
    SoundFontLibrary() {
        for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, nullptr, nullptr);
        settings_ = new_fluid_settings();
        fluid_settings_setnum(settings_, "synth.sample-rate", TWMediaPlayer::kRate);
        fluid_settings_setnum(settings_, "synth.gain", kSynthGain);
        holder_ = new_fluid_synth(settings_);
    }

    std::mutex mutex_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* holder_ = nullptr;
    fluid_sfont_t* font_ = nullptr;
    bool attempted_ = false;
    std::string error_;
};

std::vector<char> ReadTune(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes;
    char chunk[4096];
    while (in && bytes.size() <= kMaxTuneBytes) {
        in.read(chunk, sizeof chunk);
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    }
    return bytes;
}

}  // namespace

// One loaded tune: its own synthesiser and sequencer, pulled by the output.
class TWMediaPlayer::Tune : public AudioSource {
  public:
    Tune(fluid_sfont_t* font, const std::vector<char>& midi, std::shared_ptr<Level> level)
        : font_(font),
          level_(std::move(level)),
          midi_(midi),
          tempoMap_(
              MidiTempoMap::Read(reinterpret_cast<const uint8_t*>(midi.data()), midi.size())) {
        synth_ = new_fluid_synth(SoundFontLibrary::Instance().Settings());
        fluid_synth_add_sfont(synth_, font_);
        player_ = NewPlayer();
    }

    ~Tune() override {
        delete_fluid_player(player_);
        fluid_synth_remove_sfont(synth_, font_);  // the library owns it
        delete_fluid_synth(synth_);
    }

    void Start() {
        std::lock_guard<std::mutex> lock(mutex_);
        fluid_player_play(player_);
    }

    void Pause() {
        std::lock_guard<std::mutex> lock(mutex_);
        fluid_player_stop(player_);
        fluid_synth_all_sounds_off(synth_, -1);
    }

    bool Ended() {
        std::lock_guard<std::mutex> lock(mutex_);
        return fluid_player_get_status(player_) == FLUID_PLAYER_DONE;
    }

    void SetTempo(double factor) {
        std::lock_guard<std::mutex> lock(mutex_);
        tempo_ = factor;
        fluid_player_set_tempo(player_, FLUID_PLAYER_TEMPO_INTERNAL, factor);
    }

    // A fresh sequencer, paused at `ms`: FluidSynth takes a jump reliably only
    // before its player first plays. Sounding notes are cut, and notes begun before
    // `ms` are not heard again; past the tune's end it stays silent.
    void Seek(int64_t ms) {
        std::lock_guard<std::mutex> lock(mutex_);
        fluid_synth_all_sounds_off(synth_, -1);
        delete_fluid_player(player_);
        player_ = NewPlayer();
        fluid_player_seek(player_,
                          static_cast<int>(std::min<int64_t>(tempoMap_.TickAt(ms), INT32_MAX)));
    }

    size_t Pull(float* out, size_t frames) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            fluid_synth_write_float(synth_, static_cast<int>(frames), out, 0, 2, out, 1, 2);
        }
        const float gain =
            level_->mute ? 0.0f : static_cast<float>(std::pow(10.0, level_->volume / 2000.0));
        for (size_t i = 0; i < frames * 2; ++i) out[i] *= gain;
        return frames;  // a tune's stream never ends by itself: silence follows the tune
    }

  private:
    fluid_player_t* NewPlayer() {
        fluid_player_t* player = new_fluid_player(synth_);
        fluid_player_add_mem(player, midi_.data(), midi_.size());
        if (tempo_ != 1.0) fluid_player_set_tempo(player, FLUID_PLAYER_TEMPO_INTERNAL, tempo_);
        return player;
    }

    fluid_sfont_t* font_;
    std::shared_ptr<Level> level_;
    std::vector<char> midi_;
    MidiTempoMap tempoMap_;
    double tempo_ = 1.0;
    std::mutex mutex_;
    fluid_synth_t* synth_ = nullptr;
    fluid_player_t* player_ = nullptr;
};

TWMediaPlayer::TWMediaPlayer(AudioOutput& output) : output_(output) {}

TWMediaPlayer::~TWMediaPlayer() { Stop(); }

std::string TWMediaPlayer::SoundFontPath() {
    const char* chosen = std::getenv("MURMEL_SOUNDFONT");
    if (chosen && *chosen && access(chosen, R_OK) == 0) return chosen;
    for (const char* candidate : kSoundFontCandidates)
        if (access(candidate, R_OK) == 0) return candidate;
    return "";
}

void TWMediaPlayer::SetFileName(const std::string& path) {
    Stop();
    tune_.reset();
    loadError_.clear();
    fileName_ = path;
    if (path.empty()) return;
    if (access(path.c_str(), R_OK) != 0) {
        loadError_ = "Cannot open the tune \"" + path + "\".";
        return;
    }
    if (!fluid_is_midifile(path.c_str())) {
        loadError_ = "The tune \"" + path + "\" is not a MIDI file.";
        return;
    }
    const std::vector<char> midi = ReadTune(path);
    if (midi.size() > kMaxTuneBytes) {
        loadError_ = "The tune \"" + path + "\" is too large.";
        return;
    }
    if (fluid_sfont_t* font = SoundFontLibrary::Instance().Font(loadError_)) {
        tune_ = std::make_shared<Tune>(font, midi, level_);
        if (tempo_ != 1.0) tune_->SetTempo(tempo_);
    }
}

void TWMediaPlayer::SetTempo(double factor) {
    tempo_ = factor;
    if (tune_) tune_->SetTempo(factor);
}

// The stream restarts so that the sound already buffered from before the jump is dropped.
void TWMediaPlayer::Seek(int64_t ms) {
    if (!tune_) return;
    const bool playing = stream_ != nullptr;
    stream_.reset();
    tune_->Seek(ms);
    if (!playing) return;
    tune_->Start();
    try {
        stream_ = output_.Play({kRate, 2}, tune_);
    } catch (const EAudioOutputError& error) {
        tune_->Pause();
        throw EWMediaPlayerError(error.what());
    }
}

void TWMediaPlayer::SetVolume(int32_t hundredthsOfDecibel) {
    level_->volume = std::clamp(hundredthsOfDecibel, kQuietest, 0);
}

void TWMediaPlayer::Play() {
    if (fileName_.empty() || stream_) return;
    if (!tune_) throw EWMediaPlayerError(loadError_);
    tune_->Start();
    try {
        stream_ = output_.Play({kRate, 2}, tune_);
    } catch (const EAudioOutputError& error) {
        tune_->Pause();
        throw EWMediaPlayerError(error.what());
    }
}

// Only while it plays: a tune stopped by Stop reads as done too.
bool TWMediaPlayer::TuneEnded() const { return stream_ && tune_ && tune_->Ended(); }

void TWMediaPlayer::Stop() {
    stream_.reset();
    if (tune_) tune_->Pause();
}

}  // namespace murmel
