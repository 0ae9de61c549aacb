// make_examples: builds the bundled example schematics through the model API and
// writes them as .sch files, so the examples always match the file format of the
// build that ships them.
//
//   make_examples LIBRARY.sym OUTDIR
//
// writes OUTDIR/rc_lowpass.sch, OUTDIR/amplifier.sch, OUTDIR/opamp_two_page.sch,
// OUTDIR/rc_step.sch, OUTDIR/filter_mc.sch and OUTDIR/diode_temp.sch, each with
// its simulation setup (.SIM), and for the last three their user statements
// (.MIS): the tolerances and the measurements of the repeated runs.
// The files are the same on every run and machine: local time is UTC and every
// date comes from one fixed moment.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/notify.h"
#include "editing/subckt.h"
#include "schematic/records.h"
#include "schematic/schematic.h"
#include "schematic/schematic_file.h"
#include "simulation/sim_setup.h"
#include "symbols/symbol_library.h"

namespace {

using namespace zephyrim;

// 2026-01-05 09:00:00 UTC: the creation and revision date of every example.
constexpr std::time_t kExampleTime = 1767603600;

constexpr const char* kDrawnBy = "Drawn by: Zephyrim examples";

// Text objects and labels are sized like the editor sizes them: 8 units a
// character, 12 a line.
constexpr int kCharWidth = 8;
constexpr int kLineHeight = 12;

struct Point {
  int x = 0, y = 0;
};

// Any notice while building or reading back means the example is not what it
// should be; questions (the realignment ones) would mean misplaced objects.
void fail_on_notices(const RecordingNotify& notify, const std::string& what) {
  if (notify.entries().empty()) return;
  std::string msg = what + ":";
  for (const auto& e : notify.entries()) msg += "\n  " + e.caption + ": " + e.text;
  throw std::runtime_error(msg);
}

// The symbol library, read without writing an index file beside it (the build
// may read it from the source tree).
SymbolLibrary read_library(const std::string& path) {
  auto text = read_text_file(path);
  if (!text) throw std::runtime_error("cannot read symbol library " + path);
  RecordingNotify notify;
  SymbolLibrary lib;
  lib.path = path;
  lib.index_path = schematic_sibling(path, "IDX");
  lib.index = index_build(*text, path, notify);
  lib.text = std::move(*text);
  fail_on_notices(notify, "reading " + path);
  return lib;
}

// One schematic under construction: places objects on the current page for
// the page's edit block, loading each symbol into the table the first time a
// part uses it.
class Drawing {
 public:
  Drawing(const SymbolLibrary& lib, const std::string& file_name)
      : lib_(lib), s_(schematic_new(file_name, kExampleTime)) {}

  Schematic& schematic() { return *s_; }
  RecordingNotify& notify() { return notify_; }

  const SymbolRecord& symbol(const std::string& name) {
    auto it = symbols_.find(name);
    if (it != symbols_.end()) return *it->second;
    auto def = symbol_load_named(lib_, name, notify_);
    if (!def) throw std::runtime_error("symbol " + name + " not in the library");
    const int pos = symtab_add(*s_, name, std::move(def), kOriginLibrary, notify_);
    if (pos < 0) throw std::runtime_error("cannot add symbol " + name);
    const SymbolRecord* d = s_->symbols.entries[pos].definition.get();
    symbols_.emplace(name, d);
    return *d;
  }

  // A part whose origin is at `at`.
  PartRecord& part(const std::string& symbol_name, const std::string& reference, const std::string& value,
                   Point at) {
    PartRecord* p = part_place(*s_, &symbol(symbol_name), at.x, at.y);
    if (!p || p->x != at.x || p->y != at.y) throw std::runtime_error("cannot place " + reference);
    if (!reference.empty() && !part_set_reference(*p, reference, notify_))
      throw std::runtime_error("bad reference " + reference);
    if (!value.empty()) part_set_value(*p, value, notify_);
    return *p;
  }

  // A part placed so that its pin `pin` (from 0, in the library's order) has its
  // tip at `tip`.
  PartRecord& part_by_pin(const std::string& symbol_name, const std::string& reference,
                          const std::string& value, int pin, Point tip) {
    const Point off = pin_offset(symbol(symbol_name), pin);
    return part(symbol_name, reference, value, {tip.x - off.x, tip.y - off.y});
  }

