// The FFT of TRC32 driven as a person drives it: the menu command and its
// options dialog, a zoom dragged with the mouse, Alt+U, and a script's
// #AUTOPLOT FFT, on a sine that ngspice simulated in the test.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cmath>

#include "common/file_io.h"
#include "platform/process.h"
#include "viewer/app/main_window.h"
#include "viewer/app/plot_view.h"
#include "viewer/session/command_table.h"
#include "viewer_test_support.h"

using namespace zephyrim;
using namespace zephyrim::test;

namespace {

// 2 V at 1 kHz for 10 ms: spectrum lines 100 Hz apart, one of them on the sine.
constexpr const char* kSineDeck =
    "sine\n"
    "V1 in 0 SIN(0 2 1k)\n"
    "R1 in 0 1k\n"
    ".control\nset filetype=binary\ntran 1u 10m 0 1u\nwrite sine.raw\n.endc\n.end\n";

DialogFiller filling(std::function<void(QDialog*)> custom) {
  DialogFiller f;
  f.custom = std::move(custom);
  return f;
}

const SelectedTrace* trace_named(ViewerMainWindow& w, const char* name) {
  for (const auto& t : w.graph().traces)
    if (t->name == name) return t.get();
  return nullptr;
}

}  // namespace

class ViewerFftTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;

  QString file(const char* name) const { return dir_.filePath(name); }

  void open_sine(ViewerMainWindow& w) {
    w.resize(1000, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    DialogFiller open{.path = file("sine.raw"), .choose = {"v(in)"}};
    trigger(w, CMD_OPEN, &open);
    QCOMPARE(int(w.graph().traces.size()), 1);
    QCOMPARE(w.graph().analysis, int(ANALYSIS_TRAN));
  }

 private slots:
  void initTestCase() {
    QVERIFY(write_simulated_files(dir_));
    QVERIFY(write_file_atomic(file("sine.cir").toStdString(), kSineDeck));
    process_run({"ngspice", "-b", "sine.cir"}, dir_.path().toStdString());
    QVERIFY(QFileInfo::exists(file("sine.raw")));
  }

  void fft_toggles_between_the_waveform_and_its_spectra() {
    ViewerMainWindow w;
    open_sine(w);
    const std::string sine = w.graph().traces[0]->name;
    QString title;
    QStringList checked;
    DialogFiller options = filling([&](QDialog* d) {
      title = d->windowTitle();
      for (QCheckBox* b : d->findChildren<QCheckBox*>())
        if (b->isChecked()) checked << b->objectName();
      QTest::mouseClick(field<QCheckBox>(d, "form_db"), Qt::LeftButton);
      press_ok(d);
    });
    trigger(w, CMD_FFT, &options);
    QCOMPARE(title, QString("FFT Plot Options"));
    QCOMPARE(checked, QStringList{"form_m"});  // only the magnitude to begin with

    // Two forms: a plot each, the analysis now AC, the command checked.
    const Graph& g = w.graph();
    QCOMPARE(g.analysis, int(ANALYSIS_AC));
    QCOMPARE(int(g.traces.size()), 2);
    const SelectedTrace* magnitude = trace_named(w, "VMFFT(IN)");
    const SelectedTrace* db = trace_named(w, "VDBFFT(IN)");
    QVERIFY(magnitude && db);
    QVERIFY(magnitude->plot != db->plot);
    QVERIFY(w.action(CMD_FFT)->isChecked());
    // The line at 1 kHz holds the sine's 2 V; the lines are 100 Hz apart.
    w.store().values(*magnitude->x);
    const auto y = w.store().values(*magnitude->y);
    const auto x = w.store().values(*magnitude->x);
    QCOMPARE(int(y.size()), 4096);  // 10001 points give 8192 samples
    const size_t peak = size_t(std::max_element(y.begin(), y.end()) - y.begin());
    QVERIFY2(std::abs(x[peak] - 1000) < 1e-6, qPrintable(QString::number(x[peak])));
    QVERIFY2(std::abs(x[1] - 100) < 1e-9, qPrintable(QString::number(x[1])));
    QVERIFY2(std::abs(y[peak] - 2) < 0.02, qPrintable(QString::number(y[peak])));

    // Again: the sine as it was, the spectra gone with their class.
    trigger(w, CMD_FFT);
    QCOMPARE(w.graph().analysis, int(ANALYSIS_TRAN));
    QCOMPARE(int(w.graph().traces.size()), 1);
    QCOMPARE(w.graph().traces[0]->name, sine);
    QVERIFY(w.store().data_class(DATA_CLASS_DERIVED)->vectors.empty());
    QVERIFY(!w.action(CMD_FFT)->isChecked());
  }

  void a_zoomed_graph_transforms_what_it_shows_and_alt_u_returns() {
    ViewerMainWindow w;
    open_sine(w);
    PlotView* view = w.plot_view();
    view->repaint();  // the frames are laid out as the sine is drawn
    trigger(w, CMD_ZOOM_AREA);
    const QRectF frame = view->layout().frames.at(0).rect;
    const QPoint from(int(frame.left() + frame.width() * 0.2), int(frame.top() + 5));
    const QPoint to(int(frame.left() + frame.width() * 0.6), int(frame.bottom() - 5));
    QTest::mousePress(view, Qt::LeftButton, {}, from);
    QTest::mouseMove(view, to);
    QTest::mouseRelease(view, Qt::LeftButton, {}, to);
    const double low = w.graph().x_axis.low, high = w.graph().x_axis.high;
    QVERIFY2(low > 0 && high < 10e-3, qPrintable(QString("%1 %2").arg(low).arg(high)));

    DialogFiller ok = filling([](QDialog* d) { press_ok(d); });
    trigger(w, CMD_FFT, &ok);
    const SelectedTrace* magnitude = trace_named(w, "VMFFT(IN)");
    QVERIFY(magnitude);
    // The record runs from the window's start to the first point past its end.
    const double spacing = w.store().values(*magnitude->x)[1];
    QVERIFY2(std::abs(spacing * (high - low) - 1) < 0.01,
             qPrintable(QString("%1 Hz over %2 s").arg(spacing).arg(high - low)));

    // Alt+U: Undo Transform returns to the sine; with nothing to undo it says so.
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_U, Qt::AltModifier);
    QCOMPARE(w.graph().analysis, int(ANALYSIS_TRAN));
    QVERIFY(!w.action(CMD_FFT)->isChecked());
    QTest::keyClick(&w, Qt::Key_U, Qt::AltModifier);
    QCOMPARE(w.statusBar()->currentMessage(), QString("No transform to undo"));
  }

  void the_options_beyond_the_plain_transform_are_offered_again() {
    ViewerMainWindow w;
    open_sine(w);
    DialogFiller first = filling([](QDialog* d) {
      pick(d, "points", "16384");
      pick(d, "window", "Hann");
      type(d, "fundamental", "1kHz");
      press_ok(d);
    });
    trigger(w, CMD_FFT, &first);
    const SelectedTrace* magnitude = trace_named(w, "VMFFT(IN)");
    QVERIFY(magnitude);
    const auto y = w.store().values(*magnitude->y);
    QCOMPARE(int(y.size()), 8192);
    // Whole periods and a window corrected for its gain: 2 V on the line, little beside it.
    const size_t peak = size_t(std::max_element(y.begin(), y.end()) - y.begin());
    QVERIFY2(std::abs(y[peak] - 2) < 0.01, qPrintable(QString::number(y[peak])));
    trigger(w, CMD_FFT);

    QString points, window, fundamental;
    DialogFiller second = filling([&](QDialog* d) {
      points = field<QComboBox>(d, "points")->currentText();
      window = field<QComboBox>(d, "window")->currentText();
      fundamental = field<QLineEdit>(d, "fundamental")->text();
      d->reject();
    });
    trigger(w, CMD_FFT, &second);
    QCOMPARE(points, QString("16384"));
    QCOMPARE(window, QString("Hann"));
    QCOMPARE(fundamental, QString("1K"));
    QCOMPARE(w.graph().analysis, int(ANALYSIS_TRAN));  // cancelled: nothing changed

    // A fundamental that is no number keeps the dialog open with a message.
    QStringList messages;
    bool typed = false;
    DialogFiller wrong = filling([&](QDialog* d) {
      if (typed) {
        d->reject();
        return;
      }
      typed = true;
      type(d, "fundamental", "abc");
      press_ok(d);
    });
    trigger(w, CMD_FFT, &wrong);
    QCOMPARE(wrong.messages, QStringList{"The fundamental frequency must be a number above 0, or empty"});
  }

  void fft_needs_transient_data() {
    ViewerMainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    DialogFiller open{.path = file("lowpass.OUT")};
    trigger(w, CMD_OPEN, &open);
    DialogFiller ac = filling([](QDialog* d) {
      field<QRadioButton>(d, "analysis_3")->setChecked(true);
      press_ok(d);
    });
    trigger(w, CMD_AUTOPLOT, &ac);
    QCOMPARE(w.graph().analysis, int(ANALYSIS_AC));
    DialogFiller refused;
    trigger(w, CMD_FFT, &refused);
    QCOMPARE(refused.messages, QStringList{"FFT available only for TRANSIENT analysis data"});
    QCOMPARE(w.graph().analysis, int(ANALYSIS_AC));
    QVERIFY(!w.action(CMD_FFT)->isChecked());
  }

  void a_scripts_autoplot_fft_shows_spectra_that_toggle_back() {
    ViewerMainWindow w;
    open_sine(w);
    QVERIFY(write_file_atomic(file("fft.qsc").toStdString(), "#AUTOPLOT FFT(DB,P) V(IN)\n"));
    DialogFiller script{.path = file("fft.qsc")};
    trigger(w, CMD_RUN_SCRIPT, &script);
    QCOMPARE(w.graph().analysis, int(ANALYSIS_AC));
    QVERIFY(trace_named(w, "VDBFFT(IN)") && trace_named(w, "VPFFT(IN)"));
    QVERIFY(w.action(CMD_FFT)->isChecked());
    trigger(w, CMD_FFT);
    QCOMPARE(w.graph().analysis, int(ANALYSIS_TRAN));
    QVERIFY(trace_named(w, "V(IN)") || trace_named(w, "V(in)"));
  }
};

QTEST_MAIN(ViewerFftTest)
#include "viewer_fft_test.moc"
