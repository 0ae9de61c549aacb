#pragma once
// The records of a schematic page. Each mirrors the fixed layout in which the
// schematic file stores it (sizes below); pointer fields of the stored layout
// are presence marks, so here they are optional values, owned vectors or
// non-owning pointers into the schematic. Fields whose use lies outside the
// editor are kept as they were read, so a load and a save give the same bytes.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/fixed_text.h"
#include "schematic/record_pool.h"
#include "symbols/symbol_record.h"

namespace zephyrim {

inline constexpr size_t kPartRecordSize = 200;
inline constexpr size_t kSourceSpecSize = 24;
inline constexpr size_t kWireRecordSize = 60;
inline constexpr size_t kJunctionRecordSize = 48;
inline constexpr size_t kLabelRecordSize = 68;
inline constexpr size_t kTextRecordSize = 76;
inline constexpr size_t kBlockRecordSize = 220;
inline constexpr size_t kBlockPinSize = 24;
inline constexpr size_t kSymbolSpecSize = 184;
inline constexpr size_t kSymbolSpecEntrySize = 28;
inline constexpr size_t kLibraryLinkSize = 48;
inline constexpr size_t kTitleBlockSize = 608;
inline constexpr size_t kPageTableSize = 1608;

inline constexpr int kMaxPages = 100;
inline constexpr int kMaxOrientSteps = 8;
inline constexpr size_t kMaxParamText = 256;
inline constexpr size_t kMaxObjectText = 512;

// Orientation steps.
enum OrientStep : int32_t { kStepRotate = 1, kStepMirror = 5, kStepFlip = 6 };

struct BlockRecord;
struct LabelRecord;
struct LibraryLink;

// One entry of a part's source specification (interpreted by the source dialogs).
struct SourceSpec {
  int32_t kind = 0;
  int32_t word4 = 0;
  double value = 0.0;
  std::optional<std::string> text;  // at most 256 characters
  int32_t word20 = 0;
  bool operator==(const SourceSpec&) const = default;
};

// Node of one symbol pin (filled by the connectivity pass).
struct PinNode {
  int32_t node = -1;
  LabelRecord* label = nullptr;
};

struct PartRecord {
  const SymbolRecord* symbol = nullptr;  // definition in the symbol table
  FixedText<2> device;                   // device letter override; empty = the symbol's prefix
  FixedText<16> reference;               // at most 15 characters, no spaces
  FixedText<32> value;                   // at most 31 characters
  std::array<uint8_t, 2> padding54{};
  std::array<std::optional<std::string>, 4> params;  // parameter lines 1-3 and a fourth text
  std::array<int32_t, 4> show{};                     // 1 = parameter text shown on the sheet
  Region region;                                     // after orientation and page scale, relative to x, y
  int32_t x = 0, y = 0;
  int32_t step_count = 0;
  std::array<int32_t, kMaxOrientSteps> steps{};
  int32_t reserved148 = 0;
  int32_t color = 0;
  int32_t selected = 0;
  int32_t disabled = 0;
  uint32_t reserved164 = 0x3f800000;         // the float 1.0, bit for bit
  std::vector<PinNode> pin_nodes;            // one per symbol pin
  std::vector<SourceSpec> source_specs;      // empty, or at least 13 entries
  std::optional<std::string> template_text;  // netlist template; absent = the default one
  std::optional<std::string> text2;
  LibraryLink* model_link = nullptr;
  BlockRecord* owner = nullptr;

  // Pages hold these by the hundred thousand: see record_pool.h.
  static void* operator new(size_t size) { return record_allocate(size); }
  static void operator delete(void* p, size_t size) noexcept { record_release(p, size); }
};

struct WireRecord {
  int32_t orientation = 1;  // 1 horizontal, 2 vertical
  int32_t x1 = 0, y1 = 0;   // the lower coordinate first
  int32_t x2 = 0, y2 = 0;
  int32_t dx = 0, dy = 0;  // x2 = x1 + dx, y2 = y1 + dy
  int32_t color = 0;
  int32_t selected = 0;
  int32_t disabled = 0;
  int32_t mark = 0;   // work mark of editing operations
  int32_t node = -1;  // -1 while unassigned
  LabelRecord* label = nullptr;
  BlockRecord* owner = nullptr;

  // Pooled, as parts are.
  static void* operator new(size_t size) { return record_allocate(size); }
  static void operator delete(void* p, size_t size) noexcept { record_release(p, size); }
};

struct JunctionRecord {
  int32_t x = 0, y = 0;
  Region box;  // -r, -r, r, r
  int32_t color = 0;
  int32_t selected = 0;
  int32_t disabled = 0;
  int32_t word36 = 0;
  BlockRecord* owner = nullptr;

  // Pooled, as parts are.
  static void* operator new(size_t size) { return record_allocate(size); }
  static void operator delete(void* p, size_t size) noexcept { record_release(p, size); }
};

struct LabelRecord {
  int32_t index = 0;  // position in the label list (rewritten on save)
  FixedText<32> name;
  int32_t width = 0;  // drawn width in schematic units; <= 0 is invalid
  int32_t x = 0, y = 0;
  int32_t color = 0;
  int32_t selected = 0;
  int32_t disabled = 0;
  BlockRecord* owner = nullptr;

  // Pooled, as parts are.
  static void* operator new(size_t size) { return record_allocate(size); }
  static void operator delete(void* p, size_t size) noexcept { record_release(p, size); }
};

struct TextRecord {
  std::optional<std::string> text;  // at most 512 characters, may hold line breaks
  std::array<uint8_t, 8> reserved4{};
  int32_t x = 0, y = 0;
  Region box;  // 0, -h, w, 0 relative to x, y
  std::array<uint8_t, 8> reserved36{};
  float line_spacing = 1.35f;
  int32_t color = 0;
  int32_t color2 = 0;
  int32_t word56 = 0;
  int32_t selected = 0;
  int32_t disabled = 0;
  BlockRecord* owner = nullptr;

