#include "simulation/sim_setup.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "common/byte_io.h"
#include "common/file_io.h"
#include "common/text_format.h"

namespace zephyrim {

namespace {

constexpr const char* kSensSection = "OPVARSTART";
constexpr const char* kFourierSection = "FOURVARSTART";
constexpr const char* kTempSection = "TEMPVALSTART";
constexpr const char* kStepSection = "STEPVALSTART";
constexpr const char* kSaveSection = "SAVEVARSTART";
constexpr const char* kPrintSection = "PRINTVARSTART";
constexpr const char* kPlotSection = "PLOTVARSTART";

// Fewest bytes a stored plot setup takes: record, X length, empty trace section.
constexpr size_t kMinPlotBytes = kPlotSetupSize + 2 + kSetupSectionNameSize + 2;

// A setup file stays far below this; a larger file is not one.
constexpr uint64_t kMaxSetupFile = uint64_t{1} << 28;

// The entries the writer stores: never more than a 16-bit count holds.
int16_t stored_count(size_t n) {
  return static_cast<int16_t>(std::min(n, kMaxSetupEntries));
}

// The text the writer stores: cut at its first NUL and at the reader's limit.
std::string_view stored_text(std::string_view t) {
  return t.substr(0, std::min({t.find('\0'), kMaxSetupText, t.size()}));
}

// ---------------------------------------------------------------- fixed part, both ways
//
// One list of the fixed part's fields serves the writer and the reader, so that
// the two cannot drift apart. Array marks and list images are written from the
// lists and skipped when read: the lists are rebuilt from their sections.

class FixedWriter : public FieldWriter {
 public:
  using FieldWriter::FieldWriter;
  // The list image: count, capacity and array mark.
  template <typename T>
  void list(const SetupList<T>& l) {
    const int16_t n = stored_count(l.size());
    w_.i16(n);
    w_.i16(n);
    w_.u32(n > 0 ? 1 : 0);
  }
  void plot_count(const std::vector<PlotSetup>& plots) { w_.i16(stored_count(plots.size())); }
  void mark(bool present) { w_.u32(present ? 1 : 0); }
};

class FixedReader : public FieldReader {
 public:
  using FieldReader::FieldReader;
  template <typename T>
  void list(SetupList<T>&) {
    r_.skip(8);
  }
  void plot_count(std::vector<PlotSetup>&) { r_.i16(stored_plots); }
  void mark(bool) { r_.skip(4); }

