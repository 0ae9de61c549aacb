#pragma once
// A text listing of a whole schematic for reading and for diffs: one object per
// line where possible, each indented under its page. The same model always gives
// the same text; records refer to each other by list position, never by address,
// and the file's path is left out so that copies of one schematic list alike.
#include <string>

#include "schematic/schematic.h"

namespace zephyrim {

// The listing of every global value, library link, symbol, page table entry and
// page object of s. Texts are quoted ("" for empty, - for absent) with \", \\,
// \n and \xNN for the other control bytes.
std::string schematic_dump(const Schematic& s);

}  // namespace zephyrim
