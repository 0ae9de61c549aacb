#pragma once
// The editing state machine of the schematic editor: what a click, a drag or a
// command does in each editing state. The desktop side converts the mouse to
// page coordinates and calls in; this side snaps, edits the model, keeps the
// undo history and says what to draw as feedback.
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editing/edit_ops.h"
#include "editing/references.h"
#include "editing/undo_history.h"

namespace zephyrim {

// Editing states.
enum EditState : int {
  kStateIdle = -1,
  kStatePlacePart = 0,
  kStateWire = 1,
  kStateJunction = 2,
  kStateLabel = 3,
  kStateText = 4,
  kStatePlaceGround = 11,
  kStatePlaceRail = 12,
  kStatePlaceLogic = 13,
  kStatePlacePin = 14,
  kStateMovePart = 30,
  kStateMoveWire = 31,
  kStateMoveJunction = 32,
  kStateMoveLabel = 33,
  kStateMoveText = 34,
  kStateMoveGroup = 35,
  kStateAreaDrag = 40,
  kStateZoomDrag = 41,
};

enum class MouseButton { left, right };

struct KeyModifiers {
  bool shift = false;
  bool control = false;
};

// Character sizes new labels and text objects are measured with.
inline constexpr int kTextCharWidth = 8;
inline constexpr int kTextLineHeight = 12;

// A part of the model database: what a placed copy takes besides its symbol.
struct PlacementModel {
  std::string value;            // the model's name
  LibraryLink* link = nullptr;  // its ".INC/MDB" link
};

class EditSession {
 public:
  explicit EditSession(Notify& notify);

  Schematic& schematic() { return *schematic_; }
  const Schematic& schematic() const { return *schematic_; }
  // Takes over a new or loaded schematic: idle state, empty history, fresh counters.
  void set_schematic(std::unique_ptr<Schematic> s);
  // After the current page or scope changed.
  void page_changed();

  int state() const { return state_; }
  int select_mode() const { return select_mode_; }
  void set_select_mode(int mode);
  // Enters a drawing state, or leaves it when it is the current one.
  void toggle_state(int state);
  // Enters a placement state (0, 11-14) with the symbol to place; with a
  // model, every part placed takes its value and model link.
  void begin_place(const SymbolRecord* symbol, int state = kStatePlacePart,
                   std::optional<PlacementModel> model = std::nullopt);
  // Leaves whatever state for idle, without changing the model.
  void cancel();

  // Mouse input, in page coordinates before snapping.
  void press(Point at, MouseButton button, KeyModifiers mods = {});
  void move(Point at);
  void release(Point at, MouseButton button);
  void double_click(Point at);

  // Commands on the selection. Each returns true when the model changed.
  bool delete_selection();
  // Back and forth through the history; either may make the page of the step current.
  bool undo();
  bool redo();
  // Turns the selected parts or, in a placement state, the part that follows
  // the cursor (true when it turned; the model is untouched).
  bool orient(int step);
  bool disable(bool disabled);
  bool enable_everything();
  bool redo_all_connections();
  void clear_selection();
  // Move (rubber_band) or Move Only of the selection: the next drag moves it.
  bool begin_move(bool rubber_band);

  // Feedback for drawing.
  std::vector<Segment> wire_preview() const;
  std::optional<Region> drag_rectangle() const;  // area or zoom drag
  Point cursor() const { return cursor_; }
  const SymbolRecord* placing() const { return placing_; }
  // The orientation steps the part being placed is drawn and placed with.
  const int32_t* placing_steps() const { return placing_steps_.data(); }
  int placing_step_count() const { return placing_step_count_; }
  Point move_offset() const { return {cursor_.x - anchor_.x, cursor_.y - anchor_.y}; }
  bool moving() const { return state_ >= kStateMovePart && state_ <= kStateMoveGroup && anchored_; }
  // The zoom rectangle of the last finished zoom drag, taken once.
  std::optional<Region> take_zoom_area();

  // " Select object", " Edit group", " SUBCKT OPEN:  name", or a prompt of the state.
  std::string status_text() const;
  // Bumped by every change of the model or the feedback, for redrawing.
  unsigned revision() const { return revision_; }
  Notify& notify() { return notify_; }

  bool auto_junction = true;
  bool rubber_band = true;

  // A save purges the symbol table: the symbol being placed is kept alive by a
  // copy, and undo steps naming a purged symbol are dropped.
  void before_save();
  void after_save();

  UndoHistory& history() { return history_; }
  // The same under the name it had as a single record; undo_snapshot and
  // undo_clear take it as they took the record.
  UndoHistory& undo_record() { return history_; }
  ReferenceCounters& counters() { return counters_; }

 private:
  void changed() { ++revision_; }
  void idle_press(Point p, MouseButton button, KeyModifiers mods);
  void place_at(Point p);
  void label_at(Point p);
  void text_at(Point p);
  bool orient_placing(int step);
  Hit current_hit() const;

  Notify& notify_;
  std::optional<PlacementModel> placing_model_;
  std::unique_ptr<Schematic> schematic_;
  int state_ = kStateIdle;
  int select_mode_ = kSelectObject;
  UndoHistory history_;
  ReferenceCounters counters_;
  unsigned revision_ = 0;

  const SymbolRecord* placing_ = nullptr;
  std::array<int32_t, kMaxOrientSteps> placing_steps_{};
  int placing_step_count_ = 0;
  Point cursor_;
  // Wire drawing: the chain's start and whether the first move has fixed the form.
  std::optional<Point> wire_start_;
  std::optional<WireForm> wire_form_;
  // Drags: the point the drag began at.
  Point anchor_;
  bool anchored_ = false;
  bool move_rubber_band_ = true;
  std::optional<Region> zoom_area_;
  Hit current_;
  std::unique_ptr<SymbolRecord> placing_copy_;
};

}  // namespace zephyrim
