#include "editor/tuner_panel.h"

#include <fcntl.h>
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>

#include "common/file_io.h"
#include "editing/editor_config.h"
#include "editor/command_table.h"
#include "editor/engine_run.h"
#include "editor/file_commands.h"
#include "editor/main_window.h"
#include "editor/simulation_commands.h"
#include "netlist/netlist_writer.h"
#include "platform/broadcast.h"
#include "schematic/schematic_file.h"

namespace zephyrim {

namespace fs = std::filesystem;

namespace {

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

// A new tuner's range: a decade either side of a positive value, else a
// linear span around it.
Tuner tuner_around(const std::string& name, double value) {
  Tuner t;
  t.name = name;
  t.value = value;
  t.steps = kTunerDefaultSteps;
  if (value > 0) {
    t.log = true;
    t.minimum = tuner_parse(tuner_format(value / 10)).value_or(value / 10);
    t.maximum = tuner_parse(tuner_format(value * 10)).value_or(value * 10);
  } else if (value < 0) {
    t.minimum = value * 10;
    t.maximum = -value * 10;
  } else {
    t.minimum = -1;
    t.maximum = 1;
  }
  return t;
}

// Moves a finished run's file into place: a rename within the file system,
// else a copy written beside the target and renamed over it. Either way a
// reader sees the old file or the new one, never half of one.
bool move_into_place(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) return true;
  const auto bytes = read_file(from);
  return bytes && write_file_atomic(to, *bytes);
}

}  // namespace

namespace {

// A /proc file tells no size, so it is read to its end; a process that ends
// meanwhile gives nothing.
std::optional<std::string> read_proc_text(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string out;
  char buffer[4096];
  for (;;) {
    const ssize_t r = ::read(fd, buffer, sizeof buffer);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (r == 0 || out.size() > (1u << 20)) break;
    out.append(buffer, static_cast<size_t>(r));
  }
  ::close(fd);
  return out;
}

}  // namespace

bool viewer_open_on(const std::string& data_file) {
  const std::string folder = broadcast_folder();
  if (folder.empty()) return false;
  std::error_code ec;
  const fs::path target = fs::weakly_canonical(data_file, ec);
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    if (!name.starts_with("trc32-") || !name.ends_with(".sock")) continue;
    const std::string pid = name.substr(6, name.size() - 6 - 5);
    const fs::path proc = fs::path("/proc") / pid;
    const auto cmdline = read_proc_text((proc / "cmdline").string());
    if (!cmdline) continue;  // gone: its socket is stale
    std::error_code cwd_ec;
    const fs::path cwd = fs::read_symlink(proc / "cwd", cwd_ec);
    size_t start = cmdline->find('\0');  // the arguments after the program
    while (start != std::string::npos && start + 1 < cmdline->size()) {
      const size_t end = cmdline->find('\0', start + 1);
      const fs::path arg(cmdline->substr(start + 1, end == std::string::npos ? end : end - start - 1));
      start = end;
      if (arg.empty() || arg.string()[0] == '-') continue;
      std::error_code arg_ec;
      const fs::path full = fs::weakly_canonical(arg.is_absolute() || cwd_ec ? arg : cwd / arg, arg_ec);
      if (!arg_ec && full == target) return true;
    }
  }
  return false;
}

