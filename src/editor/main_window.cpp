#include "editor/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>

#include "editor/clipboard_commands.h"
#include "editor/command_table.h"
#include "editor/edit_commands.h"
#include "editor/file_commands.h"
#include "editor/model_commands.h"
#include "editor/picture_commands.h"
#include "editor/sheet_view.h"
#include "editor/simulation_commands.h"
#include "editor/symbol_chooser.h"
#include "editor/symbol_commands.h"
#include "editor/tuner_panel.h"
#include "editor/view_commands.h"
#include "platform/broadcast.h"
#include "platform/qt/tool_icons.h"

namespace zephyrim {

EditorMainWindow::EditorMainWindow(Notify* notify, QWidget* parent) : QMainWindow(parent) {
  setObjectName("QUILL");
  setWindowIcon(QIcon(":/icons/quill32.svg"));
  if (!notify) {
    own_notify_ = std::make_unique<QtNotify>(kSchematicTitle, this);
    notify = own_notify_.get();
  }
  notify_ = notify;
  session_ = std::make_unique<EditSession>(*notify_);
  schematic().path = "untitled.sch";

  sheet_ = new SheetView(*session_, this);
  setCentralWidget(sheet_);
  status_ = new QLabel(this);
  status_->setObjectName("QUIL_STATUS_CHILD");
  page_status_ = new QLabel(this);
  statusBar()->addWidget(status_, 1);
  statusBar()->addPermanentWidget(page_status_);
  connect(sheet_, &SheetView::status_changed, this, &EditorMainWindow::refresh_status);
  busy_ = new QLabel(this);
  busy_->setObjectName("STATUS_MESSAGE_CHILD");
  busy_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  busy_->setMargin(12);
  busy_->setAutoFillBackground(true);
  busy_->hide();

  ask_file_name = [this](bool save) {
    constexpr const char* kFilter = "Schematic files(*.sch)";
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
  launch = [this](const std::vector<std::string>& argv) { return launch_detached(argv); };
  ask_symbol = [this](int kind) -> std::optional<std::string> {
    const SymbolLibrary* lib = library();
    if (!lib) return std::nullopt;
    SymbolChooser chooser(*lib, kind, this);
    if (chooser.exec() != QDialog::Accepted) return std::nullopt;
    return chooser.chosen();
  };

  // The default library lives with the program unless the configuration says otherwise.
  set_library_path(program_data_folder(QCoreApplication::applicationDirPath().toStdString(), "default.sym") +
                   "/default.sym");

  files_ = std::make_unique<FileCommands>(*this);
  editing_ = std::make_unique<EditCommands>(*this);
  view_ = std::make_unique<ViewCommands>(*this);
  simulation_ = std::make_unique<SimulationCommands>(*this);
  clipboard_ = std::make_unique<ClipboardCommands>(*this);
  pictures_ = std::make_unique<PictureCommands>(*this);
  models_ = std::make_unique<ModelCommands>(*this);
  symbols_ = std::make_unique<SymbolCommands>(*this);
  CommandHandlers handlers;
  files_->add_to(handlers);
  editing_->add_to(handlers);
  view_->add_to(handlers);
  simulation_->add_to(handlers);
  clipboard_->add_to(handlers);
  pictures_->add_to(handlers);
  models_->add_to(handlers);
  symbols_->add_to(handlers);
  tuner_ = new TunerPanel(*this);
  handlers[kCmdTune] = [this] { tuner_->open(); };
  build_menus(handlers);
  build_toolbar();
  connect(sheet_, &SheetView::context_menu_requested, this, &EditorMainWindow::show_context_menu);
  connect(sheet_, &SheetView::part_double_clicked, this,
          [this](int index) { editing_->edit_attributes(index); });

  // A size that fits the screen at any scaling; a restored window size replaces it.
  QSize size(1000, 700);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size() * 0.9);
  resize(size);
  update_caption();
  refresh_status();
}

EditorMainWindow::~EditorMainWindow() = default;

QAction* EditorMainWindow::action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void EditorMainWindow::build_menus(const CommandHandlers& handlers) {
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
    if (*c.accelerator) {
      QList<QKeySequence> keys{QKeySequence(QString::fromLatin1(c.accelerator))};
      if (*c.alternate) keys << QKeySequence(QString::fromLatin1(c.alternate));
      a->setShortcuts(keys);
    }
    a->setStatusTip(QString::fromLatin1(c.tip));
    a->setCheckable(c.checkable);
    // A command is enabled only when something carries it out: never a dead item.
    const auto handler = handlers.find(c.id);
    a->setEnabled(handler != handlers.end());
    if (handler != handlers.end())
      connect(a, &QAction::triggered, this, [this, work = handler->second] { run_command(work); });
    actions_[c.id] = a;
  }
  for (const auto& [path, m] : menus)
    connect(m, &QMenu::aboutToShow, this, &EditorMainWindow::refresh_checks);
  files_->show_recent_files();
  refresh_checks();
}

