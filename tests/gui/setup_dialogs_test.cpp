// The simulation setup dialogs driven through their fields.
#include "editor/setup_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

using namespace zephyrim;

class SetupDialogsTest : public QObject {
  Q_OBJECT

  RecordingNotify notify_;

  template <typename W>
  static W* field(QWidget& d, const char* name) {
    W* w = d.findChild<W*>(name);
    if (!w) qFatal("no field %s", name);
    return w;
  }
  // As the user types it: the field counts as changed.
  static void type(QWidget& d, const char* name, const QString& text) {
    QLineEdit* e = field<QLineEdit>(d, name);
    e->setText(text);
    e->setModified(true);
  }
  static QString shown(QWidget& d, const char* name) { return field<QLineEdit>(d, name)->text(); }

 private slots:
  void init() { notify_.clear(); }

  void fields_show_the_setup_in_engineering_form() {
    SimulationSetup s;
    s.tran_stop = 10e-6;
    s.ac_stop = 1e6;
    s.temps = {25, -40};
    s.sens_vars = {"V(1)", "I(V1)"};
    TranSetupDialog tran(s, notify_);
    QCOMPARE(tran.objectName(), QString("SIMSET_TRAN_DLG"));
    QCOMPARE(shown(tran, "tran_stop"), QString("10u"));
    QCOMPARE(shown(tran, "tran_step"), QString());
    QCOMPARE(shown(tran, "harmonics"), QString("9"));
    AcSetupDialog ac(s, notify_);
    QCOMPARE(shown(ac, "ac_stop"), QString("1MEG"));
    TempSetupDialog temp(s, notify_);
    QCOMPARE(shown(temp, "temps"), QString("25 -40"));
    OpSetupDialog op(s, notify_);
    QCOMPARE(shown(op, "sens_vars"), QString("V(1) I(V1)"));
  }

  void typed_values_are_stored_and_untouched_ones_kept_exactly() {
    SimulationSetup s;
    s.tran_step = 1e-9;
    s.tran_max_step = 1.23456789e-9;  // more digits than the field shows
    TranSetupDialog d(s, notify_);
    type(d, "tran_stop", "10u");
    type(d, "tran_step", "");
    type(d, "fourier_freq", " 1meg");
    type(d, "harmonics", "");
    type(d, "fourier_vars", "V(OUT)\n V(IN)");
    field<QCheckBox>(d, "uic")->setChecked(true);
    d.accept();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(s.tran_stop, 10e-6);
    QCOMPARE(s.tran_step, NO_VALUE);
    QCOMPARE(s.fourier_freq, 1e6);
    QCOMPARE(s.harmonics, int16_t(9));
    QCOMPARE(s.tran_max_step, 1.23456789e-9);
    QCOMPARE(s.uic, int16_t(1));
    QCOMPARE(s.fourier_vars, (std::vector<std::string>{"V(OUT)", "V(IN)"}));
    QVERIFY(notify_.entries().empty());

    const SimulationSetup before = s;
    TranSetupDialog cancelled(s, notify_);
    type(cancelled, "tran_stop", "5m");
    cancelled.reject();
    QVERIFY(s == before);
  }

  void a_non_number_is_refused_and_the_dialog_stays_open() {
    SimulationSetup s;
    const SimulationSetup before = s;
    struct Case {
      const char* field;
      const char* text;
      const char* message;
    };
    const Case cases[] = {
        {"tran_stop", "abc", "Invalid number for Stop time: \"abc\""},
        {"harmonics", "9x", "Invalid number for Harmonics: \"9x\""},
    };
    for (const Case& c : cases) {
      TranSetupDialog d(s, notify_);
      type(d, "tran_start", "1n");  // read before the bad field, yet not stored
      type(d, c.field, c.text);
      d.accept();
      QVERIFY(d.result() != QDialog::Accepted);
      QCOMPARE(notify_.last(), std::string(c.message));
      QCOMPARE(notify_.entries().back().kind, NoticeKind::Error);
      QCOMPARE(d.focusWidget(), field<QWidget>(d, c.field));
      QVERIFY(s == before);
    }
    TempSetupDialog temp(s, notify_);
    type(temp, "temps", "25, hot");
    temp.accept();
    QVERIFY(temp.result() != QDialog::Accepted);
    QCOMPARE(notify_.last(), std::string("Invalid number for Temperatures: \"hot\""));
  }