TunerPanel::TunerPanel(EditorMainWindow& window) : QDockWidget("Tune", &window), w_(window) {
  setObjectName("TUNER_PANEL");
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  rows_widget_ = new QWidget(body);
  grid_ = new QGridLayout(rows_widget_);
  grid_->setColumnStretch(1, 1);
  scroll_ = new QScrollArea(body);
  scroll_->setWidgetResizable(true);
  scroll_->setWidget(rows_widget_);
  layout->addWidget(scroll_, 1);
  auto* buttons = new QHBoxLayout;
  add_ = new QPushButton("&Add...", body);
  add_->setObjectName("tuner_add");
  apply_ = new QPushButton("A&pply", body);
  apply_->setObjectName("tuner_apply");
  apply_->setToolTip("Store the tuned values in the schematic");
  buttons->addWidget(add_);
  buttons->addStretch(1);
  buttons->addWidget(apply_);
  layout->addLayout(buttons);
  setWidget(body);
  connect(add_, &QPushButton::clicked, this, [this] { add_clicked(); });
  connect(apply_, &QPushButton::clicked, this, [this] { apply(); });

  ask_name = [this](const std::vector<std::string>& names) -> std::optional<std::string> {
    QStringList items;
    for (const auto& n : names) items << q(n);
    bool ok = false;
    const QString chosen =
        QInputDialog::getItem(this, "Add Tuner", "Part reference or .PARAM name:", items, 0, true, &ok);
    if (!ok || chosen.trimmed().isEmpty()) return std::nullopt;
    return chosen.trimmed().toStdString();
  };
  save_timer_ = new QTimer(this);
  save_timer_->setSingleShot(true);
  save_timer_->setInterval(500);
  connect(save_timer_, &QTimer::timeout, this, [this] {
    if (!tuner_file_write(save_path_, tuners_)) say(q("Cannot write tuner file " + save_path_));
  });
  window.addDockWidget(Qt::RightDockWidgetArea, this);
  hide();
  rebuild();
}

TunerPanel::~TunerPanel() {
  if (save_timer_->isActive()) tuner_file_write(save_path_, tuners_);
}

std::string TunerPanel::scratch_folder() const {
  const fs::path p(w_.schematic().path);
  return (p.parent_path() / (p.stem().string() + ".tune")).string();
}

bool TunerPanel::run_going() const {
  return engine_ && engine_->running();
}

void TunerPanel::say(const QString& text) {
  status_ = text;
  w_.statusBar()->showMessage(text, 10000);
}

void TunerPanel::open() {
  const Page& page = w_.schematic().page();
  const PartRecord* selected = nullptr;
  int count = 0;
  for (const auto& p : page.parts)
    if (p->selected) {
      selected = p.get();
      ++count;
    }
  bool add = count == 1 && !selected->reference.empty() && part_numeric_value(*selected);
  const std::string name = add ? selected->reference.str() : std::string();
  for (const Tuner& t : tuners_) add = add && QString::compare(q(t.name), q(name), Qt::CaseInsensitive) != 0;
  if (!add && !isHidden()) {
    hide();
    return;
  }
  show();
  raise();
  if (add) add_tuner(name);
}

void TunerPanel::schematic_replaced() {
  if (engine_) engine_->stop();
  if (save_timer_->isActive()) {
    save_timer_->stop();
    tuner_file_write(save_path_, tuners_);
  }
  cache_.reset();
  std::vector<std::string> messages;
  tuners_ =
      w_.files().named() ? tuner_file_read(tuner_file_path(w_.schematic().path), messages) : TunerList{};
  if (!messages.empty()) say(q(messages.front()));
  rebuild();
  // A schematic kept with tuners opens with its panel.
  if (!tuners_.empty()) show();
}

bool TunerPanel::add_tuner(const std::string& name) {
  for (const Tuner& t : tuners_)
    if (QString::compare(q(t.name), q(name), Qt::CaseInsensitive) == 0) {
      say(q(name + " has a tuner already"));
      return false;
    }
  const TunerTarget target = tuner_find(w_.schematic(), name);
  std::optional<double> value;
  if (target.part) {
    value = part_numeric_value(*target.part);
    if (!value) {
      say(q("The value of " + name + " (" + target.part->value.str() + ") is not a number"));
      return false;
    }
  } else if (target.text) {
    value = tuner_parse(param_value(*target.text->text, name).value_or(""));
    if (!value) {
      say(q(".PARAM " + name + " is not a plain number"));
      return false;
    }
  } else {
    say(q("No part or .PARAM named " + name));
    return false;
  }
  Tuner t = tuner_around(target.part ? target.part->reference.str() : name, *value);
  if (const std::string why = tuner_check(t); !why.empty()) {
    say(q(name + ": " + why));
    return false;
  }
  tuners_.push_back(std::move(t));
  save();
  rebuild();
  show();
  return true;
}

