#include "viewer/app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>
#include <QScreen>
#include <QStatusBar>
#include <QSvgGenerator>
#include <QTemporaryFile>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>

#include "common/progress.h"
#include "platform/broadcast.h"
#include "platform/qt/broadcast_notifier.h"
#include "platform/qt/qt_sound.h"
#include "platform/qt/tool_icons.h"
#include "render/plot_painter.h"
#include "viewer/app/plot_view.h"
#include "viewer/app/tool_dialogs.h"
#include "viewer/data/text_data_file.h"
#include "viewer/data/wav_file.h"
#include "viewer/plot/autoplot_setup.h"
#include "viewer/plot/format_file.h"
#include "viewer/plot/graph_axes.h"
#include "viewer/plot/trace_selection.h"
#include "viewer/session/command_table.h"

namespace zephyrim {

// The status pop-up over long work: the text in a framed label in the middle
// of the window, painted at once since the work keeps the event loop busy.
class WindowProgress : public Progress {
 public:
  explicit WindowProgress(QWidget* window) : label_(new QLabel(window)) {
    label_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    label_->setAlignment(Qt::AlignCenter);
    label_->setMargin(16);
    label_->setAutoFillBackground(true);
    label_->hide();
  }
  void show(const std::string& text) override {
    if (quiet_) return;
    label_->setText(QString::fromStdString(text));
    label_->adjustSize();
    const QWidget* w = label_->parentWidget();
    label_->move((w->width() - label_->width()) / 2, (w->height() - label_->height()) / 2);
    label_->show();
    label_->raise();
    label_->repaint();
  }
  void done() override { label_->hide(); }
  // A reload in place shows no pop-up: a tuner's runs come many a second.
  void set_quiet(bool quiet) { quiet_ = quiet; }

 private:
  QLabel* label_;
  bool quiet_ = false;
};

// The notices of the store's work: the window's message boxes, except while a
// reload in place runs, when they are kept for the status bar.
class StoreNotify : public Notify {
 public:
  explicit StoreNotify(Notify& shown) : Notify(shown.title()), shown_(shown) {}
  RecordingNotify* quiet = nullptr;

  int question(const std::string& text, QuestionKind kind) override { return target().question(text, kind); }
  std::optional<std::string> prompt(const std::string& title, const std::string& label,
                                    const std::string& initial, int max_length) override {
    return target().prompt(title, label, initial, max_length);
  }
  void show_captioned(const std::string& caption, const std::string& text) override {
    target().show_captioned(caption, text);
  }

 protected:
  void show(NoticeKind kind, const std::string& text) override {
    Notify& t = target();
    switch (kind) {
      case NoticeKind::Information:
      case NoticeKind::Question:
        t.information(text);
        break;
      case NoticeKind::Warning:
        t.warning(text);
        break;
      case NoticeKind::FatalError:
        t.fatal_error(text);
        break;
      case NoticeKind::SystemError:
        t.system_error();
        break;
      default:
        t.error(text);
        break;
    }
  }

