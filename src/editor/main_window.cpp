#include "editor/main_window.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCloseEvent>
#include <QDate>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QSvgGenerator>
#include <QTimer>
#include <algorithm>

#include "common/file_io.h"
#include "common/text_format.h"
#include "editing/subckt.h"
#include "editor/command_table.h"
#include "editor/dialogs.h"
#include "editor/setup_dialogs.h"
#include "editor/sheet_view.h"
#include "editor/symbol_chooser.h"
#include "platform/broadcast.h"
#include "platform/qt/broadcast_notifier.h"
#include "render/page_painter.h"
#include "schematic/schematic_file.h"

namespace zephyrim {

namespace {

constexpr const char* kFilter = "Schematic files(*.sch)";

}  // namespace

EditorMainWindow::EditorMainWindow(Notify* notify, QWidget* parent) : QMainWindow(parent) {
  setObjectName("QUILL");
  if (!notify) {
    own_notify_ = std::make_unique<QtNotify>(kSchematicTitle, this);
    notify = own_notify_.get();
  }
  notify_ = notify;
  session_ = std::make_unique<EditSession>(*notify_);
  schematic().path = "untitled.sch";

  sheet_ = new SheetView(*session_, this);
  setCentralWidget(sheet_);
  broadcast_ = new BroadcastNotifier("quill32", this);
  connect(broadcast_, &BroadcastNotifier::received, this, &EditorMainWindow::broadcast_received);
  status_ = new QLabel(this);
  status_->setObjectName("QUIL_STATUS_CHILD");
  page_status_ = new QLabel(this);
  statusBar()->addWidget(status_, 1);
  statusBar()->addPermanentWidget(page_status_);
  connect(sheet_, &SheetView::status_changed, this, &EditorMainWindow::refresh_status);
  connect(sheet_, &SheetView::part_double_clicked, this, &EditorMainWindow::edit_attributes);
  busy_ = new QLabel(this);
  busy_->setObjectName("STATUS_MESSAGE_CHILD");
  busy_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  busy_->setMargin(12);
  busy_->setAutoFillBackground(true);
  busy_->hide();
  auto_save_timer_ = new QTimer(this);
  connect(auto_save_timer_, &QTimer::timeout, this, &EditorMainWindow::auto_save);
  set_auto_save(true, 15, false);

  ask_file_name = [this](bool save) {
    return save ? QFileDialog::getSaveFileName(this, "Save Schematic As", QString(), kFilter)
                : QFileDialog::getOpenFileName(this, "Open Schematic File", QString(), kFilter);
  };
  ask_netlist_name = [this](int& filter) {
    const QStringList filters = {"Circuit files(*.cir)", "Subcircuit model files(*.mod *.sub *.txt)",
                                 "Subcircuit library files(*.lib)"};
    QString chosen = filters[0];
    const QString name = QFileDialog::getSaveFileName(this, "Netlist As", QString(), filters.join(";;"),
                                                      &chosen, QFileDialog::DontConfirmOverwrite);
    filter = std::max<int>(0, static_cast<int>(filters.indexOf(chosen)));
    return name;
  };
  launch = [this](const std::vector<std::string>& argv) {
    QStringList args;
    for (size_t i = 1; i < argv.size(); ++i) args << QString::fromStdString(argv[i]);
    const QString program = QString::fromStdString(argv.empty() ? std::string() : argv[0]);
    const QString folder = QFileInfo(QString::fromStdString(schematic().path)).absolutePath();
    if (!program.isEmpty() && QProcess::startDetached(program, args, folder)) {
      task_pending_ = true;
      return true;
    }
    QString line = program;
    for (const QString& a : args) line += " \"" + a + "\"";
    // What the start failed on: a program that is not there, or one that would not run.
    const int code =
        QStandardPaths::findExecutable(program).isEmpty() && !QFileInfo(program).isExecutable() ? 2 : 1;
    notify_->error(QString("Command: %1 failed.\nError code %2").arg(line).arg(code).toStdString());
    return false;
  };
  ask_symbol = [this](int kind) -> std::optional<std::string> {
    const SymbolLibrary* lib = library();
    if (!lib) return std::nullopt;
    SymbolChooser chooser(*lib, kind, this);
    if (chooser.exec() != QDialog::Accepted) return std::nullopt;
    return chooser.chosen();
  };

  // The default library lives with the program unless the configuration says otherwise.
  set_library_path((QCoreApplication::applicationDirPath() + "/default.sym").toStdString());
  build_menus();
  resize(1000, 700);
  update_caption();
  refresh_status();
}

EditorMainWindow::~EditorMainWindow() = default;

QAction* EditorMainWindow::action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void EditorMainWindow::build_menus() {
  std::map<QString, QMenu*> menus;
  auto menu_for = [&](const QString& path) {
    QMenu* parent = nullptr;
    QString sofar;
    for (const QString& part : path.split('/')) {
      sofar += (sofar.isEmpty() ? "" : "/") + part;
      QMenu*& m = menus[sofar];
      if (!m) m = parent ? parent->addMenu(part) : menuBar()->addMenu(part);
      parent = m;
    }
    return parent;
  };
  for (const EditorCommand& c : editor_commands()) {
    QMenu* menu = menu_for(QString::fromLatin1(c.menu));
    if (c.id == 0) {
      menu->addSeparator();
      continue;
    }
    QAction* a = menu->addAction(QString::fromLatin1(c.text));
    a->setData(c.id);
    if (*c.accelerator) a->setShortcut(QKeySequence(QString::fromLatin1(c.accelerator)));
    a->setStatusTip(QString::fromLatin1(c.tip));
    a->setCheckable(c.checkable);
    a->setEnabled(c.built);
    const int id = c.id;
    connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
    actions_[id] = a;
  }
  for (const auto& [path, m] : menus)
    connect(m, &QMenu::aboutToShow, this, &EditorMainWindow::refresh_checks);
  set_recent_files({});
  refresh_checks();
}

void EditorMainWindow::refresh_checks() {
  const EditSession& e = *session_;
  const int modes[] = {kCmdSelectObject, kCmdSelectGroup, kCmdSelectSubckt, kCmdSelectArea, kCmdSelectAll};
  for (int m = 0; m < 5; ++m) action(modes[m])->setChecked(e.select_mode() == m);
  action(kCmdInsertWire)->setChecked(e.state() == kStateWire);
  action(kCmdInsertJunction)->setChecked(e.state() == kStateJunction);
  action(kCmdInsertLabel)->setChecked(e.state() == kStateLabel);
  action(kCmdInsertText)->setChecked(e.state() == kStateText);
  action(kCmdAutoPan)->setChecked(sheet_->auto_pan);
  action(kCmdAutoJunction)->setChecked(e.auto_junction);
  action(kCmdRubberBand)->setChecked(e.rubber_band);
  action(kCmdNodeNumbers)->setChecked(schematic().page().settings.show_nodes == 1);
  for (int engine = kEngineDefault; engine <= kEngineOther; ++engine)
    action(kCmdEngineDefault + engine)->setChecked(config_.simulator_option == engine);
  action(kCmdRun)->setText(QString::fromLatin1(run_item_label(effective_engine(config_))));
}

void EditorMainWindow::refresh_status() {
  status_->setText(QString::fromStdString(session_->status_text()));
  page_status_->setText(
      QString::asprintf("Page %d of %d", schematic().current_page() + 1, schematic().page_count()));
  refresh_checks();
}

void EditorMainWindow::update_caption() {
  const QString title = QString::fromLatin1(kSchematicTitle);
  if (!named_) {
    setWindowTitle(title + " - (new)");
    return;
  }
  // Program title, then the folder with its separator and the file name.
  const QFileInfo f(QString::fromStdString(schematic().path));
  setWindowTitle(QString("%1 - %2%3").arg(title, f.absolutePath() + "/", f.fileName()));
}

void EditorMainWindow::set_recent_files(std::vector<QString> files) {
  if (files.size() > kRecentFiles) files.resize(kRecentFiles);
  recent_ = std::move(files);
  for (int k = 0; k < kRecentFiles; ++k) {
    QAction* a = action(kCmdRecent1 + k);
    const bool have = k < static_cast<int>(recent_.size());
    a->setVisible(have);
    if (have) a->setText(QString("&%1 %2").arg(k + 1).arg(recent_[k]));
  }
}

void EditorMainWindow::add_recent(const QString& path) {
  std::vector<QString> files{QFileInfo(path).absoluteFilePath()};
  for (const QString& f : recent_)
    if (f != files[0]) files.push_back(f);
  set_recent_files(std::move(files));
}

void EditorMainWindow::load_config(const std::string& program_dir, const EnvLookup& env) {
  config_ = config_load(program_dir, env, *notify_);
  config_loaded_ = true;
  const EditorConfig& c = config_;
  set_library_path(c.symbol_library_path + "/default.sym");
  sheet_->auto_pan = c.auto_pan_mode != 0;
  session_->auto_junction = c.auto_junction_mode != 0;
  session_->rubber_band = c.rubber_band_mode != 0;
  // A configured colour index replaces the built-in one of its kind.
  auto pick = [](int configured, int32_t built_in) { return configured >= 0 ? configured : built_in; };
  colors_ = ObjectColors{};
  colors_.wire = pick(c.wire_color, colors_.wire);
  colors_.symbol = pick(c.symbol_color, colors_.symbol);
  colors_.junction = pick(c.junction_color, colors_.junction);
  colors_.label = pick(c.label_color, colors_.label);
  colors_.text = pick(c.text_color, colors_.text);
  schematic().colors = colors_;
  if (!c.builtin_font()) {
    QFont f(QString::fromStdString(c.last_font_name));
    if (c.last_font_options) f.setItalic((*c.last_font_options)[0] != 0);
    sheet_->text_font = f;
  } else {
    sheet_->text_font.reset();
  }
  std::vector<QString> recent;
  for (const std::string& f : c.recent_files) recent.push_back(QString::fromStdString(f));
  set_recent_files(std::move(recent));
  set_auto_save(c.auto_save_mode != 0, auto_save_interval_minutes(c), c.auto_save_run != 0);
  refresh_checks();
}

bool EditorMainWindow::save_config() {
  EditorConfig& c = config_;
  c.auto_pan_mode = sheet_->auto_pan ? 1 : 0;
  c.auto_junction_mode = session_->auto_junction ? 1 : 0;
  c.rubber_band_mode = session_->rubber_band ? 1 : 0;
  if (sheet_->text_font) {
    const QFont& f = *sheet_->text_font;
    c.last_font_name = f.family().toStdString();
    c.last_font_size = FontSize{f.pixelSize() > 0 ? f.pixelSize() : f.pointSize(), 0, 0, 0, f.weight()};
    c.last_font_options =
        FontOptions{f.italic() ? 1 : 0, f.underline() ? 1 : 0, f.strikeOut() ? 1 : 0, 0, 0, 0, 0, 0};
  } else {
    c.last_font_name = kDefaultFontName;
  }
  c.auto_save_mode = auto_save_on_ ? 1 : 0;
  c.auto_save_timer = auto_save_minutes_;
  c.auto_save_run = auto_save_run_ ? 1 : 0;
  c.recent_files.clear();
  for (const QString& f : recent_) c.recent_files.push_back(f.toStdString());
  const QFileInfo file(QString::fromStdString(schematic().path));
  c.last_path = file.absolutePath().toStdString();
  c.last_file = file.absoluteFilePath().toStdString();
  c.last_title = schematic().pages.front()->title.title1.str();
  if (config_save(c, c.ini_path)) return true;
  notify_->error(kCannotWriteIni);
  return false;
}

void EditorMainWindow::set_library_path(const std::string& path) {
  library_path_ = path;
  library_.reset();
}

const SymbolLibrary* EditorMainWindow::library() {
  if (!library_) {
    SymbolLibrary lib;
    if (!library_open(lib, library_path_, *notify_)) return nullptr;
    library_ = std::move(lib);
  }
  return &*library_;
}

bool EditorMainWindow::place_symbol(const std::string& name, int state) {
  Schematic& s = schematic();
  // A symbol already in the schematic is placed again as it is.
  for (const SymbolTableEntry& e : s.symbols.entries)
    if (e.definition && e.name.str() == name && e.origin != kOriginBlock) {
      session_->begin_place(e.definition.get(), state);
      refresh_status();
      return true;
    }
  const SymbolLibrary* lib = library();
  if (!lib) return false;
  auto def = symbol_load_named(*lib, name, *notify_);
  if (!def) return false;
  const int at = symtab_add(s, name, std::move(def), kOriginLibrary, *notify_);
  if (at < 0) return false;
  session_->begin_place(s.symbols.entries[at].definition.get(), state);
  refresh_status();
  return true;
}

void EditorMainWindow::insert_of_kind(int kind, int state) {
  if (auto name = ask_symbol(kind)) place_symbol(*name, state);
}

void EditorMainWindow::schematic_replaced() {
  sheet_->page_changed();
  update_caption();
  refresh_status();
}

void EditorMainWindow::show_busy(const QString& text) {
  if (text.isEmpty()) {
    busy_->hide();
    return;
  }
  busy_->setText(text);
  busy_->adjustSize();
  busy_->move((width() - busy_->width()) / 2, (height() - busy_->height()) / 2);
  busy_->show();
  busy_->raise();
  busy_->repaint();  // shown before the work starts, not after
}

bool EditorMainWindow::open_file(const QString& path) {
  show_busy("Loading " + QFileInfo(path).fileName() + "...");
  SchematicLoad l = schematic_load(path.toStdString(), *notify_, true, colors_);
  show_busy({});
  if (!l.schematic) return false;
  l.schematic->path = path.toStdString();
  session_->set_schematic(std::move(l.schematic));
  named_ = true;
  // A schematic without a setup file starts from the defaults.
  load_setup(setup_, schematic_sibling(path.toStdString(), "SIM"), *notify_);
  setup_changed_ = false;
  set_auto_save(auto_save_on_, auto_save_minutes_, auto_save_run_);
  add_recent(path);
  schematic_replaced();
  return true;
}

bool EditorMainWindow::save_to(const QString& path) {
  Schematic& s = schematic();
  show_busy("Saving " + QFileInfo(path).fileName() + "...");
  saving_ = true;
  session_->before_save();
  const int saved = schematic_save(s, path.toStdString(), *notify_);
  session_->after_save();
  saving_ = false;
  show_busy({});
  sheet_->refresh();
  if (saved != 0) return false;
  if (setup_changed_ || path.toStdString() != s.path) save_setup_beside(path);
  s.path = path.toStdString();
  s.modified = false;
  named_ = true;
  add_recent(path);
  update_caption();
  return true;
}

bool EditorMainWindow::save_as() {
  const QString path = ask_file_name(true);
  if (path.isEmpty()) return false;
  return save_to(path);
}

bool EditorMainWindow::offer_save() {
  if (!schematic().modified) return true;
  const int answer = notify_->question("Schematic has been modified. Save?", QuestionKind::YesNoCancel);
  if (answer < 0) return false;
  if (answer == 0) return true;
  return named_ ? save_to(QString::fromStdString(schematic().path)) : save_as();
}

void EditorMainWindow::go_to_page(int n) {
  Schematic& s = schematic();
  subckt_close(s, *notify_);  // an open subcircuit is closed first
  if (n == s.current_page()) {
    session_->page_changed();
    sheet_->refresh();
    refresh_status();
    return;
  }
  if (!page_select(s, n, *notify_)) return;
  session_->cancel();
  session_->page_changed();
  sheet_->page_changed();
  refresh_status();
}

void EditorMainWindow::apply_command_line(const QStringList& words) {
  int files = 0;
  for (const QString& w : words) {
    if (w == "-showMax") {
      showMaximized();
    } else if (w.startsWith('-')) {
      continue;  // "-zss" from a simulation run, and anything unknown
    } else if (files++ == 0) {
      open_file(w);
    }
  }
  if (files > 1) notify_->warning("Invalid command line option(s) ignored");
}

void EditorMainWindow::run_command(int id) {
  EditSession& e = *session_;
  Schematic& s = schematic();
  switch (id) {
    case kCmdNew:
      if (!offer_save()) return;
      e.set_schematic(schematic_new(new_schematic_name([](const std::string& name) { return QFileInfo::exists(QString::fromStdString(name)); })));
      schematic().colors = colors_;
      named_ = false;
      reset_setup(setup_);
      setup_changed_ = false;
      schematic_replaced();
      set_auto_save(auto_save_on_, auto_save_minutes_, auto_save_run_);
      return;
    case kCmdOpen: {
      if (!offer_save()) return;
      const QString path = ask_file_name(false);
      if (!path.isEmpty()) open_file(path);
      return;
    }
    case kCmdSave:
      if (named_)
        save_to(QString::fromStdString(s.path));
      else
        save_as();
      return;
    case kCmdSaveAs:
      save_as();
      return;
    case kCmdQuit:
      close();
      return;
    case kCmdPageNew:
      subckt_close(s, *notify_);
      if (page_add(s, *notify_)) {
        e.page_changed();
        sheet_->page_changed();
      }
      break;
    case kCmdPagePrevious:
      if (s.current_page() > 0) go_to_page(s.current_page() - 1);
      break;
    case kCmdPageNext:
      if (s.current_page() + 1 < s.page_count()) go_to_page(s.current_page() + 1);
      break;
    case kCmdPageFirst:
      go_to_page(0);
      break;
    case kCmdSelectObject:
      e.set_select_mode(kSelectObject);
      break;
    case kCmdSelectGroup:
      e.set_select_mode(kSelectGroup);
      break;
    case kCmdSelectArea:
      e.set_select_mode(kSelectArea);
      break;
    case kCmdSelectSubckt:
      e.set_select_mode(kSelectSubckt);
      break;
    case kCmdSelectAll:
      e.set_select_mode(kSelectAll);
      break;
    case kCmdClearSelection:
      e.cancel();
      e.clear_selection();
      break;
    case kCmdUndo:
      e.undo();
      break;
    case kCmdMove:
      e.begin_move(e.rubber_band);
      break;
    case kCmdMoveOnly:
      e.begin_move(false);
      break;
    case kCmdDelete:
      // In subcircuit mode a selected block goes as a whole, after a question.
      if (e.select_mode() == kSelectSubckt && selection_count(s.page()) > 0) {
        RecordingNotify quiet;
        if (BlockRecord* b = subckt_selected(s, quiet)) {
          undo_snapshot(e.undo_record(), s);
          if (subckt_delete(s, b, *notify_)) e.page_changed();
          break;
        }
      }
      e.delete_selection();
      break;
    case kCmdRotate:
      e.orient(kStepRotate);
      break;
    case kCmdMirror:
      e.orient(kStepMirror);
      break;
    case kCmdFlip:
      e.orient(kStepFlip);
      break;
    case kCmdDisable:
      e.disable(true);
      break;
    case kCmdEnable:
      e.disable(false);
      break;
    case kCmdEnableAll:
      e.enable_everything();
      break;
    case kCmdZoomIn:
      sheet_->zoom_in();
      break;
    case kCmdZoomOut:
      sheet_->zoom_out();
      break;
    case kCmdZoomArea:
      e.toggle_state(kStateZoomDrag);
      break;
    case kCmdFullPage:
      sheet_->zoom_fit();
      break;
    case kCmdRefresh:
      break;
    case kCmdInsertWire:
      e.toggle_state(kStateWire);
      break;
    case kCmdInsertJunction:
      e.toggle_state(kStateJunction);
      break;
    case kCmdInsertLabel:
      e.toggle_state(kStateLabel);
      break;
    case kCmdInsertText:
      e.toggle_state(kStateText);
      break;
    case kCmdInsertGround:
      insert_of_kind(kSymbolGround, kStatePlaceGround);
      break;
    case kCmdInsertRail:
      insert_of_kind(kSymbolPowerRail, kStatePlaceRail);
      break;
    case kCmdInsertPin:
      insert_of_kind(kSymbolIoPin, kStatePlacePin);
      break;
    case kCmdInsertPart:
      insert_of_kind(0, kStatePlacePart);
      break;
    case kCmdAutoPan:
      sheet_->auto_pan = !sheet_->auto_pan;
      break;
    case kCmdAutoJunction:
      e.auto_junction = !e.auto_junction;
      break;
    case kCmdRubberBand:
      e.rubber_band = !e.rubber_band;
      break;
    case kCmdRedoConnections:
      e.redo_all_connections();
      break;
    case kCmdAttributes:
      edit_attributes(-1);
      break;
    case kCmdTitleBlock: {
      TitleBlockDialog d(s, this);
      d.exec();
      break;
    }
    case kCmdPageList: {
      PageListDialog d(s, *notify_, this);
      const int pages = s.page_count();
      const bool open = d.exec() == QDialog::Accepted;
      if (s.page_count() != pages) {
        // A deleted page may have been the one the undo record was taken on.
        undo_clear(e.undo_record());
        e.page_changed();
        sheet_->page_changed();
      }
      if (open) go_to_page(d.chosen_page());
      break;
    }
    case kCmdSubcktNew:
    case kCmdSubcktOpen:
    case kCmdSubcktClose:
    case kCmdSubcktOptions:
      subckt_command(id);
      break;
    case kCmdChooseFont: {
      bool ok = false;
      const QFont f = QFontDialog::getFont(&ok, sheet_->text_font.value_or(font()), this, "Choose Font");
      if (ok) sheet_->text_font = f;
      break;
    }
    case kCmdDefaultFont:
      sheet_->text_font.reset();
      break;
    case kCmdFind:
      find();
      break;
    case kCmdSimSetup:
      edit_setup();
      break;
    case kCmdNodeNumbers: {
      int32_t& shown = s.page().settings.show_nodes;
      shown = shown == 1 ? 0 : 1;
      break;
    }
    case kCmdModelLinks: {
      LibraryLinksDialog d(s, this);
      d.exec();
      break;
    }
    case kCmdDrawOptions: {
      DrawingOptionsDialog d(s, this);
      if (d.exec() == QDialog::Accepted) sheet_->page_changed();
      break;
    }
    case kCmdAutoSave: {
      AutoSaveDialog d(auto_save_on_, auto_save_minutes_, auto_save_run_, this);
      if (d.exec() == QDialog::Accepted) set_auto_save(d.on(), d.minutes(), d.before_run());
      break;
    }
    case kCmdCopySchematic:
      copy_to_clipboard(false);
      break;
    case kCmdCopyScreen:
      copy_to_clipboard(true);
      break;
    case kCmdCut:
    case kCmdCopy:
    case kCmdPaste:
      clipboard_command(id);
      break;
    default:
      if (id >= kCmdRecent1 && id <= kCmdRecent5) {
        const size_t k = static_cast<size_t>(id - kCmdRecent1);
        if (k < recent_.size() && offer_save()) open_file(recent_[k]);
        return;
      }
      return;  // commands of later work are disabled in the menu
  }
  sheet_->refresh();
  refresh_status();
}

void EditorMainWindow::set_auto_save(bool on, int minutes, bool before_run) {
  auto_save_on_ = on;
  auto_save_minutes_ = std::clamp(minutes, 0, 100);
  auto_save_run_ = before_run;
  auto_save_timer_->stop();
  if (auto_save_on_ && auto_save_minutes_ > 0) auto_save_timer_->start(auto_save_minutes_ * 60 * 1000);
}

void EditorMainWindow::set_auto_save_interval_ms(int ms) {
  if (auto_save_timer_->isActive()) auto_save_timer_->start(ms);
}

void EditorMainWindow::auto_save() {
  // Only a schematic with a name of its own is saved behind the user's back.
  if (!schematic().modified || !named_) return;
  // Never in the middle of a save, a dialog or a question: the model may be half changed.
  if (saving_ || QApplication::activeModalWidget()) return;
  show_busy("AUTO SAVE IN PROGRESS...");
  saving_ = true;
  session_->before_save();
  const int saved = schematic_save(schematic(), schematic().path, *notify_);
  session_->after_save();
  saving_ = false;
  show_busy({});
  sheet_->refresh();
  if (saved == 0) schematic().modified = false;
  update_caption();
}

void EditorMainWindow::edit_attributes(int index) {
  Page& page = schematic().page();
  const auto selected_parts =
      std::count_if(page.parts.begin(), page.parts.end(), [](const auto& p) { return p->selected; });
  if (index >= 0 && selected_parts > 1) {
    notify_->error("Must select a single part (use select object mode)");
    return;
  }
  if (index < 0) {
    int selected = 0;
    for (size_t i = 0; i < page.parts.size(); ++i)
      if (page.parts[i]->selected) {
        ++selected;
        index = static_cast<int>(i);
      }
    if (selected == 0) {
      notify_->error("No object selected");
      return;
    }
    if (selected > 1) {
      notify_->error("Must select a single part (use select object mode)");
      return;
    }
  }
  if (index < 0 || index >= static_cast<int>(page.parts.size())) return;
  undo_snapshot(session_->undo_record(), schematic());
  PartAttributesDialog d(schematic(), *page.parts[index], *notify_, this);
  if (d.exec() == QDialog::Accepted) session_->page_changed();  // a new reference changes the counters
  sheet_->refresh();
  refresh_status();
}

int EditorMainWindow::compile(int mode, const NetlistFiles& files, const std::string& model_name) {
  NetlistOptions o;
  o.mode = mode;
  o.files = files;
  o.setup = &setup_;
  o.commands.default_simulator = config_.simulator_option == kEngineDefault;
  o.model_name = model_name;
  show_busy("Compiling SPICE netlist...");
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const int r = compile_netlist(schematic(), o, *notify_);
  QApplication::restoreOverrideCursor();
  show_busy({});
  sheet_->refresh();
  return r;
}

bool EditorMainWindow::open_text_tool(const std::string& configured, const std::string& file) {
  std::vector<std::string> argv =
      text_tool_command(configured, [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v && *v ? std::optional<std::string>(v) : std::nullopt;
      });
  argv.push_back(file);
  return launch(argv);
}

void EditorMainWindow::netlist_command(int id) {
  Schematic& s = schematic();
  const NetlistFiles files = netlist_files(s.path);
  auto in_folder = [&](const std::string& name) {
    return files.folder.empty() ? name : files.folder + "/" + name;
  };
  switch (id) {
    case kCmdRun:
      // A subcircuit open for editing is closed first.
      if (s.page().edit_block != s.page().top()) subckt_close(s, *notify_);
      run_simulation();
      break;
    case kCmdEngineDefault:
    case kCmdEngineXspice:
    case kCmdEngineSpice3:
    case kCmdEngineOther:
      config_set_engine(config_, id - kCmdEngineDefault, config_loaded_ ? config_.ini_path : std::string());
      refresh_checks();
      break;
    case kCmdPlot:
    case kCmdBrowseOut:
      open_output(id == kCmdPlot);
      break;
    case kCmdViewCir:
      if (compile(kNetlistRun, files) > 0) open_text_tool(config_.edit_file_command, files.netlist);
      break;
    case kCmdViewMap:
      if (file_exists(files.map))
        open_text_tool(config_.browse_file_command, files.map);
      else
        notify_->information(
            "Cross reference map file not available.\nRun View Circuit File or Run Simlation command first.");
      break;
    case kCmdViewCmd: {
      AnalysisCommandOptions options;
      options.default_simulator = config_.simulator_option == kEngineDefault;
      const std::string cmd = in_folder(files.base + ".CMD");
      if (write_analysis_commands(&setup_, cmd, analysis_commands_title(), options, *notify_) != 0)
        open_text_tool(config_.edit_file_command, cmd);
      break;
    }
    case kCmdOpenMis:
      open_text_tool(config_.edit_file_command, in_folder(files.base + ".MIS"));
      break;
    case kCmdNetlistAs: {
      int filter = 0;
      const QString name = ask_netlist_name(filter);
      if (name.isEmpty()) break;
      NetlistFiles target = files;
      target.netlist = name.toStdString();
      if (filter == 0) {
        compile(kNetlistRun, target);
      } else {
        const int mode = filter == 2 && QFileInfo::exists(name) ? kNetlistModelAppend : kNetlistModelNew;
        compile(mode, target, files.base);
      }
      break;
    }
    case kCmdSubcktSaveModel: {
      BlockRecord* block = subckt_selected(s, *notify_);
      if (!block) break;
      SubcktModelDialog d(block->name.str(), QString::fromStdString(in_folder(block->name.str() + ".mod")),
                          this);
      if (d.exec() != QDialog::Accepted || d.file().isEmpty()) break;
      NetlistFiles target = files;
      target.netlist = d.file().toStdString();
      NetlistOptions o;
      o.mode = d.append() ? kNetlistModelAppend : 0;
      o.files = target;
      show_busy("Compiling subcircuit SPICE netlist...");
      QApplication::setOverrideCursor(Qt::WaitCursor);
      const std::string date = QDate::currentDate().toString("dd-MMM-yyyy").toStdString();
      compile_subcircuit_model(s, *block, o, date, *notify_);
      QApplication::restoreOverrideCursor();
      show_busy({});
      sheet_->refresh();
      break;
    }
    default:
      break;
  }
}

void EditorMainWindow::edit_setup() {
  if (!edit_simulation_setup(setup_, *notify_, this)) return;
  setup_changed_ = true;
  if (named_) save_setup_beside(QString::fromStdString(schematic().path));
}

bool EditorMainWindow::save_setup_beside(const QString& schematic_path) {
  if (!save_setup(setup_, schematic_sibling(schematic_path.toStdString(), "SIM"), *notify_)) return false;
  setup_changed_ = false;
  return true;
}

void EditorMainWindow::subckt_command(int id) {
  Schematic& s = schematic();
  Page& page = s.page();
  switch (id) {
    case kCmdSubcktNew: {
      if (selection_count(page) == 0) {
        notify_->error("No object selected");
        return;
      }
      SubcktOptionsDialog d("", "", true, this);
      if (d.exec() != QDialog::Accepted) return;
      undo_snapshot(session_->undo_record(), s);
      if (BlockRecord* b = subckt_new(s, d.name(), *notify_); b && !d.text().empty()) b->text = d.text();
      break;
    }
    case kCmdSubcktOpen:
      if (BlockRecord* b = subckt_selected(s, *notify_)) subckt_open(s, b);
      break;
    case kCmdSubcktClose:
      subckt_close(s, *notify_);
      break;
    case kCmdSubcktOptions: {
      BlockRecord* b = page.edit_block != page.top() ? page.edit_block : subckt_selected(s, *notify_);
      if (!b) return;
      SubcktOptionsDialog d(b->name.str(), b->text.value_or(""), false, this);
      d.add_button("&Parameters...", [&] {
        SubcktParamsDialog p(s, *b, *notify_, &d);
        p.exec();
      });
      d.add_button("P&ins...", [&] {
        SubcktPinsDialog p(s, *b, &d);
        p.exec();
      });
      if (d.exec() != QDialog::Accepted) return;
      if (!subckt_name_valid(d.name())) {
        notify_->error("Invalid SUBCKT name");
        return;
      }
      if (BlockRecord* other = subckt_find(s, d.name()); other && other != b) {
        notify_->error(strprintf("Subcircuit %s already exists", d.name().c_str()));
        return;
      }
      b->name.assign(d.name());
      b->text = d.text().empty() ? std::nullopt : std::optional<std::string>(d.text());
      mark_changed(s, b);
      break;
    }
    default:
      return;
  }
  session_->page_changed();
}

void EditorMainWindow::clipboard_command(int id) {
  Schematic& s = schematic();
  if (id == kCmdCopy) {
    paste_copy(s, paste_, *notify_);
    return;
  }
  if (id == kCmdCut) {
    PasteBuffer taken;
    if (!paste_copy(s, taken, *notify_)) return;
    paste_ = std::move(taken);
    session_->delete_selection();  // takes the undo snapshot first
    return;
  }
  // Pasted two grid steps down and right of where it came from, selected, ready to be moved.
  if (paste_.empty()) {
    notify_->error("Paste buffer empty");
    return;
  }
  undo_snapshot(session_->undo_record(), s);
  paste_place(s, paste_, {paste_.origin.x + 2 * kGridStep, paste_.origin.y + 2 * kGridStep},
              session_->counters(), *notify_);
  session_->page_changed();
}

void EditorMainWindow::copy_to_clipboard(bool screen) {
  auto* data = new QMimeData;
  if (screen) {
    data->setImageData(sheet_->viewport()->grab().toImage());
  } else {
    // The page as a picture: a bitmap at 100 % and, for programs that take it, SVG.
    const Page& page = schematic().page();
    const QRectF extent = page_extent(page);
    QImage image(extent.size().toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
      QPainter p(&image);
      p.setRenderHint(QPainter::Antialiasing);
      draw_page(p, schematic(), page);
    }
    data->setImageData(image);
    QBuffer svg_bytes;
    svg_bytes.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&svg_bytes);
    svg.setSize(extent.size().toSize());
    svg.setViewBox(extent);
    {
      QPainter p(&svg);
      draw_page(p, schematic(), page);
    }
    data->setData("image/svg+xml", svg_bytes.data());
  }
  QGuiApplication::clipboard()->setMimeData(data);
}

