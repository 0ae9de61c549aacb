// The editor as users of today's editors handle it, through its real window:
// a drag of the selection moves it as Move does, the wheel zooms around the
// pointer, a right click offers the commands, the title marks unsaved
// changes, Save As gives the file its extension, and files that are empty or
// cut short say so.
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "editing/edit_ops.h"
#include "editor/command_table.h"
#include "editor/file_commands.h"
#include "editor/main_window.h"
#include "editor/sheet_view.h"
#include "editor_test_support.h"
#include "platform/qt/help_pages.h"
#include "schematic/schematic_dump.h"

using namespace zephyrim;

class EditorManipulationTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  RecordingNotify notify_;
  std::unique_ptr<EditorMainWindow> w_;

  QWidget* sheet() { return w_->sheet()->viewport(); }
  Page& page() { return w_->schematic().page(); }
  std::string dump() { return schematic_dump(w_->schematic()); }

  // A fresh copy of the amplifier example, open at 100 % with the page scrolled
  // home: page coordinates are then widget coordinates.
  void open_amplifier() {
    const QString path = dir_.filePath("amplifier.sch");
    QFile::remove(path);
    QVERIFY(QFile::copy(ZEPHYRIM_SOURCE_DIR "/examples/amplifier.sch", path));
    QVERIFY(w_->files().open_file(path));
    test::home_view(*w_);
  }
  // A point on the part with that reference, where a click hits it.
  Point on_part(const char* reference) {
    for (size_t i = 0; i < page().parts.size(); ++i) {
      const PartRecord& p = *page().parts[i];
      if (p.reference.str() != reference) continue;
      for (int dy = -24; dy <= 24; dy += 2)
        for (int dx = -24; dx <= 24; dx += 2) {
          const Point at{p.x + dx, p.y + dy};
          const Hit h = hit_test(page(), at, 0);
          if (h.kind == HitKind::part && h.index == static_cast<int>(i)) return at;
        }
    }
    qFatal("no point on part %s", reference);
  }
  void move_to(Point p, Qt::MouseButtons held) {
    QMouseEvent e(QEvent::MouseMove, QPointF(p.x, p.y), sheet()->mapToGlobal(QPointF(p.x, p.y)), Qt::NoButton,
                  held, Qt::NoModifier);
    QApplication::sendEvent(sheet(), &e);
  }
  // A press, a few moves with the button held and a release, as a hand drags.
  void drag(Point from, Point to) {
    move_to(from, Qt::NoButton);
    QTest::mousePress(sheet(), Qt::LeftButton, {}, QPoint(from.x, from.y));
    for (int k = 1; k <= 4; ++k)
      move_to({from.x + (to.x - from.x) * k / 4, from.y + (to.y - from.y) * k / 4}, Qt::LeftButton);
    QTest::mouseRelease(sheet(), Qt::LeftButton, {}, QPoint(to.x, to.y));
  }
  void wheel(QPoint at, int delta, Qt::KeyboardModifiers mods) {
    QWheelEvent e(QPointF(at), sheet()->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                  mods, Qt::NoScrollPhase, false);
    QApplication::sendEvent(sheet(), &e);
  }

 private slots:
  void init() {
    w_ = test::shown_editor(dir_, notify_);
    QVERIFY(w_);
  }
  void cleanup() {
    w_->schematic().modified = false;
    w_.reset();
  }

  void dragging_the_selection_moves_it_as_move_does() {
    open_amplifier();
    const std::string before = dump();
    const Point at = on_part("RC");
    const Point to{at.x + 64, at.y + 16};
    QTest::mouseClick(sheet(), Qt::LeftButton, {}, QPoint(at.x, at.y));  // select
    drag(at, to);
    const std::string dragged = dump();
    QVERIFY(dragged != before);
    QVERIFY2(notify_.entries().empty(), notify_.last().c_str());

    // The same with Ctrl+M on a fresh copy.
    open_amplifier();
    QCOMPARE(dump(), before);
    QTest::mouseClick(sheet(), Qt::LeftButton, {}, QPoint(at.x, at.y));
    QTest::keyClick(w_.get(), Qt::Key_M, Qt::ControlModifier);
    drag(at, to);
    QCOMPARE(dump(), dragged);

    // A click on the selection without a drag moves nothing.
    open_amplifier();
    QTest::mouseClick(sheet(), Qt::LeftButton, {}, QPoint(at.x, at.y));
    const std::string selected = dump();
    QTest::mouseClick(sheet(), Qt::LeftButton, {}, QPoint(at.x, at.y));
    QCOMPARE(dump(), selected);
  }

  void the_wheel_zooms_around_the_pointer() {
    open_amplifier();
    const QPoint pointer(300, 200);
    const double f0 = w_->sheet()->factor();
    const QPointF fixed = w_->sheet()->to_page(QPointF(pointer));
    // Without Ctrl the wheel scrolls, as it always did.
    wheel(pointer, 120, Qt::NoModifier);
    QCOMPARE(w_->sheet()->factor(), f0);
    for (int notch : {120, 120, -120}) {
      wheel(pointer, notch, Qt::ControlModifier);
      const QPointF now = w_->sheet()->to_page(QPointF(pointer));
      QVERIFY2(std::abs(now.x() - fixed.x()) <= 1.0 / w_->sheet()->factor() + 1e-9 &&
                   std::abs(now.y() - fixed.y()) <= 1.0 / w_->sheet()->factor() + 1e-9,
               qPrintable(
                   QString("%1,%2 moved to %3,%4").arg(fixed.x()).arg(fixed.y()).arg(now.x()).arg(now.y())));
    }
    QVERIFY(w_->sheet()->factor() > f0);
    // The option makes the wheel alone zoom.
    const double f1 = w_->sheet()->factor();
    w_->action(kCmdWheelZoom)->trigger();
    wheel(pointer, -120, Qt::NoModifier);
    QVERIFY(w_->sheet()->factor() < f1);
  }

  void a_right_click_offers_the_commands_of_what_is_under_it() {
    open_amplifier();
    const Point at = on_part("R1");
    QStringList items;
    QTimer::singleShot(200, this, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      for (QAction* a : menu->actions())
        if (!a->isSeparator()) items << a->text();
      menu->close();
    });
    QTest::mouseClick(sheet(), Qt::RightButton, {}, QPoint(at.x, at.y));
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(at.x, at.y),
                        sheet()->mapToGlobal(QPoint(at.x, at.y)));
    QApplication::sendEvent(sheet(), &e);
    QVERIFY2(items.contains("&Rotate") && items.contains("&Delete"), qPrintable(items.join(',')));
    // The part under the pointer is what the commands act on.
    QCOMPARE(selection_count(page()), 1);
  }

  void the_title_marks_changes_and_save_as_gives_the_extension() {
    open_amplifier();
    QVERIFY(!w_->windowTitle().endsWith('*'));
    const Point at = on_part("RE");
    QTest::mouseClick(sheet(), Qt::LeftButton, {}, QPoint(at.x, at.y));
    QTest::keyClick(w_.get(), Qt::Key_Delete);
    QVERIFY2(w_->windowTitle().endsWith("amplifier.sch*"), qPrintable(w_->windowTitle()));
    w_->ask_file_name = [this](bool) { return dir_.filePath("mytest"); };
    w_->action(kCmdSaveAs)->trigger();
    QVERIFY(QFileInfo::exists(dir_.filePath("mytest.sch")));
    QVERIFY(!QFileInfo::exists(dir_.filePath("mytest")));
    QVERIFY2(w_->windowTitle().endsWith("mytest.sch"), qPrintable(w_->windowTitle()));
  }

  void help_about_names_the_version_and_the_libraries() {
    QAction* about = w_->action(kCmdAbout);
    QVERIFY(about && about->isEnabled());
    QString text;
    QTimer::singleShot(0, this, [&] {
      QWidget* box = QApplication::activeModalWidget();
      if (!box) return;
      if (auto* label = box->findChild<QLabel*>("about_text")) text = label->text();
      box->close();
    });
    about->trigger();
    QVERIFY2(text.contains("Zephyrim version") && text.contains("Qt ") && text.contains("ngspice"),
             qPrintable(text));
    // The help pages open from the same menu: the editor's page is there to open.
    QVERIFY(w_->action(kCmdHelp)->isEnabled());
    QVERIFY(!help_page_path("quill32.html").isEmpty());
  }

  void empty_and_cut_short_files_say_so() {
    const QString empty = dir_.filePath("empty.sch"), cut = dir_.filePath("cut.sch");
    QFile(empty).open(QIODevice::WriteOnly);
    QFile source(ZEPHYRIM_SOURCE_DIR "/examples/amplifier.sch");
    QVERIFY(source.open(QIODevice::ReadOnly));
    QFile out(cut);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(source.read(300));
    out.close();
    w_->files().open_file(empty);
    QVERIFY2(notify_.last().find("empty.sch is empty") != std::string::npos, notify_.last().c_str());
    QVERIFY2(notify_.last().find("Error ") != std::string::npos, notify_.last().c_str());
    notify_.clear();
    w_->files().open_file(cut);
    QVERIFY2(notify_.last().find("cut.sch is cut short at byte 300") != std::string::npos,
             notify_.last().c_str());
  }
};

QTEST_MAIN(EditorManipulationTest)
#include "editor_manipulation_test.moc"
