#include "platform/sound.h"

namespace zephyrim {

bool NullSoundPlayer::play(const std::string& path) {
  playing_ = path;
  return true;
}

void NullSoundPlayer::stop() {
  playing_.clear();
}

}  // namespace zephyrim
