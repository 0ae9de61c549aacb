#include "editor/symbol_commands.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "common/text_format.h"
#include "editing/subckt.h"
#include "editor/command_table.h"
#include "editor/sheet_view.h"

namespace zephyrim {

namespace {

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

QDialogButtonBox* ok_cancel(QDialog* d) {
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, d);
  QObject::connect(box, &QDialogButtonBox::accepted, d, &QDialog::accept);
  QObject::connect(box, &QDialogButtonBox::rejected, d, &QDialog::reject);
  return box;
}

// The largest pin count any shape takes: the box goes that far so that a count
// beyond the current shape's maximum can be refused with the notice.
int largest_pin_count() {
  int n = 0;
  for (const SymbolShape& s : symbol_shapes()) n = std::max(n, s.max_pins);
  return n;
}

int shape_row(int32_t type) {
  const auto& shapes = symbol_shapes();
  for (size_t i = 0; i < shapes.size(); ++i)
    if (shapes[i].type == type) return static_cast<int>(i);
  return 0;
}

constexpr const char* kPositions[] = {"Input (left)", "Output (right)", "Top", "Bottom"};

bool uses_symbol(const Schematic& s, const SymbolRecord* symbol) {
  for (const auto& page : s.pages)
    for (const auto& p : page->parts)
      if (p->symbol == symbol) return true;
  return false;
}

}  // namespace

// --- the subcircuit symbol dialog ---

SubcktSymbolDialog::SubcktSymbolDialog(const QString& title, SymbolSpec spec, Notify& notify, QWidget* parent)
    : QDialog(parent), notify_(notify), spec_(std::move(spec)) {
  setObjectName("SUBCKT_SYMBOL_DLG");
  setWindowTitle(title);
  name_ = new QLineEdit(q(spec_.name.str()), this);
  name_->setObjectName("name");
  name_->setMaxLength(31);
  shapes_ = new QListWidget(this);
  shapes_->setObjectName("shapes");
  for (const SymbolShape& s : symbol_shapes()) shapes_->addItem(QString::fromLatin1(s.name));
  shape_label_ = new QLabel(this);
  shape_label_->setObjectName("shape_label");
  show_names_ = new QCheckBox("Show pin &names", this);
  show_names_->setObjectName("show_names");
  show_names_->setChecked(spec_show_names(spec_) != 0);
  show_numbers_ = new QCheckBox("Show pin n&umbers", this);
  show_numbers_->setObjectName("show_numbers");
  show_numbers_->setChecked(spec_show_numbers(spec_) != 0);
  pin_count_ = new QSpinBox(this);
  pin_count_->setObjectName("pin_count");
  pin_count_->setRange(0, largest_pin_count());
  // Only a finished entry counts: typing "12" must not pass through 1 and ask twice.
  pin_count_->setKeyboardTracking(false);
  pins_ = new QTableWidget(0, 4, this);
  pins_->setObjectName("pins");
  pins_->setHorizontalHeaderLabels({"Name", "Marked", "Position", "Order"});
  pins_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);

  {
    const QSignalBlocker block(shapes_);
    shapes_->setCurrentRow(shape_row(spec_shape(spec_)));
  }
  const std::vector<SymbolSpecEntry> pins = spec_.entries.value_or(std::vector<SymbolSpecEntry>{});
  pin_count_->setValue(static_cast<int>(pins.size()));
  show_pins(pins);
  update_shape_label();
  connect(shapes_, &QListWidget::currentRowChanged, this, &SubcktSymbolDialog::set_shape_row);
  connect(pin_count_, &QSpinBox::valueChanged, this, [this](int n) {
    if (set_pin_count(n)) return;
    const QSignalBlocker block(pin_count_);
    pin_count_->setValue(pins_->rowCount());
  });

  auto* form = new QFormLayout;
  form->addRow("Symbol &name:", name_);
  form->addRow(shape_label_, shapes_);
  form->addRow("", show_names_);
  form->addRow("", show_numbers_);
  form->addRow("&Pins:", pin_count_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(pins_, 1);
  layout->addWidget(ok_cancel(this));
  resize(520, 560);
}

void SubcktSymbolDialog::update_shape_label() {
  const SymbolShape* s = symbol_shape(spec_shape(spec_));
  shape_label_->setText(q(strprintf("Shape: %s", s ? s->name : "")));
}

