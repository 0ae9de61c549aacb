#include "platform/qt/help_pages.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#ifndef ZEPHYRIM_HELP_SOURCE_DIR
#define ZEPHYRIM_HELP_SOURCE_DIR "docs/help"
#endif

namespace zephyrim {

QString help_page_path(const QString& file) {
  const QString dir = QCoreApplication::applicationDirPath();
  // Installed beside the program or in the share folder beside bin; in a build
  // tree, the sources' own pages.
  for (const QString& candidate : {dir + "/help/" + file, dir + "/../share/zephyrim/help/" + file,
                                   QStringLiteral(ZEPHYRIM_HELP_SOURCE_DIR "/") + file})
    if (QFileInfo::exists(candidate)) return QFileInfo(candidate).canonicalFilePath();
  return {};
}

bool open_help_page(const QString& file, const QString& fragment) {
  const QString path = help_page_path(file);
  if (path.isEmpty()) return false;
  QUrl url = QUrl::fromLocalFile(path);
  if (!fragment.isEmpty()) url.setFragment(fragment);
  return QDesktopServices::openUrl(url);
}

}  // namespace zephyrim
