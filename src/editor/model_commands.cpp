#include "editor/model_commands.h"

#include <QApplication>
#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "common/text_format.h"
#include "editor/command_table.h"
#include "editor/file_commands.h"
#include "editor/sheet_view.h"

namespace zephyrim {

namespace {

// The readers' own diagnostics are for whoever debugs a database, not for message boxes.
void debug_log(const std::string& text) {
  qDebug().noquote() << QString::fromStdString(text).trimmed();
}

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

// Loading candidate symbols only to look at their pins must not show a box per
// damaged symbol; the one that is placed is loaded again with the editor's own.
class QuietNotify : public Notify {
 public:
  QuietNotify() : Notify(kSchematicTitle) {}
  int question(const std::string&, QuestionKind) override { return 0; }
  std::optional<std::string> prompt(const std::string&, const std::string&, const std::string&,
                                    int) override {
    return std::nullopt;
  }
  void show_captioned(const std::string&, const std::string&) override {}

 protected:
  void show(NoticeKind, const std::string&) override {}
};

// A symbol whose statement calls a subcircuit, with as many pins as it has.
std::string subcircuit_symbol(const SymbolLibrary& library, size_t pins) {
  QuietNotify quiet;
  for (size_t i = 0; i < library.index.entries.size(); ++i) {
    SymbolRecord s;
    if (!symbol_load(library, static_cast<int>(i), s, quiet)) continue;
    const std::string& t = s.template_text.value_or("");
    const bool calls =
        t.empty() ? ascii_upper(s.name.str()).starts_with('X') : ascii_upper(t).starts_with('X');
    if (calls && static_cast<size_t>(s.pin_count()) == pins) return s.name.str();
  }
  return {};
}

// The columns of the index table, as the database lists it.
const QStringList kModelColumns = {"DUP",    "PART#", "TYPE",     "NAME",
                                   "SYMBOL", "CLASS", "SUBCLASS", "DESCRIPTION"};

}  // namespace

std::string model_symbol_name(const IndexEntry& entry, const ModelRecord& model, const SymbolLibrary& library,
                              std::string& why) {
  if (!entry.symbol.empty() && symbol_find(library, entry.symbol) >= 0)
    return library.index.entries[static_cast<size_t>(symbol_find(library, entry.symbol))].name.str();
  const char letter = mid_letter(entry.mid);
  const std::string kind = ascii_upper(entry.class_name.empty() ? model.kind : entry.class_name.str());
  if (letter == 'X') {
    const std::string found = subcircuit_symbol(library, model.pins.size());
    if (found.empty())
      why = strprintf("No subcircuit symbol of %zu pins in %s for the model %s.", model.pins.size(),
                      library.path.c_str(), entry.name.c_str());
    return found;
  }
  // The variant a kind asks for first, then the letter's own symbol.
  std::vector<std::string> names;
  if (letter == 'Q' && (kind == "PNP" || kind == "LPNP")) names.push_back("QP");
  if (letter == 'J' && kind == "PJF") names.push_back("JP");
  if (letter == 'M' && kind == "PMOS") names.push_back("MP");
  if (letter == 'M' && kind == "VDMOS") names.push_back("M3");  // three terminals
  if (letter == 'S' && (kind == "CSW" || kind == "ISWITCH")) names.push_back("W");
  if (letter != ' ') names.emplace_back(1, letter);
  for (const std::string& n : names)
    if (const int i = symbol_find(library, n); i >= 0)
      return library.index.entries[static_cast<size_t>(i)].name.str();
  why = strprintf("No symbol in %s fits the model %s (element %c, %s).", library.path.c_str(),
                  entry.name.c_str(), letter, kind.empty() ? "no kind" : kind.c_str());
  return {};
}

// --- the browse dialog ---

ModelBrowseDialog::ModelBrowseDialog(ModelDatabase& db, const std::string& folder, Notify& notify,
                                     std::function<QString()> ask_copy_file, QWidget* parent)
    : QDialog(parent), db_(db), folder_(folder), notify_(notify), ask_copy_file_(std::move(ask_copy_file)) {
  setObjectName("MODEL_BROWSE_DLG");
  setWindowTitle("Zephyrim Library Model - " + q(folder));

  libraries_ = new QTreeWidget(this);
  libraries_->setObjectName("libraries");
  libraries_->setColumnCount(2);
  libraries_->setHeaderLabels({"Library", "File"});
  libraries_->setRootIsDecorated(false);
  const auto& items = db_.main_index().items;
  for (size_t i = 0; i < items.size(); ++i) {
    auto* item = new QTreeWidgetItem(libraries_);
    item->setText(0, q(items[i].description.str()));
    item->setText(1, QFileInfo(q(db_.library_path(static_cast<int>(i), "MDB"))).fileName());
  }
  libraries_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  libraries_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);

