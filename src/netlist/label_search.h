#pragma once
// Where a node label goes: the wire or part pin nearest to it within reach of
// its search boxes. The pass attaches every label of a scope at once; the
// editor attaches one label the user placed (label_attach in connectivity.h).
#include <unordered_map>
#include <utility>
#include <vector>

#include "netlist/connectivity_scope.h"

namespace zephyrim::connectivity_detail {

struct SearchBox;

// Which wires and pins a label's search can reach. The indexed form buckets
// wires by the cells their candidate boxes cover and pins by the cell of their
// tip, so a label looks at a handful of records instead of all of them; the
// plain form offers every record, as the rule reads. Both hand out candidates
// in list order, so ties fall the same way.
class LabelSearch {
 public:
  LabelSearch(const ScopeView& v, bool indexed);

  // Wires whose candidate box may hold the label's anchor, ascending.
  const std::vector<int>& wires(const LabelRecord& l);
  // Pins whose tip may lie in the label's pin box, ascending.
  const std::vector<int>& pins(const LabelRecord& l);

  int grid() const { return gs_; }

 private:
  static constexpr int kMaxIndexedWidth = 1 << 16;  // wider labels search everything
  static constexpr long long kMaxCells = 4096;      // a wire spanning more goes on the wide list

  long long cell(long long c) const { return c >= 0 ? c / cell_ : -((-c + cell_ - 1) / cell_); }
  static unsigned long long key(long long cx, long long cy) {
    return (static_cast<unsigned long long>(cx) << 32) ^ static_cast<unsigned long long>(cy & 0xffffffffLL);
  }
  bool bucket(const SearchBox& box, int id, std::unordered_map<unsigned long long, std::vector<int>>& cells);
  const std::vector<int>& all(size_t n);

  const ScopeView& v_;
  bool indexed_;
  int gs_ = kGridStep;
  long long cell_ = 1;
  long long widest_ = 0;
  std::unordered_map<unsigned long long, std::vector<int>> wire_cells_, pin_cells_;
  std::vector<int> wide_wires_;
  std::vector<int> out_;
};

// The wire (first) or pin (second) a label goes to; -1 for none. Candidates
// without a label are preferred; between a wire and a pin the wire wins ties.
std::pair<int, int> label_target(const ScopeView& v, LabelSearch& search, const LabelRecord& label);

}  // namespace zephyrim::connectivity_detail
