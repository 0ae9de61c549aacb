#pragma once
// The drawing sizes of a page: the extent of its drawing area in schematic
// units, the scale at which it prints and the text its title block shows.
#include <cstdint>

#include "schematic/records.h"

namespace zephyrim {

struct PageSize {
  const char* text;  // title-block text, "Size: A" ...
  int width;         // drawing area from (0, 0), in schematic units
  int height;
  double print_scale;
  bool portrait() const { return height > width; }
};

inline constexpr int kPageSizeCount = 8;

// The table entry of a size code; any code not listed is size A (code 0).
const PageSize& page_size(int32_t code);

// Takes the page's size code into its title block (the size text) and returns
// the entry, which gives the drawing extent and print scale. The code itself is
// left as stored, so an unlisted one survives a save.
const PageSize& page_size_apply(Page& page);

// Device pixels per schematic unit of a zoom code (100 % = one pixel a unit);
// 0 for fit to window, which the caller computes from the page extent. Codes
// not listed show at 100 %.
double zoom_factor(int32_t code);

}  // namespace zephyrim
