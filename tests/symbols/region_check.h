#pragma once
// The check every symbol passes, from a library or generated: whatever its
// commands and pins draw stays inside its region, at both page scales and in
// all sixteen combinations of rotate, mirror and flip.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "symbols/symbol_geometry.h"
#include "symbols/symbol_record.h"

namespace zephyrim::testing_support {

// Returns false after reporting the first point outside, with the symbol's name.
inline bool draws_inside_region(const SymbolRecord& r) {
  for (int scale = 1; scale <= 2; ++scale)
    for (int combo = 0; combo < 16; ++combo) {
      std::vector<int32_t> steps(combo & 3, 1);
      if (combo & 4) steps.push_back(5);
      if (combo & 8) steps.push_back(6);
      Placement at;
      at.scale = scale;
      at.steps = steps.data();
      at.step_count = static_cast<int>(steps.size());
      // The region under the same steps, from its transformed corners.
      double x1 = 1e9, y1 = 1e9, x2 = -1e9, y2 = -1e9;
      for (int c = 0; c < 4; ++c) {
        int x = c & 1 ? r.region.x2 : r.region.x1, y = c & 2 ? r.region.y2 : r.region.y1;
        orient_point(x, y, scale, steps.data(), at.step_count);
        x1 = std::min<double>(x1, x), y1 = std::min<double>(y1, y);
        x2 = std::max<double>(x2, x), y2 = std::max<double>(y2, y);
      }
      const SymbolGeometry g = symbol_geometry(r, at);
      for (const auto& p : g.paths)
        for (const auto& pt : p.points)
          if (!(pt.x >= x1 - 0.5 && pt.x <= x2 + 0.5 && pt.y >= y1 - 0.5 && pt.y <= y2 + 0.5)) {
            ADD_FAILURE() << r.name.str() << " scale " << scale << " combo " << combo << " at " << pt.x << ","
                          << pt.y;
            return false;
          }
    }
  return true;
}

}  // namespace zephyrim::testing_support
