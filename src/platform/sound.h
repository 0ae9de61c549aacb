#pragma once
// Sound playback, the seam to the desktop's audio output. The viewer plays WAV
// files through it; the desktop side plays them for real, headless runs and
// tests take the null player, which plays nothing.
#include <string>

namespace zephyrim {

class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  // Starts playing the file and returns at once; a sound still playing is
  // stopped first. False when playback could not even be started.
  virtual bool play(const std::string& path) = 0;
  // Stops the sound playing, if any.
  virtual void stop() = 0;
};

// Plays nothing, but remembers what it was asked to play.
class NullSoundPlayer : public SoundPlayer {
 public:
  bool play(const std::string& path) override;
  void stop() override;
  // The file of the last play since the last stop; empty when stopped.
  const std::string& playing() const { return playing_; }

 private:
  std::string playing_;
};

}  // namespace zephyrim