  void step_checks_focus_the_field_they_name() {
    SimulationSetup s;
    StepSetupDialog d(s, notify_);
    QCOMPARE(d.objectName(), QString("SIMSET_STEP_DLG"));
    d.accept();
    QCOMPARE(notify_.last(), std::string("Step variable name missing"));
    QCOMPARE(d.focusWidget(), field<QWidget>(d, "step_name"));

    type(d, "step_name", "RLOAD");
    field<QRadioButton>(d, "step_type_lin")->setChecked(true);
    type(d, "step_increment", "0");
    d.accept();
    QCOMPARE(notify_.last(), std::string("Invalid sweep step value 0"));
    QCOMPARE(d.focusWidget(), field<QWidget>(d, "step_increment"));

    field<QRadioButton>(d, "step_type_dec")->setChecked(true);
    d.accept();
    QCOMPARE(notify_.last(), std::string("Invalid number of points 0"));
    QCOMPARE(d.focusWidget(), field<QWidget>(d, "step_points"));
    QVERIFY(d.result() != QDialog::Accepted);

    type(d, "step_points", "5");
    field<QCheckBox>(d, "step_type_percent")->setChecked(true);
    field<QCheckBox>(d, "step_kind")->setChecked(true);
    d.accept();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(s.step_type, int16_t(12));  // DEC%
    QCOMPARE(s.step_kind.str(), std::string("PARAM"));
    QCOMPARE(s.step_points, int16_t(5));
    QCOMPARE(s.step_name.str(), std::string("RLOAD"));
  }

  void main_dialog_applies_its_copy_only_on_ok() {
    SimulationSetup s;
    const SimulationSetup before = s;
    {
      SimulationSetupDialog d(s, notify_);
      field<QCheckBox>(d, "dc")->setChecked(true);
      QTimer::singleShot(0, this, [] {
        auto* g = qobject_cast<TranSetupDialog*>(QApplication::activeModalWidget());
        QVERIFY(g);
        type(*g, "tran_stop", "1m");
        g->accept();
      });
      QVERIFY(d.open_group(SetupGroup::tran));
      QCOMPARE(d.copy().tran_stop, 1e-3);
      QCOMPARE(d.copy().dc, int16_t(1));  // the group dialog kept the check box's switch
      d.reject();
      QVERIFY(s == before);
    }
    QTimer::singleShot(0, this, [] {
      auto* d = QApplication::activeModalWidget();
      QVERIFY(d && d->objectName() == "SIMSET_MAIN_DLG");
      field<QCheckBox>(*d, "tran")->setChecked(true);
      static_cast<QDialog*>(d)->accept();
    });
    QVERIFY(edit_simulation_setup(s, notify_, nullptr));
    QCOMPARE(s.any_enabled, int16_t(1));
    QCOMPARE(s.tran, int16_t(1));
    QCOMPARE(s.print, int16_t(-1));  // untouched: still never set
  }

  void an_autoplot_setup_is_added_through_the_dialog() {
    SimulationSetup s;
    AutoplotSetupDialog d(s, notify_);
    field<QPushButton>(d, "plots_add")->click();
    field<QComboBox>(d, "analysis")->setCurrentIndex(2);
    field<QComboBox>(d, "axis_scale")->setCurrentIndex(3);
    field<QLineEdit>(d, "x_expression")->setText("TIME");
    field<QLineEdit>(d, "traces")->setText("V(1) V(2)");
    field<QPushButton>(d, "plots_add")->click();
    field<QPushButton>(d, "plots_remove")->click();
    QCOMPARE(d.list()->count(), 1);
    QCOMPARE(d.list()->item(0)->text(), QString("TRAN V(1) V(2)"));
    d.accept();
    QCOMPARE(s.plots.size(), size_t(1));
    const PlotSetup& p = s.plots[0];
    QCOMPARE(p.enabled, int16_t(1));
    QCOMPARE(p.analysis, int16_t(2));
    QCOMPARE(p.axis_scale, int16_t(3));
    QCOMPARE(p.x_expression, std::string("TIME"));
    QCOMPARE(p.traces, (std::vector<std::string>{"V(1)", "V(2)"}));
  }
};

QTEST_MAIN(SetupDialogsTest)
#include "setup_dialogs_test.moc"
