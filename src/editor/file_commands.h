#pragma once
// File and page commands of the editor: New, Open, Save, Save As, Quit, the
// recent files, the pages, and the auto-save timer with its dialog.
#include <QString>
#include <vector>

#include "editing/editor_config.h"
#include "editor/main_window.h"

class QTimer;

namespace zephyrim {

inline constexpr int kRecentFiles = 5;

class FileCommands {
 public:
  explicit FileCommands(EditorMainWindow& window);
  void add_to(CommandHandlers& handlers);

  // Opens a schematic file without asking to save first. False when it did not load.
  bool open_file(const QString& path);
  // Saves under the path; false (with the message shown) when it failed.
  bool save_to(const QString& path);
  // Save: under the schematic's name, or Save As for one never named.
  bool save();
  // Offers to save a modified schematic: false when the user cancelled.
  bool offer_save();
  // The schematic has a name of its own (opened or saved), not "Circuit1.sch".
  bool named() const { return named_; }

  // Auto-save: on, every `minutes` (capped at 100; 0 starts no timer), and
  // before each simulation run. Restarts the timer.
  void set_auto_save(bool on, int minutes, bool before_run);
  bool auto_save_before_run() const { return auto_save_run_; }
  // The timer's interval in milliseconds; tests shorten it.
  void set_auto_save_interval_ms(int ms);
  void stop_auto_save();
  void auto_save();

  const std::vector<QString>& recent_files() const { return recent_; }
  void set_recent_files(std::vector<QString> files);
  // The recent-file items of the File menu show the list.
  void show_recent_files() { set_recent_files(recent_); }
  // The settings this class owns, into the configuration written on exit.
  void store_settings(EditorConfig& c) const;

 private:
  void new_schematic();
  bool save_as();
  // The save sequence shared by Save and auto-save: 0 when saved.
  int save_document(const std::string& path, const QString& notice);
  void add_recent(const QString& path);
  void go_to_page(int n);
  void page_list();

  EditorMainWindow& w_;
  std::vector<QString> recent_;
  QTimer* auto_save_timer_ = nullptr;
  bool auto_save_on_ = true;
  int auto_save_minutes_ = 15;
  bool auto_save_run_ = false;
  bool named_ = false;
  bool saving_ = false;
};

}  // namespace zephyrim