  // The tip of a placed part's pin: parts here keep the symbol's own orientation
  // at page scale 1, so it is the part position plus the library's pin offset.
  static Point pin(const PartRecord& p, int i) {
    const Point off = pin_offset(*p.symbol, i);
    return {p.x + off.x, p.y + off.y};
  }

  // Wires along a path of corners, each leg horizontal or vertical.
  void wire(std::initializer_list<Point> corners) {
    const Point* prev = nullptr;
    for (const Point& c : corners) {
      if (prev && !wire_add(*s_, prev->x, prev->y, c.x, c.y))
        throw std::runtime_error("wire leg neither horizontal nor vertical");
      prev = &c;
    }
  }

  void junction(Point at) {
    if (!junction_add(*s_, at.x, at.y)) throw std::runtime_error("cannot add junction");
  }

  // A node label at a point of a wire.
  void label(const std::string& name, Point at) {
    LabelRecord* l = label_new(*s_);
    if (!l) throw std::runtime_error("cannot add label " + name);
    l->name.assign(name);
    l->width = kCharWidth * static_cast<int>(name.size());
    l->x = at.x;
    l->y = at.y;
    mark_changed(*s_, l->owner);
  }

  // A text object whose lower left corner is at `at`.
  void text(const std::string& text, Point at) {
    TextRecord* t = text_new(*s_);
    if (!t) throw std::runtime_error("cannot add text");
    t->text = text;
    t->x = at.x;
    t->y = at.y;
    size_t longest = 0, lines = 0, start = 0;
    while (start <= text.size()) {
      const size_t end = std::min(text.find('\n', start), text.size());
      longest = std::max(longest, end - start);
      ++lines;
      start = end + 1;
    }
    t->box = {0, -kLineHeight * static_cast<int>(lines), kCharWidth * static_cast<int>(longest), 0};
    mark_changed(*s_, t->owner);
  }

  void titles(const std::string& title1, const std::string& title2) {
    TitleBlock& t = s_->page().title;
    t.title1.assign(title1);
    t.title2.assign(title2);
    t.drawn_by.assign(kDrawnBy);
  }

 private:
  static Point pin_offset(const SymbolRecord& d, int i) {
    if (i < 0 || i >= d.pin_count())
      throw std::runtime_error("symbol " + d.name.str() + " has no pin " + std::to_string(i + 1));
    return {d.pins[i].x, d.pins[i].y};
  }

