#include "editing/edit_session.h"

#include <algorithm>
#include <sstream>

#include "netlist/connectivity.h"

namespace zephyrim {

namespace {

Point snap(Point p) {
  return {snap_to_grid(p.x), snap_to_grid(p.y)};
}

const char* mode_name(int mode) {
  static const char* const names[] = {"object", "group", "subckt", "area", "all"};
  return names[std::clamp(mode, 0, 4)];
}

// Width and height of a text as the editor measures new objects.
Region measure(const std::string& text) {
  int lines = 1, longest = 0, here = 0;
  for (char c : text) {
    if (c == '\n') {
      ++lines;
      here = 0;
    } else {
      longest = std::max(longest, ++here);
    }
  }
  return {0, -lines * kTextLineHeight, longest * kTextCharWidth, 0};
}

bool is_place_state(int s) {
  return s == kStatePlacePart || (s >= kStatePlaceGround && s <= kStatePlacePin);
}

}  // namespace

EditSession::EditSession(Notify& notify) : notify_(notify), schematic_(schematic_new()) {
  page_changed();
}

void EditSession::set_schematic(std::unique_ptr<Schematic> s) {
  schematic_ = std::move(s);
  history_.clear();
  cancel();
  select_mode_ = kSelectObject;
  page_changed();
}

void EditSession::page_changed() {
  references_recount(*schematic_, counters_);
  current_ = {};
  changed();
}

void EditSession::set_select_mode(int mode) {
  if (mode == kSelectSubckt && schematic_->page().blocks.size() < 2) {
    notify_.error("No subcircuits");
    return;
  }
  select_mode_ = mode;
  if (mode == kSelectAll) select_all(schematic_->page());
  changed();
}

void EditSession::toggle_state(int state) {
  if (state_ == state) {
    cancel();
    return;
  }
  cancel();
  state_ = state;
  changed();
}

void EditSession::begin_place(const SymbolRecord* symbol, int state, std::optional<PlacementModel> model) {
  cancel();
  if (!symbol) return;
  placing_ = symbol;
  placing_model_ = std::move(model);
  state_ = state;
  changed();
}

void EditSession::cancel() {
  state_ = kStateIdle;
  placing_ = nullptr;
  placing_steps_.fill(0);
  placing_step_count_ = 0;
  placing_model_.reset();
  wire_start_.reset();
  wire_form_.reset();
  anchored_ = false;
  changed();
}

Hit EditSession::current_hit() const {
  return current_;
}

void EditSession::press(Point raw, MouseButton button, KeyModifiers mods) {
  const Point p = snap(raw);
  cursor_ = p;
  switch (state_) {
    case kStateIdle:
      idle_press(p, button, mods);
      break;
    case kStateWire:
      if (button == MouseButton::right) {
        cancel();  // the right button ends the chain and the state
        break;
      }
      if (!wire_start_) {
        wire_start_ = p;
        wire_form_.reset();
      } else {
        const WireForm form = wire_form_.value_or(WireForm::horizontal_first);
        if (!wire_segments(*wire_start_, p, form).empty()) {
          history_.mark_append(*schematic_, kAppendWire);
          wire_store(*schematic_, *wire_start_, p, form, auto_junction, notify_);
          wire_start_ = p;  // the end starts the next wire of the chain
          wire_form_.reset();
        }
      }
      changed();
      break;
    case kStateJunction:
      if (button == MouseButton::right) {
        cancel();
        break;
      }
      history_.mark_append(*schematic_, kAppendJunction);
      junction_add(*schematic_, p.x, p.y);
      changed();
      break;
    case kStateLabel:
      if (button == MouseButton::right)
        cancel();
      else
        label_at(p);
      break;
    case kStateText:
      if (button == MouseButton::right)
        cancel();
      else
        text_at(p);
      break;
    case kStateZoomDrag:  // a drag begins here, as a move does
    case kStateMovePart:
    case kStateMoveWire:
    case kStateMoveJunction:
    case kStateMoveLabel:
    case kStateMoveText:
    case kStateMoveGroup:
      if (button == MouseButton::right) {
        cancel();
        break;
      }
      anchor_ = p;
      anchored_ = true;
      changed();
      break;
    default:
      if (is_place_state(state_)) {
        if (button == MouseButton::right)
          cancel();
        else
          place_at(p);
      }
      break;
  }
}

void EditSession::idle_press(Point p, MouseButton button, KeyModifiers mods) {
  Page& page = schematic_->page();
  if (mods.shift && select_mode_ == kSelectObject) select_mode_ = kSelectGroup;
  if (mods.control) {
    select_mode_ = kSelectArea;
    state_ = kStateAreaDrag;
    anchor_ = p;
    anchored_ = true;
    changed();
    return;
  }
  const Hit h = hit_test(page, p, 4);
  if (button == MouseButton::right) {
    // A right click takes back the current wire or junction, nothing else.
    if (h && h == current_ && (h.kind == HitKind::wire || h.kind == HitKind::junction)) {
      *selected_flag(page, h) = 0;
      current_ = {};
      changed();
    }
    return;
  }
  if (!h) {
    select_none(page);
    current_ = {};
    state_ = kStateAreaDrag;
    anchor_ = p;
    anchored_ = true;
    changed();
    return;
  }
  if (h == current_ && *selected_flag(page, h)) return;
  if (select_mode_ == kSelectSubckt) {
    const BlockRecord* owner = nullptr;
    switch (h.kind) {
      case HitKind::part:
        owner = page.parts[h.index]->owner;
        break;
      case HitKind::wire:
        owner = page.wires[h.index]->owner;
        break;
      case HitKind::junction:
        owner = page.junctions[h.index]->owner;
        break;
      case HitKind::label:
        owner = page.labels[h.index]->owner;
        break;
      case HitKind::text:
        owner = page.texts[h.index]->owner;
        break;
      case HitKind::none:
        break;
    }
    select_none(page);
    select_scope(page, owner);
  } else if (select_mode_ != kSelectGroup) {
    select_none(page);
  }
  *selected_flag(page, h) = 1;
  current_ = h;
  changed();
}

void EditSession::move(Point raw) {
  const Point p = snap(raw);
  if (p == cursor_) return;
  // The first move after a wire's start click decides which way it goes first.
  if (state_ == kStateWire && wire_start_ && !wire_form_) wire_form_ = wire_form_for(*wire_start_, p);
  cursor_ = p;
  changed();
}

void EditSession::release(Point raw, MouseButton button) {
  const Point p = snap(raw);
  cursor_ = p;
  if (button != MouseButton::left || !anchored_) return;
  if (state_ == kStateAreaDrag) {
    if (anchor_ != p) {
      if (select_mode_ != kSelectGroup) select_none(schematic_->page());
      select_area(schematic_->page(), anchor_, p);
    }
    state_ = kStateIdle;
    anchored_ = false;
    changed();
  } else if (state_ == kStateZoomDrag) {
    if (anchor_ != p)
      zoom_area_ = Region{std::min(anchor_.x, p.x), std::min(anchor_.y, p.y), std::max(anchor_.x, p.x),
                          std::max(anchor_.y, p.y)};
    cancel();
  } else if (moving()) {
    const Point d = move_offset();
    if (d.x != 0 || d.y != 0) {
      history_.snapshot(*schematic_);
      move_selected(*schematic_, d.x, d.y, move_rubber_band_, notify_);
      if (auto_junction) auto_junctions(*schematic_, edit_scope(*schematic_));
      // Labels moved on their own say at once where they landed.
      if (state_ == kStateMoveLabel)
        for (const auto& l : schematic_->page().labels)
          if (l->selected) label_attach(*schematic_, *l, notify_);
    }
    current_ = {};  // bent wires were stored anew
    cancel();
  }
}

void EditSession::double_click(Point raw) {
  if (state_ != kStateIdle) return;
  Page& page = schematic_->page();
  const Hit h = hit_test(page, snap(raw), 4);
  if (h.kind == HitKind::label) {
    LabelRecord& l = *page.labels[h.index];
    if (auto name = notify_.prompt("Edit Label Text", "Label:", l.name.str(), 31); name && !name->empty()) {
      history_.snapshot(*schematic_);
      l.name.assign(*name);
      l.width = static_cast<int>(name->size()) * kTextCharWidth;
      mark_changed(*schematic_, l.owner);
      changed();
    }
  } else if (h.kind == HitKind::text) {
    TextRecord& t = *page.texts[h.index];
    if (auto text = notify_.prompt("Edit Text", "Text:", t.text.value_or(""), kMaxObjectText);
        text && !text->empty()) {
      history_.snapshot(*schematic_);
      t.text = *text;
      t.box = measure(*text);
      mark_changed(*schematic_, t.owner);
      changed();
    }
  }
  // A double click on a part opens the attribute dialog, which comes with the attribute commands.
}

void EditSession::place_at(Point p) {
  history_.mark_append(*schematic_, kAppendPart);
  // Turned as the floating part was before its pins look for junctions.
  PartRecord* part = place_part(*schematic_, placing_, p, counters_, false);
  if (part) {
    if (placing_step_count_ > 0) {
      part->steps = placing_steps_;
      part->step_count = placing_step_count_;
      part_update_region(*schematic_, *part);
    }
    if (placing_model_) {
      part_set_value(*part, placing_model_->value, notify_);
      part->model_link = placing_model_->link;
    }
    if (auto_junction) auto_junctions(*schematic_, part->owner);
  } else {
    history_.discard_newest();
  }
  changed();  // the state goes on with a new copy, turned the same way
}

bool EditSession::orient_placing(int step) {
  // The floating part is no object of the schematic, so turning it leaves the
  // schematic unmodified; the steps follow the rules of a placed part's.
  PartRecord floating;
  floating.symbol = placing_;
  floating.steps = placing_steps_;
  floating.step_count = placing_step_count_;
  Schematic& s = *schematic_;
  const bool modified = s.modified, revision_due = s.revision_due;
  const bool done = part_orient(s, floating, step, notify_) != 0;
  s.modified = modified;
  s.revision_due = revision_due;
  if (done) {
    placing_steps_ = floating.steps;
    placing_step_count_ = floating.step_count;
    changed();
  }
  return done;
}

void EditSession::label_at(Point p) {
  auto name = notify_.prompt("Label Node", "Node name:", "", 31);
  if (!name || name->empty()) return;
  history_.mark_append(*schematic_, kAppendLabel);
  LabelRecord* l = label_new(*schematic_);
  l->name.assign(*name);
  l->width = static_cast<int>(l->name.str().size()) * kTextCharWidth;
  l->x = p.x;
  l->y = p.y;
  mark_changed(*schematic_, l->owner);
  label_attach(*schematic_, *l, notify_);
  changed();
}

void EditSession::text_at(Point p) {
  auto text = notify_.prompt("Text", "Text:", "", kMaxObjectText);
  if (!text || text->empty()) return;
  history_.mark_append(*schematic_, kAppendText);
  TextRecord* t = text_new(*schematic_);
  t->text = *text;
  t->x = p.x;
  t->y = p.y;
  t->box = measure(*text);
  mark_changed(*schematic_, t->owner);
  changed();
}

void EditSession::before_save() {
  placing_copy_ = placing_ ? std::make_unique<SymbolRecord>(*placing_) : nullptr;
}

void EditSession::after_save() {
  if (placing_ && placing_copy_ && symtab_index_of(*schematic_, placing_) < 0) {
    int i = symtab_find(*schematic_, *placing_copy_);
    if (i < 0) {
      const std::string name = placing_copy_->name.str();
      i = symtab_add(*schematic_, name, std::move(placing_copy_), kOriginLibrary, notify_);
    }
    if (i >= 0)
      placing_ = schematic_->symbols.entries[i].definition.get();
    else
      cancel();
  }
  placing_copy_.reset();
  history_.forget_missing_symbols(*schematic_);
  current_ = {};  // the check may have deleted or moved records
  changed();
}

bool EditSession::delete_selection() {
  if (selection_count(schematic_->page()) == 0) {
    notify_.error("Nothing selected");
    return false;
  }
  history_.snapshot(*schematic_);
  const bool done = delete_selected(*schematic_, notify_) > 0;
  if (!done) history_.discard_newest();
  current_ = {};
  changed();
  return done;
}

bool EditSession::undo() {
  cancel();
  const bool done = history_.undo(*schematic_, notify_, counters_) != 0;
  current_ = {};  // the hit may be gone, or on another page now
  changed();
  return done;
}

bool EditSession::redo() {
  cancel();
  const bool done = history_.redo(*schematic_, notify_, counters_) != 0;
  current_ = {};
  changed();
  return done;
}

bool EditSession::orient(int step) {
  if (is_place_state(state_) && placing_) return orient_placing(step);
  if (selection_count(schematic_->page()) == 0) {
    notify_.error("Nothing selected");
    return false;
  }
  history_.snapshot(*schematic_);
  const bool done = orient_selected(*schematic_, step, notify_) > 0;
  if (done && auto_junction) auto_junctions(*schematic_, edit_scope(*schematic_));
  if (!done) history_.discard_newest();
  changed();
  return done;
}

// Disabling and enabling are steps of the history too: a redo must not bring
// back a page from before them.
bool EditSession::disable(bool disabled) {
  history_.snapshot(*schematic_);
  const bool done = disable_selected(*schematic_, disabled, notify_) > 0;
  if (!done) history_.discard_newest();
  changed();
  return done;
}

bool EditSession::enable_everything() {
  history_.snapshot(*schematic_);
  const bool done = enable_all(*schematic_) > 0;
  if (!done) history_.discard_newest();
  changed();
  return done;
}

bool EditSession::redo_all_connections() {
  if (!auto_junction) {
    notify_.error("Auto junction mode not selected");
    return false;
  }
  history_.snapshot(*schematic_);
  const bool done = redo_connections(*schematic_) > 0;
  if (!done) history_.discard_newest();
  changed();
  return done;
}

void EditSession::clear_selection() {
  select_none(schematic_->page());
  current_ = {};
  if (select_mode_ == kSelectAll) select_mode_ = kSelectObject;
  changed();
}

bool EditSession::begin_move(bool rubber_band) {
  const Page& page = schematic_->page();
  const int n = selection_count(page);
  if (n == 0) {
    notify_.error("Nothing selected");
    return false;
  }
  cancel();
  move_rubber_band_ = rubber_band;
  if (n > 1) {
    state_ = kStateMoveGroup;
  } else {
    auto any = [](const auto& list) {
      return std::any_of(list.begin(), list.end(), [](const auto& r) { return r->selected != 0; });
    };
    state_ = any(page.parts)       ? kStateMovePart
             : any(page.wires)     ? kStateMoveWire
             : any(page.junctions) ? kStateMoveJunction
             : any(page.labels)    ? kStateMoveLabel
                                   : kStateMoveText;
  }
  changed();
  return true;
}

std::vector<Segment> EditSession::wire_preview() const {
  if (state_ != kStateWire || !wire_start_) return {};
  return wire_segments(*wire_start_, cursor_, wire_form_.value_or(WireForm::horizontal_first));
}

std::optional<Region> EditSession::drag_rectangle() const {
  if ((state_ != kStateAreaDrag && state_ != kStateZoomDrag) || !anchored_) return std::nullopt;
  return Region{std::min(anchor_.x, cursor_.x), std::min(anchor_.y, cursor_.y),
                std::max(anchor_.x, cursor_.x), std::max(anchor_.y, cursor_.y)};
}

std::optional<Region> EditSession::take_zoom_area() {
  auto r = zoom_area_;
  zoom_area_.reset();
  return r;
}

std::string EditSession::status_text() const {
  const Page& page = schematic_->page();
  switch (state_) {
    case kStateWire:
      return wire_start_ ? " Move to and select end point" : " Draw wire: select start point";
    case kStateJunction:
      return " Place junction";
    case kStateLabel:
      return " Label node";
    case kStateText:
      return " Place text";
    case kStateMovePart:
      return " Move part";
    case kStateMoveWire:
      return " Move wire";
    case kStateMoveJunction:
      return " Move junction";
    case kStateMoveLabel:
      return " Move label";
    case kStateMoveText:
      return " Move text";
    case kStateMoveGroup:
      return select_mode_ == kSelectArea     ? " Move area"
             : select_mode_ == kSelectSubckt ? " Move subckt"
             : select_mode_ == kSelectAll    ? " Move all"
                                             : " Move group";
    case kStateZoomDrag:
      return " Zoom area";
    default:
      break;
  }
  if (is_place_state(state_) && placing_) return " Place " + placing_->name.str();
  if (page.edit_block && page.edit_block != page.top())
    return " SUBCKT OPEN:  " + page.edit_block->name.str();
  return std::string(selection_count(page) ? " Edit " : " Select ") + mode_name(select_mode_);
}

}  // namespace zephyrim
