#pragma once
// Automatic reference names: a letter and a number ("R4"), one counter per
// letter. The letters' order is the one the counters have always been kept in.
#include <array>
#include <string>

#include "schematic/schematic.h"

namespace zephyrim {

inline constexpr const char kReferenceLetters[] = "BCDEFGHIJKLMNOQRSTUVWXZPAY";
inline constexpr int kIoPinCounter = 23;  // I/O pins ("PINOUT") count under 'P'

// Next number per counter: the largest in use plus one.
struct ReferenceCounters {
  std::array<int, 26> next{};
};

// The letter a part's references begin with: its device letter, else the first
// letter of its upper-cased symbol name; 0 when there is none.
char reference_letter(const PartRecord& p);
// Position of a letter in kReferenceLetters (any case), or -1.
int reference_counter_index(char letter);
// The counter a part counts under, or -1 for parts that get no number: ground
// symbols and parts without a letter.
int reference_counter_of(const PartRecord& p);

// Recounts every counter from the parts in the current page's edit block and,
// when that is the top circuit, the top circuits of every page.
void references_recount(const Schematic& s, ReferenceCounters& c);

// Gives a part placed in the current edit block its reference: it keeps the one
// it has unless that is empty or used by another part of the scope; otherwise it
// gets the letter and the counter's next number. Raises the counter past the
// number it ends up with. Returns 1 when the reference was set.
int reference_assign(const Schematic& s, PartRecord& p, ReferenceCounters& c);

}  // namespace zephyrim
