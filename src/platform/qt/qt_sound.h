#pragma once
// Sound playback on the desktop through Qt Multimedia. WAV files play through a
// sound effect, which decodes the file itself and needs only an audio output:
// a media player needs the platform's whole decoding framework, and its
// GStreamer side crashes on construction where that framework's base plugins
// are missing.
#include <QSoundEffect>
#include <memory>

#include "platform/sound.h"

namespace zephyrim {

class QtSoundPlayer : public SoundPlayer {
 public:
  QtSoundPlayer();
  ~QtSoundPlayer() override;
  QtSoundPlayer(const QtSoundPlayer&) = delete;
  QtSoundPlayer& operator=(const QtSoundPlayer&) = delete;

  bool play(const std::string& path) override;
  void stop() override;

 private:
  // Made at the first play: opening the audio output costs time, and most
  // sessions never play anything.
  std::unique_ptr<QSoundEffect> effect_;
};

}  // namespace zephyrim