void EditorMainWindow::run_command(const std::function<void()>& handler) {
  handler();
  refresh_sheet();
  refresh_status();
}

void EditorMainWindow::build_toolbar() {
  static const ToolbarEntry kTools[] = {
      {kCmdNew, "document-new", ToolGlyph::New},
      {kCmdOpen, "document-open", ToolGlyph::Open},
      {kCmdSave, "document-save", ToolGlyph::Save},
      {kCmdPrint, "document-print", ToolGlyph::Print},
      {0, "", ToolGlyph::New},
      {kCmdUndo, "edit-undo", ToolGlyph::Undo},
      {kCmdRedo, "edit-redo", ToolGlyph::Redo},
      {kCmdCut, "edit-cut", ToolGlyph::Cut},
      {kCmdCopy, "edit-copy", ToolGlyph::Copy},
      {kCmdPaste, "edit-paste", ToolGlyph::Paste},
      {kCmdDelete, "edit-delete", ToolGlyph::Delete},
      {kCmdRotate, "object-rotate-right", ToolGlyph::Rotate},
      {kCmdMirror, "object-flip-horizontal", ToolGlyph::Mirror},
      {0, "", ToolGlyph::New},
      {kCmdInsertPart, "", ToolGlyph::Part},
      {kCmdInsertWire, "", ToolGlyph::Wire},
      {kCmdInsertGround, "", ToolGlyph::Ground},
      {kCmdInsertLabel, "", ToolGlyph::Label},
      {kCmdInsertText, "insert-text", ToolGlyph::Text},
      {0, "", ToolGlyph::New},
      {kCmdZoomIn, "zoom-in", ToolGlyph::ZoomIn},
      {kCmdZoomOut, "zoom-out", ToolGlyph::ZoomOut},
      {kCmdFullPage, "zoom-fit-best", ToolGlyph::ZoomFit},
      {0, "", ToolGlyph::New},
      {kCmdSimSetup, "preferences-system", ToolGlyph::Setup},
      {kCmdRun, "media-playback-start", ToolGlyph::Run},
      {kCmdPlot, "", ToolGlyph::Plot},
  };
  add_toolbar(*this, "QUILL_TOOLBAR", kTools, [this](int id) { return action(id); });
}

