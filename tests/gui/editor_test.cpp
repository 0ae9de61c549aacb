// The schematic editor driven through its real window with mouse and keys.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <deque>

#include "editing/edit_ops.h"
#include "editing/subckt.h"
#include "editor/command_table.h"
#include "editor/dialogs.h"
#include "editor/file_commands.h"
#include "editor/main_window.h"
#include "editor/sheet_view.h"
#include "editor/simulation_commands.h"
#include "editor/source_dialog.h"
#include "editor_test_support.h"
#include "netlist/source_statement.h"
#include "schematic/schematic_file.h"

using namespace zephyrim;

class EditorTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  RecordingNotify notify_;
  std::unique_ptr<EditorMainWindow> w_;
  std::deque<std::string> symbols_;  // answers of the part chooser

  QWidget* sheet() { return w_->sheet()->viewport(); }
  Page& page() { return w_->schematic().page(); }

  // Page coordinates are widget coordinates at 100 % with the page scrolled home.
  void click(Point p, Qt::MouseButton b = Qt::LeftButton) {
    move(p);
    QTest::mouseClick(sheet(), b, {}, QPoint(p.x, p.y));
  }
  void move(Point p) {
    QMouseEvent e(QEvent::MouseMove, QPointF(p.x, p.y), sheet()->mapToGlobal(QPointF(p.x, p.y)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(sheet(), &e);
  }
  void key(Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(w_.get(), k, m); }
  void place(Qt::Key k, const std::string& symbol, Point at) {
    symbols_.push_back(symbol);
    key(k);
    click(at);
    click(at, Qt::RightButton);
  }
  Point pin(int part, int k) { return part_pin_point(w_->schematic(), *page().parts.at(part), k); }
  void wire(Point a, Point b) {
    key(Qt::Key_W);
    click(a);
    move({a.x, a.y + 1});  // leave downward: vertical first
    move(b);
    click(b);
    click(b, Qt::RightButton);
  }

  // Runs f on the modal dialog that the next command opens.
  template <typename D, typename F>
  void on_dialog(F f) {
    QTimer::singleShot(0, this, [f] {
      auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
      QVERIFY(d);
      f(*d);
    });
  }
  static void set(QDialog& d, const char* field, const QString& text) {
    QLineEdit* e = d.findChild<QLineEdit*>(field);
    QVERIFY(e);
    e->setText(text);
  }

 private slots:
  void init() {
    w_ = test::shown_editor(dir_, notify_, &symbols_);
    QVERIFY(w_);
  }
  void cleanup() {
    w_->schematic().modified = false;
    w_.reset();
  }

  void the_menu_has_every_command() {
    for (const EditorCommand& c : editor_commands()) {
      if (c.id == 0) continue;
      QAction* a = w_->action(c.id);
      QVERIFY2(a, c.text);
      if (c.id >= kCmdRecent1 && c.id <= kCmdRecent5) QVERIFY(!a->isVisible());  // no recent files yet
    }
    QCOMPARE(w_->action(kCmdUndo)->shortcut(), QKeySequence("Alt+Backspace"));
    QCOMPARE(w_->action(kCmdPageNext)->shortcut(), QKeySequence("Ctrl+PgDown"));
  }

  void draws_the_rc_low_pass_saves_and_reopens_it() {
    place(Qt::Key_Insert, "V", {80, 160});
    place(Qt::Key_Insert, "R", {200, 96});
    place(Qt::Key_Insert, "CV", {320, 160});
    place(Qt::Key_G, "GND", {80, 240});
    place(Qt::Key_G, "GND", {320, 240});
    QCOMPARE(page().parts.size(), size_t(5));
    QCOMPARE(page().parts[0]->reference.str(), std::string("V1"));
    QCOMPARE(page().parts[1]->reference.str(), std::string("R1"));
    QCOMPARE(page().parts[2]->reference.str(), std::string("C1"));
    QVERIFY(page().parts[3]->reference.empty());

    wire(pin(0, 0), pin(1, 0));  // source top to the resistor's left end
    wire(pin(1, 1), pin(2, 0));  // resistor to the capacitor's top
    wire(pin(0, 1), pin(3, 0));
    wire(pin(2, 1), pin(4, 0));
    QVERIFY(page().wires.size() >= 4);
    QCOMPARE(w_->session().state(), int(kStateIdle));

    notify_.reply("out");
    key(Qt::Key_L);
    const Point out = pin(2, 0);
    click({out.x - 16, out.y - 40});
    click({0, 0}, Qt::RightButton);
    QCOMPARE(page().labels.size(), size_t(1));
    QVERIFY(w_->schematic().modified);

    const QString path = dir_.filePath("rc.sch");
    QVERIFY(w_->files().save_to(path));
    QCOMPARE(w_->windowTitle(), "Zephyrim Schematic - " + dir_.path() + "/rc.sch");
    QCOMPARE(w_->files().recent_files().front(), QFileInfo(path).absoluteFilePath());
    const size_t wires = page().wires.size(), dots = page().junctions.size();

    QVERIFY(w_->files().open_file(path));
    QCOMPARE(page().parts.size(), size_t(5));
    QCOMPARE(page().parts[1]->reference.str(), std::string("R1"));
    QCOMPARE(page().parts[1]->value.str(), std::string("1k"));
    QCOMPARE(page().wires.size(), wires);
    QCOMPARE(page().junctions.size(), dots);
    QCOMPARE(page().labels[0]->name.str(), std::string("out"));
    QVERIFY(!w_->schematic().modified);
  }

  void undo_after_delete_restores_the_part() {
    place(Qt::Key_Insert, "R", {200, 96});
    click({200, 98});
    QCOMPARE(page().parts[0]->selected, 1);
    QCOMPARE(w_->findChild<QLabel*>("QUIL_STATUS_CHILD")->text(), QString(" Edit object"));
    key(Qt::Key_Delete);
    QVERIFY(page().parts.empty());
    key(Qt::Key_Backspace, Qt::AltModifier);
    QCOMPARE(page().parts.size(), size_t(1));
    QCOMPARE(page().parts[0]->reference.str(), std::string("R1"));
    // Further presses go back through the history: the placement, then nothing.
    key(Qt::Key_Backspace, Qt::AltModifier);
    QVERIFY(page().parts.empty());
    key(Qt::Key_Backspace, Qt::AltModifier);
    QCOMPARE(notify_.last(), std::string("Undo buffer empty"));
  }

  void wire_forms_and_the_automatic_junction_on_a_tee() {
    key(Qt::Key_W);
    click({40, 40});
    move({48, 40});  // sideways first: horizontal first
    move({120, 120});
    click({120, 120});
    click({0, 0}, Qt::RightButton);
    QCOMPARE(page().wires.size(), size_t(2));
    QCOMPARE(page().wires[0]->y1, 40);
    QCOMPARE(page().wires[0]->x2, 120);
    QVERIFY(page().junctions.empty());
    key(Qt::Key_W);  // a wire ending on the middle of the first one
    click({80, 0});
    move({80, 8});
    move({80, 40});
    click({80, 40});
    click({0, 0}, Qt::RightButton);
    QCOMPARE(page().junctions.size(), size_t(1));
    QCOMPARE(page().junctions[0]->x, 80);
    QCOMPARE(page().junctions[0]->y, 40);
  }

  void references_continue_across_pages_and_pages_change() {
    place(Qt::Key_Insert, "R", {200, 96});
    place(Qt::Key_Insert, "R", {200, 200});
    page().parts[1]->reference.assign("R3");
    w_->action(kCmdPageNew)->trigger();
    QCOMPARE(w_->schematic().current_page(), 1);
    place(Qt::Key_Insert, "R", {200, 96});
    QCOMPARE(page().parts[0]->reference.str(), std::string("R4"));
    key(Qt::Key_PageUp, Qt::ControlModifier);
    QCOMPARE(w_->schematic().current_page(), 0);
    key(Qt::Key_PageDown, Qt::ControlModifier);
    QCOMPARE(w_->schematic().current_page(), 1);
  }

  void quitting_a_modified_schematic_asks_first() {
    place(Qt::Key_Insert, "R", {200, 96});
    notify_.answer(-1);  // cancel: the window stays
    QVERIFY(!w_->close());
    QVERIFY(notify_.saw("Schematic has been modified. Save?"));
    notify_.answer(0);  // no: closes without saving
    QVERIFY(w_->close());
  }

  void part_attributes_are_checked_before_they_are_stored() {
    place(Qt::Key_Insert, "R", {200, 96});
    PartRecord& r = *page().parts[0];
    PartAttributesDialog d(w_->schematic(), r, notify_);
    QCOMPARE(d.windowTitle(), QString("Part Attributes - [R1]"));
    set(d, "reference", "R 2");
    d.accept();
    QCOMPARE(notify_.last(), std::string("Spaces not allowed in part reference names"));
    QCOMPARE(d.result(), int(QDialog::Rejected));  // still open, nothing stored
    QCOMPARE(r.reference.str(), std::string("R1"));
    set(d, "reference", "RLOAD");
    set(d, "value", QString(40, 'k'));
    set(d, "par1", "TC=0.001");
    d.accept();
    QCOMPARE(notify_.last(), std::string("Value attribute truncated to limit of 31 characters."));
    QCOMPARE(r.reference.str(), std::string("RLOAD"));
    QCOMPARE(r.value.str(), std::string(31, 'k'));
    QCOMPARE(r.params[0], std::optional<std::string>("TC=0.001"));
  }

  void source_dialog_fills_the_specification_the_statement_is_written_from() {
    SymbolRecord symbol;
    symbol.name.assign("VSRC");
    PartRecord v;
    v.symbol = &symbol;
    v.reference.assign("V1");
    SourceDialog d(v, notify_);
    d.findChild<QCheckBox*>("dc_on")->setChecked(true);
    set(d, "dc", "5");
    d.findChild<QComboBox*>("function")->setCurrentIndex(kSourceFile);
    d.accept();  // a FILE source needs its file
    QCOMPARE(notify_.last(), std::string("FILE source file name is blank"));
    QCOMPARE(d.result(), int(QDialog::Rejected));
    d.findChild<QComboBox*>("function")->setCurrentIndex(kSourcePwl);
    set(d, "slot1", "1m");
    d.findChild<QPlainTextEdit*>("points")->setPlainText("0,0\n1m,oops\n");
    d.accept();
    QCOMPARE(notify_.last(), std::string("Invalid PWL point: 1m,oops"));
    d.findChild<QPlainTextEdit*>("points")->setPlainText("0,0\r\n1m,1\r\n");
    d.findChild<QComboBox*>("function")->setCurrentIndex(kSourcePulse);  // PWL's values are kept meanwhile
    set(d, "slot1", "0");
    set(d, "slot2", "1");
    d.findChild<QComboBox*>("function")->setCurrentIndex(kSourcePwl);
    QCOMPARE(d.findChild<QLineEdit*>("slot1")->text(), QString("1m"));
    d.findChild<QComboBox*>("function")->setCurrentIndex(kSourcePulse);
    set(d, "name", QString(40, 'n'));
    d.accept();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(notify_.last(), std::string("V source name attribute truncated to limit of 31 characters."));
    std::string out;
    QCOMPARE(write_source_statement(out, v, "IN", "0"), 1);
    QCOMPARE(out, std::string("V1 IN 0 5 PULSE 0 1 \n"));
    QCOMPARE(source_values(v, kSourcePwl)[0], std::string("1m"));
    SourceDialog again(v, notify_);  // shows what was stored
    QCOMPARE(again.findChild<QLineEdit*>("slot2")->text(), QString("1"));
    QCOMPARE(again.findChild<QPlainTextEdit*>("points")->toPlainText(), QString("0,0\n0.001,1\n"));
  }

  void the_setup_comes_from_beside_the_schematic_and_goes_back_there() {
    const QString sch = dir_.filePath("lowpass.sch"), sim = dir_.filePath("lowpass.SIM");
    QVERIFY(QFile::copy(ZEPHYRIM_SOURCE_DIR "/examples/rc_lowpass.sch", sch));
    QVERIFY(QFile::copy(ZEPHYRIM_SOURCE_DIR "/examples/rc_lowpass.SIM", sim));
    QVERIFY(w_->files().open_file(sch));
    QCOMPARE(w_->simulation().setup().tran_stop, 10e-3);
    on_dialog<QDialog>([](QDialog& d) {
      QCOMPARE(d.objectName(), QString("SIMSET_MAIN_DLG"));
      d.findChild<QCheckBox*>("dc")->setChecked(true);
      d.accept();
    });
    key(Qt::Key_F8);
    QCOMPARE(w_->simulation().setup().dc, int16_t(1));
    SimulationSetup stored;
    QVERIFY(load_setup(stored, sim.toStdString(), notify_));  // saved at once: the schematic has a name
    QCOMPARE(stored.dc, int16_t(1));
    QVERIFY(w_->files().save_to(dir_.filePath("lowpass_copy.sch")));  // a new name takes its setup along
    QVERIFY(load_setup(stored, dir_.filePath("lowpass_copy.SIM").toStdString(), notify_));
    QCOMPARE(stored.tran_stop, 10e-3);
    w_->action(kCmdNew)->trigger();
    QCOMPARE(w_->simulation().setup().tran, int16_t(0));
  }

  void pages_are_deleted_only_after_the_question() {
    w_->action(kCmdPageNew)->trigger();
    w_->action(kCmdPageNew)->trigger();
    QCOMPARE(w_->schematic().page_count(), 3);
    PageListDialog d(w_->schematic(), notify_);
    notify_.answer(0);
    QVERIFY(!d.delete_chosen());  // page 3 is current; the answer was no
    QCOMPARE(notify_.last(), std::string("Are you sure you want to delete page 3?"));
    notify_.answer(1);
    QVERIFY(d.delete_chosen());
    QCOMPARE(w_->schematic().page_count(), 2);
  }

  void a_subcircuit_is_made_opened_edited_and_closed() {
    place(Qt::Key_Insert, "R", {200, 96});
    click({200, 98});
    on_dialog<SubcktOptionsDialog>([](SubcktOptionsDialog& d) {
      QCOMPARE(d.windowTitle(), QString("New SUBCKT Options"));
      set(d, "name", "AMP");
      d.accept();
    });
    w_->action(kCmdSubcktNew)->trigger();
    w_->activateWindow();  // the keys go to the main window again once the dialog is gone
    QVERIFY(QTest::qWaitForWindowActive(w_.get()));
    QCOMPARE(page().blocks.size(), size_t(2));
    BlockRecord* amp = page().blocks[1].get();
    QCOMPARE(amp->name.str(), std::string("AMP"));
    QCOMPARE(page().parts[0]->owner, amp);

    click({200, 98});
    key(Qt::Key_F5);
    QCOMPARE(page().edit_block, amp);
    QCOMPARE(w_->findChild<QLabel*>("QUIL_STATUS_CHILD")->text(), QString(" SUBCKT OPEN:  AMP"));
    place(Qt::Key_Insert, "R", {200, 200});  // edited inside the block
    QCOMPARE(page().parts[1]->owner, amp);
    key(Qt::Key_F5, Qt::ControlModifier);
    QCOMPARE(page().edit_block, page().top());

    // Copied and pasted on the same page, the block needs another name.
    select_scope(page(), amp);
    key(Qt::Key_C, Qt::ControlModifier);
    notify_.reply("AMP2");
    key(Qt::Key_V, Qt::ControlModifier);
    QVERIFY(notify_.saw("Already exists! Enter new name:") || page().blocks.size() == 3);
    QCOMPARE(page().blocks.size(), size_t(3));
    QCOMPARE(page().blocks[2]->name.str(), std::string("AMP2"));
    QCOMPARE(page().parts.size(), size_t(4));
    key(Qt::Key_Backspace, Qt::AltModifier);  // a paste is undone whole
    QCOMPARE(page().parts.size(), size_t(2));
  }

  void the_auto_save_timer_writes_the_file() {
    const QString path = dir_.filePath("auto.sch");
    place(Qt::Key_Insert, "R", {200, 96});
    QVERIFY(w_->files().save_to(path));
    const QDateTime first = QFileInfo(path).lastModified();
    place(Qt::Key_Insert, "R", {200, 200});
    QVERIFY(w_->schematic().modified);
    w_->files().set_auto_save_interval_ms(20);
    QTRY_VERIFY_WITH_TIMEOUT(!w_->schematic().modified, 5000);
    RecordingNotify n;
    SchematicLoad l = schematic_load(path.toStdString(), n);
    QVERIFY(l.schematic);
    QCOMPARE(l.schematic->page().parts.size(), size_t(2));
    QVERIFY(QFileInfo(path).lastModified() >= first);
    w_->files().set_auto_save(false, 15, false);  // off: nothing more is written
  }

  void the_page_is_copied_to_the_clipboard_as_pictures() {
    place(Qt::Key_Insert, "R", {200, 96});
    w_->action(kCmdCopySchematic)->trigger();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data && data->hasImage());
    QCOMPARE(qvariant_cast<QImage>(data->imageData()).size(), QSize(1600, 1200));
    QVERIFY(data->data("image/svg+xml").contains("<svg"));
    w_->action(kCmdCopyScreen)->trigger();
    QCOMPARE(qvariant_cast<QImage>(QGuiApplication::clipboard()->mimeData()->imageData()).size(),
             w_->sheet()->viewport()->size());
  }

  void library_links_keep_the_automatic_ones() {
    Schematic& s = w_->schematic();
    auto automatic = std::make_unique<LibraryLink>();
    automatic->scope = kLinkSymbol;
    automatic->texts[0] = "models/q.lib";
    s.links.push_back(std::move(automatic));
    LibraryLinksDialog d(s);
    d.add_link("project.inc", kLinkInc);
    d.add_link("", kLinkLib);  // an empty row is dropped
    d.accept();
    QCOMPARE(s.links.size(), size_t(2));
    QCOMPARE(s.links[0]->scope, int(kLinkSymbol));
    QCOMPARE(s.links[1]->kind, int(kLinkInc));
    QCOMPARE(*s.links[1]->file(), std::string("project.inc"));
    LibraryLinksDialog again(s);  // shows the project link again
    again.accept();
    QCOMPARE(s.links.size(), size_t(2));
  }

  void the_configuration_is_read_at_start_and_written_at_exit() {
    const QString ini = dir_.filePath("ZEPHYRIM.INI");
    QFile f(ini);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(
        "[Tracery]\nRecentFile1=/data/run.raw\n\n[Schematic]\nAutoJunctionMode=0\nWireColor=12\n"
        "RecentFile1=/work/old.sch\n");
    f.close();
    w_->load_config(dir_.path().toStdString(), [](const char*) { return std::optional<std::string>(); });
    QVERIFY(!w_->session().auto_junction);
    QCOMPARE(w_->files().recent_files().front(), QString("/work/old.sch"));
    QCOMPARE(w_->action(kCmdRecent1)->isVisible(), true);
    place(Qt::Key_Insert, "R", {200, 96});
    QVERIFY(w_->files().save_to(dir_.filePath("cfg.sch")));
    w_->action(kCmdAutoJunction)->trigger();  // back on
    QVERIFY(w_->close());

    IniFile written = IniFile::load(ini.toStdString());
    QCOMPARE(written.get_string("Tracery", "RecentFile1", ""), std::string("/data/run.raw"));
    QCOMPARE(written.get_int("Schematic", "AutoJunctionMode", -1), 1);
    QCOMPARE(written.get_int("Schematic", "WireColor", -1), 12);  // not written, kept
    QCOMPARE(written.get_string("Schematic", "RecentFile1", ""),
             QFileInfo(dir_.filePath("cfg.sch")).absoluteFilePath().toStdString());
    QCOMPARE(written.get_string("Schematic", "RecentFile2", ""), std::string("/work/old.sch"));
    QCOMPARE(written.get_string("JobStatus", "WorkType", ""), std::string("0"));
  }

  void find_selects_what_it_finds() {
    QVERIFY(w_->files().open_file(ZEPHYRIM_SOURCE_DIR "/examples/amplifier.sch"));
    on_dialog<FindDialog>([](FindDialog& d) {
      set(d, "what", "RE");
      d.accept();
    });
    key(Qt::Key_F, Qt::ControlModifier);
    QVERIFY(notify_.last().rfind("Part RE found at [", 0) == 0);
    int selected = 0;
    for (const auto& p : page().parts) selected += p->selected;
    QCOMPARE(selected, 1);
  }

  void block_parameters_and_pin_order_are_edited() {
    QVERIFY(w_->files().open_file(ZEPHYRIM_SOURCE_DIR "/examples/opamp_two_page.sch"));
    w_->action(kCmdPageNext)->trigger();
    BlockRecord& block = *page().blocks.at(1);
    SubcktParamsDialog params(w_->schematic(), block, notify_);
    params.add_row("GAIN", 100e3, "open-loop gain");
    params.accept();
    QCOMPARE(subckt_params(block).back().name, std::string("GAIN"));
    const auto pins = subckt_io_pins(w_->schematic(), &block);
    QVERIFY(pins.size() >= 2);
    SubcktPinsDialog order(w_->schematic(), block);
    order.list()->setCurrentRow(0);
    order.move_current(1);
    order.accept();
    const auto after = subckt_io_pins(w_->schematic(), &block);
    QCOMPARE(after[0], pins[1]);
    QCOMPARE(after[1], pins[0]);
    QVERIFY(w_->schematic().modified);
  }

  void node_numbers_are_shown_from_a_connectivity_pass() {
    QVERIFY(w_->files().open_file(ZEPHYRIM_SOURCE_DIR "/examples/rc_lowpass.sch"));
    const QImage before = w_->sheet()->viewport()->grab().toImage();
    key(Qt::Key_N, Qt::AltModifier);
    QVERIFY(w_->action(kCmdNodeNumbers)->isChecked());
    const QImage after = w_->sheet()->viewport()->grab().toImage();
    QVERIFY(after != before);
    for (const auto& wire : page().wires) QVERIFY(wire->node >= 0);
    key(Qt::Key_N, Qt::AltModifier);
    QCOMPARE(page().settings.show_nodes, 0);
  }

  void the_command_line_opens_one_file_and_warns_of_more() {
    w_->apply_command_line({"-zss", ZEPHYRIM_SOURCE_DIR "/examples/amplifier.sch", "extra.sch"});
    QCOMPARE(page().parts.size(), size_t(11));
    QCOMPARE(notify_.last(), std::string("Invalid command line option(s) ignored"));
  }
};

QTEST_MAIN(EditorTest)
#include "editor_test.moc"
