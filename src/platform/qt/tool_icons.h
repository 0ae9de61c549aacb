#pragma once
// Icons of the toolbars: the desktop's themed icon where it has one, else a
// plain drawing of our own, so that a toolbar never shows empty buttons.
#include <QIcon>
#include <QString>
#include <functional>
#include <span>

class QAction;
class QMainWindow;

namespace zephyrim {

enum class ToolGlyph {
  New,
  Open,
  Save,
  Print,
  Undo,
  Redo,
  Cut,
  Copy,
  Paste,
  Delete,
  Rotate,
  Mirror,
  Wire,
  Part,
  Ground,
  Label,
  Text,
  ZoomIn,
  ZoomOut,
  ZoomFit,
  ZoomArea,
  Setup,
  Run,
  Plot,
  Probe,
  AddTrace,
  Cursor1,
  Cursor2,
  Script,
  Help,
};

// The themed icon of that name, or the glyph drawn.
QIcon tool_icon(const QString& theme_name, ToolGlyph fallback);

// A button of a toolbar: the command's identifier (0 for a separator), its
// themed icon's name (may be empty) and the glyph drawn when there is none.
struct ToolbarEntry {
  int id;
  const char* theme;
  ToolGlyph glyph;
};

// Adds a toolbar of the commands that have an enabled action, with their icons.
void add_toolbar(QMainWindow& window, const QString& object_name, std::span<const ToolbarEntry> tools,
                 const std::function<QAction*(int)>& action);

}  // namespace zephyrim