  // Pooled, as parts are.
  static void* operator new(size_t size) { return record_allocate(size); }
  static void operator delete(void* p, size_t size) noexcept { record_release(p, size); }
};

struct BlockPin {
  int32_t word0 = 0;
  int32_t word4 = 0;
  FixedText<8> name;
  uint32_t word16 = 0;              // a float, bit for bit
  std::optional<std::string> text;  // at most 256 characters
  bool operator==(const BlockPin&) const = default;
};

struct SymbolSpecEntry {
  FixedText<8> name;
  uint8_t flag = 0;  // cleared on load
  std::array<uint8_t, 7> bytes9{};
  std::array<int32_t, 3> words{};
  bool operator==(const SymbolSpecEntry&) const = default;
};

// The shape that a block's generated symbol is made from.
struct SymbolSpec {
  FixedText<32> name;
  std::array<uint8_t, 128> text{};
  std::array<int32_t, 4> words{};
  int32_t entry_count = 0;
  std::optional<std::vector<SymbolSpecEntry>> entries;  // entry_count entries when present
  bool operator==(const SymbolSpec&) const = default;
};

// The first block of a page is its top circuit; every further one a subcircuit block.
struct BlockRecord {
  int32_t index = -1;
  std::optional<std::string> text;     // at most 256 characters
  FixedText<32> name;                  // empty for the top circuit
  std::array<uint8_t, 8> derived40{};  // cleared on load
  std::vector<BlockPin> pins;
  std::array<int32_t, 26> words56{};
  int32_t origin_x = 0, origin_y = 0;  // lowest x and y of the contents less one grid step
  std::array<uint8_t, 12> reserved168{};
  int32_t first_node = 1;
  std::array<uint8_t, 12> derived184{};  // cleared on load
  int32_t dirty = 0;  // 1 after any change of the contents; cleared by the connectivity pass
  int32_t word200 = 0;
  std::optional<SymbolSpec> symbol_spec;
  const SymbolRecord* symbol = nullptr;  // the block's symbol in the symbol table
  int32_t word216 = 0;
};

// Link kinds.
enum LinkKind : int32_t { kLinkLib = 0, kLinkInc = 1, kLinkMdb = 2 };
// Link scopes.
enum LinkScope : int32_t { kLinkProject = 0, kLinkSymbol = 1, kLinkPart = 2 };

struct LibraryLink {
  int32_t index = 0;
  int32_t kind = kLinkLib;
  std::array<std::optional<std::string>, 3> texts;  // the file name first
  int32_t scope = kLinkProject;
  std::array<int32_t, 4> words{};
  std::array<uint8_t, 4> reserved40{};
  const std::optional<std::string>& file() const { return texts[0]; }
};

struct TitleBlock {
  FixedText<128> title1;
  FixedText<128> title2;
  FixedText<128> file;
  FixedText<32> page;
  FixedText<32> number;
  FixedText<16> revision;
  FixedText<64> drawn_by;
  FixedText<32> created;
  FixedText<32> revised;  // date and time of the last revision
  FixedText<16> size;
};

struct PageTableEntry {
  int32_t first_node = 1;
  int32_t last_node = -1;  // -1 until numbered
  int32_t renumber = 1;
  std::optional<std::string> title;  // at most 256 characters
};

struct PageTable {
  int32_t page_count = 1;
  int32_t current_page = 0;
  std::array<PageTableEntry, kMaxPages> entries{};
};

// Zoom codes of a page.
enum ZoomCode : int32_t {
  kZoom400 = 1,
  kZoom200 = 2,
  kZoom100 = 4,
  kZoom80 = 5,
  kZoomFit = 6,
  kZoom50 = 8,
  kZoom25 = 16,
  kZoom16 = 25,
  kZoom12 = 32,
};

// Display settings of a page, in the order the file keeps them.
struct PageSettings {
  std::array<int32_t, 15> reserved{};
  int32_t view_x = 0, view_y = 0;      // page coordinates at the window's top left
  int32_t centre_x = 0, centre_y = 0;  // view origin plus half the window, in whole grid steps
  int32_t view = 1;                    // at least 1
  int32_t zoom = kZoom100;
  int32_t border = 2;  // 0 none, 1 ruler, 2 box
  int32_t show_grid = 1;
  int32_t show_title = 1;
  int32_t sheet_size = 0;  // 0 "A/A4  11x8.5" .. 7 "B portrait"
  int32_t scale = 1;       // symbol scale, 1 or 2
  int32_t show_nodes = 0;
};

// One page ("sheet") with its own object lists. Lists keep creation order.
struct Page {
  PageSettings settings;
  TitleBlock title;
  std::vector<std::unique_ptr<BlockRecord>> blocks;
  std::vector<std::unique_ptr<LabelRecord>> labels;
  std::vector<std::unique_ptr<PartRecord>> parts;
  std::vector<std::unique_ptr<WireRecord>> wires;
  std::vector<std::unique_ptr<JunctionRecord>> junctions;
  std::vector<std::unique_ptr<TextRecord>> texts;
  // The block that new objects belong to: the top circuit, or an open subcircuit block.
  BlockRecord* edit_block = nullptr;

  BlockRecord* top() const { return blocks.empty() ? nullptr : blocks.front().get(); }
};

}  // namespace zephyrim
