#pragma once
// The operating point printed on the schematic: node voltages beside their
// wires and source currents beside their parts, from the bias file the engine
// wrote for the last run. Only what to draw and where is decided here; the
// sheet view paints the labels and owns the on/off state of the display.
#include <string>
#include <vector>

#include "common/notify.h"
#include "netlist/connectivity.h"
#include "schematic/schematic.h"
#include "simulation/bias_file.h"

namespace zephyrim {

inline constexpr char kBiasNotAvailable[] =
    "Circuit OP bias data not available\nRun .OP, .TRAN or .AC simulation first";
// Followed by the file's path.
inline constexpr char kBiasReadError[] = "Error reading bias data file ";

// The size the labels are estimated at, in schematic units: the sheet's free
// text (9 units high) at about two thirds of its height per character.
inline constexpr int kBiasCharWidth = 6;
inline constexpr int kBiasLineHeight = 9;
inline constexpr size_t kBiasMaxText = 20;

struct BiasLabel {
  int x = 0, y = 0;      // anchor in schematic units
  int h_align = 0;       // 0 left, 1 centre, 2 right of the anchor
  int v_align = 0;       // 0 text below the anchor (top at y), 1 centred, 2 above (bottom at y)
  std::string text;      // at most 20 characters: "12.3mV", "-1.5mA"
  std::string name;      // the node or device name it shows, as in the bias file
  bool current = false;  // a device current (A), else a node voltage (V)
  float value = 0;
};

// The box a label's text is estimated to cover.
struct BiasBox {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  // Boxes that only touch do not overlap.
  bool overlaps(const BiasBox& o) const { return x1 < o.x2 && o.x1 < x2 && y1 < o.y2 && o.y1 < y2; }
};
BiasBox bias_label_box(const BiasLabel& label);

struct BiasDisplay {
  BiasData data;                  // of the last successful read
  std::vector<BiasLabel> labels;  // at most N + D
  bool warned = false;            // the "not available" warning was shown and the data is still missing
  bool active = false;            // the last build read the file (it may still have matched nothing)

  // On after a successful build, even for a circuit none of whose names the
  // file holds: the user asked for the values and sees that there are none.
  bool shown() const { return active || !labels.empty(); }
};

// Switching on, or rebuilding while on: reads the file, numbers the nodes of
// the top-level scope of the current page (a pass of its own that asks nothing)
// and places the labels. Returns 1 shown; 0 data not available (the warning
// kBiasNotAvailable once, then silence while it stays missing); -1 bad file
// (kBiasReadError with the path, tables emptied). On 0 and -1 no labels are
// left. Running out of memory gives 0 without a message.
int bias_display_build(BiasDisplay& d, Schematic& s, const std::string& bias_path, Notify& notify);

// Display off, or a new run: the labels go and the warning may come again.
// The data of the last read is kept until the next one.
void bias_display_clear(BiasDisplay& d);

// Placement alone, for a numbered node table of the page's top-level scope.
// Node records that name no node of the table, device records of anything but
// V, E, F, G and H elements and records without a part are left out.
std::vector<BiasLabel> bias_labels(const Schematic& s, const Page& page, const NodeTable& top,
                                   const BiasData& data);

}  // namespace zephyrim
