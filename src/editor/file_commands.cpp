#include "editor/file_commands.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>

#include "editing/subckt.h"
#include "editing/undo.h"
#include "editor/command_table.h"
#include "editor/dialogs.h"
#include "editor/sheet_view.h"
#include "editor/simulation_commands.h"
#include "schematic/schematic_file.h"

namespace zephyrim {

FileCommands::FileCommands(EditorMainWindow& window) : w_(window) {
  auto_save_timer_ = new QTimer(&w_);
  QObject::connect(auto_save_timer_, &QTimer::timeout, &w_, [this] { auto_save(); });
  set_auto_save(true, 15, false);
}

void FileCommands::add_to(CommandHandlers& h) {
  h[kCmdNew] = [this] { new_schematic(); };
  h[kCmdOpen] = [this] {
    if (!offer_save()) return;
    const QString path = w_.ask_file_name(false);
    if (!path.isEmpty()) open_file(path);
  };
  h[kCmdSave] = [this] { save(); };
  h[kCmdSaveAs] = [this] { save_as(); };
  h[kCmdQuit] = [this] { w_.close(); };
  for (int k = 0; k < kRecentFiles; ++k)
    h[kCmdRecent1 + k] = [this, k] {
      const size_t at = static_cast<size_t>(k);
      if (at < recent_.size() && offer_save()) open_file(recent_[at]);
    };
  h[kCmdPageNew] = [this] {
    Schematic& s = w_.schematic();
    subckt_close(s, w_.notify());
    if (page_add(s, w_.notify())) {
      w_.session().page_changed();
      w_.sheet()->page_changed();
    }
  };
  h[kCmdPagePrevious] = [this] {
    if (w_.schematic().current_page() > 0) go_to_page(w_.schematic().current_page() - 1);
  };
  h[kCmdPageNext] = [this] {
    const Schematic& s = w_.schematic();
    if (s.current_page() + 1 < s.page_count()) go_to_page(s.current_page() + 1);
  };
  h[kCmdPageFirst] = [this] { go_to_page(0); };
  h[kCmdPageList] = [this] { page_list(); };
  h[kCmdAutoSave] = [this] {
    AutoSaveDialog d(auto_save_on_, auto_save_minutes_, auto_save_run_, &w_);
    if (d.exec() == QDialog::Accepted) set_auto_save(d.on(), d.minutes(), d.before_run());
  };
}

void FileCommands::new_schematic() {
  if (!offer_save()) return;
  w_.session().set_schematic(schematic_new(new_schematic_name(
      [](const std::string& name) { return QFileInfo::exists(QString::fromStdString(name)); })));
  w_.schematic().colors = w_.colors();
  named_ = false;
  w_.simulation().reset_setup();
  w_.schematic_replaced();
  set_auto_save(auto_save_on_, auto_save_minutes_, auto_save_run_);
}

bool FileCommands::open_file(const QString& path) {
  // Kept absolute: the engines and text tools are started in the schematic's folder.
  const std::string absolute = QFileInfo(path).absoluteFilePath().toStdString();
  SchematicLoad l;
  w_.busy("Loading " + QFileInfo(path).fileName() + "...",
          [&] { l = schematic_load(absolute, w_.notify(), true, w_.colors()); });
  if (!l.schematic) return false;
  l.schematic->path = absolute;
  w_.session().set_schematic(std::move(l.schematic));
  named_ = true;
  w_.simulation().load_setup_beside(absolute);
  set_auto_save(auto_save_on_, auto_save_minutes_, auto_save_run_);
  add_recent(path);
  w_.schematic_replaced();
  return true;
}

int FileCommands::save_document(const std::string& path, const QString& notice) {
  int saved = -1;
  w_.busy(notice, [&] {
    saving_ = true;
    w_.session().before_save();
    saved = schematic_save(w_.schematic(), path, w_.notify());
    w_.session().after_save();
    saving_ = false;
  });
  w_.refresh_sheet();
  return saved;
}

bool FileCommands::save_to(const QString& path) {
  Schematic& s = w_.schematic();
  const std::string target = QFileInfo(path).absoluteFilePath().toStdString();
  if (save_document(target, "Saving " + QFileInfo(path).fileName() + "...") != 0) return false;
  w_.simulation().save_setup_with(target, target != s.path);
  s.path = target;
  s.modified = false;
  named_ = true;
  add_recent(path);
  w_.update_caption();
  return true;
}

bool FileCommands::save() {
  return named_ ? save_to(QString::fromStdString(w_.schematic().path)) : save_as();
}

bool FileCommands::save_as() {
  QString path = w_.ask_file_name(true);
  if (path.isEmpty()) return false;
  // A name typed without an extension gets the schematic's, so Open finds it again.
  if (QFileInfo(path).suffix().isEmpty()) path += ".sch";
  return save_to(path);
}

bool FileCommands::offer_save() {
  if (!w_.schematic().modified) return true;
  const int answer = w_.notify().question("Schematic has been modified. Save?", QuestionKind::YesNoCancel);
  if (answer < 0) return false;
  if (answer == 0) return true;
  return save();
}

void FileCommands::set_auto_save(bool on, int minutes, bool before_run) {
  auto_save_on_ = on;
  auto_save_minutes_ = std::clamp(minutes, 0, kMaxAutoSaveMinutes);
  auto_save_run_ = before_run;
  auto_save_timer_->stop();
  if (auto_save_on_ && auto_save_minutes_ > 0) auto_save_timer_->start(auto_save_minutes_ * 60 * 1000);
}

void FileCommands::set_auto_save_interval_ms(int ms) {
  if (auto_save_timer_->isActive()) auto_save_timer_->start(ms);
}

void FileCommands::stop_auto_save() {
  auto_save_timer_->stop();
}

void FileCommands::auto_save() {
  Schematic& s = w_.schematic();
  // Only a schematic with a name of its own is saved behind the user's back.
  if (!s.modified || !named_) return;
  // Never in the middle of a save, a dialog or a question: the model may be half changed.
  if (saving_ || QApplication::activeModalWidget()) return;
  if (save_document(s.path, "AUTO SAVE IN PROGRESS...") == 0) s.modified = false;
  w_.update_caption();
}

void FileCommands::set_recent_files(std::vector<QString> files) {
  if (files.size() > kRecentFiles) files.resize(kRecentFiles);
  recent_ = std::move(files);
  for (int k = 0; k < kRecentFiles; ++k) {
    QAction* a = w_.action(kCmdRecent1 + k);
    if (!a) continue;
    const bool have = k < static_cast<int>(recent_.size());
    a->setVisible(have);
    if (have) a->setText(QString("&%1 %2").arg(k + 1).arg(recent_[k]));
  }
}

void FileCommands::add_recent(const QString& path) {
  std::vector<QString> files{QFileInfo(path).absoluteFilePath()};
  for (const QString& f : recent_)
    if (f != files[0]) files.push_back(f);
  set_recent_files(std::move(files));
}

void FileCommands::store_settings(EditorConfig& c) const {
  c.auto_save_mode = auto_save_on_ ? 1 : 0;
  c.auto_save_timer = auto_save_minutes_;
  c.auto_save_run = auto_save_run_ ? 1 : 0;
  c.recent_files.clear();
  for (const QString& f : recent_) c.recent_files.push_back(f.toStdString());
}

void FileCommands::go_to_page(int n) {
  Schematic& s = w_.schematic();
  EditSession& e = w_.session();
  subckt_close(s, w_.notify());  // an open subcircuit is closed first
  if (n == s.current_page()) {
    e.page_changed();
    return;
  }
  if (!page_select(s, n, w_.notify())) return;
  e.cancel();
  e.page_changed();
  w_.sheet()->page_changed();
}

void FileCommands::page_list() {
  Schematic& s = w_.schematic();
  EditSession& e = w_.session();
  PageListDialog d(s, w_.notify(), &w_);
  const int pages = s.page_count();
  const bool open = d.exec() == QDialog::Accepted;
  if (s.page_count() != pages) {
    // A deleted page may have been the one the undo record was taken on.
    undo_clear(e.undo_record());
    e.page_changed();
    w_.sheet()->page_changed();
  }
  if (open) go_to_page(d.chosen_page());
}

}  // namespace zephyrim