void SubcktSymbolDialog::set_shape_row(int row) {
  const auto& shapes = symbol_shapes();
  if (row < 0 || row >= static_cast<int>(shapes.size())) return;
  const SymbolShape& shape = shapes[static_cast<size_t>(row)];
  spec_set_shape(spec_, shape.type);
  spec_set_max_pins(spec_, shape.max_pins);
  update_shape_label();
  if (pins_->rowCount() > shape.max_pins) {
    notify_.warning("Too many pins for this symbol");
    std::vector<SymbolSpecEntry> pins = table_pins();
    pins.resize(static_cast<size_t>(shape.max_pins));
    const QSignalBlocker block(pin_count_);
    pin_count_->setValue(shape.max_pins);
    show_pins(pins);
  }
}

bool SubcktSymbolDialog::set_pin_count(int n) {
  const SymbolShape* shape = symbol_shape(spec_shape(spec_));
  if (n < 0 || (shape && n > shape->max_pins)) {
    notify_.warning("Too many pins for this symbol");
    return false;
  }
  std::vector<SymbolSpecEntry> pins = table_pins();
  if (notify_.question("Use default pin setup?", QuestionKind::YesNo) == 1) {
    SymbolSpec fresh = spec_;
    spec_default_pins(fresh, n);
    pins = fresh.entries.value_or(std::vector<SymbolSpecEntry>{});
  } else {
    // The pins there are stay; added ones come as the default setup has them.
    SymbolSpec fresh = spec_;
    spec_default_pins(fresh, n);
    const std::vector<SymbolSpecEntry> defaults = fresh.entries.value_or(std::vector<SymbolSpecEntry>{});
    const size_t keep = std::min(pins.size(), static_cast<size_t>(n));
    pins.resize(keep);
    for (size_t i = keep; i < defaults.size(); ++i) pins.push_back(defaults[i]);
  }
  {
    const QSignalBlocker block(pin_count_);
    pin_count_->setValue(n);
  }
  show_pins(pins);
  return true;
}

void SubcktSymbolDialog::show_pins(const std::vector<SymbolSpecEntry>& pins) {
  pins_->setRowCount(static_cast<int>(pins.size()));
  for (int r = 0; r < static_cast<int>(pins.size()); ++r) {
    const SymbolSpecEntry& e = pins[static_cast<size_t>(r)];
    pins_->setItem(r, 0, new QTableWidgetItem(q(e.name.str())));
    auto* marked = new QTableWidgetItem;
    marked->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    marked->setCheckState(pin_marked(e) ? Qt::Checked : Qt::Unchecked);
    pins_->setItem(r, 1, marked);
    auto* position = new QComboBox;
    for (const char* p : kPositions) position->addItem(QString::fromLatin1(p));
    position->setCurrentIndex(std::clamp(pin_position(e), 0, 3));
    pins_->setCellWidget(r, 2, position);
    auto* order = new QSpinBox;
    order->setRange(0, largest_pin_count() - 1);
    order->setValue(std::max(pin_order(e), 0));
    pins_->setCellWidget(r, 3, order);
  }
}

std::vector<SymbolSpecEntry> SubcktSymbolDialog::table_pins() const {
  std::vector<SymbolSpecEntry> pins(static_cast<size_t>(pins_->rowCount()));
  for (int r = 0; r < pins_->rowCount(); ++r) {
    SymbolSpecEntry& e = pins[static_cast<size_t>(r)];
    const QTableWidgetItem* name = pins_->item(r, 0);
    // Eight characters and the NUL: the stored entry has no room for more.
    e.name.assign((name ? name->text().trimmed() : QString()).left(8).toStdString());
    const QTableWidgetItem* marked = pins_->item(r, 1);
    const auto* position = qobject_cast<QComboBox*>(pins_->cellWidget(r, 2));
    const auto* order = qobject_cast<QSpinBox*>(pins_->cellWidget(r, 3));
    pin_set(e, marked && marked->checkState() == Qt::Checked ? 1 : 0, position ? position->currentIndex() : 0,
            order ? order->value() : 0);
  }
  return pins;
}

