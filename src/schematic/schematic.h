#pragma once
// The schematic document: pages with their object lists, the page table, the
// table of symbols in use and the library links. One instance is the program's
// current schematic; tests make their own. Operations are free functions over
// it and report through the Notify they are given.
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "common/notify.h"
#include "schematic/records.h"

namespace zephyrim {

// Origins of a symbol table entry.
enum SymbolOrigin : int32_t {
  kOriginSchematic = 0,  // came with a schematic file or a paste
  kOriginLibrary = 1,    // loaded from the symbol library for a part
  kOriginChosen = 2,     // chosen through the model selection or the symbol editor
  kOriginBlock = 3,      // symbol of a subcircuit block
  kOriginGenerated = 4,  // generated symbol
};

inline constexpr int kSymbolTableLimit = 1000;

struct SymbolTableEntry {
  FixedText<32> name;
  int32_t origin = kOriginSchematic;
  int32_t in_use = 0;
  int32_t page = -1;                         // page current when added; -1 in a free entry
  std::unique_ptr<SymbolRecord> definition;  // absent in a free entry
};

struct SymbolTable {
  std::vector<SymbolTableEntry> entries;  // the count is entries.size()
  int capacity = 0;
};

// Colours new and loaded objects take, as indices of the editor's palette.
struct ObjectColors {
  int32_t wire = 9;
  int32_t symbol = 0;
  int32_t junction = 0;
  int32_t label = 9;
  int32_t text = 0;
};

inline constexpr int kGridStep = 8;
inline constexpr int kJunctionRadius = 3;

struct Schematic {
  std::vector<std::unique_ptr<Page>> pages;  // page_table.page_count of them
  PageTable page_table;
  SymbolTable symbols;
  std::vector<std::unique_ptr<LibraryLink>> links;
  ObjectColors colors;
  std::string path = "untitled.sch";

  bool modified = false;
  // Modified since the revision field was last raised by a save.
  bool revision_due = false;

  // Values of the file's global section that are only stored and restored.
  int32_t reserved_value = 0;
  int32_t bias_display = 0;
  std::array<int32_t, 2> reserved_pair{};

  // Backups are made by the first save after a load, of as many sheet files as
  // the loaded schematic had pages.
  bool backup_due = false;
  int loaded_page_count = 0;