void EditorMainWindow::show_context_menu(const QPoint& global) {
  const Page& page = schematic().page();
  const bool selection = selection_count(page) > 0;
  bool part = false;
  for (const auto& p : page.parts) part = part || p->selected;
  QMenu menu(this);
  auto add = [&](int id) {
    if (QAction* a = action(id); a && a->isEnabled()) menu.addAction(a);
  };
  if (selection) {
    if (part) add(kCmdAttributes);
    if (part) add(kCmdTune);
    for (int id : {kCmdMove, kCmdRotate, kCmdMirror, kCmdFlip}) add(id);
    menu.addSeparator();
    for (int id : {kCmdCut, kCmdCopy, kCmdDelete}) add(id);
    if (part) {
      menu.addSeparator();
      for (int id : {kCmdDisable, kCmdEnable}) add(id);
    }
  } else {
    for (int id : {kCmdPaste, kCmdInsertPart, kCmdInsertWire, kCmdInsertLabel, kCmdInsertText}) add(id);
    menu.addSeparator();
    for (int id : {kCmdZoomIn, kCmdZoomOut, kCmdFullPage}) add(id);
  }
  menu.addSeparator();
  add(kCmdUndo);
  add(kCmdRedo);
  if (!menu.isEmpty()) menu.exec(global);
}

void EditorMainWindow::refresh_sheet() {
  sheet_->refresh();
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
  action(kCmdWheelZoom)->setChecked(sheet_->wheel_zooms);
  action(kCmdAutoJunction)->setChecked(e.auto_junction);
  action(kCmdRubberBand)->setChecked(e.rubber_band);
  action(kCmdTune)->setChecked(!tuner_->isHidden());
  action(kCmdNodeNumbers)->setChecked(schematic().page().settings.show_nodes == 1);
  action(kCmdBias)->setChecked(schematic().page().settings.show_nodes == 2);
  for (int engine = kEngineDefault; engine <= kEngineOther; ++engine)
    action(kCmdEngineDefault + engine)->setChecked(config_.simulator_option == engine);
  action(kCmdRun)->setText(QString::fromLatin1(run_item_label(effective_engine(config_))));
}

void EditorMainWindow::refresh_status() {
  update_caption();
  status_->setText(QString::fromStdString(session_->status_text()));
  page_status_->setText(
      QString::asprintf("Page %d of %d", schematic().current_page() + 1, schematic().page_count()));
  refresh_checks();
}

void EditorMainWindow::update_caption() {
  const QString title = QString::fromLatin1(kSchematicTitle);
  if (!files_->named()) {
    setWindowTitle(title + " - (new)");
    return;
  }
  // Program title, then the folder with its separator and the file name.
  const QFileInfo f(QString::fromStdString(schematic().path));
  // A "*" after the name while there are unsaved changes.
  setWindowTitle(QString("%1 - %2%3%4")
                     .arg(title, f.absolutePath() + "/", f.fileName(), schematic().modified ? "*" : ""));
}

void EditorMainWindow::schematic_replaced() {
  sheet_->page_changed();
  tuner_->schematic_replaced();
  update_caption();
  refresh_status();
}

void EditorMainWindow::load_config(const std::string& program_dir, const EnvLookup& env) {
  config_ = config_load(program_dir, env, *notify_);
  config_loaded_ = true;
  const EditorConfig& c = config_;
  set_library_path(c.symbol_library_path + "/default.sym");
  sheet_->auto_pan = c.auto_pan_mode != 0;
  sheet_->wheel_zooms = c.wheel_zoom_mode != 0;
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
  files_->set_recent_files(std::move(recent));
  files_->set_auto_save(c.auto_save_mode != 0, auto_save_interval_minutes(c), c.auto_save_run != 0);
  restore_window();
  refresh_checks();
}

void EditorMainWindow::restore_window() {
  const EditorConfig& c = config_;
  if (c.window_show_mode == 3) {
    setWindowState(windowState() | Qt::WindowMaximized);
    return;
  }
  if (c.window_show_mode != 1 || !c.window_show_pos) return;
  const auto& r = *c.window_show_pos;
  const QRect want(QPoint(r[0], r[1]), QPoint(r[2] - 1, r[3] - 1));
  // Only a place that is still on a screen: monitors come and go.
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect avail = screen->availableGeometry();
    if (!avail.intersects(want)) continue;
    setGeometry(want.intersected(avail.adjusted(-want.width() / 2, 0, want.width() / 2, 0)));
    return;
  }
}

