#pragma once
// Icons of the toolbars: the desktop's themed icon where it has one, else a
// plain drawing of our own, so that a toolbar never shows empty buttons.
#include <QIcon>
#include <QString>

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

}  // namespace zephyrim