 private:
  Notify& target() { return quiet ? static_cast<Notify&>(*quiet) : shown_; }
  Notify& shown_;
};

ViewerMainWindow::ViewerMainWindow(ViewerConfig config, QWidget* parent)
    : QMainWindow(parent),
      notify_(kTraceryTitle, this),
      config_(std::move(config)),
      progress_(std::make_unique<WindowProgress>(this)),
      store_notify_(std::make_unique<StoreNotify>(notify_)),
      store_(std::make_unique<DataStore>(*store_notify_, *progress_)) {
  store_->start();
  session_.script = &script_;
  graph_.options = graph_options_of(config_);
  sound_ = std::make_unique<QtSoundPlayer>();
  playback_ = std::make_unique<WavPlayback>(*sound_, QDir::tempPath().toStdString());
  session_.playback = playback_.get();
  cursors_.cursor[0].shape = config_.cursor1_style;
  cursors_.cursor[1].shape = config_.cursor2_style;
  view_ = new PlotView(graph_, *store_, cursors_, this);
  view_->style.mode = config_.display_mode >= 0 && config_.display_mode <= DISPLAY_MODE_FILE_MONO
                          ? config_.display_mode
                          : DISPLAY_MODE_WHITE;
  setCentralWidget(view_);
  readout_ = new QLabel(this);
  readout_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  readout_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  readout_->setMargin(6);
  readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  readout_dock_ = new QDockWidget(tr("Cursors"), this);
  readout_dock_->setObjectName("cursor_readout");
  readout_dock_->setWidget(readout_);
  addDockWidget(Qt::RightDockWidgetArea, readout_dock_);
  readout_dock_->hide();
  connect(view_, &PlotView::cursors_changed, this, &ViewerMainWindow::update_readout);
  add_handlers();
  handle(CMD_RELOAD, [this] { reload_in_place(); });
  build_menus();
  build_toolbar();
  update_actions();
  statusBar()->showMessage(" Ready");
  // A size that fits the screen at any scaling; a remembered place replaces it.
  QSize size(1100, 750);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size() * 0.9);
  resize(size);
  // Where the window was when it last closed, when that is on a screen now.
  if (const auto r = start_window_rect(config_)) {
    const QRect rect(QPoint(r->left, r->top), QPoint(r->right - 1, r->bottom - 1));
    for (const QScreen* screen : QGuiApplication::screens())
      if (screen->availableGeometry().intersects(rect)) {
        setGeometry(rect);
        break;
      }
  }
  if (!config_.builtin_font()) view_->style.font_family = QString::fromStdString(config_.last_font_name);
  setWindowTitle(QString::fromLatin1(kTraceryTitle));
  setWindowIcon(QIcon(":/icons/trc32.svg"));
  auto* messages = new BroadcastNotifier("trc32", this);
  connect(messages, &BroadcastNotifier::received, this, [this](const QString& name, long first, long second) {
    if (name == QLatin1String(kZsmSimulation) && should_close_on_simulation(first, close_on_new_simulation()))
      close_for_new_run();
    else if (name == QLatin1String(kZsDataUpdate) && first == kDataUpdateResults && shows_data_file(second))
      data_updated();
  });
}

void ViewerMainWindow::close_for_new_run(int tries) {
  bool asking = false;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && d->isModal()) {
      d->reject();
      asking = true;
    }
  if (!asking || tries <= 0) {
    close();
    return;
  }
  // The dialogs' loops end when control returns to them; what their callers do
  // next is seen on the next turn.
  QTimer::singleShot(0, this, [this, tries] { close_for_new_run(tries - 1); });
}

ViewerMainWindow::~ViewerMainWindow() {
  // The graph's summaries look at the store's values: they go first.
  graph_ = Graph{};
  forget_transforms();
}

