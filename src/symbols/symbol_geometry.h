#pragma once
// What a symbol's drawing commands draw for one placement: paths and texts in
// page coordinates, after the page scale, the orientation steps and the
// position. Arcs, circles and ellipses come as sampled paths, so every
// orientation is exact; texts keep their place relative to the symbol and stay
// readable. The painter of the desktop side only strokes, fills and writes them.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "symbols/draw_command.h"
#include "symbols/symbol_record.h"

namespace zephyrim {

// Normal character height of symbol texts, in schematic units at page scale 1.
inline constexpr double kSymbolCharHeight = 10.0;

struct Placement {
  int x = 0, y = 0;
  int scale = 1;
  const int32_t* steps = nullptr;
  int step_count = 0;
};

struct GeoPoint {
  double x = 0, y = 0;
};

struct GeoPath {
  std::vector<GeoPoint> points;  // one point: a dot
  bool closed = false;
  bool filled = false;
};

struct GeoText {
  GeoPoint anchor;
  std::string text;
  bool vertical = false;              // reads upward
  int h_align = 0;                    // 0 left, 1 centre, 2 right (along the reading direction)
  int v_align = 0;                    // 0 bottom, 1 base line, 2 top
  double height = kSymbolCharHeight;  // in page units
};

// The texts a part offers its symbol's attribute placements.
struct AttributeTexts {
  std::string reference;
  std::string value;
  std::array<std::optional<std::string>, 4> params;
  std::array<int32_t, 4> show{};
};

struct SymbolGeometry {
  std::vector<GeoPath> paths;
  std::vector<GeoText> texts;
};

// The drawing of a symbol (commands and pin lines). Attribute placements are
// drawn only when texts are given.
SymbolGeometry symbol_geometry(const SymbolRecord& symbol, const Placement& at,
                               const AttributeTexts* texts = nullptr);

}  // namespace zephyrim