SymbolSpec SubcktSymbolDialog::spec() const {
  SymbolSpec s = spec_;
  s.name.assign(name_->text().trimmed().toStdString());
  spec_set_show_names(s, show_names_->isChecked() ? 1 : 0);
  spec_set_show_numbers(s, show_numbers_->isChecked() ? 1 : 0);
  std::vector<SymbolSpecEntry> pins = table_pins();
  s.entry_count = static_cast<int32_t>(pins.size());
  s.entries = std::move(pins);
  return s;
}

// --- the logic element dialog ---

LogicSymbolDialog::LogicSymbolDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("ULOGIC_SYMBOL_DLG");
  setWindowTitle("U Logic Element Symbol");
  functions_ = new QListWidget(this);
  functions_->setObjectName("functions");
  for (const LogicFunction& f : logic_functions()) functions_->addItem(QString::fromLatin1(f.name));
  label1_ = new QLabel(this);
  label1_->setObjectName("label1");
  label2_ = new QLabel(this);
  label2_->setObjectName("label2");
  option1_ = new QLineEdit(this);
  option1_->setObjectName("option1");
  option2_ = new QLineEdit(this);
  option2_->setObjectName("option2");
  for (QLineEdit* e : {option1_, option2_}) {
    e->setValidator(new QIntValidator(-99999, 99999, e));
    connect(e, &QLineEdit::textEdited, this, &LogicSymbolDialog::update_name);
  }
  name_ = new QLineEdit(this);
  name_->setObjectName("symbol_name");
  name_->setMaxLength(31);

  auto* function_box = new QGroupBox("Function", this);
  (new QVBoxLayout(function_box))->addWidget(functions_);
  auto* options_box = new QGroupBox("Options", this);
  auto* options = new QFormLayout(options_box);
  options->addRow(label1_, option1_);
  options->addRow(label2_, option2_);
  auto* name_box = new QGroupBox("Symbol name", this);
  (new QVBoxLayout(name_box))->addWidget(name_);
  auto* right = new QVBoxLayout;
  right->addWidget(options_box);
  right->addWidget(name_box);
  right->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addWidget(function_box);
  top->addLayout(right);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(ok_cancel(this));

  connect(functions_, &QListWidget::currentRowChanged, this, &LogicSymbolDialog::set_function);
  functions_->setCurrentRow(0);
}

int LogicSymbolDialog::function() const {
  return std::clamp(functions_->currentRow(), 0, kLogicFunctionCount - 1);
}

void LogicSymbolDialog::set_function(int f) {
  if (f < 0 || f >= kLogicFunctionCount) return;
  if (functions_->currentRow() != f) {
    functions_->setCurrentRow(f);  // comes back here through the signal
    return;
  }
  const LogicFunction& lf = logic_functions()[static_cast<size_t>(f)];
  auto show = [](QLabel* label, QLineEdit* edit, const char* text, int value) {
    label->setText(text ? QString::fromLatin1(text) : QString());
    label->setEnabled(text != nullptr);
    edit->setEnabled(text != nullptr);
    edit->setText(text ? QString::number(value) : QString());
  };
  show(label1_, option1_, lf.label1, lf.default1);
  show(label2_, option2_, lf.label2, lf.default2);
  update_name();
}

int LogicSymbolDialog::option1() const {
  return option1_->text().toInt();
}

int LogicSymbolDialog::option2() const {
  return option2_->text().toInt();
}

std::string LogicSymbolDialog::name() const {
  return name_->text().trimmed().toStdString();
}

void LogicSymbolDialog::update_name() {
  name_->setText(q(logic_symbol_name(function(), option1(), option2())));
}

// --- the commands ---

SymbolCommands::SymbolCommands(EditorMainWindow& window) : w_(window) {
  run_dialog = [](QDialog& d) { return d.exec(); };
}

void SymbolCommands::add_to(CommandHandlers& h) {
  h[kCmdSubcktSymbol] = [this] { block_symbol_edit(current_block()); };
  h[kCmdInsertLogic] = [this] { logic_symbol(); };
}

BlockRecord* SymbolCommands::current_block() {
  Page& page = w_.schematic().page();
  if (page.edit_block && page.edit_block != page.top()) return page.edit_block;
  RecordingNotify quiet;  // nothing of a block selected: a new symbol
  return subckt_selected(w_.schematic(), quiet);
}