QAction* ViewerMainWindow::action(int id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void ViewerMainWindow::handle(int id, std::function<void()> work) {
  handlers_[id] = std::move(work);
}

void ViewerMainWindow::busy(const QString& text, const std::function<void()>& work) {
  progress_->show(text.toStdString());
  QApplication::setOverrideCursor(Qt::WaitCursor);
  work();
  QApplication::restoreOverrideCursor();
  progress_->done();
}

void ViewerMainWindow::build_toolbar() {
  static const ToolbarEntry kTools[] = {
      {CMD_OPEN, "document-open", ToolGlyph::Open},
      {CMD_PRINT, "document-print", ToolGlyph::Print},
      {CMD_COPY_GRAPH, "edit-copy", ToolGlyph::Copy},
      {0, "", ToolGlyph::New},
      {CMD_AUTOPLOT, "", ToolGlyph::Plot},
      {CMD_PROBE, "", ToolGlyph::Probe},
      {CMD_TRACE_ADD, "", ToolGlyph::AddTrace},
      {CMD_ADD_DELETE_PLOTS, "", ToolGlyph::Setup},
      {0, "", ToolGlyph::New},
      {CMD_ZOOM_AREA, "zoom-in", ToolGlyph::ZoomArea},
      {CMD_ZOOM_CANCEL, "zoom-original", ToolGlyph::ZoomFit},
      {0, "", ToolGlyph::New},
      {CMD_CURSOR1, "", ToolGlyph::Cursor1},
      {CMD_CURSOR2, "", ToolGlyph::Cursor2},
      {0, "", ToolGlyph::New},
      {CMD_RUN_SCRIPT, "", ToolGlyph::Script},
      {CMD_HELP_CONTENTS, "help-contents", ToolGlyph::Help},
  };
  add_toolbar(*this, "TRACERY_TOOLBAR", kTools, [this](int id) { return action(id); });
}

void ViewerMainWindow::build_menus() {
  std::map<QString, QMenu*> menus;
  QActionGroup* display = new QActionGroup(this);
  for (const ViewerCommand& c : viewer_commands()) {
    QString key;
    QMenu* menu = nullptr;
    for (const std::string_view level : c.path) {
      if (level.empty()) break;
      key += "/" + QString::fromUtf8(level.data(), static_cast<int>(level.size()));
      auto& m = menus[key];
      if (!m) m = menu ? menu->addMenu(key.section('/', -1)) : menuBar()->addMenu(key.section('/', -1));
      menu = m;
    }
    if (!menu) continue;
    QAction* a = menu->addAction(QString::fromUtf8(c.text.data(), static_cast<int>(c.text.size())));
    if (c.secondary) {
      // A second place of a command: the same work, no second shortcut.
      connect(a, &QAction::triggered, this, [this, id = c.id] { handlers_[id](); });
      a->setEnabled(handlers_.count(c.id) > 0);
      continue;
    }
    actions_[c.id] = a;
    if (!c.accelerator.empty())
      a->setShortcut(
          QKeySequence(QString::fromUtf8(c.accelerator.data(), static_cast<int>(c.accelerator.size()))));
    a->setCheckable(c.checkable());
    if (c.kind == CommandKind::kChoice) display->addAction(a);
    QString tip = QString::fromUtf8(c.status_tip.data(), static_cast<int>(c.status_tip.size()));
    const bool built = handlers_.count(c.id) > 0;
    if (!built) tip += tr(" (not available in this version yet)");
    a->setStatusTip(tip);
    a->setEnabled(built);
    if (built) connect(a, &QAction::triggered, this, [this, id = c.id] { handlers_[id](); });
  }
}

void ViewerMainWindow::update_actions() {
  auto check = [this](int id, bool on) {
    if (QAction* a = action(id)) a->setChecked(on);
  };
  check(CMD_DISPLAY_BLACK, view_->style.mode == DISPLAY_MODE_BLACK);
  check(CMD_DISPLAY_WHITE, view_->style.mode == DISPLAY_MODE_WHITE);
  check(CMD_DISPLAY_MONOCHROME, view_->style.mode == DISPLAY_MODE_MONOCHROME);
  check(CMD_CURSOR1, cursors_.cursor[0].active);
  check(CMD_CURSOR2, cursors_.cursor[1].active);
  check(CMD_READOUT_X_DIFFERENCE, cursors_.flags.x_difference);
  check(CMD_READOUT_Y_DIFFERENCE, cursors_.flags.y_difference);
  check(CMD_READOUT_X_RATIO, cursors_.flags.x_ratio);
  check(CMD_READOUT_Y_RATIO, cursors_.flags.y_ratio);
  check(CMD_READOUT_SLOPE, cursors_.flags.slope);
  check(CMD_AUTO_CLOSE, config_.auto_close_option != 0);
  check(CMD_FORMAT_AUTO_RECALL, config_.auto_recall_format != 0);
  check(CMD_ZOOM_AREA, view_->pointer == POINTER_ZOOM_AREA);
  check(CMD_TRACE_LABEL, view_->style.legend);
  check(CMD_ADD_LABEL, view_->pointer == POINTER_ADD_LABEL);
  check(CMD_DELETE_LABEL, view_->pointer == POINTER_DELETE_LABEL);
  check(CMD_MOVE_LABEL, view_->pointer == POINTER_MOVE_LABEL);
  check(CMD_TRANSPARENT_LABELS, graph_.transparent_labels);
  check(CMD_DISPLAY_FILE_COLOUR, view_->style.mode == DISPLAY_MODE_FILE_COLOUR);
  check(CMD_DISPLAY_FILE_MONO, view_->style.mode == DISPLAY_MODE_FILE_MONO);
  check(CMD_FFT, fft_.on);
  update_recent_files();
}

void ViewerMainWindow::update_recent_files() {
  for (int k = 0; k < 5; ++k) {
    QAction* a = action(CMD_RECENT_FILE1 + k);
    if (!a) continue;
    const bool has = k < static_cast<int>(config_.recent_files.size());
    a->setVisible(has);
    a->setEnabled(has);
    if (has) a->setText(QString("&%1 %2").arg(k + 1).arg(QString::fromStdString(config_.recent_files[k])));
  }
}

bool ViewerMainWindow::show_graph(bool ask) {
  int analysis = choose_analysis(*store_, script_.autoplot);
  int cls = -1;
  if (ask) {
    // The autoplot's analysis is offered first; with one analysis nothing is asked.
    analysis = choose_analysis_dialog(this, *store_, analysis, &cls);
    if (analysis < 0) return false;
  }
  cursors_.cursor[0].active = cursors_.cursor[1].active = false;
  view_->clear_zoom();
  graph_ = Graph{};
  forget_transforms();
  graph_.options = graph_options_of(config_);
  graph_.analysis = analysis;
  graph_.cls = cls;
  int shown = 0;
  busy(tr("Loading autoplot data..."), [&] {
    if (graph_.analysis >= 0)
      shown = autoplot_setup(graph_, *store_, script_.autoplot, notify_, &session_.parameters, &fft_);
    if (shown > 0) graph_update_axes(graph_, *store_, notify_);
  });
  fill_header();
  update_readout();
  update_actions();
  view_->update();
  return true;
}

void ViewerMainWindow::fill_header() {
  GraphHeader& h = graph_.header;
  h.file = QFileInfo(QString::fromStdString(session_.names.path)).fileName().toStdString();
  if (!script_.revision.empty()) h.file += "   " + script_.revision;
  if (!script_.subtitle.empty()) h.subtitle = script_.subtitle;
  // Traces chosen without an autoplot still show what the data set says of itself.
  if (h.circuit_title.empty()) h.circuit_title = store_->header.title;
  if (h.date.empty()) h.date = store_->header.date;
  if (h.time.empty()) h.time = store_->header.time;
  if (h.temperature.empty()) h.temperature = store_->header.run_info;
}

void ViewerMainWindow::add_traces(std::vector<TraceRequest>& requests) {
  if (graph_.analysis < 0) graph_.analysis = choose_analysis(*store_, script_.autoplot);
  if (graph_.cls < 0) graph_.cls = DATA_CLASS_BINARY;
  busy(tr("Select plot variables..."), [&] {
    if (select_traces(graph_, *store_, requests, notify_, &session_.parameters) > 0)
      graph_update_axes(graph_, *store_, notify_);
  });
  view_->clear_zoom();
  fill_header();
  view_->update();
}

bool ViewerMainWindow::open_file(const QString& path) {
  // The display lets go of the data first: opening may clear the old data,
  // and nothing (a paint under a message, a summary still being built) may
  // look at values that are gone. A new file shows its own display anyway.
  cursors_.cursor[0].active = cursors_.cursor[1].active = false;
  view_->clear_zoom();
  graph_ = Graph{};
  forget_transforms();
  graph_.options = graph_options_of(config_);
  update_readout();
  view_->update();
  bool read = false;
  busy(tr("Reading file..."),
       [&] { read = data_open_command(*store_, path.toStdString(), -1, session_) > 0; });
  if (!read) {
    // What was there before is shown again when the old data stayed.
    if (store_->data_class(DATA_CLASS_BINARY)->vectors.size() +
        store_->data_class(DATA_CLASS_TEXT)->vectors.size())
      show_graph(false);
    return false;
  }
  setWindowTitle(QString::fromStdString(session_.names.window_title));
  recent_files_add(config_, session_.names.path);
  update_recent_files();
  // The last session's format when asked for and it fits these data; else the
  // autoplot, and without one the user is asked what to plot straight away.
  const std::string last = format_slot_file(session_.names.format, 0);
  if (config_.auto_recall_format && std::filesystem::exists(last) && recall_format(last)) return true;
  if (show_graph(true) && graph_.traces.empty()) handlers_[CMD_PROBE]();
  return true;
}

bool ViewerMainWindow::shows_data_file(long tag) const {
  const std::string& path = session_.names.path;
  if (path.empty()) return false;
  if (data_file_tag(path) == tag) return true;
  std::filesystem::path listing(path);
  for (const char* extension : {".OUT", ".out"})
    if (data_file_tag(listing.replace_extension(extension).string()) == tag) return true;
  return false;
}

void ViewerMainWindow::data_updated() {
  if (reload_queued_) return;
  reload_queued_ = true;
  // Every message that came with this one, and any that comes while the file
  // is read, leads to this one reload or the next: the last run is what shows.
  QTimer::singleShot(0, this, [this] {
    // A dialog open over the graph works on it: the reload waits until it closes.
    if (QApplication::activeModalWidget() || reloading_) {
      QTimer::singleShot(100, this, [this] {
        reload_queued_ = false;
        data_updated();
      });
      return;
    }
    reload_queued_ = false;
    reload_in_place();
  });
}

bool ViewerMainWindow::reload_in_place() {
  const std::string path = session_.names.path;
  const QString name = QFileInfo(QString::fromStdString(path)).fileName();
  if (path.empty() || reloading_) return false;
  reloading_ = true;
  struct Done {
    ViewerMainWindow& w;
    ~Done() {
      w.reloading_ = false;
      w.store_notify_->quiet = nullptr;
      w.progress_->set_quiet(false);
    }
  } done{*this};
  auto failed = [&](const std::string& why) {
    statusBar()->showMessage(tr(" Reload of %1 failed: %2").arg(name, QString::fromStdString(why)));
    return false;
  };

  // The new file is read on the side first: a run that failed leaves the old
  // data and graph in place. Nothing is asked and no box is shown.
  RecordingNotify heard(kTraceryTitle);
  {
    NullProgress quiet;
    DataStore trial(heard, quiet);
    trial.start();
    DataOpenSession side;
    side.names = session_.names;
    if (data_open(trial, path, -1, true, side) <= 0)
      return failed(heard.entries().empty() ? "no data in the file" : heard.last());
  }

  // What is shown now, to be laid over the new data. Spectra and charts are
  // graphs of their own that no format names: the graph behind them goes on.
  while (transform_undo(graph_, *store_, transforms_)) {
  }
  fft_display_off(graph_, *store_, fft_);
  QTemporaryFile format_file(QDir::tempPath() + "/trc32-reload-XXXXXX.F00");
  const FormatTickStyles ticks{view_->style.x_ticks, view_->style.y_ticks};
  const bool has_format =
      !graph_.traces.empty() && format_file.open() &&
      format_save(graph_, format_file.fileName().toStdString(), "", path, heard, &ticks) == 1;
  const AxisScale x_axis = graph_.x_axis;
  std::array<AxisScale, kMaxPlots> y_axes{};
  for (int p = 0; p < kMaxPlots; ++p)
    y_axes[static_cast<size_t>(p)] = graph_.plot[static_cast<size_t>(p)].y_axis;
  const int analysis = graph_.analysis, cls = graph_.cls;
  const GraphHeader header = graph_.header;
  const int max_selected = graph_.max_selected;
  const std::array<Cursor, 2> cursors = cursors_.cursor;

  // The display lets go of the old values before the store drops them.
  graph_ = Graph{};
  forget_transforms();
  store_notify_->quiet = &heard;
  progress_->set_quiet(true);
  store_->clear_class(DATA_CLASS_DERIVED);
  store_->clear_for_new_data();
  store_->clear_data_files();
  session_.parameters.clear();
  int read = 0;
  busy(tr("Reading file..."), [&] { read = data_open(*store_, path, -1, true, session_); });
  graph_.options = graph_options_of(config_);
  if (read <= 0) {
    update_readout();
    view_->update();
    return failed(heard.entries().empty() ? "no data in the file" : heard.last());
  }

  bool same = false;
  if (has_format) {
    Graph g;
    g.analysis = analysis;
    g.cls = cls;
    g.header = header;
    g.max_selected = max_selected;
    FormatTickStyles recalled;
    if (format_load(g, *store_, format_file.fileName().toStdString(), heard, &recalled,
                    &session_.parameters)) {
      graph_ = std::move(g);
      same = true;
    }
  }
  if (!same) {
    // Nothing of the old graph fits the new data: the new data's own autoplot.
    graph_.analysis = analysis >= 0 ? analysis : choose_analysis(*store_, script_.autoplot);
    graph_.cls = cls;
    if (graph_.analysis >= 0)
      autoplot_setup(graph_, *store_, script_.autoplot, heard, &session_.parameters, &fft_);
  }
  graph_update_axes(graph_, *store_, heard);
  // A zoomed or fixed axis keeps its range; the automatic ones follow the new data.
  if (same) {
    if (x_axis.limits_manual) graph_.x_axis = x_axis;
    for (int p = 0; p < graph_.plots; ++p)
      if (y_axes[static_cast<size_t>(p)].limits_manual)
        graph_.plot[static_cast<size_t>(p)].y_axis = y_axes[static_cast<size_t>(p)];
  } else {
    view_->clear_zoom();
  }

  // The cursors stay at their X, inside the new data's range, on the new values.
  for (int k = 0; k < 2; ++k) {
    Cursor& c = cursors_.cursor[static_cast<size_t>(k)];
    c = cursors[static_cast<size_t>(k)];
    if (!c.active) continue;
    if (!same || c.trace < 0 || c.trace >= static_cast<int>(graph_.traces.size())) {
      c.active = false;
      continue;
    }
    const SelectedTrace& t = *graph_.traces[static_cast<size_t>(c.trace)];
    double x = c.x;
    if (t.x && graph_.chart != CHART_SMITH) {
      const auto xs = store_->values(*t.x);
      if (!xs.empty()) {
        const auto [lo, hi] = std::minmax_element(xs.begin(), xs.end());
        double low = *lo, high = *hi;
        if (graph_.x_log) low = std::log10(std::max(low, 1e-300)), high = std::log10(std::max(high, 1e-300));
        x = std::clamp(x, low, high);
      }
    }
    view_->place_cursor(k, x);
  }

  fill_header();
  // The header's date and time are those of the new run.
  graph_.header.date = store_->header.date;
  graph_.header.time = store_->header.time;
  update_readout();
  update_actions();
  view_->update();
  QString note = tr(" Reloaded %1").arg(name);
  if (!same && has_format) note += tr(" (the traces shown before are not in the new data)");
  if (!heard.entries().empty()) note += " - " + QString::fromStdString(heard.last());
  statusBar()->showMessage(note, 5000);
  return true;
}

int ViewerMainWindow::run_script(const QString& path) {
  script_.script_name = path.toStdString();
  int statements = 0;
  busy(tr("Running script..."), [&] { statements = run_script_file(script_, *store_, notify_); });
  if (script_.autoplot.statements > 0) show_graph(false);
  return statements;
}

QByteArray ViewerMainWindow::picture_bytes(const QString& format, const PictureOptions& options) {
  PlotStyle style = view_->style;
  style.cursors = &cursors_;
  if (options.monochrome) style.mode = DISPLAY_MODE_MONOCHROME;
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (format == "svg") {
    // A paper size is drawn in units of a tenth of a millimetre, so that the
    // picture keeps the size typed; a bitmap's size in pixels of 1/96 inch.
    const bool paper = options.millimetres.isValid();
    const QSize size = paper ? (options.millimetres * 10).toSize() : options.pixels;
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setResolution(paper ? 254 : 96);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QString::fromLatin1(kTraceryTitle));
    QPainter p(&svg);
    draw_graph(p, QRectF(QPointF(0, 0), size), graph_, *store_, style);
  } else if (format == "pdf") {
    QPdfWriter pdf(&buffer);
    if (options.millimetres.isValid()) {
      pdf.setPageSize(QPageSize(options.millimetres, QPageSize::Millimeter));
      pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    } else {
      pdf.setPageSize(QPageSize(QPageSize::A4));
      pdf.setPageOrientation(QPageLayout::Landscape);
    }
    pdf.setTitle(QString::fromLatin1(kTraceryTitle));
    QPainter p(&pdf);
    draw_graph(p, QRectF(0, 0, pdf.width(), pdf.height()), graph_, *store_, style);
  } else {
    QImage image(options.pixels, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    draw_graph(p, QRectF(image.rect()), graph_, *store_, style);
    p.end();
    image.save(&buffer, format == "bmp" ? "BMP" : "PNG");
  }
  return bytes;
}

bool ViewerMainWindow::save_picture(const QString& path, const PictureOptions& options) {
  if (graph_.traces.empty()) return false;
  const QString format = QFileInfo(path).suffix().toLower();
  const QByteArray bytes = picture_bytes(format, options);
  // Written whole into a temporary file and renamed, so a failed save leaves the old picture.
  QSaveFile file(path);
  if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
      !file.commit()) {
    const std::string name = path.toStdString();
    if (format == "png")
      notify_.error("Error creating PNG file:\n" + name);
    else if (format == "bmp")
      notify_.error("Error writing bitmap file:\n" + name);
    else
      notify_.error("Error writing " + format.toUpper().toStdString() + " file:\n" + name);
    return false;
  }
  if (format == "png") statusBar()->showMessage(path + tr(" - PNG file saved"), 5000);
  return true;
}

