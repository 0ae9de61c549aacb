#pragma once
// The editing operations of the schematic editor on the current page: wires,
// placement, hit testing, selection, moving, deleting, orienting, disabling
// and automatic junctions. The desktop side turns mouse and keys into these
// calls; everything here works without a display.
#include <vector>

#include "common/notify.h"
#include "editing/references.h"
#include "schematic/schematic.h"

namespace zephyrim {

struct Point {
  int x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

// The block that new objects of the current page go to.
BlockRecord* edit_scope(Schematic& s);

// Where pin k of a placed part is, in page coordinates.
Point part_pin_point(const Schematic& s, const PartRecord& p, int k);

// --- wires ---

enum class WireForm { horizontal_first, vertical_first };

// The form is decided by the first cursor position after the start click: on
// the start's vertical line the wire goes vertical first.
WireForm wire_form_for(Point start, Point first_move);

struct Segment {
  Point a, b;
  bool operator==(const Segment&) const = default;
};

// The at most two orthogonal segments of a wire from a to b; zero-length
// segments are left out, and a drag shorter than 2 units both ways gives none.
std::vector<Segment> wire_segments(Point a, Point b, WireForm form);

// Stores the segments of a wire (and, with auto junctions, the junctions they
// make). Returns how many segments were stored; "Cannot save wire" when one
// could not be.
int wire_store(Schematic& s, Point a, Point b, WireForm form, bool auto_junction, Notify& notify);

// --- automatic junctions ---

// Adds the junctions a scope's wires and pins call for: at every T, where more
// than two segments of both directions end at one point, and at every pin that
// touches more than one other wire or pin. Never twice at a point. Returns how
// many were added.
int auto_junctions(Schematic& s, BlockRecord* scope);
// The same for every scope of the current page.
int redo_connections(Schematic& s);

// --- placement ---

// Places a copy of the symbol at p in the edit scope with its reference name;
// `model` (optional) gives the attributes of the copy (value, params, device).
PartRecord* place_part(Schematic& s, const SymbolRecord* symbol, Point p, ReferenceCounters& counters,
                       bool auto_junction, const PartRecord* model = nullptr);

// --- hit testing and selection ---

enum class HitKind { none, junction, wire, label, part, text };

struct Hit {
  HitKind kind = HitKind::none;
  int index = -1;  // position in the page's list of that kind
  explicit operator bool() const { return kind != HitKind::none; }
  bool operator==(const Hit&) const = default;
};

// The object under p, tried in the order junction, wire, node label, part,
// text object; tolerance in page units.
Hit hit_test(const Page& page, Point p, int tolerance);

int32_t* selected_flag(Page& page, const Hit& h);

enum SelectMode : int {
  kSelectObject = 0,
  kSelectGroup = 1,
  kSelectSubckt = 2,
  kSelectArea = 3,
  kSelectAll = 4
};

void select_none(Page& page);
void select_all(Page& page);
// Selects every object lying wholly inside the rectangle (any corner order).
int select_area(Page& page, Point a, Point b);
// Selects every object of a block.
int select_scope(Page& page, const BlockRecord* block);
int selection_count(const Page& page);

// --- operations on the selection ---

// Deletes the selected objects; labels deleted are unhooked from wires and pins.
// Returns how many were deleted ("Nothing selected" when none).
int delete_selected(Schematic& s, Notify& notify);

// Moves the selection by (dx, dy). With rubber_band, unselected wires with one
// end on a moved pin, wire end or junction follow it: a wire along the move
// stretches, any other gets a bend so it stays orthogonal.
int move_selected(Schematic& s, int dx, int dy, bool rubber_band, Notify& notify);

// Adds a rotate, mirror or flip step to every selected part.
int orient_selected(Schematic& s, int step, Notify& notify);

// Marks the selected objects disabled (or enabled); "Nothing selected" when none.
int disable_selected(Schematic& s, bool disabled, Notify& notify);
// Enables every object of the current page.
int enable_all(Schematic& s);

}  // namespace zephyrim
