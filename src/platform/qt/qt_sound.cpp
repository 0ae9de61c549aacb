#include "platform/qt/qt_sound.h"

#include <QFileInfo>
#include <QUrl>

namespace zephyrim {

QtSoundPlayer::QtSoundPlayer() = default;

QtSoundPlayer::~QtSoundPlayer() {
  if (effect_) effect_->stop();
}

bool QtSoundPlayer::play(const std::string& path) {
  const QFileInfo file(QString::fromStdString(path));
  if (!file.isFile()) return false;
  if (!effect_) effect_ = std::make_unique<QSoundEffect>();
  effect_->stop();
  // The source is set anew even for the same path: the file may have been
  // written again since it last played, and an unchanged source is not read
  // again. Playing starts once the file is loaded.
  effect_->setSource(QUrl());
  effect_->setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
  effect_->play();
  return true;
}

void QtSoundPlayer::stop() {
  if (effect_) effect_->stop();
}

}  // namespace zephyrim