QString ViewerMainWindow::choose_save_path(const QString& caption, const QString& filter,
                                           const QString& extension) {
  QString path =
      QFileDialog::getSaveFileName(this, caption, QString::fromStdString(session_.names.folder), filter);
  if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += "." + extension;
  return path;
}

void ViewerMainWindow::export_text(int mode) {
  if (graph_.traces.empty()) return;
  const QString path =
      choose_save_path(tr("Save As Data File"), tr("Text (ASCII) data file (*.txt *.asc *.inc)"), "txt");
  if (path.isEmpty()) return;
  for (const auto& t : graph_.traces) store_->values(*t->x), store_->values(*t->y);
  std::vector<TextTrace> traces;
  for (const auto& t : graph_.traces)
    if (t->options.display != DISPLAY_HIDE)
      traces.push_back({t->x->name, t->name, store_->values(*t->x), store_->values(*t->y)});
  const TextHeaderTexts headers{store_->header.title,
                                {store_->header.date, store_->header.time, store_->header.command}};
  text_write_file(notify_, path.toStdString(), static_cast<TextForm>(mode), false, headers, traces);
}

void ViewerMainWindow::export_wav() {
  if (graph_.traces.empty()) return;
  const QString path = choose_save_path(tr("Save As Audio Wave File"), tr("Audio wave files (*.wav)"), "wav");
  if (path.isEmpty()) return;
  const SelectedTrace& t = *graph_.traces.front();
  store_->values(*t.x);
  store_->values(*t.y);
  std::optional<XRange> zoom;
  if (view_->zoomed()) {
    const double lo = graph_.x_log ? std::pow(10.0, graph_.x_axis.low) : graph_.x_axis.low;
    const double hi = graph_.x_log ? std::pow(10.0, graph_.x_axis.high) : graph_.x_axis.high;
    zoom = XRange{lo, hi};
  }
  wav_write_trace(path.toStdString(),
                  WavTrace{store_->values(*t.x), store_->values(*t.y), config_.wave_file_sample_rate, zoom},
                  notify_);
}

