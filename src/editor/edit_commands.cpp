#include "editor/edit_commands.h"

#include <QAction>

#include "common/text_format.h"
#include "editing/subckt.h"
#include "editing/undo_history.h"
#include "editor/command_table.h"
#include "editor/dialogs.h"
#include "editor/sheet_view.h"

namespace zephyrim {

void EditCommands::add_to(CommandHandlers& h) {
  EditSession& e = w_.session();
  const std::pair<int, int> modes[] = {{kCmdSelectObject, kSelectObject},
                                       {kCmdSelectGroup, kSelectGroup},
                                       {kCmdSelectArea, kSelectArea},
                                       {kCmdSelectSubckt, kSelectSubckt},
                                       {kCmdSelectAll, kSelectAll}};
  for (auto [id, mode] : modes) h[id] = [&e, mode] { e.set_select_mode(mode); };
  h[kCmdClearSelection] = [&e] {
    e.cancel();
    e.clear_selection();
  };
  h[kCmdUndo] = [this] { step_history(false); };
  h[kCmdRedo] = [this] { step_history(true); };
  h[kCmdMove] = [&e] { e.begin_move(e.rubber_band); };
  h[kCmdMoveOnly] = [&e] { e.begin_move(false); };
  h[kCmdDelete] = [this] { delete_selection(); };
  h[kCmdRotate] = [&e] { e.orient(kStepRotate); };
  h[kCmdMirror] = [&e] { e.orient(kStepMirror); };
  h[kCmdFlip] = [&e] { e.orient(kStepFlip); };
  h[kCmdDisable] = [&e] { e.disable(true); };
  h[kCmdEnable] = [&e] { e.disable(false); };
  h[kCmdEnableAll] = [&e] { e.enable_everything(); };
  const std::pair<int, int> states[] = {{kCmdInsertWire, kStateWire},
                                        {kCmdInsertJunction, kStateJunction},
                                        {kCmdInsertLabel, kStateLabel},
                                        {kCmdInsertText, kStateText},
                                        {kCmdZoomArea, kStateZoomDrag}};
  for (auto [id, state] : states) h[id] = [&e, state] { e.toggle_state(state); };
  const std::tuple<int, int, int> parts[] = {{kCmdInsertGround, kSymbolGround, kStatePlaceGround},
                                             {kCmdInsertRail, kSymbolPowerRail, kStatePlaceRail},
                                             {kCmdInsertPin, kSymbolIoPin, kStatePlacePin},
                                             {kCmdInsertPart, 0, kStatePlacePart}};
  for (auto [id, kind, state] : parts) h[id] = [this, kind, state] { insert_of_kind(kind, state); };
  h[kCmdAttributes] = [this] { edit_attributes(-1); };
  h[kCmdTitleBlock] = [this] {
    TitleBlockDialog d(w_.schematic(), &w_);
    d.exec();
  };
  h[kCmdFind] = [this] { find(); };
  h[kCmdSubcktNew] = [this] { subckt_new(); };
  h[kCmdSubcktOpen] = [this] {
    Schematic& s = w_.schematic();
    if (BlockRecord* b = subckt_selected(s, w_.notify())) subckt_open(s, b);
    w_.session().page_changed();
  };
  h[kCmdSubcktClose] = [this] {
    subckt_close(w_.schematic(), w_.notify());
    w_.session().page_changed();
  };
  h[kCmdSubcktOptions] = [this] { subckt_options(); };
}

void EditCommands::step_history(bool redo) {
  EditSession& e = w_.session();
  const int page = w_.schematic().current_page();
  if (redo)
    e.redo();
  else
    e.undo();
  // The step's page is shown, at its own zoom and scroll position.
  if (w_.schematic().current_page() != page) w_.sheet()->page_changed();
}

void EditCommands::delete_selection() {
  EditSession& e = w_.session();
  Schematic& s = w_.schematic();
  // In subcircuit mode a selected block goes as a whole, after a question.
  if (e.select_mode() == kSelectSubckt && selection_count(s.page()) > 0) {
    RecordingNotify quiet;
    if (BlockRecord* b = subckt_selected(s, quiet)) {
      e.history().snapshot(s);
      if (subckt_delete(s, b, w_.notify()))
        e.page_changed();
      else
        e.history().discard_newest();  // the user kept it
      return;
    }
  }
  e.delete_selection();
}

void EditCommands::insert_of_kind(int kind, int state) {
  if (auto name = w_.ask_symbol(kind)) w_.place_symbol(*name, state);
}

void EditCommands::edit_attributes(int index) {
  Page& page = w_.schematic().page();
  Notify& notify = w_.notify();
  const auto selected_parts =
      std::count_if(page.parts.begin(), page.parts.end(), [](const auto& p) { return p->selected; });
  if (index >= 0 && selected_parts > 1) {
    notify.error("Must select a single part (use select object mode)");
    return;
  }
  if (index < 0) {
    if (selected_parts == 0) {
      notify.error("No object selected");
      return;
    }
    if (selected_parts > 1) {
      notify.error("Must select a single part (use select object mode)");
      return;
    }
    for (size_t i = 0; i < page.parts.size(); ++i)
      if (page.parts[i]->selected) index = static_cast<int>(i);
  }
  if (index < 0 || index >= static_cast<int>(page.parts.size())) return;
  w_.session().history().snapshot(w_.schematic());
  PartAttributesDialog d(w_.schematic(), *page.parts[index], notify, &w_);
  if (d.exec() == QDialog::Accepted)
    w_.session().page_changed();  // a new reference changes the counters
  else
    w_.session().history().discard_newest();
  w_.refresh_sheet();
  w_.refresh_status();
}

void EditCommands::find() {
  FindDialog d(last_find_, &w_);
  if (d.exec() != QDialog::Accepted) return;
  last_find_ = d.options();
  Schematic& s = w_.schematic();
  const FindResult r = schematic_find(s, last_find_, w_.notify());
  // Show the first hit of the current page in the middle of the window.
  for (const FindHit& hit : r.hits)
    if (hit.page == s.current_page()) {
      w_.sheet()->centre_on({hit.x, hit.y});
      break;
    }
}

void EditCommands::subckt_new() {
  Schematic& s = w_.schematic();
  if (selection_count(s.page()) == 0) {
    w_.notify().error("No object selected");
    return;
  }
  SubcktOptionsDialog d("", "", true, &w_);
  if (d.exec() != QDialog::Accepted) return;
  w_.session().history().snapshot(s);
  BlockRecord* b = zephyrim::subckt_new(s, d.name(), w_.notify());
  if (b && !d.text().empty()) b->text = d.text();
  if (!b) w_.session().history().discard_newest();
  w_.session().page_changed();
}

void EditCommands::subckt_options() {
  Schematic& s = w_.schematic();
  Notify& notify = w_.notify();
  Page& page = s.page();
  BlockRecord* b = page.edit_block != page.top() ? page.edit_block : subckt_selected(s, notify);
  if (!b) return;
  SubcktOptionsDialog d(b->name.str(), b->text.value_or(""), false, &w_);
  d.add_button("&Parameters...", [&] {
    SubcktParamsDialog p(s, *b, notify, &d);
    p.exec();
  });
  d.add_button("P&ins...", [&] {
    SubcktPinsDialog p(s, *b, &d);
    p.exec();
  });
  if (d.exec() != QDialog::Accepted) return;
  if (!subckt_name_valid(d.name())) {
    notify.error("Invalid SUBCKT name");
    return;
  }
  if (BlockRecord* other = subckt_find(s, d.name()); other && other != b) {
    notify.error(strprintf("Subcircuit %s already exists", d.name().c_str()));
    return;
  }
  b->name.assign(d.name());
  b->text = d.text().empty() ? std::nullopt : std::optional<std::string>(d.text());
  mark_changed(s, b);
  w_.session().page_changed();
}

}  // namespace zephyrim
