#include "editor/dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "common/text_format.h"
#include "editing/subckt.h"
#include "editor/source_dialog.h"
#include "netlist/source_statement.h"
#include "schematic/page_size.h"

namespace zephyrim {

namespace {

QString q(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
std::string text_of(const QLineEdit* e) {
  return e->text().toLatin1().toStdString();
}

QLineEdit* line(QWidget* parent, const QString& name, const std::string& value, int max_length) {
  auto* e = new QLineEdit(q(value), parent);
  e->setObjectName(name);
  if (max_length > 0) e->setMaxLength(max_length);
  return e;
}

QDialogButtonBox* ok_cancel(QDialog* d) {
  auto* b = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, d);
  QObject::connect(b, &QDialogButtonBox::accepted, d, &QDialog::accept);
  QObject::connect(b, &QDialogButtonBox::rejected, d, &QDialog::reject);
  return b;
}

// A table with Add and Remove buttons under it, then OK and Cancel.
void table_dialog_layout(QDialog* d, QTableWidget* table, std::function<void()> add) {
  auto* add_button = new QPushButton("&Add", d);
  auto* remove = new QPushButton("&Remove", d);
  QObject::connect(add_button, &QPushButton::clicked, d, std::move(add));
  QObject::connect(remove, &QPushButton::clicked, d, [table] {
    if (table->currentRow() >= 0) table->removeRow(table->currentRow());
  });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add_button);
  buttons->addWidget(remove);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(d);
  layout->addWidget(table);
  layout->addLayout(buttons);
  layout->addWidget(ok_cancel(d));
  d->resize(520, 300);
}

}  // namespace