void ViewerMainWindow::update_readout() {
  const auto lines = cursor_readout(
      cursors_, {.x_log = graph_.x_log, .smith = graph_.chart == CHART_SMITH, .z0 = graph_.smith_z0});
  QStringList text;
  for (const auto& l : lines) text << QString::fromStdString(l);
  readout_->setText(text.join('\n'));
  readout_dock_->setVisible(cursors_.cursor[0].active || cursors_.cursor[1].active);
  update_actions();
}

void ViewerMainWindow::toggle_cursor(int which) {
  Cursor& c = cursors_.cursor[which];
  if (c.active) {
    c.active = false;
  } else {
    // Cursor 1 appears a third of the way along the X axis and cursor 2 two
    // thirds, each on its own trace when there are two, so that their
    // differences read something at once; the one shown is the one moved.
    view_->active_cursor = which;
    if (c.trace < 0) c.trace = which < static_cast<int>(graph_.traces.size()) ? which : 0;
    const double share = which == 0 ? 1.0 / 3 : 2.0 / 3;
    view_->place_cursor(which, graph_.x_axis.low + (graph_.x_axis.high - graph_.x_axis.low) * share);
  }
  update_readout();
  view_->update();
}

void ViewerMainWindow::toggle_readout(bool ReadoutFlags::*flag) {
  cursors_.flags.*flag = !(cursors_.flags.*flag);
  // A difference needs both cursors.
  if (cursors_.flags.*flag)
    for (int k = 0; k < 2; ++k)
      if (!cursors_.cursor[k].active) toggle_cursor(k);
  update_readout();
}

void ViewerMainWindow::closeEvent(QCloseEvent* e) {
  config_.display_mode = view_->style.mode;
  // Spectra and charts live in the derived class, which no format can name:
  // the graph behind them is what the next session recalls.
  while (transform_undo(graph_, *store_, transforms_)) {
  }
  fft_display_off(graph_, *store_, fft_);
  // The display goes into slot 00 for Auto Recall Last and Format > Recall.
  if (!graph_.traces.empty() && save_format(0, kFormatLastSession))
    config_.last_session_file = session_.names.path;
  const QRect g = normalGeometry();
  remember_window(config_, isMaximized(), {g.left(), g.top(), g.right() + 1, g.bottom() + 1});
  if (!config_.ini_path.empty()) viewer_config_save(config_, config_.ini_path);
  // Gives the focus back to an editor that started the viewer.
  broadcast_post({kZsTaskDoneNotify, kViewerClosedNotice, 0});
  e->accept();
}

}  // namespace zephyrim