bool EditorMainWindow::save_config() {
  EditorConfig& c = config_;
  c.window_show_mode = isMaximized() ? 3 : 1;
  const QRect g = normalGeometry().isValid() ? normalGeometry() : geometry();
  c.window_show_pos = std::array<int, 4>{g.left(), g.top(), g.right() + 1, g.bottom() + 1};
  c.auto_pan_mode = sheet_->auto_pan ? 1 : 0;
  c.wheel_zoom_mode = sheet_->wheel_zooms ? 1 : 0;
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
  files_->store_settings(c);
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

bool EditorMainWindow::place_symbol(const std::string& name, int state, std::optional<PlacementModel> model) {
  Schematic& s = schematic();
  // A symbol already in the schematic is placed again as it is.
  for (const SymbolTableEntry& e : s.symbols.entries)
    if (e.definition && e.name.str() == name && e.origin != kOriginBlock) {
      session_->begin_place(e.definition.get(), state, std::move(model));
      refresh_status();
      return true;
    }
  const SymbolLibrary* lib = library();
  if (!lib) return false;
  auto def = symbol_load_named(*lib, name, *notify_);
  if (!def) return false;
  const int at = symtab_add(s, name, std::move(def), kOriginLibrary, *notify_);
  if (at < 0) return false;
  session_->begin_place(s.symbols.entries[at].definition.get(), state, std::move(model));
  refresh_status();
  return true;
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

QString EditorMainWindow::status_popup_text() const {
  return busy_->isVisible() ? busy_->text() : QString();
}

void EditorMainWindow::busy(const QString& text, const std::function<void()>& work) {
  show_busy(text);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  struct Restore {
    EditorMainWindow* w;
    ~Restore() {
      QApplication::restoreOverrideCursor();
      w->show_busy({});
    }
  } restore{this};
  work();
}

bool EditorMainWindow::launch_detached(const std::vector<std::string>& argv) {
  QStringList args;
  for (size_t i = 1; i < argv.size(); ++i) args << QString::fromStdString(argv[i]);
  const QString program = QString::fromStdString(argv.empty() ? std::string() : argv[0]);
  // Started programs work in the schematic's folder; the editor's own stays where it was.
  const QString folder = QFileInfo(QString::fromStdString(schematic().path)).absolutePath();
  if (!program.isEmpty() && QProcess::startDetached(program, args, folder)) return true;
  QString line = program;
  for (const QString& a : args) line += " \"" + a + "\"";
  // What the start failed on: a program that is not there, or one that would not run.
  const int code =
      QStandardPaths::findExecutable(program).isEmpty() && !QFileInfo(program).isExecutable() ? 2 : 1;
  notify_->error(QString("Command: %1 failed.\nError code %2").arg(line).arg(code).toStdString());
  return false;
}

void EditorMainWindow::apply_command_line(const QStringList& words) {
  int files = 0;
  bool run = false;
  for (const QString& w : words) {
    if (w == "-showMax") {
      showMaximized();
    } else if (w == "-run") {
      run = true;  // simulate the schematic once it is open, as F9 does
    } else if (w.startsWith('-')) {
      continue;  // "-zss" from a simulation run, and anything unknown
    } else if (files++ == 0) {
      files_->open_file(w);
    }
  }
  if (files > 1) notify_->warning("Invalid command line option(s) ignored");
  if (run && files > 0 && actions_.count(kCmdRun))
    QTimer::singleShot(0, actions_[kCmdRun], &QAction::trigger);
}

void EditorMainWindow::closeEvent(QCloseEvent* ev) {
  if (!files_->offer_save()) {
    ev->ignore();
    return;
  }
  files_->stop_auto_save();
  simulation_->editor_closing();
  if (config_loaded_) save_config();
  broadcast_post({kZsTaskDoneNotify, kTaskDoneEditorEnds, 0});
  ev->accept();
}

}  // namespace zephyrim