void SymbolCommands::block_symbol_edit(BlockRecord* block) {
  Schematic& s = w_.schematic();
  Notify& notify = w_.notify();
  if (block == s.page().top()) block = nullptr;
  QString title = "NEW SUBCKT SYMBOL";
  SymbolSpec spec;
  if (block) {
    title = q(strprintf("SUBCKT %s SYMBOL", block->name.str().c_str()));
    if (block->symbol_spec) {
      spec = *block->symbol_spec;
    } else {
      std::vector<BlockIoPin> io;
      for (const PartRecord* p : subckt_io_pins(s, block))
        io.push_back({p->value.str(), p->symbol->name.str()});
      spec = symbol_spec_new("X" + block->name.str(), kShapeRectangle, 0);
      spec_pins_from_block(spec, io, static_cast<int>(io.size()));
    }
  } else {
    spec = symbol_spec_new("X", kShapeRectangle, 0);
  }
  SubcktSymbolDialog d(title, std::move(spec), notify, &w_);
  if (run_dialog(d) != QDialog::Accepted) return;
  const SymbolRecord* made = block_symbol_apply(block, d.spec());
  // What a user makes a symbol for is to place it: the next click puts it
  // down, on this page or on another one chosen first.
  if (made) w_.session().begin_place(made, kStatePlacePart);
}

const SymbolRecord* SymbolCommands::block_symbol_apply(BlockRecord* block, SymbolSpec spec) {
  Schematic& s = w_.schematic();
  Notify& notify = w_.notify();
  EditSession& session = w_.session();
  spec.name.assign(subckt_symbol_name(spec.name.str(), notify));
  auto symbol = block_symbol_generate(spec, notify);
  if (!symbol) return nullptr;
  session.cancel();
  session.history().snapshot(s);
  const std::string name = spec.name.str();
  const int at = symtab_add(s, name, std::make_unique<SymbolRecord>(std::move(*symbol)),
                            block ? kOriginBlock : kOriginGenerated, notify);
  if (at < 0) {
    session.history().discard_newest();
    return nullptr;
  }
  const SymbolRecord* made = s.symbols.entries[static_cast<size_t>(at)].definition.get();
  notify.information(strprintf("Symbol: %s\nadded to symbols in use list.", name.c_str()));
  if (block) {
    block->symbol_spec = spec;
    const SymbolRecord* old = block->symbol;
    if (old && uses_symbol(s, old) &&
        notify.question(strprintf("Subcircuit symbol %s has been updated.\nReplace all instances?",
                                  old->name.str().c_str()),
                        QuestionKind::YesNo) == 1) {
      for (const auto& page : s.pages)
        for (const auto& p : page->parts) {
          if (p->symbol != old) continue;
          p->symbol = made;
          p->pin_nodes.assign(made->pins.size(), PinNode{});
          const int steps = std::clamp<int>(p->step_count, 0, kMaxOrientSteps);
          p->region = oriented_region(made->region, page->settings.scale, p->steps.data(), steps);
          mark_changed(s, p->owner);
        }
    }
    block->symbol = made;
    mark_changed(s, block);
  }
  s.modified = true;
  symtab_purge(s);
  // Steps that name a definition the purge freed can no longer be undone.
  session.history().forget_missing_symbols(s);
  session.page_changed();
  return made;
}

void SymbolCommands::logic_symbol() {
  Schematic& s = w_.schematic();
  Notify& notify = w_.notify();
  LogicSymbolDialog d(&w_);
  if (run_dialog(d) != QDialog::Accepted) return;
  const std::string name = logic_symbol_name_rule(d.name(), notify);
  if (name.size() < 2) return;
  // A symbol of that name already in the schematic is placed again as it is.
  for (const SymbolTableEntry& e : s.symbols.entries)
    if (e.definition && e.name.str() == name && e.origin != kOriginBlock) {
      w_.session().begin_place(e.definition.get(), kStatePlaceLogic);
      return;
    }
  const SymbolLibrary* lib = w_.library();
  const bool from_library = lib && symbol_find(*lib, name) >= 0;
  auto symbol = logic_symbol_get(d.function(), d.option1(), d.option2(), name, lib, notify);
  if (!symbol) return;
  const int at = symtab_add(s, name, std::make_unique<SymbolRecord>(std::move(*symbol)),
                            from_library ? kOriginLibrary : kOriginGenerated, notify);
  if (at < 0) return;
  w_.session().begin_place(s.symbols.entries[static_cast<size_t>(at)].definition.get(), kStatePlaceLogic);
}

}  // namespace zephyrim
