#pragma once
// What the editor's GUI tests share: a shown editor window on a copy of the
// default library, with the page at 100 % and scrolled home, so that page
// coordinates are widget coordinates.
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>
#include <memory>
#include <string>

#include "editor/main_window.h"
#include "editor/sheet_view.h"

namespace zephyrim::test {

// The page at 100 %, scrolled to its top left corner.
inline void home_view(EditorMainWindow& w) {
  w.sheet()->set_zoom(kZoom100);
  w.sheet()->horizontalScrollBar()->setValue(0);
  w.sheet()->verticalScrollBar()->setValue(0);
}

// The window, shown; the part chooser answers with the front of `symbols`
// (nothing when it is empty or absent). Null when the library could not be copied.
inline std::unique_ptr<EditorMainWindow> shown_editor(QTemporaryDir& dir, RecordingNotify& notify,
                                                      std::deque<std::string>* symbols = nullptr) {
  QFile::remove(dir.filePath("default.sym"));
  if (!dir.isValid() ||
      !QFile::copy(ZEPHYRIM_SOURCE_DIR "/data/symbols/default.sym", dir.filePath("default.sym")))
    return nullptr;
  notify.clear();
  auto w = std::make_unique<EditorMainWindow>(&notify);
  w->set_library_path(dir.filePath("default.sym").toStdString());
  w->ask_symbol = [symbols](int) -> std::optional<std::string> {
    if (!symbols || symbols->empty()) return std::nullopt;
    std::string s = symbols->front();
    symbols->pop_front();
    return s;
  };
  w->resize(1100, 900);
  w->show();
  if (!QTest::qWaitForWindowExposed(w.get())) return nullptr;
  home_view(*w);
  return w;
}

}  // namespace zephyrim::test
