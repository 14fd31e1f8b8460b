#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "AudioOutput.h"

namespace murmel {

// A tune the music device cannot play, with the text the user is shown.
class EWMediaPlayerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The background-music device: a MIDI tune through FluidSynth with a General
// MIDI soundfont. Volume is in hundredths of a decibel, 0 being full volume.
class TWMediaPlayer {
  public:
    static constexpr int32_t kQuietest = -10000;
    static constexpr int kRate = 44100;

    // The output must outlive the device.
    explicit TWMediaPlayer(AudioOutput& output);
    ~TWMediaPlayer();
    TWMediaPlayer(const TWMediaPlayer&) = delete;
    TWMediaPlayer& operator=(const TWMediaPlayer&) = delete;

    // Loads the tune, ready to play from its beginning; the empty name unloads it.
    // Never throws: a tune that cannot be loaded is reported by Play.
    void SetFileName(const std::string& path);
    const std::string& FileName() const { return fileName_; }

    void SetVolume(int32_t hundredthsOfDecibel);  // kept within kQuietest..0
    int32_t Volume() const { return level_->volume; }
    void SetMute(bool mute) { level_->mute = mute; }
    bool Mute() const { return level_->mute; }

    // Plays the loaded tune from where it stopped; nothing when no name is set.
    // Throws EWMediaPlayerError for a tune that cannot be loaded.
    void Play();
    void Stop();
    bool Playing() const { return stream_ != nullptr; }
    // Played to its end while playing: Play would start it again from the beginning.
    bool TuneEnded() const;
    // Why the sound system dropped the tune's stream; empty while it is well.
    std::string Failure() const { return stream_ ? stream_->Failure() : std::string(); }

    // The tune's tempo as a factor of its own (1 as written); kept across tunes.
    void SetTempo(double factor);
    double Tempo() const { return tempo_; }
    // Jumps to `ms` of the tune as written (at tempo 1); past its end the tune is
    // silent. Playing goes on from there. Throws EWMediaPlayerError as Play does.
    void Seek(int64_t ms);

    // The soundfont the device uses, the first readable of MURMEL_SOUNDFONT, Debian's
    // TimGM6mb and the system's default-GM; empty when there is none.
    static std::string SoundFontPath();

    struct Level {
        std::atomic<int32_t> volume{0};
        std::atomic<bool> mute{false};
    };
    class Tune;

  private:
    AudioOutput& output_;
    std::shared_ptr<Level> level_ = std::make_shared<Level>();
    std::string fileName_;
    std::string loadError_;
    double tempo_ = 1.0;
    std::shared_ptr<Tune> tune_;
    std::unique_ptr<AudioStream> stream_;
};

}  // namespace murmel
