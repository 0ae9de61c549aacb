#pragma once
// A part's SPICE statement from its netlist template: a few "%" codes for its
// reference, nodes, value and parameters, everything else copied. Parts
// without a template get a default one chosen by their element letter.
#include <string>
#include <vector>

#include "common/notify.h"
#include "netlist/connectivity.h"
#include "schematic/records.h"

namespace zephyrim {

inline constexpr size_t kStatementBuffer = 512;  // one statement, its end included
inline constexpr size_t kFirstWrap = 128;        // the first continuation, then every 80 more
inline constexpr size_t kMaxTemplateTokens = 128;

struct TemplateToken {
  std::string text;
  bool blank_after = false;
};

// Splits a template: blanks separate tokens and are dropped, a "%" begins a new
// token, a lone "%" is dropped. At most kMaxTemplateTokens tokens.
std::vector<TemplateToken> tokenize_template(const std::string& text);

// The part's element letter: its device letter, else the first letter of its
// upper-cased symbol name; 0 when there is neither.
char element_letter(const PartRecord& part);

// Builds the part's statement (no line end) into out, with the node names of
// `table`. Returns 1, or 0 when the part has no usable template (a default
// template for a letter without a SPICE element says "%s no matching SPICE
// element %c available").
int expand_template(const PartRecord& part, const NodeTable& table, std::string& out, Notify& notify);

}  // namespace zephyrim