void EditorMainWindow::find() {
  FindDialog d(last_find_, this);
  if (d.exec() != QDialog::Accepted) return;
  last_find_ = d.options();
  const FindResult r = schematic_find(schematic(), last_find_, *notify_);
  // Show the first hit of the current page in the middle of the window.
  for (const FindHit& h : r.hits)
    if (h.page == schematic().current_page()) {
      sheet_->centre_on({h.x, h.y});
      break;
    }
}

void EditorMainWindow::closeEvent(QCloseEvent* ev) {
  if (!offer_save()) {
    ev->ignore();
    return;
  }
  auto_save_timer_->stop();
  if (config_loaded_) save_config();
  broadcast_post({kZsTaskDoneNotify, kTaskDoneEditorEnds, 0});
  ev->accept();
}

void EditorMainWindow::run_simulation() {
  Schematic& s = schematic();
  if (s.path.empty()) return;
  const int engine = effective_engine(config_);
  if (engine != kEngineDefault && !asked_simulator_) {
    asked_simulator_ = true;
    if (notify_->question(strprintf("Simulator selected is %s\nDo you want to run simulation?",
                                    engine_display_name(engine)),
                          QuestionKind::OkCancel) != 1)
      return;
  }
  if (auto_save_run_) {
    show_busy("AUTO SAVE IN PROGRESS...");
    run_command(kCmdSave);
    show_busy({});
  }
  const NetlistFiles files = netlist_files(s.path);
  if (!files.folder.empty()) QDir::setCurrent(QString::fromStdString(files.folder));
  if (compile(kNetlistRun, files) == -1) return;
  show_busy("Loading simulator module...");
  // A viewer still showing the last results closes, so the engine can write them anew.
  broadcast_post({kZsmSimulation, 1, 0});
  const std::string folder =
      program_folder_.empty() ? QCoreApplication::applicationDirPath().toStdString() : program_folder_;
  launch(simulator_command(config_, files.netlist, folder,
                           [](const std::string& p) { return QFileInfo(QString::fromStdString(p)).isExecutable(); }));
  show_busy({});
  if (engine == kEngineOther && file_exists(files.map)) open_output(true);
}

void EditorMainWindow::open_output(bool viewer) {
  const NetlistFiles files = netlist_files(schematic().path);
  const std::string out = files.folder.empty() ? files.base + ".OUT" : files.folder + "/" + files.base + ".OUT";
  if (viewer) {
    std::vector<std::string> argv = command_words(config_.post_processor_command);
    if (argv.empty()) argv = {"trc32"};
    argv.push_back(out);
    launch(argv);
    return;
  }
  open_text_tool(config_.browse_file_command, out);
  task_pending_ = false;
}

void EditorMainWindow::broadcast_received(const QString& name, long, long) {
  if (name != QLatin1String(kZsTaskDoneNotify) || !task_pending_) return;
  task_pending_ = false;
  ++focus_returns_;
  raise();
  activateWindow();
}

}  // namespace zephyrim
