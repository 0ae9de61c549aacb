#include "platform/qt/about_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QtGlobal>

// The build passes the project's version; a stray build without it still shows a box.
#ifndef ZEPHYRIM_VERSION
#define ZEPHYRIM_VERSION "unknown"
#endif

namespace zephyrim {

namespace {

// The ngspice the engine would run: ZEPHYRIM_NGSPICE when set, as zsim reads it, else the one on PATH.
QString ngspice_line() {
  const QString configured = qEnvironmentVariable("ZEPHYRIM_NGSPICE");
  const QString program = configured.isEmpty() ? QStringLiteral("ngspice") : configured;
  const QString found = QStandardPaths::findExecutable(program);
  if (found.isEmpty())
    return QStringLiteral("ngspice: <i>%1 not found; simulations cannot run</i>")
        .arg(program.toHtmlEscaped());
  return QStringLiteral("ngspice: %1").arg(found.toHtmlEscaped());
}

}  // namespace

QString about_text(const QString& program_title, const QString& description) {
  QString libraries = QStringLiteral("<li>Qt %1 (built with %2)</li>").arg(qVersion(), QT_VERSION_STR);
  libraries += QStringLiteral("<li>%1</li>").arg(ngspice_line());
#ifdef ZEPHYRIM_FFTW_VERSION
  libraries += QStringLiteral("<li>FFTW %1</li>").arg(ZEPHYRIM_FFTW_VERSION);
#endif
  return QStringLiteral(
             "<h3>%1</h3>"
             "<p>%2</p>"
             "<p>Zephyrim version %3</p>"
             "<p>Copyright &copy; the Zephyrim developers.<br>"
             "Released under the MIT License.</p>"
             "<p>Uses:</p><ul>%4</ul>")
      .arg(program_title.toHtmlEscaped(), description.toHtmlEscaped(), QStringLiteral(ZEPHYRIM_VERSION),
           libraries);
}

void show_about(QWidget* parent, const QString& program_title, const QString& description) {
  QDialog dialog(parent);
  dialog.setObjectName("about_dialog");
  dialog.setWindowTitle(QStringLiteral("About %1").arg(program_title));

  auto* text = new QLabel(about_text(program_title, description), &dialog);
  text->setObjectName("about_text");
  text->setTextFormat(Qt::RichText);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  text->setWordWrap(true);

  auto* row = new QHBoxLayout;
  // The program's own icon, when the desktop gave it one.
  const QIcon icon = QApplication::windowIcon();
  if (!icon.isNull()) {
    auto* picture = new QLabel(&dialog);
    picture->setPixmap(icon.pixmap(64, 64));
    picture->setAlignment(Qt::AlignTop);
    row->addWidget(picture);
  }
  row->addWidget(text, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(row);
  layout->addWidget(buttons);
  dialog.setMinimumWidth(420);
  dialog.exec();
}

}  // namespace zephyrim