  Page& page() { return *pages[page_table.current_page]; }
  const Page& page() const { return *pages[page_table.current_page]; }
  int current_page() const { return page_table.current_page; }
  int page_count() const { return page_table.page_count; }
};

// --- creation ---

// A new schematic: one page with its top circuit, a title block with the initial
// texts dated `now`, page 1 numbered from 1, an empty symbol table.
std::unique_ptr<Schematic> schematic_new(const std::string& path = "untitled.sch",
                                         std::time_t now = std::time(nullptr));

// Snaps one coordinate to the grid: integer part (toward zero) of v / 8 + 0.5, times 8;
// a coordinate already on the grid is kept.
int snap_to_grid(int v);

// --- list operations on the current page ---
// Each allocates a record initialised for its kind, owned by the page's edit
// block, appends it to the current page's list and returns it.
PartRecord* part_new(Schematic& s);
WireRecord* wire_new(Schematic& s);
JunctionRecord* junction_new(Schematic& s);
LabelRecord* label_new(Schematic& s);
TextRecord* text_new(Schematic& s);
BlockRecord* block_new(Schematic& s);

// A wire between two points on one line, stored with the lower coordinate
// first; absent when the points are neither on a horizontal nor a vertical line.
WireRecord* wire_add(Schematic& s, int x1, int y1, int x2, int y2);
// A junction at (x, y) unless one is there already (then that one is returned).
JunctionRecord* junction_add(Schematic& s, int x, int y);

// Unlink and free a record of the current page; references to it from other
// records of the page (labels of wires and pins, owners) are cleared. Return 1,
// or 0 when the record is not on the current page.
int part_delete(Schematic& s, const PartRecord* p);
int wire_delete(Schematic& s, const WireRecord* w);
int junction_delete(Schematic& s, const JunctionRecord* j);
int label_delete(Schematic& s, const LabelRecord* l);
int text_delete(Schematic& s, const TextRecord* t);
// The top circuit (position 0) is never deleted.
int block_delete(Schematic& s, const BlockRecord* b);

// Record at a list position of the current page; absent for -1 or out of range.
BlockRecord* block_find(Schematic& s, int index);
LabelRecord* label_find(Schematic& s, int index);
LibraryLink* link_find(Schematic& s, int index);

// Records a change of a block's contents: the block's dirty mark and the
// schematic's modified state (and so the next save's revision update).
void mark_changed(Schematic& s, BlockRecord* block);

// --- part attributes ---

// Stores the reference. Refused (0) with "Spaces not allowed in part reference
// names" when it holds a blank, and (0, no message) when longer than 15.
int part_set_reference(PartRecord& p, const std::string& reference, Notify& notify);
// Stores the value; longer than 31 characters it is cut, with the notice
// "Value attribute truncated to limit of 31 characters." Returns 1.
int part_set_value(PartRecord& p, const std::string& value, Notify& notify);

// Places a part of the given symbol at (x, y): copies of the symbol's name-free
// defaults (value, template), one pin entry per pin, the region at the page
// scale. The symbol must belong to the symbol table.
PartRecord* part_place(Schematic& s, const SymbolRecord* symbol, int x, int y);

// --- orientation ---

// Applies a rotate (1), mirror (5) or flip (6) step and recomputes the region.
// Returns 1, or 0 with "Rotation not allowed for this part".
int part_orient(Schematic& s, PartRecord& p, int step, Notify& notify);
// The part's region from its symbol, page scale and steps.
void part_update_region(const Schematic& s, PartRecord& p);
// Region of a symbol at a page scale after orientation steps.
Region oriented_region(const Region& symbol_region, int scale, const int32_t* steps, int count);

// --- pages ---

// Appends an empty page with its top circuit and nothing else: the page table
// and the current page are the caller's (the file reader's) business.
Page& page_append(Schematic& s);
// Adds a page after the last one and makes it current. Returns 1, or 0 with
// "Exceeds maximum number of pages" at 100 pages.
int page_add(Schematic& s, Notify& notify, std::time_t now = std::time(nullptr));
// Deletes page n (from 0) after the question "Are you sure you want to delete
// page %d?" (numbered from 1). Page 0: "Cannot delete first page". Returns 1,
// 0 when refused, -1 when the user said no.
int page_delete(Schematic& s, int n, Notify& notify);
// Makes page n (from 0) current. 0 with "Cannot open page %d - invalid page number".
int page_select(Schematic& s, int n, Notify& notify);
// After numbering: every later page whose first node is not above the previous
// page's last node is moved up past it and marked for renumbering.
void pages_update_first_nodes(Schematic& s);

// --- title block ---

// The initial texts of a page's title block.
void titleblock_init(TitleBlock& t, const std::string& file_name, int page, int page_count, std::time_t now);
// The revision update of a save: "Rev: %d" raised by one (a negative number
// counts as 0) when the field begins with "Rev: " in any case, and the revision
// date set to now. The caller decides whether it is due.
void titleblock_revision_update(TitleBlock& t, std::time_t now);

// --- symbol table ---

// Empties the table and sizes it for n symbols: capacity 128, or n + 16 above
// 128. 0 with "Symbol count in use %d - exceeds limit" above 1000.
int symtab_create(Schematic& s, int n, Notify& notify);
// Adds a definition; the table grows by 16 when full. Returns the new entry's
// position, or -1 with "Cannot allocate symbol table".
int symtab_add(Schematic& s, const std::string& name, std::unique_ptr<SymbolRecord> definition, int origin,
               Notify& notify);
// Recomputes every in-use mark from the parts and blocks of all pages.
void symtab_mark_in_use(Schematic& s);
// Frees unused definitions that came with the schematic, merges identical
// definitions and squeezes out the free entries.
void symtab_purge(Schematic& s);
// Deletes entry i: 0 with "Symbol is in use - cannot be deleted" when in use.
int symtab_delete(Schematic& s, int i, Notify& notify);
// The first entry whose definition is identical in content; -1 if none.
int symtab_find(const Schematic& s, const SymbolRecord& definition);
// The entry holding exactly this definition; -1 if none.
int symtab_index_of(const Schematic& s, const SymbolRecord* definition);
// True when the definition belongs to some entry; otherwise "NULL symbol
// pointer" (absent) or "Bad symbol pointer" (not found).
bool symtab_check(const Schematic& s, const SymbolRecord* definition, Notify& notify);

}  // namespace zephyrim
