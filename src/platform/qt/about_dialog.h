#pragma once
// The About box of the desktop programs: what the program is, its version and
// licence, and the libraries it runs on.
#include <QString>

class QWidget;

namespace zephyrim {

// Shows the About box of program_title ("Zephyrim Schematic", "Tracery") with a
// one-line description, modal over parent; returns when it is closed.
void show_about(QWidget* parent, const QString& program_title, const QString& description);

// The box's text as rich text: title, description, version, licence and the
// libraries found at run time.
QString about_text(const QString& program_title, const QString& description);

}  // namespace zephyrim
