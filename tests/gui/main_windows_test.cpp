// Both main windows open with their captions and close cleanly.
#include <QApplication>
#include <QtTest>

#include "editor/file_commands.h"
#include "editor/main_window.h"
#include "editor/simulation_commands.h"
#include "viewer/app/main_window.h"

class MainWindowsTest : public QObject {
  Q_OBJECT
 private slots:
  void editor_opens_and_closes() {
    auto* w = new zephyrim::EditorMainWindow;
    w->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<QWidget> guard(w);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->windowTitle(), QString("Zephyrim Schematic - (new)"));
    QCOMPARE(w->schematic().page_count(), 1);
    QVERIFY(w->close());
    QTRY_VERIFY(guard.isNull());
  }

  void viewer_opens_and_closes() {
    auto* w = new zephyrim::ViewerMainWindow;
    w->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<QWidget> guard(w);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->windowTitle(), QString("Tracery"));
    QVERIFY(w->close());
    QTRY_VERIFY(guard.isNull());
  }

  void programs_keep_the_c_number_locale() {
    zephyrim::use_c_locale_for_numbers();
    QCOMPARE(std::strtod("1.5", nullptr), 1.5);
  }
};

QTEST_MAIN(MainWindowsTest)
#include "main_windows_test.moc"
