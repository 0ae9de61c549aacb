#include "viewer/app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenuBar>
#include <QStatusBar>

#include "platform/broadcast.h"
#include "platform/qt/broadcast_notifier.h"

namespace zephyrim {

ViewerMainWindow::ViewerMainWindow(QWidget* parent) : QMainWindow(parent), notify_(kTraceryTitle, this) {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  QAction* exit = file->addAction(tr("E&xit"));
  connect(exit, &QAction::triggered, this, &QWidget::close);
  statusBar()->showMessage(" Ready");
  resize(1000, 700);
  setWindowTitle(QString::fromLatin1(kTraceryTitle));
  auto* messages = new BroadcastNotifier("trc32", this);
  connect(messages, &BroadcastNotifier::received, this, [this](const QString& name, long first, long) {
    if (name == QLatin1String(kZsmSimulation) && first == 1 && close_on_new_simulation) close();
  });
}

void ViewerMainWindow::closeEvent(QCloseEvent* e) {
  // Gives the focus back to an editor that started the viewer.
  broadcast_post({kZsTaskDoneNotify, kTaskDoneViewerEnds, 0});
  e->accept();
}

}  // namespace zephyrim