PartAttributesDialog::PartAttributesDialog(Schematic& s, PartRecord& part, Notify& notify, QWidget* parent)
    : QDialog(parent), s_(s), part_(part), notify_(notify) {
  setObjectName("PART_ATTR_DLG");
  setWindowTitle(q(strprintf("Part Attributes - [%s]", part.reference.str().c_str())));
  auto* form = new QFormLayout;
  // A longer value is let through to the check, which says it was cut.
  reference_ = line(this, "reference", part.reference.str(), 15);
  value_ = line(this, "value", part.value.str(), 0);
  device_ = line(this, "device", part.device.str(), 1);
  form->addRow("Reference:", reference_);
  form->addRow("Value:", value_);
  form->addRow("Device:", device_);
  for (int k = 0; k < 3; ++k) {
    params_[k] =
        line(this, QString("par%1").arg(k + 1), part.params[k].value_or(""), static_cast<int>(kMaxParamText));
    show_[k] = new QCheckBox("Show", this);
    show_[k]->setObjectName(QString("show%1").arg(k + 1));
    show_[k]->setChecked(part.show[k] != 0);
    auto* row = new QHBoxLayout;
    row->addWidget(params_[k], 1);
    row->addWidget(show_[k]);
    form->addRow(QString("Par%1:").arg(k + 1), row);
  }
  template_ = line(this, "template", part.template_text.value_or(""), static_cast<int>(kMaxParamText));
  form->addRow("Template:", template_);
  model_file_ =
      line(this, "model_file", part.model_link && part.model_link->file() ? *part.model_link->file() : "",
           static_cast<int>(kMaxParamText));
  form->addRow("Model file:", model_file_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  if (source_is_independent(part)) {
    // The source function is the part's own record: its dialog applies at once.
    auto* source = new QPushButton("&Source...", this);
    source->setObjectName("source");
    connect(source, &QPushButton::clicked, this, [this] {
      SourceDialog d(part_, notify_, this);
      if (d.exec() == QDialog::Accepted) {
        value_->setText(q(part_.value.str()));
        mark_changed(s_, part_.owner);
      }
    });
    layout->addWidget(source, 0, Qt::AlignLeft);
  }
  layout->addWidget(ok_cancel(this));
}

void PartAttributesDialog::accept() {
  // Checked before anything is stored, so a refused entry changes nothing.
  PartRecord trial = part_;
  if (!part_set_reference(trial, text_of(reference_), notify_)) {
    reference_->setFocus();
    return;
  }
  part_set_value(trial, text_of(value_), notify_);
  trial.device.assign(text_of(device_));
  for (int k = 0; k < 3; ++k) {
    const std::string p = text_of(params_[k]);
    trial.params[k] = p.empty() ? std::nullopt : std::optional<std::string>(p);
    trial.show[k] = show_[k]->isChecked() ? 1 : 0;
  }
  const std::string t = text_of(template_);
  trial.template_text = t.empty() ? std::nullopt : std::optional<std::string>(t);

  const std::string file = text_of(model_file_);
  const std::string old = part_.model_link && part_.model_link->file() ? *part_.model_link->file() : "";
  if (file != old) {
    trial.model_link = nullptr;  // an unused link is pruned on the next save
    if (!file.empty()) {
      // A link of the same kind, scope and file (in any case) is shared.
      for (const auto& l : s_.links)
        if (l->kind == kLinkLib && l->scope == kLinkPart && l->file() &&
            QString::fromLatin1(l->file()->c_str()).compare(q(file), Qt::CaseInsensitive) == 0)
          trial.model_link = l.get();
      if (!trial.model_link) {
        auto link = std::make_unique<LibraryLink>();
        link->kind = kLinkLib;
        link->scope = kLinkPart;
        link->texts[0] = file;
        trial.model_link = link.get();
        s_.links.push_back(std::move(link));
      }
    }
  }
  part_ = std::move(trial);
  mark_changed(s_, part_.owner);
  QDialog::accept();
}

TitleBlockDialog::TitleBlockDialog(Schematic& s, QWidget* parent) : QDialog(parent), s_(s) {
  setObjectName("EDIT_TITLEBLK_DLG");
  setWindowTitle("Title Block");
  const TitleBlock& t = s.page().title;
  title1_ = line(this, "title1", t.title1.str(), 127);
  title2_ = line(this, "title2", t.title2.str(), 127);
  number_ = line(this, "number", t.number.str(), 31);
  revision_ = line(this, "revision", t.revision.str(), 15);
  drawn_by_ = line(this, "drawn_by", t.drawn_by.str(), 63);
  auto* form = new QFormLayout;
  form->addRow("Title:", title1_);
  form->addRow("Description:", title2_);
  form->addRow("Number:", number_);
  form->addRow("Revision:", revision_);
  form->addRow("Drawn by:", drawn_by_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(ok_cancel(this));
}

void TitleBlockDialog::accept() {
  TitleBlock& t = s_.page().title;
  t.title1.assign(text_of(title1_));
  t.title2.assign(text_of(title2_));
  t.number.assign(text_of(number_));
  t.revision.assign(text_of(revision_));
  t.drawn_by.assign(text_of(drawn_by_));
  s_.modified = true;
  QDialog::accept();
}

PageListDialog::PageListDialog(Schematic& s, Notify& notify, QWidget* parent)
    : QDialog(parent), s_(s), notify_(notify) {
  setObjectName("SHEET_SEL_DLG");
  setWindowTitle("Pages");
  list_ = new QListWidget(this);
  auto* open = new QPushButton("&Open", this);
  auto* del = new QPushButton("&Delete", this);
  auto* close = new QPushButton("Cancel", this);
  open->setDefault(true);
  connect(open, &QPushButton::clicked, this, &QDialog::accept);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  connect(del, &QPushButton::clicked, this, [this] { delete_chosen(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(open);
  buttons->addWidget(del);
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  fill();
}

void PageListDialog::fill() {
  list_->clear();
  for (int k = 0; k < s_.page_count(); ++k) {
    const auto& title = s_.page_table.entries[k].title;
    QString text = QString("Page %1").arg(k + 1);
    const std::string t1 = s_.pages[k]->title.title1.str();
    if (title && !title->empty())
      text += ": " + q(*title);
    else if (!t1.empty())
      text += ": " + q(t1);
    list_->addItem(text);
  }
  list_->setCurrentRow(s_.current_page());
}

int PageListDialog::chosen_page() const {
  return list_->currentRow();
}

bool PageListDialog::delete_chosen() {
  const int n = chosen_page();
  if (n < 0) return false;
  const bool deleted = page_delete(s_, n, notify_) == 1;
  if (deleted) fill();
  return deleted;
}

SubcktOptionsDialog::SubcktOptionsDialog(const std::string& name, const std::string& text, bool creating,
                                         QWidget* parent)
    : QDialog(parent) {
  setObjectName("SUBCKT_OPTS_DLG");
  setWindowTitle(creating ? "New SUBCKT Options" : "SUBCKT Options");
  name_ = line(this, "name", name, 31);
  text_ = new QPlainTextEdit(q(text), this);
  text_->setObjectName("text");
  auto* form = new QFormLayout;
  form->addRow("Name:", name_);
  form->addRow("Text:", text_);
  extra_ = new QHBoxLayout;
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(extra_);
  layout->addWidget(ok_cancel(this));
}

void SubcktOptionsDialog::add_button(const QString& text, std::function<void()> action) {
  auto* b = new QPushButton(text, this);
  connect(b, &QPushButton::clicked, this, std::move(action));
  extra_->addWidget(b);
}

SubcktParamsDialog::SubcktParamsDialog(Schematic& s, BlockRecord& block, Notify& notify, QWidget* parent)
    : QDialog(parent), s_(s), block_(block), notify_(notify) {
  setObjectName("SUBCKT_PARAM_DLG");
  setWindowTitle(q(strprintf("SUBCKT %s Parameters", block.name.str().c_str())));
  table_ = new QTableWidget(0, 3, this);
  table_->setHorizontalHeaderLabels({"Name", "Default", "Comment"});
  table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
  for (const SubcktParam& p : subckt_params(block)) add_row(q(p.name), p.value, q(p.comment));
  table_dialog_layout(this, table_, [this] { add_row("", 0, ""); });
}

void SubcktParamsDialog::add_row(const QString& name, double value, const QString& comment) {
  const int r = table_->rowCount();
  table_->insertRow(r);
  table_->setItem(r, 0, new QTableWidgetItem(name.left(7)));
  table_->setItem(r, 1, new QTableWidgetItem(QString::number(value, 'g', 7)));
  table_->setItem(r, 2, new QTableWidgetItem(comment));
}

void SubcktParamsDialog::accept() {
  std::vector<SubcktParam> params;
  auto cell = [&](int r, int c) {
    return table_->item(r, c) ? table_->item(r, c)->text().trimmed() : QString();
  };
  for (int r = 0; r < table_->rowCount(); ++r) {
    const QString name = cell(r, 0);
    if (name.isEmpty()) continue;
    bool ok = false;
    const double v = cell(r, 1).toDouble(&ok);
    params.push_back(
        {name.left(7).toLatin1().toStdString(), ok ? v : 0.0, cell(r, 2).toLatin1().toStdString()});
  }
  if (!subckt_set_params(s_, block_, params, notify_)) return;
  QDialog::accept();
}

SubcktPinsDialog::SubcktPinsDialog(Schematic& s, BlockRecord& block, QWidget* parent)
    : QDialog(parent), s_(s), block_(block) {
  setObjectName("SUBCKT_PINS_DLG");
  setWindowTitle(q(strprintf("SUBCKT %s Pins", block.name.str().c_str())));
  list_ = new QListWidget(this);
  for (PartRecord* p : subckt_io_pins(s, &block)) {
    auto* item = new QListWidgetItem(q(p->value.empty() ? p->reference.str() : p->value.str()), list_);
    item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(p)));
  }
  if (list_->count() > 0) list_->setCurrentRow(0);
  auto* up = new QPushButton("Move &Up", this);
  auto* down = new QPushButton("Move &Down", this);
  connect(up, &QPushButton::clicked, this, [this] { move_current(-1); });
  connect(down, &QPushButton::clicked, this, [this] { move_current(1); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(up);
  buttons->addWidget(down);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  layout->addWidget(ok_cancel(this));
}

void SubcktPinsDialog::move_current(int by) {
  const int r = list_->currentRow(), to = r + by;
  if (r < 0 || to < 0 || to >= list_->count()) return;
  QListWidgetItem* item = list_->takeItem(r);
  list_->insertItem(to, item);
  list_->setCurrentRow(to);
}

void SubcktPinsDialog::accept() {
  std::vector<PartRecord*> order;
  for (int i = 0; i < list_->count(); ++i)
    order.push_back(static_cast<PartRecord*>(list_->item(i)->data(Qt::UserRole).value<void*>()));
  subckt_order_pins(s_, &block_, order);
  QDialog::accept();
}

std::string SubcktOptionsDialog::name() const {
  return text_of(name_);
}
std::string SubcktOptionsDialog::text() const {
  return text_->toPlainText().left(static_cast<int>(kMaxParamText)).toLatin1().toStdString();
}

namespace {

const char* const kLinkKinds[] = {".LIB", ".INC", "MDB"};

}  // namespace

LibraryLinksDialog::LibraryLinksDialog(Schematic& s, QWidget* parent) : QDialog(parent), s_(s) {
  setObjectName("EDIT_LIBRARYLINKS_DLG");
  setWindowTitle("Project Model Library Links");
  table_ = new QTableWidget(0, 2, this);
  table_->setHorizontalHeaderLabels({"File", "Kind"});
  table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  for (const auto& l : s.links)
    if (l->scope == kLinkProject) add_link(q(l->file().value_or("")), l->kind);
  table_dialog_layout(this, table_, [this] { add_link("", kLinkLib); });
}

void LibraryLinksDialog::add_link(const QString& file, int kind) {
  const int row = table_->rowCount();
  table_->insertRow(row);
  table_->setItem(row, 0, new QTableWidgetItem(file));
  auto* combo = new QComboBox(table_);
  for (const char* k : kLinkKinds) combo->addItem(k);
  combo->setCurrentIndex(std::clamp(kind, 0, 2));
  table_->setCellWidget(row, 1, combo);
}

void LibraryLinksDialog::accept() {
  // Project links take the order shown; the automatic ones stay as they are.
  // A row that names an existing link keeps that link, since parts may point at it.
  std::vector<std::unique_ptr<LibraryLink>> links, old_project;
  for (auto& l : s_.links) (l->scope == kLinkProject ? old_project : links).push_back(std::move(l));
  for (int r = 0; r < table_->rowCount(); ++r) {
    const std::string file =
        table_->item(r, 0) ? table_->item(r, 0)->text().trimmed().toLatin1().toStdString() : "";
    if (file.empty()) continue;
    const int kind = static_cast<QComboBox*>(table_->cellWidget(r, 1))->currentIndex();
    auto same = std::find_if(old_project.begin(), old_project.end(), [&](const auto& l) {
      return l && l->kind == kind && l->file() == file.substr(0, kMaxParamText);
    });
    if (same != old_project.end()) {
      links.push_back(std::move(*same));
      continue;
    }
    auto l = std::make_unique<LibraryLink>();
    l->scope = kLinkProject;
    l->kind = kind;
    l->texts[0] = file.substr(0, kMaxParamText);
    links.push_back(std::move(l));
  }
  // Parts that named a link now gone name none.
  for (const auto& gone : old_project)
    if (gone)
      for (auto& page : s_.pages)
        for (auto& p : page->parts)
          if (p->model_link == gone.get()) p->model_link = nullptr;
  s_.links = std::move(links);
  s_.modified = true;
  QDialog::accept();
}

DrawingOptionsDialog::DrawingOptionsDialog(Schematic& s, QWidget* parent) : QDialog(parent), s_(s) {
  setObjectName("DRAW_OPTS_DLG");
  setWindowTitle("Drawing Options");
  const PageSettings& g = s.page().settings;
  border_ = new QComboBox(this);
  border_->addItems({"None", "Ruler", "Box"});
  border_->setCurrentIndex(std::clamp(g.border, 0, 2));
  size_ = new QComboBox(this);
  size_->addItems({"A/A4  11x8.5", "A portrait", "B/A3  17x11", "C/A2  22x17", "D/A1  34x22", "E/A0  44x34",
                   "Legal 14x8.5", "B portrait"});
  // An unlisted code is drawn as size A, so that is what the list shows.
  size_->setCurrentIndex(g.sheet_size >= 0 && g.sheet_size < kPageSizeCount ? g.sheet_size : 0);
  scale_ = new QComboBox(this);
  scale_->addItems({"x1", "x2"});
  scale_->setCurrentIndex(g.scale == 2 ? 1 : 0);
  grid_ = new QCheckBox("Show grid", this);
  grid_->setChecked(g.show_grid != 0);
  title_ = new QCheckBox("Show title block", this);
  title_->setChecked(g.show_title != 0);
  auto* form = new QFormLayout;
  form->addRow("Border:", border_);
  form->addRow("Sheet size:", size_);
  form->addRow("Symbol scale:", scale_);
  form->addRow(grid_);
  form->addRow(title_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(ok_cancel(this));
}

void DrawingOptionsDialog::accept() {
  PageSettings& g = s_.page().settings;
  g.border = border_->currentIndex();
  g.sheet_size = size_->currentIndex();
  page_size_apply(s_.page());  // the title block's size text follows the size
  const int scale = scale_->currentIndex() + 1;
  if (scale != g.scale) {
    g.scale = scale;
    // Parts take the new scale in their regions; their pins move with it.
    for (auto& p : s_.page().parts) part_update_region(s_, *p);
    mark_changed(s_, s_.page().top());
  }
  g.show_grid = grid_->isChecked() ? 1 : 0;
  g.show_title = title_->isChecked() ? 1 : 0;
  s_.modified = true;
  QDialog::accept();
}

AutoSaveDialog::AutoSaveDialog(bool on, int minutes, bool before_run, QWidget* parent) : QDialog(parent) {
  setObjectName("AUTOSAVE_DLG");
  setWindowTitle("Auto Save");
  on_ = new QCheckBox("Save automatically", this);
  on_->setChecked(on);
  minutes_ = new QSpinBox(this);
  minutes_->setRange(0, 100);
  minutes_->setSuffix(" min");
  minutes_->setValue(std::clamp(minutes, 0, 100));
  before_run_ = new QCheckBox("Save before each simulation run", this);
  before_run_->setChecked(before_run);
  auto* form = new QFormLayout;
  form->addRow(on_);
  form->addRow("Every:", minutes_);
  form->addRow(before_run_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(ok_cancel(this));
}

NetlistOptionsDialog::NetlistOptionsDialog(const EditorConfig& config, QWidget* parent) : QDialog(parent) {
  setObjectName("NETLIST_OPTS_DLG");
  setWindowTitle("Netlist Options");
  on_exit_ = new QCheckBox("Write the netlist when the editor closes", this);
  on_exit_->setObjectName("on_exit");
  on_exit_->setChecked(config.netlist_on_exit != 0);
  backup_ = new QCheckBox("Keep the previous netlist as .BAK", this);
  backup_->setObjectName("backup");
  backup_->setChecked(config.netlist_backup != 0);
  statistics_ = line(this, "statistics", config.statistics_file, 255);
  statistics_->setMinimumWidth(360);  // a whole path, not its last few letters
  auto* form = new QFormLayout;
  form->addRow(on_exit_);
  form->addRow(backup_);
  form->addRow("Statistics file:", statistics_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(ok_cancel(this));
}

void NetlistOptionsDialog::apply(EditorConfig& config) const {
  config.netlist_on_exit = on_exit_->isChecked() ? 1 : 0;
  config.netlist_backup = backup_->isChecked() ? 1 : 0;
  config.statistics_file = statistics_->text().trimmed().toStdString();
}

bool AutoSaveDialog::on() const {
  return on_->isChecked();
}
int AutoSaveDialog::minutes() const {
  return minutes_->value();
}
bool AutoSaveDialog::before_run() const {
  return before_run_->isChecked();
}

FindDialog::FindDialog(const FindOptions& last, QWidget* parent) : QDialog(parent) {
  setObjectName("FIND_OPTS_DLG");
  setWindowTitle("Find");
  kind_ = new QComboBox(this);
  kind_->setObjectName("kind");
  kind_->addItems({"Parts", "Labels", "Text", "Subcircuits", "Node numbers"});
  kind_->setCurrentIndex(static_cast<int>(last.kind));
  what_ = line(this, "what", last.what, 255);
  whole_ = new QCheckBox("Whole name", this);
  whole_->setChecked(last.whole);
  values_ = new QCheckBox("Part values too", this);
  values_->setChecked(last.part_values);
  all_pages_ = new QCheckBox("All pages", this);
  all_pages_->setChecked(last.all_pages);
  auto* form = new QFormLayout;
  form->addRow("Find:", kind_);
  form->addRow("Text:", what_);
  form->addRow(whole_);
  form->addRow(values_);
  form->addRow(all_pages_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(ok_cancel(this));
}

FindOptions FindDialog::options() const {
  FindOptions o;
  o.kind = static_cast<FindKind>(kind_->currentIndex());
  o.what = text_of(what_);
  o.whole = whole_->isChecked();
  o.part_values = values_->isChecked();
  o.all_pages = all_pages_->isChecked();
  return o;
}

SubcktModelDialog::SubcktModelDialog(const std::string& block, const QString& file, QWidget* parent)
    : QDialog(parent) {
  setObjectName("SUBCKTNETAS_DLG");
  setWindowTitle(q(strprintf("Save SUBCKT %s as Model", block.c_str())));
  file_ = new QLineEdit(file, this);
  file_->setObjectName("file");
  auto* browse = new QPushButton("&Browse...", this);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString f = QFileDialog::getSaveFileName(
        this, "Save Subcircuit Model", file_->text(),
        "Subcircuit model files(*.mod *.sub *.txt);;Subcircuit library files(*.lib)", nullptr,
        QFileDialog::DontConfirmOverwrite);
    if (!f.isEmpty()) file_->setText(f);
  });
  append_ = new QCheckBox("&Append to the library file", this);
  append_->setObjectName("append");
  auto* row = new QHBoxLayout;
  row->addWidget(file_, 1);
  row->addWidget(browse);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Model file:", this));
  layout->addLayout(row);
  layout->addWidget(append_);
  layout->addWidget(ok_cancel(this));
}

QString SubcktModelDialog::file() const {
  return file_->text().trimmed();
}
bool SubcktModelDialog::append() const {
  return append_->isChecked();
}

}  // namespace zephyrim