void TunerPanel::remove_tuner(int row) {
  if (row < 0 || row >= static_cast<int>(tuners_.size())) return;
  tuners_.erase(tuners_.begin() + row);
  save();
  rebuild();
}

void TunerPanel::add_clicked() {
  const auto name = ask_name(tunable_names(w_.schematic()));
  if (name) add_tuner(*name);
}

void TunerPanel::save() {
  save_timer_->stop();
  if (!w_.files().named()) return;
  const std::string path = tuner_file_path(w_.schematic().path);
  if (!tuner_file_write(path, tuners_)) say(q("Cannot write tuner file " + path));
}

void TunerPanel::save_soon() {
  if (!w_.files().named()) return;
  save_path_ = tuner_file_path(w_.schematic().path);
  save_timer_->start();
}

QSlider* TunerPanel::slider(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row].slider : nullptr;
}

QLineEdit* TunerPanel::value_entry(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row].value : nullptr;
}

void TunerPanel::rebuild() {
  rows_.clear();
  while (QLayoutItem* item = grid_->takeAt(0)) {
    if (QWidget* widget = item->widget()) widget->deleteLater();
    delete item;
  }
  int r = 0;
  for (const char* heading : {"Name", "", "Value", "Min", "Max", "Scale"})
    grid_->addWidget(new QLabel(heading, rows_widget_), 0, r++);
  for (size_t k = 0; k < tuners_.size(); ++k) {
    const int row = static_cast<int>(k);
    const Tuner& t = tuners_[k];
    const QString tag = q(t.name);
    Row widgets;
    auto* name = new QLabel(tag, rows_widget_);
    widgets.slider = new QSlider(Qt::Horizontal, rows_widget_);
    widgets.slider->setObjectName("tuner_slider_" + tag);
    widgets.slider->setMinimumWidth(120);
    widgets.value = new QLineEdit(rows_widget_);
    widgets.value->setObjectName("tuner_value_" + tag);
    widgets.minimum = new QLineEdit(rows_widget_);
    widgets.minimum->setObjectName("tuner_min_" + tag);
    widgets.maximum = new QLineEdit(rows_widget_);
    widgets.maximum->setObjectName("tuner_max_" + tag);
    for (QLineEdit* e : {widgets.value, widgets.minimum, widgets.maximum}) e->setMaximumWidth(80);
    widgets.scale = new QComboBox(rows_widget_);
    widgets.scale->setObjectName("tuner_scale_" + tag);
    widgets.scale->addItems({"lin", "log"});
    auto* remove = new QToolButton(rows_widget_);
    remove->setObjectName("tuner_remove_" + tag);
    remove->setText("x");
    remove->setToolTip("Remove the tuner");
    const int line = row + 1;
    grid_->addWidget(name, line, 0);
    grid_->addWidget(widgets.slider, line, 1);
    grid_->addWidget(widgets.value, line, 2);
    grid_->addWidget(widgets.minimum, line, 3);
    grid_->addWidget(widgets.maximum, line, 4);
    grid_->addWidget(widgets.scale, line, 5);
    grid_->addWidget(remove, line, 6);
    rows_.push_back(widgets);
    show_row(row);

    // While dragging every new position runs, overtaking the run before; the
    // release runs the final one unless it is running already.
    connect(widgets.slider, &QSlider::valueChanged, this,
            [this, row](int position) { set_value(row, tuner_value_at(tuners_[row], position)); });
    connect(widgets.slider, &QSlider::sliderReleased, this, [this, row] {
      const double v = tuner_value_at(tuners_[row], rows_[row].slider->value());
      if (v != tuners_[row].value) set_value(row, v);
    });
    connect(widgets.value, &QLineEdit::editingFinished, this, [this, row] {
      const auto v = tuner_parse(rows_[row].value->text().toStdString());
      if (!v) {
        say("\"" + rows_[row].value->text() + "\" is not a number");
        show_row(row);
        return;
      }
      if (*v != tuners_[row].value) set_value(row, tuner_parse(tuner_format(*v)).value_or(*v));
    });
    connect(widgets.minimum, &QLineEdit::editingFinished, this, [this, row] { edit_range(row); });
    connect(widgets.maximum, &QLineEdit::editingFinished, this, [this, row] { edit_range(row); });
    connect(widgets.scale, &QComboBox::currentIndexChanged, this, [this, row] { edit_range(row); });
    connect(remove, &QToolButton::clicked, this, [this, row] { remove_tuner(row); });
  }
  grid_->setRowStretch(static_cast<int>(tuners_.size()) + 1, 1);
  apply_->setEnabled(!tuners_.empty());
  // The panel is as wide as a whole row, so that no entry hides behind a scroll bar.
  scroll_->setMinimumWidth(grid_->sizeHint().width() + scroll_->verticalScrollBar()->sizeHint().width() +
                           2 * scroll_->frameWidth());
}

