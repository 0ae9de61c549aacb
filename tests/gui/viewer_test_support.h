#pragma once
// What the viewer's GUI tests share: data files written by ngspice and zsim,
// a filler that answers each modal dialog as a person would, and a measure of
// how much of a picture is drawn.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "common/file_io.h"
#include "platform/process.h"
#include "viewer/app/main_window.h"

namespace zephyrim::test {

// rc.raw: a pulse into an RC low pass, written by ngspice in binary.
inline constexpr const char* kDeck =
    "rc pulse\n"
    "V1 in 0 PULSE(0 5 1u 10n 10n 5u 10u)\n"
    "R1 in out 1k\n"
    "C1 out 0 1n\n"
    ".control\nset filetype=binary\ntran 10n 30u\nwrite rc.raw\n.endc\n.end\n";

// lowpass.OUT / lowpass.SAV: zsim's transient and AC runs with an autoplot.
inline constexpr const char* kNetlist =
    "rc lowpass\n"
    "V1 in 0 PULSE(0 1 0 1u 1u 5m 10m) AC 1\n"
    "R1 in out 1k\n"
    "C1 out 0 1u\n"
    ".TRAN 10u 20m\n"
    ".AC DEC 10 10 100k\n"
    ".PROBE\n"
    "#AUTOPLOT TRAN V(in) V(out)\n"
    ".END\n";

// Writes rc.raw and lowpass.OUT/.SAV into the folder; broadcast sockets go
// there too, away from the user's programs.
inline bool write_simulated_files(const QTemporaryDir& dir) {
  qputenv("ZEPHYRIM_RUNTIME_DIR", dir.path().toLocal8Bit() + "/runtime");
  const std::string folder = dir.path().toStdString();
  if (!write_file_atomic(folder + "/rc.cir", kDeck)) return false;
  process_run({"ngspice", "-b", "rc.cir"}, folder);
  if (!write_file_atomic(folder + "/lowpass.CIR", kNetlist)) return false;
  process_run({ZEPHYRIM_APPS_DIR "/zsim", "lowpass.CIR"}, folder);
  return QFileInfo::exists(dir.filePath("rc.raw")) && QFileInfo::exists(dir.filePath("lowpass.SAV"));
}

// Handles each modal dialog as it appears: a file dialog gets the path, a
// question the answer, a text prompt the text; any other dialog goes to
// `custom` when set (which fills it and accepts or rejects it), else the
// Probe list gets `choose` selected and the dialog is accepted.
class DialogFiller {
 public:
  QString path{};
  QString text{};
  QStringList choose{};
  QMessageBox::StandardButton answer = QMessageBox::Yes;
  std::function<void(QDialog*)> custom{};
  QStringList messages{};  // the texts of the message boxes seen
  int seen = 0;
  bool pending = false;  // a call of custom is queued (public so that fillers stay aggregates)

  void run(const std::function<void()>& work) {
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [this] { fill(); });
    timer.start();
    work();
  }

 private:
  void fill() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    ++seen;
    if (auto* f = qobject_cast<QFileDialog*>(modal)) {
      // Typed into the name box and confirmed with Return, as a person does.
      auto* name = f->findChild<QLineEdit*>("fileNameEdit");
      if (!name) return;
      name->setText(path);
      QTest::keyClick(name, Qt::Key_Return);
    } else if (auto* m = qobject_cast<QMessageBox*>(modal)) {
      messages << m->text();
      if (QAbstractButton* b = m->button(answer))
        b->click();
      else
        m->accept();
    } else if (auto* i = qobject_cast<QInputDialog*>(modal)) {
      i->setTextValue(text);
      i->accept();
    } else if (auto* d = qobject_cast<QDialog*>(modal)) {
      if (custom) {
        // Run from the event loop rather than inside this timer's slot: a
        // message the dialog shows on OK runs a loop of its own, and this
        // timer does not fire again while its slot is still running.
        if (!pending) {
          pending = true;
          QTimer::singleShot(0, d, [this, d] {
            pending = false;
            custom(d);
          });
        }
        return;
      }
      if (auto* list = d->findChild<QListWidget*>()) {
        if (auto* filter = d->findChild<QLineEdit*>()) filter->setText(choose.value(0).left(2));
        for (int k = 0; k < list->count(); ++k)
          if (choose.contains(list->item(k)->text(), Qt::CaseInsensitive)) list->item(k)->setSelected(true);
      }
      d->accept();
    }
  }
};

// A dialog's widget by its object name; the test stops when it is missing.
template <typename W>
W* field(QDialog* d, const QString& name) {
  W* w = d->findChild<W*>(name);
  if (!w) qFatal("no field %s in %s", qPrintable(name), qPrintable(d->objectName()));
  return w;
}

// Replaces a field's text as a person does: select all, type.
inline void type(QDialog* d, const QString& name, const QString& text) {
  QLineEdit* e = field<QLineEdit>(d, name);
  QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
  if (text.isEmpty())
    QTest::keyClick(e, Qt::Key_Delete);
  else
    QTest::keyClicks(e, text);
}

// Chooses a list entry; an editable list takes the text as typed.
inline void pick(QDialog* d, const QString& name, const QString& item) {
  QComboBox* c = field<QComboBox>(d, name);
  if (c->isEditable()) {
    c->setCurrentText(item);
    return;
  }
  const int k = c->findText(item);
  if (k < 0) qFatal("no item %s in %s", qPrintable(item), qPrintable(name));
  c->setCurrentIndex(k);
}

// Clicks OK, as a person does once the fields are filled.
inline void press_ok(QDialog* d) {
  auto* buttons = d->findChild<QDialogButtonBox*>();
  if (!buttons) qFatal("no buttons in %s", qPrintable(d->objectName()));
  // OK, or the dialog's own accepting button (Save, Recall...).
  QAbstractButton* ok = buttons->button(QDialogButtonBox::Ok);
  for (QAbstractButton* b : buttons->buttons())
    if (!ok && buttons->buttonRole(b) == QDialogButtonBox::AcceptRole) ok = b;
  if (!ok) qFatal("no OK button in %s", qPrintable(d->objectName()));
  ok->click();
}

// Triggers a menu command as its menu item does, with the filler answering dialogs.
inline void trigger(ViewerMainWindow& w, int id, DialogFiller* filler = nullptr) {
  QAction* a = w.action(id);
  QVERIFY2(a && a->isEnabled(), qPrintable(QString("command %1 not enabled").arg(id)));
  if (filler)
    filler->run([a] { a->trigger(); });
  else
    a->trigger();
}

// The share of pixels of an image that are not the background.
inline double drawn_share(const QImage& image) {
  const QRgb background = image.pixel(2, 2);
  qint64 other = 0;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) other += image.pixel(x, y) != background;
  return double(other) / (double(image.width() / 2) * (image.height() / 2));
}

}  // namespace zephyrim::test
