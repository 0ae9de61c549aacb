#include "editor/main_window.h"

#include <QAction>
#include <QMenuBar>
#include <QStatusBar>

namespace zephyrim {

EditorMainWindow::EditorMainWindow(QWidget* parent)
    : QMainWindow(parent), notify_(kSchematicTitle, this), schematic_(schematic_new()) {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  QAction* exit = file->addAction(tr("E&xit"));
  connect(exit, &QAction::triggered, this, &QWidget::close);
  statusBar()->showMessage(" Ready");
  resize(1000, 700);
  update_caption();
}

EditorMainWindow::~EditorMainWindow() = default;

void EditorMainWindow::update_caption() {
  const QString title = QString::fromLatin1(kSchematicTitle);
  if (!named_)
    setWindowTitle(title + " - (new)");
  else
    setWindowTitle(title + " - " + QString::fromStdString(schematic_->path));
}

}  // namespace zephyrim