void TunerPanel::show_row(int row) {
  const Tuner& t = tuners_[row];
  const Row& widgets = rows_[row];
  const QSignalBlocker b1(widgets.slider), b2(widgets.scale);
  widgets.slider->setRange(0, t.steps);
  widgets.slider->setPageStep(std::max(1, t.steps / 10));
  widgets.slider->setValue(tuner_position(t, t.value));
  widgets.value->setText(q(tuner_format(t.value)));
  widgets.minimum->setText(q(tuner_format(t.minimum)));
  widgets.maximum->setText(q(tuner_format(t.maximum)));
  widgets.scale->setCurrentIndex(t.log ? 1 : 0);
}

void TunerPanel::edit_range(int row) {
  if (row < 0 || row >= static_cast<int>(tuners_.size())) return;
  const Row& widgets = rows_[row];
  Tuner t = tuners_[row];
  const auto lo = tuner_parse(widgets.minimum->text().toStdString());
  const auto hi = tuner_parse(widgets.maximum->text().toStdString());
  std::string why;
  if (!lo || !hi) {
    why = "the range must be numbers";
  } else {
    t.minimum = *lo;
    t.maximum = *hi;
    t.log = widgets.scale->currentIndex() == 1;
    why = tuner_check(t);
  }
  if (!why.empty()) {
    say(q(t.name + ": " + why));
    show_row(row);
    return;
  }
  if (t == tuners_[row]) return;
  tuners_[row] = t;
  save();
  show_row(row);
}

void TunerPanel::set_value(int row, double value) {
  if (row < 0 || row >= static_cast<int>(tuners_.size())) return;
  tuners_[row].value = value;
  show_row(row);
  save_soon();
  start_run();
}

void TunerPanel::start_run() {
  if (!w_.files().named()) {
    say("Save the schematic before tuning it");
    return;
  }
  const EditorConfig& config = w_.config();
  if (effective_engine(config) == kEngineOther) {
    say("Tuning runs the Zephyrim engine only: choose it under Simulator Engine Option");
    return;
  }
  if (run_going()) {
    engine_->stop();
    ++runs_stopped_;
  }
  Schematic& s = w_.schematic();
  const NetlistFiles own = netlist_files(s.path);
  const std::string scratch = scratch_folder();
  std::error_code ec;
  fs::create_directories(scratch, ec);
  // The user's statements come along, so the included names resolve in the scratch folder.
  for (const char* ext : {".MIS", ".ALT"}) {
    const std::string from = own.in_folder(own.base + ext);
    const std::string to = path_in_folder(scratch, own.base + ext);
    if (file_exists(from))
      copy_file(from, to);
    else
      fs::remove(to, ec);
  }
  if (!write_netlist(scratch)) {
    ++runs_failed_;
    return;
  }
  const NetlistFiles files = netlist_files(path_in_folder(scratch, own.base + ".sch"));

  const std::string folder =
      program_folder_.empty() ? QCoreApplication::applicationDirPath().toStdString() : program_folder_;
  std::vector<std::string> argv = simulator_command(config, files.netlist, folder, [](const std::string& p) {
    return QFileInfo(QString::fromStdString(p)).isExecutable();
  });
  // The viewer already open follows the results: no new one per run.
  std::erase(argv, std::string("-ZSS"));
  if (!engine_)
    engine_ = std::make_unique<EngineRun>(
        nullptr, EngineRun::Callbacks{nullptr, [this](int code) { run_finished(code); }});
  run_schematic_ = s.path;
  if (!engine_->start(argv, q(scratch), QString())) {
    say(q("Tune: cannot start " + argv.front()));
    ++runs_failed_;
    return;
  }
  ++runs_started_;
  say("Tune: simulating...");
}