  filter_ = new QLineEdit(this);
  filter_->setObjectName("filter");
  filter_->setPlaceholderText("Filter");
  find_name_ = new QLineEdit(this);
  find_name_->setObjectName("find_name");
  find_name_->setPlaceholderText("Model name in any library");
  auto* find_button = new QPushButton("Find", this);
  find_button->setObjectName("find");

  models_ = new QTableWidget(0, static_cast<int>(kModelColumns.size()), this);
  models_->setObjectName("models");
  models_->setHorizontalHeaderLabels(kModelColumns);
  models_->setSelectionBehavior(QAbstractItemView::SelectRows);
  models_->setSelectionMode(QAbstractItemView::SingleSelection);
  models_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  models_->verticalHeader()->hide();
  models_->horizontalHeader()->setStretchLastSection(true);

  text_ = new QPlainTextEdit(this);
  text_->setObjectName("model_text");
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

  place_ = new QPushButton("Place", this);
  place_->setObjectName("place");
  place_->setDefault(true);
  copy_ = new QPushButton("Copy to Model File...", this);
  copy_->setObjectName("copy");
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("cancel");

  auto* search = new QHBoxLayout;
  search->addWidget(new QLabel("Filter:", this));
  search->addWidget(filter_, 1);
  search->addSpacing(12);
  search->addWidget(new QLabel("Find:", this));
  search->addWidget(find_name_, 1);
  search->addWidget(find_button);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(place_);
  buttons->addWidget(copy_);
  buttons->addWidget(cancel);
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(libraries_);
  splitter->addWidget(models_);
  splitter->addWidget(text_);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 3);
  splitter->setStretchFactor(2, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(search);
  layout->addWidget(splitter, 1);
  layout->addLayout(buttons);

  connect(libraries_, &QTreeWidget::currentItemChanged, this, [this] { library_changed(); });
  connect(filter_, &QLineEdit::textChanged, this, [this] { refilter(); });
  connect(models_, &QTableWidget::itemSelectionChanged, this, [this] { entry_changed(); });
  connect(models_, &QTableWidget::cellDoubleClicked, this, [this] {
    if (entry() >= 0) accept();
  });
  connect(find_button, &QPushButton::clicked, this, [this] { find(find_name_->text()); });
  connect(find_name_, &QLineEdit::returnPressed, this, [this] { find(find_name_->text()); });
  connect(place_, &QPushButton::clicked, this, [this] {
    if (entry() >= 0) accept();
  });
  connect(copy_, &QPushButton::clicked, this, [this] { copy_to_model_file(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  // The first library is shown at once: most databases hold one or two.
  if (libraries_->topLevelItemCount() > 0) libraries_->setCurrentItem(libraries_->topLevelItem(0));
  entry_changed();
  resize(900, 640);
}

int ModelBrowseDialog::entry() const {
  const QList<QTableWidgetItem*> selected = models_->selectedItems();
  if (library_ < 0 || selected.isEmpty() || models_->isRowHidden(selected.front()->row())) return -1;
  return selected.front()->row();
}

bool ModelBrowseDialog::select_library(int library) {
  QTreeWidgetItem* item = libraries_->topLevelItem(library);
  if (!item) return false;
  libraries_->setCurrentItem(item);
  return library_ == library;
}

bool ModelBrowseDialog::select_entry(int entry) {
  if (entry < 0 || entry >= models_->rowCount()) return false;
  if (models_->isRowHidden(entry)) filter_->clear();
  models_->selectRow(entry);
  models_->scrollToItem(models_->item(entry, 0));
  return this->entry() == entry;
}

void ModelBrowseDialog::library_changed() {
  models_->setRowCount(0);
  library_ = -1;
  const int library = libraries_->indexOfTopLevelItem(libraries_->currentItem());
  if (library < 0) return entry_changed();
  if (!db_.open_library_index(library)) {
    notify_.error(strprintf("The library %s of the model database cannot be read.",
                            db_.library_path(library, "MDX").c_str()));
    return entry_changed();
  }
  library_ = library;
  db_.mark_duplicates();
  const auto& entries = db_.library_index().entries;
  const std::vector<int>& dup = db_.duplicates();
  models_->setUpdatesEnabled(false);
  models_->setRowCount(static_cast<int>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const IndexEntry& e = entries[i];
    // A later duplicate holds the negated index of the first, which reads 0 for entry 0 itself.
    const bool later = i > 0 && (dup[i] < 0 || (dup[i] == 0 && dup[0] > 0 && e.mid == entries[0].mid &&
                                                iequals(e.name, entries[0].name)));
    const QString mark = later        ? QString("= %1").arg(-dup[i])
                         : dup[i] > 0 ? QString::number(dup[i])
                                      : QString();
    const std::string part = e.list_flag == 0        ? std::string("NOLIST")
                             : e.part_number.empty() ? e.name
                                                     : e.part_number;
    const QStringList cells = {mark,
                               q(part),
                               QString(QChar(mid_letter(e.mid))),
                               q(e.name),
                               q(e.symbol),
                               q(e.class_name.str()),
                               q(e.subclass.str()),
                               q(e.description)};
    for (int c = 0; c < cells.size(); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (later) item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
      models_->setItem(static_cast<int>(i), c, item);
    }
  }
  models_->resizeColumnsToContents();
  models_->setUpdatesEnabled(true);
  refilter();
  entry_changed();
}

void ModelBrowseDialog::refilter() {
  const QString f = filter_->text().trimmed();
  for (int r = 0; r < models_->rowCount(); ++r) {
    bool show = f.isEmpty();
    for (int c = 1; c < models_->columnCount() && !show; ++c)
      show = models_->item(r, c)->text().contains(f, Qt::CaseInsensitive);
    models_->setRowHidden(r, !show);
  }
  entry_changed();
}

void ModelBrowseDialog::entry_changed() {
  const int e = entry();
  place_->setEnabled(e >= 0);
  copy_->setEnabled(e >= 0);
  if (e < 0) {
    text_->clear();
    return;
  }
  std::string text;
  if (!db_.write_model_text(e, text))
    text += strprintf("\n* The model cannot be read from %s (error code %d).\n",
                      db_.library_path(library_, "MDB").c_str(), db_.last_code());
  // The text begins with the empty line that separates it in a model file.
  while (!text.empty() && text.front() == '\n') text.erase(0, 1);
  text_->setPlainText(q(text));
}

bool ModelBrowseDialog::find(const QString& wanted) {
  const std::string name = wanted.trimmed().toStdString();
  if (name.empty()) return false;
  if (db_.open_cross_index(folder_) == 0 && db_.last_code() != kModelDbOk) {
    notify_.error(strprintf("The cross index of the model database in %s cannot be read.", folder_.c_str()));
    return false;
  }
  const auto& records = db_.cross_index().records;
  if (wanted.trimmed().compare(last_find_, Qt::CaseInsensitive) != 0) next_find_ = 0;
  last_find_ = wanted.trimmed();
  // The name itself first; only when no model has it, the names that hold it.
  const std::string upper = ascii_upper(name);
  bool exact = false;
  for (const CrossRecord& c : records) exact = exact || iequals(c.name, name);
  const size_t n = records.size();
  for (size_t k = 0; k < n; ++k) {
    const size_t i = (static_cast<size_t>(next_find_) + k) % n;
    const CrossRecord& c = records[i];
    if (exact ? !iequals(c.name, name) : ascii_upper(c.name).find(upper) == std::string::npos) continue;
    if (!select_library(c.library)) continue;
    // The cross index names the entry; a library rebuilt since is searched by name.
    const auto& entries = db_.library_index().entries;
    int entry = c.entry >= 0 && static_cast<size_t>(c.entry) < entries.size() &&
                        iequals(entries[static_cast<size_t>(c.entry)].name, c.name)
                    ? c.entry
                    : -1;
    for (size_t e = 0; entry < 0 && e < entries.size(); ++e)
      if (iequals(entries[e].name, c.name)) entry = static_cast<int>(e);
    if (entry < 0 || !select_entry(entry)) continue;
    next_find_ = static_cast<int>((i + 1) % n);
    return true;
  }
  notify_.information(strprintf("Model %s not found in the model database.", name.c_str()));
  return false;
}

void ModelBrowseDialog::copy_to_model_file() {
  const int e = entry();
  if (e < 0 || !ask_copy_file_) return;
  const QString file = ask_copy_file_();
  if (file.isEmpty()) return;
  const std::string& name = db_.library_index().entries[static_cast<size_t>(e)].name;
  if (db_.save_model(e, file.toStdString(), true))
    notify_.information(strprintf("Model %s copied to %s", name.c_str(), file.toStdString().c_str()));
  else
    notify_.error(
        strprintf("The model %s could not be copied to %s", name.c_str(), file.toStdString().c_str()));
}

// --- the commands ---

ModelCommands::ModelCommands(EditorMainWindow& window) : w_(window) {
  ask_model_files = [this] {
    return QFileDialog::getOpenFileNames(&w_, "Model Database: SPICE Model Files", QString(),
                                         "SPICE model files (*.lib *.mod *.sub *.cir *.txt)");
  };
  ask_library_file = [this] {
    return QFileDialog::getOpenFileName(&w_, "Open SPICE Model Library File", QString(),
                                        "Model library files(*.lib)");
  };
  ask_copy_file = [this] {
    // Copies append, so an existing file is the usual answer, not one to warn about.
    QWidget* over = QApplication::activeModalWidget();
    return QFileDialog::getSaveFileName(over ? over : &w_, "Copy to Model File", QString(),
                                        "Model files(*.lib *.mod *.sub *.txt);;All files(*)", nullptr,
                                        QFileDialog::DontConfirmOverwrite);
  };
}

ModelCommands::~ModelCommands() {
  if (build_) {
    build_->disconnect();
    if (build_->state() != QProcess::NotRunning) {
      build_->kill();
      build_->waitForFinished(5000);
    }
  }
}

void ModelCommands::add_to(CommandHandlers& h) {
  h[kCmdInsertModel] = [this] { insert_model(); };
  h[kCmdModelDatabase] = [this] { build_database(); };
  h[kCmdOpenLibrary] = [this] { open_library_file(); };
}

std::string ModelCommands::database_folder() const {
  const std::string circuit =
      w_.files().named() ? QFileInfo(q(w_.schematic().path)).absolutePath().toStdString() : std::string();
  return model_database_folder(circuit, w_.config().model_database_path, process_environment());
}

ModelDatabase& ModelCommands::database() {
  if (!db_) db_ = std::make_unique<ModelDatabase>(debug_log);
  return *db_;
}

void ModelCommands::insert_model() {
  const std::string folder = database_folder();
  if (folder.empty()) {
    w_.notify().information(
        strprintf("No model database folder is known: set %s in ZEPHYRIM.INI.", kModelDatabaseKey));
    return;
  }
  ModelDatabase& db = database();
  if (!db.open_main_index(folder)) {
    if (db.last_code() == kModelDbNoFile)
      w_.notify().information(strprintf(
          "No model database in %s\nUse Tools > Model Libraries > Model Database to build one from SPICE "
          "model files.",
          folder.c_str()));
    else
      w_.notify().error(strprintf(
          "The model database in %s cannot be read.\nUse Tools > Model Libraries > Model Database to build "
          "it again.",
          folder.c_str()));
    return;
  }
  ModelBrowseDialog d(db, folder, w_.notify(), ask_copy_file, &w_);
  if (d.exec() != QDialog::Accepted || d.entry() < 0) return;
  place_model(d.library(), d.entry());
}

bool ModelCommands::place_model(int library, int entry) {
  ModelDatabase& db = database();
  if (db.selected_library() != library && !db.open_library_index(library)) return false;
  const IndexEntry& e = db.library_index().entries.at(static_cast<size_t>(entry));
  ModelRecord model;
  db.read_model(entry, model);  // a subcircuit's pins choose its symbol; the rest goes by the index
  const SymbolLibrary* symbols = w_.library();
  if (!symbols) return false;
  std::string why;
  const std::string symbol = model_symbol_name(e, model, *symbols, why);
  if (symbol.empty()) {
    w_.notify().warning(why);
    return false;
  }
  // A link of the same kind, scope and library (in any case) is shared.
  Schematic& s = w_.schematic();
  const std::string library_name =
      QFileInfo(q(db.library_path(library, "MDB"))).completeBaseName().toStdString();
  LibraryLink* link = nullptr;
  for (const auto& l : s.links)
    if (l->kind == kLinkMdb && l->scope == kLinkPart && l->file() && iequals(*l->file(), library_name))
      link = l.get();
  if (!link) {
    auto made = std::make_unique<LibraryLink>();
    made->kind = kLinkMdb;
    made->scope = kLinkPart;
    made->texts[0] = library_name;
    link = made.get();
    s.links.push_back(std::move(made));
  }
  return w_.place_symbol(symbol, kStatePlacePart, PlacementModel{e.name, link});
}

std::string ModelCommands::batch_tool() const {
  const std::string folder =
      program_folder_.empty() ? QCoreApplication::applicationDirPath().toStdString() : program_folder_;
  const std::string beside = folder + "/zephyrim";
  // Installed beside the editor as a rule; otherwise wherever the PATH has it.
  return QFileInfo(q(beside)).isExecutable() ? beside : std::string("zephyrim");
}

void ModelCommands::build_database() {
  if (building()) {
    w_.notify().information("The model database is being built already.");
    return;
  }
  const std::string folder = database_folder();
  if (folder.empty()) {
    w_.notify().error(
        strprintf("No model database folder is known: set %s in ZEPHYRIM.INI.", kModelDatabaseKey));
    return;
  }
  const QStringList files = ask_model_files();
  if (files.isEmpty()) return;
  // The database is built whole from the files given: the libraries of the old one go.
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::path(folder) / kMainIndexFile, ec) &&
      w_.notify().question(strprintf("The model database in %s is replaced by one built from the files "
                                     "chosen.\nDo you want to go on?",
                                     folder.c_str()),
                           QuestionKind::OkCancel) != 1)
    return;
  QStringList args = {"modeldb", "build", q(folder)};
  for (const QString& f : files) args << QFileInfo(f).absoluteFilePath();
  const QString program = q(batch_tool());
  build_ = std::make_unique<QProcess>();
  build_->setProcessChannelMode(QProcess::SeparateChannels);
  build_->setStandardInputFile(QProcess::nullDevice());
  build_->setWorkingDirectory(QFileInfo(q(w_.schematic().path)).absolutePath());
  QObject::connect(build_.get(), &QProcess::finished, build_.get(),
                   [this](int code, QProcess::ExitStatus status) { build_finished(code, status); });
  build_folder_ = folder;
  w_.show_status_popup("Building the model database...");
  build_->start(program, args);
  if (build_->waitForStarted(10000)) return;
  w_.show_status_popup({});
  QString line = program;
  for (const QString& a : args) line += " \"" + a + "\"";
  const int code = QFileInfo(program).exists() ? 1 : 2;
  build_.reset();
  w_.notify().error(QString("Command: %1 failed.\nError code %2").arg(line).arg(code).toStdString());
}

void ModelCommands::build_finished(int exit_code, QProcess::ExitStatus status) {
  w_.show_status_popup({});
  // The process goes once its signal has returned; a new build may start while the message shows.
  QProcess* done = build_.release();
  done->deleteLater();
  const QString out = QString::fromLocal8Bit(done->readAllStandardOutput());
  const QString err = QString::fromLocal8Bit(done->readAllStandardError()).trimmed();
  // The summary: a line per library, the statements left out and the total; not every model.
  QStringList summary;
  for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
    if (!line.startsWith("  ") || line.startsWith("  skipped")) summary << line;
  constexpr int kMaxLines = 12;
  if (summary.size() > kMaxLines) summary = summary.mid(summary.size() - kMaxLines);
  QStringList errors = err.split('\n', Qt::SkipEmptyParts);
  if (errors.size() > kMaxLines) errors = errors.mid(errors.size() - kMaxLines);
  // What was read before is stale now: the next Insert reads the new files.
  db_.reset();
  const std::string folder = build_folder_;
  if (status == QProcess::NormalExit && exit_code == 0) {
    w_.notify().information(strprintf("Model database built in %s\n\n", folder.c_str()) +
                            summary.join('\n').toStdString());
  } else if (status == QProcess::NormalExit && exit_code == 1) {
    w_.notify().warning(
        strprintf("Model database built in %s, but some input was left out.\n\n", folder.c_str()) +
        summary.join('\n').toStdString() + "\n" + errors.join('\n').toStdString());
  } else {
    const std::string why = status != QProcess::NormalExit
                                ? std::string("The model database program stopped.")
                                : errors.join('\n').toStdString();
    w_.notify().error(strprintf("The model database could not be built in %s\n\n", folder.c_str()) + why);
  }
}

void ModelCommands::open_library_file() {
  const QString file = ask_library_file();
  if (file.isEmpty()) return;
  std::vector<std::string> argv = text_tool_command(w_.config().browse_file_command, process_environment());
  argv.push_back(file.toStdString());
  w_.launch(argv);
}

}  // namespace zephyrim