  const SymbolLibrary& lib_;
  std::unique_ptr<Schematic> s_;
  RecordingNotify notify_;
  std::map<std::string, const SymbolRecord*> symbols_;
};

// Pin positions of the default library's symbols, in its P[ order.
enum TwoPin { kPin1 = 0, kPin2 = 1 };  // R, C: left, right; RV, CV, V: top, bottom
enum BjtPin { kCollector = 0, kBase = 1, kEmitter = 2 };
enum VcvsPin { kOutPlus = 0, kOutMinus = 1, kSensePlus = 2, kSenseMinus = 3 };
enum OpampPin { kNonInverting = 0, kInverting = 1, kSupplyPlus = 2, kSupplyMinus = 3, kOutput = 4 };
constexpr int kOnlyPin = 0;  // GND, rails, I/O pins: the tip is the origin

// A ground symbol hanging below a pin, one wire step away.
void ground_below(Drawing& d, Point tip, int drop = 32) {
  const Point g{tip.x, tip.y + drop};
  d.wire({tip, g});
  d.part_by_pin("GND", "", "", kOnlyPin, g);
}

// Builds, saves, reads back and saves again, so the bundled file is the form a
// later load and save reproduces byte for byte.
void write_example(const std::string& path, Drawing& d) {
  Schematic& s = d.schematic();
  if (!page_select(s, 0, d.notify())) throw std::runtime_error("no first page");
  fail_on_notices(d.notify(), "building " + path);
  RecordingNotify save_notify;
  if (schematic_save(s, path, save_notify, kExampleTime) != 0) {
    fail_on_notices(save_notify, "saving " + path);
    throw std::runtime_error("cannot save " + path);
  }
  fail_on_notices(save_notify, "saving " + path);

  RecordingNotify load_notify;
  SchematicLoad loaded = schematic_load(path, load_notify);
  if (loaded.code != 0 || !loaded.schematic)
    throw std::runtime_error("reading back " + path + " gives error " + std::to_string(loaded.code));
  fail_on_notices(load_notify, "reading back " + path);
  // Writing over a generated file needs no backup of it.
  loaded.schematic->backup_due = false;
  RecordingNotify resave_notify;
  if (schematic_save(*loaded.schematic, path, resave_notify, kExampleTime) != 0) {
    fail_on_notices(resave_notify, "saving " + path + " again");
    throw std::runtime_error("cannot save " + path + " again");
  }
  fail_on_notices(resave_notify, "saving " + path + " again");
}

// A pulse source through R1 into C1: tau = 1 ms, the pulse is 5 ms wide.
void rc_lowpass(Drawing& d) {
  d.titles("RC low-pass filter", "R1 = 1k, C1 = 1u: tau = 1 ms");
  PartRecord& v1 = d.part("V", "V1", "PULSE(0 1 0 1u 1u 5m 10m)", {128, 336});
  PartRecord& r1 = d.part("R", "R1", "1k", {288, 256});
  PartRecord& c1 = d.part("CV", "C1", "1u", {448, 336});

  const Point in_corner{Drawing::pin(v1, kPin1).x, Drawing::pin(r1, kPin1).y};
  d.wire({Drawing::pin(v1, kPin1), in_corner, Drawing::pin(r1, kPin1)});
  const Point out_corner{Drawing::pin(c1, kPin1).x, Drawing::pin(r1, kPin2).y};
  d.wire({Drawing::pin(r1, kPin2), out_corner, Drawing::pin(c1, kPin1)});
  ground_below(d, Drawing::pin(v1, kPin2));
  ground_below(d, Drawing::pin(c1, kPin2), 40);

  d.label("in", {in_corner.x + 48, in_corner.y});
  d.label("out", {out_corner.x - 80, out_corner.y});
  d.text("* RC low-pass, tau = 1 ms", {128, 176});
}

// rc_lowpass with C1 = 100n, R1 stepped from 1k to 20k: tau = 0.1 to 2 ms, so
// even the slowest run settles within the 5 ms pulse.
void rc_step(Drawing& d) {
  d.titles("RC low-pass, R1 stepped", "R1 = 1k, 2k, 5k, 10k, 20k; C1 = 100n");
  PartRecord& v1 = d.part("V", "V1", "PULSE(0 1 0 1u 1u 5m 10m)", {128, 336});
  PartRecord& r1 = d.part("R", "R1", "1k", {288, 256});
  PartRecord& c1 = d.part("CV", "C1", "100n", {448, 336});

  const Point in_corner{Drawing::pin(v1, kPin1).x, Drawing::pin(r1, kPin1).y};
  d.wire({Drawing::pin(v1, kPin1), in_corner, Drawing::pin(r1, kPin1)});
  const Point out_corner{Drawing::pin(c1, kPin1).x, Drawing::pin(r1, kPin2).y};
  d.wire({Drawing::pin(r1, kPin2), out_corner, Drawing::pin(c1, kPin1)});
  ground_below(d, Drawing::pin(v1, kPin2));
  ground_below(d, Drawing::pin(c1, kPin2), 40);

  d.label("in", {in_corner.x + 48, in_corner.y});
  d.label("out", {out_corner.x - 80, out_corner.y});
  d.text("* One run per value of R1: the rise time is 2.2 * R1 * C1", {128, 176});
}

// Two RC sections, the second ten times the impedance of the first so that it
// loads it little: the corner lies near 950 Hz.
void filter_mc(Drawing& d) {
  d.titles("Second-order RC low-pass, Monte Carlo", "50 runs: R 5 % uniform, C 10 % Gaussian");
  PartRecord& v1 = d.part("V", "V1", "DC 0 AC 1", {128, 336});
  PartRecord& r1 = d.part("R", "R1", "1k", {288, 256});
  PartRecord& c1 = d.part("CV", "C1", "100n", {384, 336});
  PartRecord& r2 = d.part("R", "R2", "10k", {480, 256});
  PartRecord& c2 = d.part("CV", "C2", "10n", {576, 336});

  const Point in_corner{Drawing::pin(v1, kPin1).x, Drawing::pin(r1, kPin1).y};
  d.wire({Drawing::pin(v1, kPin1), in_corner, Drawing::pin(r1, kPin1)});
  const Point tee{Drawing::pin(c1, kPin1).x, Drawing::pin(r1, kPin2).y};
  d.wire({Drawing::pin(r1, kPin2), tee});
  d.wire({tee, Drawing::pin(r2, kPin1)});
  d.wire({tee, Drawing::pin(c1, kPin1)});
  d.junction(tee);
  const Point out_corner{Drawing::pin(c2, kPin1).x, Drawing::pin(r2, kPin2).y};
  d.wire({Drawing::pin(r2, kPin2), out_corner, Drawing::pin(c2, kPin1)});
  ground_below(d, Drawing::pin(v1, kPin2));
  ground_below(d, Drawing::pin(c1, kPin2), 40);
  ground_below(d, Drawing::pin(c2, kPin2), 40);

  d.label("in", {in_corner.x + 48, in_corner.y});
  d.label("mid", {tee.x - 56, tee.y});
  d.label("out", {out_corner.x - 56, out_corner.y});
  d.text("* Tolerances and the -3 dB measurement: filter_mc.MIS", {128, 176});
}

// V1 through R1 into D1: at V1 = 4 V about 1 mA flows, and the diode's forward
// voltage falls by about 2 mV per degree. The measurement reads 4 V, not the
// end of the sweep: the sweep's last point may fall a rounding short of 5 V.
void diode_temp(Drawing& d) {
  d.titles("Diode forward voltage over temperature", "-40, 0, 27, 85 and 125 C");
  PartRecord& v1 = d.part("V", "V1", "DC 5", {128, 336});
  PartRecord& r1 = d.part("R", "R1", "3.3k", {288, 256});
  PartRecord& d1 = d.part_by_pin("D", "D1", "DMOD", kPin1, {400, 256});

  const Point in_corner{Drawing::pin(v1, kPin1).x, Drawing::pin(r1, kPin1).y};
  d.wire({Drawing::pin(v1, kPin1), in_corner, Drawing::pin(r1, kPin1)});
  d.wire({Drawing::pin(r1, kPin2), Drawing::pin(d1, kPin1)});
  const Point cathode = Drawing::pin(d1, kPin2);
  const Point drop{cathode.x + 48, cathode.y};
  d.wire({cathode, drop});
  ground_below(d, drop, Drawing::pin(v1, kPin2).y + 32 - drop.y);
  ground_below(d, Drawing::pin(v1, kPin2));

  d.label("in", {in_corner.x + 48, in_corner.y});
  d.label("anode", {Drawing::pin(r1, kPin2).x + 8, cathode.y});
  d.text(".MODEL DMOD D(IS=1E-14 N=1 RS=1 EG=1.11 XTI=3)", {128, 464});
}

// Common-emitter stage: divider bias R1/R2, emitter degeneration RE, collector
// load RC; VIN comes in through CIN. The divider gives 2.1 V less the drop of
// the base current in R1 || R2, so the base sits near 2.0 V, the emitter near
// 1.34 V (1.34 mA) and the collector near 12 - 4.7k * 1.32 mA = 5.8 V.
void amplifier(Drawing& d) {
  d.titles("Common-emitter amplifier", "NPN QN2222, VCC = 12 V");
  PartRecord& q1 = d.part("Q", "Q1", "QN2222", {512, 352});
  const Point collector = Drawing::pin(q1, kCollector);
  const Point base = Drawing::pin(q1, kBase);
  const Point emitter = Drawing::pin(q1, kEmitter);

  PartRecord& rc = d.part_by_pin("RV", "RC", "4.7k", kPin2, {collector.x, collector.y - 32});
  PartRecord& re = d.part_by_pin("RV", "RE", "1k", kPin1, {emitter.x, emitter.y + 32});
  PartRecord& r1 = d.part_by_pin("RV", "R1", "47k", kPin2, {352, base.y - 64});
  PartRecord& r2 = d.part_by_pin("RV", "R2", "10k", kPin1, {416, base.y + 64});
  PartRecord& cin = d.part_by_pin("C", "CIN", "10u", kPin2, {312, base.y});
  PartRecord& vin = d.part("V", "VIN", "DC 0 AC 1 SIN(0 10m 1k)", {192, 416});

  // Supply rail above both top resistors.
  const int rail_y = Drawing::pin(r1, kPin1).y - 32;
  const Point rail{(Drawing::pin(r1, kPin1).x + Drawing::pin(rc, kPin1).x) / 2, rail_y};
  d.part_by_pin("V+", "VCC", "12", kOnlyPin, rail);
  d.wire({Drawing::pin(r1, kPin1), {Drawing::pin(r1, kPin1).x, rail_y}, rail});
  d.wire({rail, {Drawing::pin(rc, kPin1).x, rail_y}, Drawing::pin(rc, kPin1)});
  d.junction(rail);

  // Collector and emitter legs.
  d.wire({Drawing::pin(rc, kPin2), collector});
  d.wire({emitter, Drawing::pin(re, kPin1)});
  d.label("c", {collector.x, collector.y - 16});
  d.label("e", {emitter.x, emitter.y + 16});

  // Base line: CIN, the divider's two taps, the base.
  const Point tap1{Drawing::pin(r1, kPin2).x, base.y};
  const Point tap2{Drawing::pin(r2, kPin1).x, base.y};
  d.wire({Drawing::pin(cin, kPin2), tap1});
  d.wire({tap1, tap2});
  d.wire({tap2, base});
  d.wire({Drawing::pin(r1, kPin2), tap1});
  d.wire({tap2, Drawing::pin(r2, kPin1)});
  d.junction(tap1);
  d.junction(tap2);
  d.label("b", {tap2.x + 32, base.y});

  // Input source into CIN.
  const Point vin_corner{Drawing::pin(vin, kPin1).x, base.y};
  d.wire({Drawing::pin(vin, kPin1), vin_corner, Drawing::pin(cin, kPin1)});
  d.label("in", {vin_corner.x + 16, base.y});

  // Every ground on one line.
  const int ground_y = Drawing::pin(re, kPin2).y + 32;
  for (const PartRecord* p : {&vin, &r2, &re}) {
    const Point tip = Drawing::pin(*p, kPin2);
    ground_below(d, tip, ground_y - tip.y);
  }

  d.text(".MODEL QN2222 NPN(IS=1e-14 BF=100 VAF=100)", {160, 584});
}

// Page 1: VIN into the non-inverting input of U1, gain 1 + RF/RG = 2.
void opamp_amplifier_page(Drawing& d) {
  PartRecord& u1 = d.part("OPAMP", "U1", "OPAMP1", {448, 320});
  const Point plus = Drawing::pin(u1, kNonInverting);
  const Point minus = Drawing::pin(u1, kInverting);
  const Point output = Drawing::pin(u1, kOutput);

  // Supplies straight above and below the op-amp.
  const Point vp{Drawing::pin(u1, kSupplyPlus).x, Drawing::pin(u1, kSupplyPlus).y - 32};
  const Point vn{Drawing::pin(u1, kSupplyMinus).x, Drawing::pin(u1, kSupplyMinus).y + 32};
  d.part_by_pin("V+", "VP", "15", kOnlyPin, vp);
  d.part_by_pin("V-", "VN", "-15", kOnlyPin, vn);
  d.wire({vp, Drawing::pin(u1, kSupplyPlus)});
  d.wire({Drawing::pin(u1, kSupplyMinus), vn});

  // Feedback over the top: RF from the output to the inverting node, RG from
  // that node to ground at the upper left, clear of the input line.
  const int loop_y = 160;
  const int node_x = minus.x - 32;
  const int out_x = output.x + 64;
  PartRecord& rf = d.part("R", "RF", "10k", {464, loop_y});
  PartRecord& rg = d.part_by_pin("RV", "RG", "10k", kPin1, {node_x - 64, loop_y});
  const Point top{node_x, loop_y};
  d.wire({minus, {node_x, minus.y}, top});
  d.wire({Drawing::pin(rg, kPin1), top});
  d.wire({top, Drawing::pin(rf, kPin1)});
  d.junction(top);
  d.wire({Drawing::pin(rf, kPin2), {out_x, loop_y}, {out_x, output.y}, output});
  ground_below(d, Drawing::pin(rg, kPin2));
  d.label("out", {output.x + 24, output.y});

  // Input source at the left.
  PartRecord& vin = d.part_by_pin("V", "VIN", "SIN(0 1 1k)", kPin1, {224, plus.y + 32});
  const Point in_corner{Drawing::pin(vin, kPin1).x, plus.y};
  d.wire({Drawing::pin(vin, kPin1), in_corner, plus});
  ground_below(d, Drawing::pin(vin, kPin2));
  d.label("in", {in_corner.x + 64, plus.y});

  d.text("* Non-inverting amplifier, gain = 1 + RF/RG = 2", {160, 528});
}

// Page 2: the OPAMP1 subcircuit. Its I/O pins, in creation order, are the
// subcircuit's ports: INP INN VCC VEE OUT.
void opamp_model_page(Drawing& d) {
  Schematic& s = d.schematic();
  BlockRecord* block = block_new(s);
  if (!block) throw std::runtime_error("cannot add block");
  block->name.assign("OPAMP1");
  block->text = "Simple opamp model";
  s.page().edit_block = block;

  PartRecord& inp = d.part_by_pin("PIN", "", "INP", kOnlyPin, {160, 256});
  PartRecord& inn = d.part_by_pin("PIN", "", "INN", kOnlyPin, {160, 320});
  PartRecord& vcc = d.part_by_pin("PIN", "", "VCC", kOnlyPin, {160, 416});
  PartRecord& vee = d.part_by_pin("PIN", "", "VEE", kOnlyPin, {160, 480});
  PartRecord& out = d.part_by_pin("PINOUT", "", "OUT", kOnlyPin, {544, 208});

  // Differential input: RIN across the inputs, E1 sensing them.
  PartRecord& rin = d.part_by_pin("RV", "RIN", "1Meg", kPin1, {224, Drawing::pin(inp, kOnlyPin).y});
  PartRecord& e1 = d.part_by_pin("E", "E1", "100k", kSensePlus, {320, Drawing::pin(inp, kOnlyPin).y});
  const Point inp_tap = Drawing::pin(rin, kPin1);
  const Point inn_tap = Drawing::pin(rin, kPin2);
  d.wire({Drawing::pin(inp, kOnlyPin), inp_tap});
  d.wire({inp_tap, Drawing::pin(e1, kSensePlus)});
  d.junction(inp_tap);
  d.wire({Drawing::pin(inn, kOnlyPin), inn_tap});
  const Point sense_minus = Drawing::pin(e1, kSenseMinus);
  d.wire({inn_tap, {sense_minus.x - 32, inn_tap.y}, {sense_minus.x - 32, sense_minus.y}, sense_minus});
  d.junction(inn_tap);
  ground_below(d, Drawing::pin(e1, kOutMinus));

  // Output stage: E1 drives x, ROUT from x to OUT.
  const Point pin_out = Drawing::pin(out, kOnlyPin);
  PartRecord& rout = d.part_by_pin("R", "ROUT", "75", kPin2, {pin_out.x - 64, pin_out.y});
  const Point x_corner{Drawing::pin(e1, kOutPlus).x, pin_out.y};
  d.wire({Drawing::pin(e1, kOutPlus), x_corner, Drawing::pin(rout, kPin1)});
  d.wire({Drawing::pin(rout, kPin2), pin_out});
  d.label("x", {x_corner.x + 24, x_corner.y});

  // Supply pins, each held to ground through a bleeder.
  PartRecord& rs1 = d.part_by_pin("R", "RS1", "1Meg", kPin1, {192, Drawing::pin(vcc, kOnlyPin).y});
  PartRecord& rs2 = d.part_by_pin("R", "RS2", "1Meg", kPin1, {192, Drawing::pin(vee, kOnlyPin).y});
  d.wire({Drawing::pin(vcc, kOnlyPin), Drawing::pin(rs1, kPin1)});
  d.wire({Drawing::pin(vee, kOnlyPin), Drawing::pin(rs2, kPin1)});
  const int bus_x = Drawing::pin(rs1, kPin2).x + 32;
  const Point tee{bus_x, Drawing::pin(rs2, kPin2).y};
  d.wire({Drawing::pin(rs1, kPin2), {bus_x, Drawing::pin(rs1, kPin2).y}, tee});
  d.wire({Drawing::pin(rs2, kPin2), tee});
  d.junction(tee);
  ground_below(d, tee);

  subckt_update_origin(s, block);
  mark_changed(s, block);
  s.page().edit_block = s.page().top();
}

void opamp_two_page(Drawing& d) {
  d.titles("Non-inverting amplifier with an opamp subcircuit", "Page 1: amplifier, gain 2");
  opamp_amplifier_page(d);
  if (!page_add(d.schematic(), d.notify(), kExampleTime)) throw std::runtime_error("cannot add page 2");
  d.titles("Non-inverting amplifier with an opamp subcircuit", "Page 2: subcircuit OPAMP1");
  opamp_model_page(d);
}

// --- simulation setups, saved beside each schematic ---

PlotSetup plot(int analysis, std::vector<std::string> traces, int scale = 0) {
  PlotSetup p;
  p.enabled = 1;
  p.analysis = static_cast<int16_t>(analysis);
  p.axis_scale = static_cast<int16_t>(scale);
  p.traces = std::move(traces);
  return p;
}

void transient(SimulationSetup& s, double step, double stop) {
  s.tran = 1;
  s.tran_step = step;
  s.tran_stop = stop;
}

// A 10 ms transient of the pulse through the filter, with input and output drawn.
void rc_lowpass_setup(SimulationSetup& s) {
  transient(s, 10e-6, 10e-3);
  s.save = 1;
  s.autoplot = 1;
  s.plots = {plot(2, {"V(in)", "V(out)"})};
}

// The bias point, 5 ms of the 1 kHz input, and the gain from 10 Hz to 10 MHz.
void amplifier_setup(SimulationSetup& s) {
  s.op_group = 1;
  s.op = 1;
  transient(s, 5e-6, 5e-3);
  s.ac = 1;
  s.ac_type = 0;
  s.ac_points = 10;
  s.ac_start = 10;
  s.ac_stop = 10e6;
  s.save = 1;
  s.autoplot = 1;
  s.plots = {plot(2, {"V(in)", "V(c)"}), plot(3, {"VDB(c)"}, 1)};
}

// 2 ms of the sine through the subcircuit, and the transfer curve of VIN.
void opamp_two_page_setup(SimulationSetup& s) {
  transient(s, 5e-6, 2e-3);
  s.dc = 1;
  s.dc_var.assign("VIN");
  s.dc_start = -5;
  s.dc_stop = 5;
  s.dc_step = 0.1;
  s.save = 1;
  s.autoplot = 1;
  s.plots = {plot(2, {"V(in)", "V(out)"}), plot(1, {"V(out)"})};
}

// 10 ms of the pulse, once per value of R1.
void rc_step_setup(SimulationSetup& s) {
  transient(s, 10e-6, 10e-3);
  s.step = 1;
  s.step_name.assign("R1");
  s.step_type = 0;  // LIST
  s.step_values = {1e3, 2e3, 5e3, 10e3, 20e3};
  s.save = 1;
  s.autoplot = 1;
  s.plots = {plot(2, {"V(out)"})};
}

// The gain from 10 Hz to 1 MHz in 50 runs with the parts varied.
void filter_mc_setup(SimulationSetup& s) {
  s.ac = 1;
  s.ac_type = 0;  // DEC
  s.ac_points = 20;
  s.ac_start = 10;
  s.ac_stop = 1e6;
  s.stats = 1;
  s.mc_runs = 50;
  s.mc_seed = 7;
  s.save = 1;
  s.autoplot = 1;
  s.plots = {plot(3, {"VDB(out)"}, 1)};
}

// V1 swept from 0 to 5 V at each of five temperatures.
void diode_temp_setup(SimulationSetup& s) {
  s.dc = 1;
  s.dc_var.assign("V1");
  s.dc_start = 0;
  s.dc_stop = 5;
  s.dc_step = 0.05;
  s.temp = 1;
  s.temps = {-40, 0, 27, 85, 125};
  s.save = 1;
  s.autoplot = 1;
  s.plots = {plot(1, {"V(anode)"})};
}

// The user statements the netlist includes near its top: tolerances for the
// engine, measurements the viewer makes once per run.
constexpr const char* kAmplifierStatements =
    "* Statements of amplifier.sch, included into its netlist.\n"
    "* The gain at 1 kHz and the collector's swing over the transient.\n"
    "#MEASURE AC VALUE GAIN1K YVAR=VDB(C) XVAL=1K\n"
    "#MEASURE TRAN MAX VCMAX YVAR=V(C)\n"
    "#MEASURE TRAN MIN VCMIN YVAR=V(C)\n";

constexpr const char* kRcStepStatements =
    "* Statements of rc_step.sch, included into its netlist.\n"
    "* The 10 % to 90 % rise time of the output in each run.\n"
    "#MEASURE TRAN DELAY RISETIME VAR1=V(OUT) VAL1=0.1 VAR2=V(OUT) VAL2=0.9 RISE RISE\n";

constexpr const char* kFilterMcStatements =
    "* Statements of filter_mc.sch, included into its netlist.\n"
    "* Part tolerances for the Monte Carlo runs.\n"
    ".TOL R* 5%\n"
    ".TOL C* 10% GAUSS\n"
    "* The -3 dB frequency of each run: the frequency read where VDB(OUT),\n"
    "* taken as the X axis, is -3 (the gain is 0 dB below the corner).\n"
    "#MEASURE AC VALUE F3DB YVAR=FREQUENCY XVAR=VDB(OUT) XVAL=-3\n";

constexpr const char* kDiodeTempStatements =
    "* Statements of diode_temp.sch, included into its netlist.\n"
    "* The diode's forward voltage at V1 = 4 V (about 1 mA), one value per temperature.\n"
    "#MEASURE DC VALUE VD4 YVAR=V(ANODE) XVAL=4\n";

void write_setup(const std::string& path, void (*fill)(SimulationSetup&)) {
  SimulationSetup s;
  fill(s);
  setup_mark_enabled(s);
  RecordingNotify n;
  if (!save_setup(s, path, n)) throw std::runtime_error("cannot save " + path);
  fail_on_notices(n, "saving " + path);
}

struct Example {
  const char* file_name;
  std::function<void(Drawing&)> build;
  void (*setup)(SimulationSetup&);
  const char* statements = nullptr;  // the user statements file (.MIS), when the example has one
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: make_examples LIBRARY.sym OUTDIR\n", stderr);
    return 1;
  }
  // Title blocks carry local dates: make them the same everywhere.
  setenv("TZ", "UTC", 1);
  tzset();
  try {
    const SymbolLibrary lib = read_library(argv[1]);
    const std::filesystem::path dir(argv[2]);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw std::runtime_error("cannot create " + dir.string() + ": " + ec.message());
    const Example examples[] = {
        {"rc_lowpass.sch", rc_lowpass, rc_lowpass_setup},
        {"amplifier.sch", amplifier, amplifier_setup, kAmplifierStatements},
        {"opamp_two_page.sch", opamp_two_page, opamp_two_page_setup},
        {"rc_step.sch", rc_step, rc_step_setup, kRcStepStatements},
        {"filter_mc.sch", filter_mc, filter_mc_setup, kFilterMcStatements},
        {"diode_temp.sch", diode_temp, diode_temp_setup, kDiodeTempStatements},
    };
    for (const Example& e : examples) {
      Drawing d(lib, e.file_name);
      e.build(d);
      write_example((dir / e.file_name).string(), d);
      write_setup(schematic_sibling((dir / e.file_name).string(), "SIM"), e.setup);
      if (e.statements) {
        const std::string mis = schematic_sibling((dir / e.file_name).string(), "MIS");
        if (!write_file_atomic(mis, e.statements)) throw std::runtime_error("cannot write " + mis);
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_examples: %s\n", e.what());
    return 1;
  }
  return 0;
}