bool TunerPanel::write_netlist(const std::string& scratch) {
  Schematic& s = w_.schematic();
  const EditorConfig& config = w_.config();
  NetlistFiles files = netlist_files(path_in_folder(scratch, fs::path(s.path).stem().string() + ".sch"));
  files.backup.clear();
  NetlistCache key;
  key.schematic = &s;
  key.revision = w_.session().revision();
  for (const Tuner& t : tuners_) key.names.push_back(t.name);
  key.setup = w_.simulation().setup();
  for (const char* ext : {".MIS", ".ALT"})
    key.user_files += read_text_file(files.in_folder(files.base + ext), 1 << 20).value_or("") + '\0';
  key.simulator_option = config.simulator_option;
  key.statistics_file = config.statistics_file;

  // Stand-ins that no netlist holds otherwise, one per tuner.
  std::vector<std::string> marks;
  for (size_t k = 0; k < tuners_.size(); ++k) marks.push_back("ZZTUNE" + std::to_string(k) + "ZZ");
  if (!cache_ || !(*cache_ == key)) {
    cache_.reset();
    NetlistOptions o;
    o.mode = kNetlistRun;
    o.files = files;
    o.setup = &w_.simulation().setup();
    o.commands.default_simulator = config.simulator_option == kEngineDefault;
    if (!config.statistics_file.empty()) o.commands.statistics_file = config.statistics_file;
    // No message boxes while sliding: what the netlist says goes to the status line.
    RecordingNotify quiet(kSchematicTitle);
    int compiled = 0;
    {
      const TunedValues tuned(s, tuners_, marks);
      compiled = compile_netlist(s, o, quiet);
    }
    w_.refresh_sheet();
    if (compiled != 1) {
      say(q("Tune: the netlist failed" + (quiet.entries().empty() ? std::string() : ": " + quiet.last())));
      return false;
    }
    key.text = read_text_file(files.netlist, 64 << 20).value_or("");
    // The schematic's own library files stay beside it, not in the scratch folder.
    const std::string home = fs::path(s.path).parent_path().string();
    includes_from_folder(key.text, home, [&](const std::string& name) {
      return !file_exists(path_in_folder(scratch, name)) && file_exists(path_in_folder(home, name));
    });
    // The refresh may have renumbered nodes: the key is what the sheet is now.
    key.revision = w_.session().revision();
    cache_ = std::move(key);
  }
  std::string text = cache_->text;
  for (size_t k = 0; k < tuners_.size(); ++k) {
    const std::string value = tuner_format(tuners_[k].value);
    for (size_t at = 0; (at = text.find(marks[k], at)) != std::string::npos; at += value.size())
      text.replace(at, marks[k].size(), value);
  }
  // .PARAM values are set in the netlist and the user's statements, wherever they are assigned.
  const std::string mis_path = files.in_folder(files.base + ".MIS");
  std::string mis = read_text_file(mis_path, 1 << 20).value_or("");
  bool mis_changed = false;
  for (const Tuner& t : tuners_) {
    if (tuner_find(s, t.name).part) continue;
    param_replace(text, t.name, tuner_format(t.value));
    mis_changed = param_replace(mis, t.name, tuner_format(t.value)) > 0 || mis_changed;
  }
  // Scratch files: a crash leaves nothing of value half-written there, so no sync.
  auto write_plain = [](const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << bytes;
    return static_cast<bool>(f.flush());
  };
  if (!write_plain(files.netlist, text) || (mis_changed && !write_plain(mis_path, mis))) {
    say(q("Tune: cannot write " + files.netlist));
    cache_.reset();
    return false;
  }
  return true;
}

