#include "viewer/app/main_window.h"

#include <QAction>
#include <QMenuBar>
#include <QStatusBar>

namespace zephyrim {

ViewerMainWindow::ViewerMainWindow(QWidget* parent) : QMainWindow(parent), notify_(kTraceryTitle, this) {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  QAction* exit = file->addAction(tr("E&xit"));
  connect(exit, &QAction::triggered, this, &QWidget::close);
  statusBar()->showMessage(" Ready");
  resize(1000, 700);
  setWindowTitle(QString::fromLatin1(kTraceryTitle));
}

}  // namespace zephyrim