  int16_t stored_plots = 0;  // the number of plot setups the file says follow
};

template <typename Io, typename Setup>
void fixed_fields(Io& io, Setup& s) {
  io.i16(s.any_enabled);
  io.i16(s.op_group);
  io.i16(s.op);
  io.i16(s.tf);
  io.text(s.tf_output);
  io.text(s.tf_input);
  io.i16(s.sens);
  io.list(s.sens_vars);
  io.i16(s.dc);
  io.bytes(s.reserved_84);
  io.text(s.dc_var);
  io.f64(s.dc_start);
  io.f64(s.dc_stop);
  io.f64(s.dc_step);
  io.i16(s.dc_nested);
  io.text(s.nested_var);
  io.f64(s.nested_start);
  io.f64(s.nested_stop);
  io.f64(s.nested_step);
  io.i16(s.ac);
  io.i16(s.ac_type);
  io.i16(s.ac_points);
  io.f64(s.ac_start);
  io.f64(s.ac_stop);
  io.i16(s.noise);
  io.text(s.noise_output);
  io.text(s.noise_input);
  io.i16(s.noise_points);
  io.i16(s.disto);
  io.text(s.disto_arg);
  io.i16(s.disto_count);
  for (auto& v : s.disto_reals) io.f64(v);
  io.i16(s.tran);
  io.f64(s.tran_step);
  io.f64(s.tran_stop);
  io.f64(s.tran_max_step);
  io.f64(s.tran_start);
  io.i16(s.uic);
  io.i16(s.fourier);
  io.f64(s.fourier_freq);
  io.i16(s.harmonics);
  io.list(s.fourier_vars);
  io.i16(s.temp);
  io.list(s.temps);
  io.i16(s.step);
  io.text(s.step_kind);
  io.text(s.step_name);
  io.i16(s.step_type);
  io.i16(s.step_points);
  io.f64(s.step_start);
  io.f64(s.step_stop);
  io.f64(s.step_increment);
  io.list(s.step_values);
  io.i16(s.stats);
  io.i16(s.mc_runs);
  io.i16(s.mc_seed);
  io.i16(s.stats_file);
  io.bytes(s.reserved_526);
  io.i16(s.save);
  io.i16(s.save_list);
  io.i16(s.voltages_only);
  io.i16(s.no_subckt);
  io.list(s.save_vars);
  io.bytes(s.reserved_548);
  io.i16(s.print);
  io.bytes(s.reserved_2344);
  for (auto& g : s.print_groups) {
    io.i16(g.enabled);
    io.i16(g.analysis);
    io.list(g.variables);
  }
  io.i16(s.autoplot);
  io.plot_count(s.plots);
  io.bytes(s.reserved_2410);
  io.mark(!s.plots.empty());
  io.i16(s.alternate);
  io.bytes(s.reserved_2420);
  io.i16(s.worst_case);
  io.i16(s.corner_mode);
  io.bytes(s.reserved_2430);
}

template <typename Io, typename Plot>
void plot_fields(Io& io, Plot& p) {
  io.i16(p.enabled);
  io.i16(p.plot_type);
  io.i16(p.analysis);
  io.i16(p.number);
  io.i16(p.axis_scale);
  io.mark(!p.x_expression.empty());
  io.list(p.traces);
}

// ---------------------------------------------------------------- writing

void put_section_name(ByteWriter& w, const char* name) {
  w.padded_text(name, kSetupSectionNameSize);
}

void put_text(ByteWriter& w, std::string_view t) {
  w.counted_text16(stored_text(t));
}

void put_item(ByteWriter& w, const std::string& t) {
  put_text(w, t);
}
void put_item(ByteWriter& w, double v) {
  w.f64(v);
}

// A list section: its name, the count and the entries.
template <typename T>
void put_list(ByteWriter& w, const char* name, const SetupList<T>& l) {
  put_section_name(w, name);
  const int16_t n = stored_count(l.size());
  w.i16(n);
  for (int16_t i = 0; i < n; ++i) put_item(w, l[static_cast<size_t>(i)]);
}

void put_fixed(ByteWriter& w, const SimulationSetup& s) {
  FixedWriter fw(w);
  fixed_fields(fw, s);
}

// ---------------------------------------------------------------- reading

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : r_(bytes) {}

  // Reads the whole file into s (which holds the defaults); 0 or the error number.
  int run(SimulationSetup& s);

 private:
  int fixed(SimulationSetup& s);
  bool section(const char* name);
  bool text(std::string& out);
  bool text_length(int16_t& n);
  bool item(std::string& t) { return text(t); }
  bool item(double& v) { return r_.f64(v); }
  template <typename T>
  bool list(const char* name, SetupList<T>& out);
  int plots(SimulationSetup& s);