void TunerPanel::run_finished(int exit_code) {
  if (run_schematic_ != w_.schematic().path) return;
  const NetlistFiles files =
      netlist_files(path_in_folder(scratch_folder(), fs::path(run_schematic_).filename().string()));
  if (exit_code != 0) {
    ++runs_failed_;
    const auto text = read_text_file(files.in_folder(files.base + ".OUT"));
    const std::vector<std::string> errors = text ? listing_errors(*text, 1) : std::vector<std::string>{};
    say(q("Tune: the simulation failed" + (errors.empty() ? std::string() : ": " + errors.front())));
    return;
  }
  if (!place_results()) {
    ++runs_failed_;
    return;
  }
  ++runs_finished_;
  const std::string out = schematic_sibling(run_schematic_, "OUT");
  broadcast_post({kZsDataUpdate, kDataUpdateResults, data_file_tag(out)});
  say("Tune: results updated");
  open_viewer_when_none();
}

bool TunerPanel::place_results() {
  const fs::path scratch(scratch_folder());
  const std::string base = fs::path(run_schematic_).stem().string();
  // The data before the listing: a viewer that finds the new listing finds its data.
  for (const char* ext : {"SAV", "OPB", "OUT"}) {
    const std::string from = (scratch / (base + "." + ext)).string();
    if (!file_exists(from)) {
      if (std::string(ext) == "OPB") continue;
      say(q("Tune: the run left no " + from));
      return false;
    }
    const std::string to = schematic_sibling(run_schematic_, ext);
    if (!move_into_place(from, to)) {
      say(q("Tune: cannot write " + to));
      return false;
    }
  }
  return true;
}

void TunerPanel::open_viewer_when_none() {
  if (viewer_started_.isValid() && viewer_started_.elapsed() < 15000) return;
  if (viewer_open_on(schematic_sibling(run_schematic_, "OUT"))) return;
  QAction* plot = w_.action(kCmdPlot);
  if (!plot || !plot->isEnabled()) return;
  viewer_started_.start();
  plot->trigger();
}

void TunerPanel::apply() {
  Schematic& s = w_.schematic();
  Notify& notify = w_.notify();
  // One undo step per page that changes: the history keeps steps of one page.
  std::map<int, std::vector<const Tuner*>> by_page;
  std::string missing;
  for (const Tuner& t : tuners_) {
    const TunerTarget target = tuner_find(s, t.name);
    if (target.page < 0)
      missing += (missing.empty() ? "" : ", ") + t.name;
    else
      by_page[target.page].push_back(&t);
  }
  const int current = s.current_page();
  int changed = 0;
  for (const auto& [page, list] : by_page) {
    if (page != s.current_page() && !page_select(s, page, notify)) continue;
    w_.session().history().snapshot(s);
    int here = 0;
    for (const Tuner* t : list) here += apply_tuner(s, *t, notify) == 1 ? 1 : 0;
    if (here == 0) w_.session().history().discard_newest();
    changed += here;
  }
  if (s.current_page() != current) page_select(s, current, notify);
  w_.session().page_changed();
  w_.refresh_sheet();
  w_.refresh_status();
  say(missing.empty() ? QString("Tune: %1 value(s) stored in the schematic").arg(changed)
                      : q("Tune: not found in the schematic: " + missing));
}

}  // namespace zephyrim
