#pragma once
// Generated symbols: the symbol of a subcircuit block, made from the shape and
// pin arrangement kept with the block (its `symbol_spec`), and the symbols of
// the U logic elements, made from a function name and up to two options. Both
// produce an ordinary symbol definition whose drawing commands are written as
// library text and parsed, so they behave exactly as library symbols do.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/notify.h"
#include "schematic/records.h"
#include "symbols/symbol_library.h"
#include "symbols/symbol_record.h"

namespace zephyrim {

// --- block symbols ---

// Generator types stored in a specification's `shape`.
enum SymbolShapeType : int32_t {
  kShapeRectangle = 0,
  kShapeSquare = 1,
  kShapeCircle = 2,
  kShapeGain = 3,
  kShapeFunction = 4,
  kShapeAnd = 5,
  kShapeOr = 6,
  kShapeBuffer = 7,
  kShapeXor = 8,
  kShapeRectangleHoriz = 9,
};

// Where a pin of a specification sits.
enum SpecPinPosition : int32_t { kPinInput = 0, kPinOutput = 1, kPinTop = 2, kPinBottom = 3 };

struct SymbolShape {
  const char* name;  // as the dialog lists it
  int32_t type;      // the generator type
  int max_pins;
  bool rotatable;
};

// The shapes in the dialog's list order.
const std::array<SymbolShape, 10>& symbol_shapes();
// The shape of a generator type; absent for an unknown one.
const SymbolShape* symbol_shape(int32_t type);

// The words of a specification and of its pin entries by name; the stored
// layout keeps them as plain words.
inline int32_t spec_shape(const SymbolSpec& s) {
  return s.words[0];
}
inline int32_t spec_show_names(const SymbolSpec& s) {
  return s.words[1];
}
inline int32_t spec_show_numbers(const SymbolSpec& s) {
  return s.words[2];
}
inline int32_t spec_max_pins(const SymbolSpec& s) {
  return s.words[3];
}
inline void spec_set_shape(SymbolSpec& s, int32_t v) {
  s.words[0] = v;
}
inline void spec_set_show_names(SymbolSpec& s, int32_t v) {
  s.words[1] = v;
}
inline void spec_set_show_numbers(SymbolSpec& s, int32_t v) {
  s.words[2] = v;
}
inline void spec_set_max_pins(SymbolSpec& s, int32_t v) {
  s.words[3] = v;
}
inline int32_t pin_marked(const SymbolSpecEntry& e) {
  return e.words[0];
}
inline int32_t pin_position(const SymbolSpecEntry& e) {
  return e.words[1];
}
inline int32_t pin_order(const SymbolSpecEntry& e) {
  return e.words[2];
}
inline void pin_set(SymbolSpecEntry& e, int32_t marked, int32_t position, int32_t order) {
  e.words = {marked, position, order};
}

// A fresh specification of a shape: name, shape, its maximum pin count and the
// default pin setup for pin_count pins (at most the shape's maximum).
SymbolSpec symbol_spec_new(const std::string& name, int32_t shape, int pin_count, bool show_names = true,
                           bool show_numbers = false);

// The default pin setup of the symbol spec's shape for pin_count pins:
// names are the pin numbers. Rectangle and Square put the first half (rounded
// up) on the left and the rest on the right counting down; Rectangle horiz. the
// same at the bottom and top; Circle and BUF/INV one pin per side; the other
// shapes n - 1 inputs and one output.
void spec_default_pins(SymbolSpec& spec, int pin_count);

// One I/O pin part of a block: its value (the pin's name) and its symbol's name.
struct BlockIoPin {
  std::string value;
  std::string symbol_name;
};
// The pins a block's symbol starts from: one per I/O pin part, in order, up to
// pin_count; an output when its symbol is a PINOUT, else an input, each
// position ordered by a running count.
void spec_pins_from_block(SymbolSpec& spec, const std::vector<BlockIoPin>& io_pins, int pin_count);

// The name rule of block symbols: a name not beginning with "X" gets one in
// front, with the notice.
std::string subckt_symbol_name(const std::string& name, Notify& notify);

// Builds the symbol a specification describes: kind 2, one pin per entry (at
// most the shape's maximum), the shape's geometry, pins on the grid. Pins that
// had to move are reported. Absent for an unknown shape, with the notice.
std::optional<SymbolRecord> block_symbol_generate(const SymbolSpec& spec, Notify& notify);

// --- U logic element symbols ---

inline constexpr int kLogicFunctionCount = 30;

enum class LogicKind {
  library,    // taken from the library, never generated
  copy,       // a copy of the library symbol "U" + name
  gate,       // n-input gate
  buffer,     // n gates of one input each
  register_,  // the register-style elements
  box,        // a body with named pins on its sides
};

struct LogicFunction {
  const char* name;
  LogicKind kind;
  int option_count;
  const char* label1;  // nullptr without the option
  int default1;
  int max1;  // the largest value the option takes; larger ones are cut to it
  const char* label2;
  int default2;
  int max2;
};

// The 30 functions in list order with their option labels, defaults and bounds.
// Bounds keep every symbol a sane size: bits, gates and outputs at most 64,
// gate inputs at most 31 (the gate shape's input slots), decoder and encoder
// lines at most 6 (64 outputs or inputs), addresses at most 32, counts 65535.
const std::array<LogicFunction, kLogicFunctionCount>& logic_functions();
// Position of a function by name (any case); -1 if none.
int logic_function_find(std::string_view name);

// The options as used: 0 or less (or absent) the default, PSREG's first at
// least 2, anything above the bound cut to it; options the function lacks are 0.
std::array<int, 2> logic_options(int function, int option1, int option2);

// "U%s", "U%s(%d)" or "U%s(%d,%d)" after the options are normalised.
std::string logic_symbol_name(int function, int option1, int option2);

// The name rule of logic symbols: a name not beginning with "U" gets one in
// front, with the notice.
std::string logic_symbol_name_rule(const std::string& name, Notify& notify);

// Generates the symbol of a function under the given name. DIVN copies the
// library symbol (with "U logic symbol %s not found" when the library lacks it);
// the functions that only the library holds are not generated (the same
// notice). Absent when nothing was made.
std::optional<SymbolRecord> logic_symbol_generate(int function, int option1, int option2,
                                                  const std::string& name, const SymbolLibrary* library,
                                                  Notify& notify);

// What the U Logic Element Symbol command places: the library symbol of that
// name when the library holds one, else the generated one.
std::optional<SymbolRecord> logic_symbol_get(int function, int option1, int option2, const std::string& name,
                                             const SymbolLibrary* library, Notify& notify);

}  // namespace zephyrim