  ByteReader r_;
  int16_t stored_plots_ = 0;
};

int Reader::fixed(SimulationSetup& s) {
  const std::span<const uint8_t> head = r_.view(kSetupMarkerSize);
  if (head.size() != kSetupMarkerSize) return kSetupShort;
  if (std::memcmp(head.data(), kSetupMarker, 8) != 0) return kSetupNotSetup;
  int16_t version = 0, size = 0;
  if (!r_.i16(version)) return kSetupNoVersion;
  if (!r_.i16(size)) return kSetupNoSize;  // read, but the version alone decides the length
  size_t length = kSetupFixedSize;
  int code = kSetupShortFixed;
  if (version < 200) {
    length = kSetupFirstFixedSize;
    code = kSetupShortFirst;
  } else if (version < 300) {
    length = kSetupSecondFixedSize;
    code = kSetupShortSecond;
  }
  const std::span<const uint8_t> part = r_.view(length);
  if (part.size() != length) return code;
  // An older part replaces the leading bytes of a default image.
  std::vector<uint8_t> image;
  if (length < kSetupFixedSize) {
    ByteWriter w;
    put_fixed(w, s);
    image = w.take();
  }
  image.resize(kSetupFixedSize);
  std::copy(part.begin(), part.end(), image.begin());
  ByteReader ir(image);
  FixedReader fr(ir);
  fixed_fields(fr, s);
  stored_plots_ = fr.stored_plots;
  return 0;
}

bool Reader::section(const char* name) {
  return r_.padded_name(name, kSetupSectionNameSize);
}

// A stored text: its length, then (when not 0) the text and its NUL. The text
// ends at its first NUL, as every reader of it would see it.
bool Reader::text(std::string& out) {
  int16_t n = 0;
  return text_length(n) && r_.nul_text(static_cast<size_t>(n), out);
}

bool Reader::text_length(int16_t& n) {
  return r_.i16(n) && n >= 0 && static_cast<size_t>(n) <= kMaxSetupText;
}

template <typename T>
bool Reader::list(const char* name, SetupList<T>& out) {
  // Each entry takes at least its own bytes (a text its 2-byte length): a larger count cannot be true.
  constexpr size_t kLeast = std::is_same_v<T, double> ? 8 : 2;
  int16_t n = 0;
  if (!section(name) || !r_.i16(n) || n < 0 || static_cast<size_t>(n) * kLeast > r_.remaining()) return false;
  out.assign(static_cast<size_t>(n), T());
  for (T& v : out)
    if (!item(v)) return false;
  return true;
}

int Reader::plots(SimulationSetup& s) {
  if (stored_plots_ < 0) return kSetupPlotRoom;
  // Room only for what the bytes left can hold, whatever the stored number says.
  s.plots.reserve(std::min(static_cast<size_t>(stored_plots_), r_.remaining() / kMinPlotBytes));
  for (int16_t i = 0; i < stored_plots_; ++i) {
    const std::span<const uint8_t> rec = r_.view(kPlotSetupSize);
    if (rec.size() != kPlotSetupSize) return kSetupPlotRecord;
    PlotSetup p;
    ByteReader rr(rec);
    FixedReader fr(rr);
    plot_fields(fr, p);
    int16_t n = 0;
    if (!text_length(n)) return kSetupPlotXLength;
    if (!r_.nul_text(static_cast<size_t>(n), p.x_expression)) return kSetupPlotXText;
    if (!list(kPlotSection, p.traces)) return kSetupBadList;
    s.plots.push_back(std::move(p));
  }
  return 0;
}

int Reader::run(SimulationSetup& s) {
  if (int code = fixed(s)) return code;
  if (!list(kSensSection, s.sens_vars) || !list(kFourierSection, s.fourier_vars) ||
      !list(kTempSection, s.temps) || !list(kStepSection, s.step_values) || !list(kSaveSection, s.save_vars))
    return kSetupBadList;
  for (auto& g : s.print_groups)
    if (!list(kPrintSection, g.variables)) return kSetupBadList;
  return plots(s);
}

// ---------------------------------------------------------------- listing

class Dump {
 public:
  void line(const std::string& name, const std::string& value) { out_ += name + " = " + value + "\n"; }
  void i16(const std::string& name, int16_t v) { line(name, std::to_string(v)); }
  void real(const std::string& name, double v) { line(name, has_value(v) ? format_eng(v, 15) : "*"); }
  template <size_t N>
  void text(const std::string& name, const FixedText<N>& t) {
    line(name, quote_text(t.str()));
  }
  void texts(const std::string& name, const SetupList<std::string>& l) {
    line(name + ".count", std::to_string(l.size()));
    for (size_t i = 0; i < l.size(); ++i) line(strprintf("%s[%zu]", name.c_str(), i), quote_text(l[i]));
  }
  void reals(const std::string& name, const SetupList<double>& l) {
    line(name + ".count", std::to_string(l.size()));
    for (size_t i = 0; i < l.size(); ++i) real(strprintf("%s[%zu]", name.c_str(), i), l[i]);
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

}  // namespace

// ---------------------------------------------------------------- interface

SimulationSetup::SimulationSetup() {
  for (int i = 0; i < kPrintGroups; ++i)
    print_groups[static_cast<size_t>(i)].analysis = static_cast<int16_t>(i);
  print_groups[3].variables = {"INOISE", "ONOISE"};
  print_groups[4].variables = {"HD2", "HD3", "SIM2", "DIM2", "DIM3"};
}

void reset_setup(SimulationSetup& s) {
  s = SimulationSetup();
}

void setup_mark_enabled(SimulationSetup& s) {
  const int16_t groups[] = {s.op_group, s.dc,        s.tran, s.ac,    s.temp,    s.step,
                            s.stats,    s.alternate, s.save, s.print, s.autoplot};
  s.any_enabled = std::any_of(std::begin(groups), std::end(groups), setup_switch_on) ? 1 : 0;
}

std::vector<uint8_t> setup_encode(const SimulationSetup& s) {
  ByteWriter w;
  w.padded_text(kSetupMarker, kSetupMarkerSize);
  w.i16(kSetupVersion);
  w.i16(static_cast<int16_t>(kSetupFixedSize));
  put_fixed(w, s);
  put_list(w, kSensSection, s.sens_vars);
  put_list(w, kFourierSection, s.fourier_vars);
  put_list(w, kTempSection, s.temps);
  put_list(w, kStepSection, s.step_values);
  put_list(w, kSaveSection, s.save_vars);
  for (const auto& g : s.print_groups) put_list(w, kPrintSection, g.variables);
  const size_t plots = static_cast<size_t>(stored_count(s.plots.size()));
  for (size_t i = 0; i < plots; ++i) {
    const PlotSetup& p = s.plots[i];
    FixedWriter fw(w);
    plot_fields(fw, p);
    put_text(w, p.x_expression);
    put_list(w, kPlotSection, p.traces);
  }
  return w.take();
}

int save_setup(const SimulationSetup& s, const std::string& path, Notify& notify) {
  switch (write_file_replacing(path, setup_encode(s))) {
    case WriteStatus::ok:
      return 1;
    case WriteStatus::cannot_create:
      notify.error(strprintf("Cannot open file %s", path.c_str()));
      return 0;
    case WriteStatus::failed:
      break;
  }
  notify.warning("Error saving simulation setup");
  return 0;
}

int setup_decode(SimulationSetup& s, std::span<const uint8_t> bytes, const std::string& path,
                 Notify& notify) {
  // Read into a fresh setup, so that a failure never leaves a half-read one.
  SimulationSetup fresh;
  const int code = Reader(bytes).run(fresh);
  if (code == 0) {
    s = std::move(fresh);
    return 0;
  }
  reset_setup(s);
  if (code == kSetupNotSetup) notify.error(strprintf("%s not a valid setup file", path.c_str()));
  notify.warning(strprintf("Error number %d reading simulation setup", code));
  return code;
}

int load_setup(SimulationSetup& s, const std::string& path, Notify& notify) {
  reset_setup(s);
  const auto bytes = read_file(path, kMaxSetupFile);
  if (!bytes) {
    if (file_exists(path)) notify.error(strprintf("Cannot open file %s", path.c_str()));
    return 0;
  }
  return setup_decode(s, *bytes, path, notify) == 0 ? 1 : 0;
}

int step_sweep_type(int button, bool percent) {
  return button + (percent ? 10 : 0);
}

const char* step_variable_kind(bool parameter) {
  return parameter ? "PARAM" : "";
}

StepField step_check(const std::string& name, int sweep_type, double increment, int points, Notify& notify) {
  if (name.empty()) {
    notify.information("Step variable name missing");
    return StepField::name;
  }
  const int base = sweep_type % 10;
  // An empty increment would reach the .STEP statement as the NO_VALUE number.
  if (base == 1 && (increment <= 0 || !has_value(increment))) {
    notify.error(strprintf("Invalid sweep step value %G", increment));
    return StepField::increment;
  }
  if ((base == 2 || base == 3) && points < 1) {
    notify.error(strprintf("Invalid number of points %d", points));
    return StepField::points;
  }
  return StepField::none;
}

std::string setup_dump(const SimulationSetup& s) {
  Dump d;
  d.i16("any_enabled", s.any_enabled);
  d.i16("op.switch", s.op_group);
  d.i16("op.op", s.op);
  d.i16("op.tf", s.tf);
  d.text("op.tf_output", s.tf_output);
  d.text("op.tf_input", s.tf_input);
  d.i16("op.sens", s.sens);
  d.texts("op.sens_vars", s.sens_vars);
  d.i16("dc.switch", s.dc);
  d.text("dc.var", s.dc_var);
  d.real("dc.start", s.dc_start);
  d.real("dc.stop", s.dc_stop);
  d.real("dc.step", s.dc_step);
  d.i16("dc.nested", s.dc_nested);
  d.text("dc.nested_var", s.nested_var);
  d.real("dc.nested_start", s.nested_start);
  d.real("dc.nested_stop", s.nested_stop);
  d.real("dc.nested_step", s.nested_step);
  d.i16("ac.switch", s.ac);
  d.i16("ac.type", s.ac_type);
  d.i16("ac.points", s.ac_points);
  d.real("ac.start", s.ac_start);
  d.real("ac.stop", s.ac_stop);
  d.i16("noise.switch", s.noise);
  d.text("noise.output", s.noise_output);
  d.text("noise.input", s.noise_input);
  d.i16("noise.points", s.noise_points);
  d.i16("disto.switch", s.disto);
  d.text("disto.arg", s.disto_arg);
  d.i16("disto.count", s.disto_count);
  for (size_t i = 0; i < s.disto_reals.size(); ++i) d.real(strprintf("disto.real[%zu]", i), s.disto_reals[i]);
  d.i16("tran.switch", s.tran);
  d.real("tran.step", s.tran_step);
  d.real("tran.stop", s.tran_stop);
  d.real("tran.max_step", s.tran_max_step);
  d.real("tran.start", s.tran_start);
  d.i16("tran.uic", s.uic);
  d.i16("fourier.switch", s.fourier);
  d.real("fourier.freq", s.fourier_freq);
  d.i16("fourier.harmonics", s.harmonics);
  d.texts("fourier.vars", s.fourier_vars);
  d.i16("temp.switch", s.temp);
  d.reals("temp.values", s.temps);
  d.i16("step.switch", s.step);
  d.text("step.kind", s.step_kind);
  d.text("step.name", s.step_name);
  d.i16("step.type", s.step_type);
  d.i16("step.points", s.step_points);
  d.real("step.start", s.step_start);
  d.real("step.stop", s.step_stop);
  d.real("step.increment", s.step_increment);
  d.reals("step.values", s.step_values);
  d.i16("stats.switch", s.stats);
  d.i16("stats.mc_runs", s.mc_runs);
  d.i16("stats.mc_seed", s.mc_seed);
  d.i16("stats.file", s.stats_file);
  d.i16("stats.worst_case", s.worst_case);
  d.i16("stats.corner_mode", s.corner_mode);
  d.i16("save.switch", s.save);
  d.i16("save.list", s.save_list);
  d.i16("save.voltages_only", s.voltages_only);
  d.i16("save.no_subckt", s.no_subckt);
  d.texts("save.vars", s.save_vars);
  d.i16("alternate.switch", s.alternate);
  d.i16("print.switch", s.print);
  for (size_t i = 0; i < s.print_groups.size(); ++i) {
    const PrintGroup& g = s.print_groups[i];
    const std::string name = strprintf("print[%zu]", i);
    d.i16(name + ".enabled", g.enabled);
    d.i16(name + ".analysis", g.analysis);
    d.texts(name + ".vars", g.variables);
  }
  d.i16("autoplot.switch", s.autoplot);
  d.line("autoplot.count", std::to_string(s.plots.size()));
  for (size_t i = 0; i < s.plots.size(); ++i) {
    const PlotSetup& p = s.plots[i];
    const std::string name = strprintf("plot[%zu]", i);
    d.i16(name + ".enabled", p.enabled);
    d.i16(name + ".type", p.plot_type);
    d.i16(name + ".analysis", p.analysis);
    d.i16(name + ".number", p.number);
    d.i16(name + ".axis_scale", p.axis_scale);
    d.line(name + ".x", p.x_expression.empty() ? "-" : quote_text(p.x_expression));
    d.texts(name + ".traces", p.traces);
  }
  return d.take();
}

}  // namespace zephyrim
