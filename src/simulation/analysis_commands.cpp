#include "simulation/analysis_commands.h"

#include "common/file_io.h"
#include "common/text_format.h"

namespace zephyrim {

namespace {

constexpr size_t kWrapLength = 131;   // .TEMP, .STEP LIST and save lists
constexpr size_t kPrintLength = 132;  // .PRINT and #AUTOPLOT lines
constexpr int kPrintPerLine = 5;

std::string g(double v) {
  return strprintf("%G", v);
}

// A word from a table, or nothing for a stored number outside it.
template <size_t N>
const char* word(const char* const (&words)[N], int i) {
  return i >= 0 && static_cast<size_t>(i) < N ? words[i] : nullptr;
}

const char* const kAcWords[] = {"DEC", "OCT", "LIN"};
const char* const kPrintWords[] = {"DC", "TRAN", "AC", "NOISE", "DISTO"};
const char* const kPlotAnalysisWords[] = {"", "DC", "TRAN", "AC", "NOISE", "DISTO", "TRAN/ALL"};

const char* step_word(int type) {
  switch (type) {
    case 0:
      return "LIST";
    case 1:
      return "LIN";
    case 2:
      return "DEC";
    case 3:
      return "OCT";
    case 10:
      return "LIST%";
    case 11:
      return "LIN%";
    case 12:
      return "DEC%";
    case 13:
      return "OCT%";
    default:
      return nullptr;
  }
}

// Items appended to a line that is written and begun again with `prefix` once
// it has grown past `limit`. The check comes before each item, so no line is
// left holding only its prefix.
class WrappedLine {
 public:
  WrappedLine(std::string& out, std::string start, std::string prefix, size_t limit)
      : out_(out), line_(std::move(start)), prefix_(std::move(prefix)), limit_(limit) {}
  void add(const std::string& item) {
    if (line_.size() > limit_) {
      out_ += line_ + "\n";
      line_ = prefix_;
    }
    line_ += item;
  }
  void finish() { out_ += line_ + "\n"; }

 private:
  std::string& out_;
  std::string line_, prefix_;
  size_t limit_;
};

void write_op_group(std::string& out, const SimulationSetup& s) {
  if (setup_switch_on(s.op)) out += ".OP\n";
  if (setup_switch_on(s.tf))
    out += strprintf(".TF %s %s\n", s.tf_output.str().c_str(), s.tf_input.str().c_str());
  if (setup_switch_on(s.sens)) {
    out += ".SENS";
    for (const std::string& v : s.sens_vars) out += " " + v;
    out += "\n";
  }
}

void write_dc(std::string& out, const SimulationSetup& s) {
  out += strprintf(".DC %s %s %s %s", s.dc_var.str().c_str(), g(s.dc_start).c_str(), g(s.dc_stop).c_str(),
                   g(s.dc_step).c_str());
  if (setup_switch_on(s.dc_nested))
    out += strprintf(" %s %s %s %s", s.nested_var.str().c_str(), g(s.nested_start).c_str(),
                     g(s.nested_stop).c_str(), g(s.nested_step).c_str());
  out += "\n";
}

void write_tran(std::string& out, const SimulationSetup& s) {
  out += ".TRAN " + g(s.tran_step) + " " + g(s.tran_stop);
  if (has_value(s.tran_start)) {
    out += " " + g(s.tran_start);
    if (has_value(s.tran_max_step)) out += " " + g(s.tran_max_step);
  } else if (has_value(s.tran_max_step)) {
    out += " 0 " + g(s.tran_max_step);
  }
  if (setup_switch_on(s.uic)) out += " UIC";
  out += "\n";
  if (setup_switch_on(s.fourier)) {
    out += ".FOUR " + g(s.fourier_freq);
    if (s.harmonics != 9) out += strprintf(" %d", s.harmonics);
    for (const std::string& v : s.fourier_vars) out += " " + v;
    out += "\n";
  }
}

void write_ac(std::string& out, const SimulationSetup& s) {
  const char* type = word(kAcWords, s.ac_type);
  out += strprintf(".AC %s %i %s %s\n", type ? type : "DEC", s.ac_points, g(s.ac_start).c_str(),
                   g(s.ac_stop).c_str());
  if (setup_switch_on(s.noise)) {
    out += strprintf(".NOISE %s %s", s.noise_output.str().c_str(), s.noise_input.str().c_str());
    if (s.noise_points >= 1) out += strprintf(" %d", s.noise_points);
    out += "\n";
  }
  if (setup_switch_on(s.disto)) {
    out += ".DISTO " + s.disto_arg.str();
    if (s.disto_count > 0) {
      out += strprintf(" %d", s.disto_count);
      for (double r : s.disto_reals) {
        if (!has_value(r)) break;
        out += " " + g(r);
      }
    }
    out += "\n";
  }
}

void write_values(std::string& out, const std::string& start, const std::vector<double>& values) {
  WrappedLine line(out, start, "+ ", kWrapLength);
  for (double v : values) line.add(" " + g(v));
  line.finish();
}

void write_step(std::string& out, const SimulationSetup& s) {
  const std::string variable =
      s.step_kind.str() == "PARAM" ? "PARAM " + s.step_name.str() : s.step_name.str();
  const char* type = step_word(s.step_type);
  if (!type) return;
  if (s.step_type % 10 == 0) {
    if (!s.step_values.empty()) write_values(out, ".STEP " + variable + " " + type, s.step_values);
    return;
  }
  out += strprintf(".STEP %s %s %s %s ", type, variable.c_str(), g(s.step_start).c_str(),
                   g(s.step_stop).c_str());
  out += s.step_type % 10 == 1 ? g(s.step_increment) : strprintf("%d", s.step_points);
  out += "\n";
}

void write_statistics(std::string& out, const SimulationSetup& s, const AnalysisCommandOptions& options) {
  if (s.worst_case == 1) {
    out += ".WC ";
    if (s.corner_mode == 1) out += " CORNERS";
    if (s.corner_mode == 2) out += " NOCORNER";
  } else {
    out += strprintf(".MC %d", s.mc_runs);
    if (s.mc_seed > 0) out += strprintf(" SEED=%d", s.mc_seed);
  }
  out += "\n";
  if (s.stats_file != 0) out += ".INC \"" + options.statistics_file + "\"\n\n";
}

void write_save(std::string& out, const SimulationSetup& s, const AnalysisCommandOptions& options) {
  const std::string statement = options.default_simulator ? ".PROBE" : ".SAVE";
  if (s.save_list != 0 && !s.save_vars.empty()) {
    WrappedLine line(out, statement, "+ ", kWrapLength);
    for (const std::string& v : s.save_vars) line.add(" " + v);
    line.finish();
    return;
  }
  out += statement;
  if (setup_switch_on(s.voltages_only)) out += " VONLY";
  if (setup_switch_on(s.no_subckt)) out += " NOSUBCKT";
  out += "\n";
}

// Returns true when a .PRINT line was written.
bool write_print(std::string& out, const SimulationSetup& s) {
  bool any = false;
  for (const PrintGroup& group : s.print_groups) {
    const char* analysis = word(kPrintWords, group.analysis);
    if (!setup_switch_on(group.enabled) || !analysis || group.variables.empty()) continue;
    const std::string start = strprintf(".PRINT %s", analysis);
    std::string line = start;
    int held = 0;
    for (const std::string& v : group.variables) {
      line += " " + v;
      if (++held == kPrintPerLine || line.size() > kPrintLength) {
        out += line + "\n";
        line = start;
        held = 0;
      }
    }
    if (held > 0) out += line + "\n";
    any = true;
  }
  return any;
}

void write_autoplot(std::string& out, const SimulationSetup& s) {
  for (const PlotSetup& p : s.plots) {
    if (!setup_switch_on(p.enabled)) continue;
    std::string prefix = "#AUTOPLOT ";
    if (p.plot_type == 1) prefix += "SMITHCHART";
    if (p.plot_type == 2) prefix += "HISTOGRAM";
    const char* analysis = word(kPlotAnalysisWords, p.analysis);
    if (p.analysis > 0 && analysis && p.plot_type != 1) prefix += std::string(" ") + analysis;
    if (p.number > 0) prefix += strprintf(" %d", p.number);
    std::string start = prefix;
    if (p.plot_type == 0) {
      if (p.axis_scale == 1 || p.axis_scale == 3) start += " XLOG";
      if (p.axis_scale == 2 || p.axis_scale == 3) start += " YLOG";
      if (!p.x_expression.empty()) start += " X=" + p.x_expression;
    }
    WrappedLine line(out, start, prefix, kPrintLength);
    for (const std::string& t : p.traces) line.add(" " + t);
    line.finish();
  }
}

}  // namespace

bool setup_has_analysis(const SimulationSetup& s) {
  const bool op = setup_switch_on(s.op_group) &&
                  (setup_switch_on(s.op) || setup_switch_on(s.tf) || setup_switch_on(s.sens));
  return op || setup_switch_on(s.dc) || setup_switch_on(s.tran) || setup_switch_on(s.ac);
}

std::string analysis_commands_title() {
  return "Zephyrim Schematic 7.16a Win32  Simulation Setup Commands";
}

std::string analysis_commands_text(const SimulationSetup& s, const std::string& title,
                                   const AnalysisCommandOptions& options, int* result) {
  std::string out = "* " + title + "\n\n";
  bool analyses = false, output = false;
  if (setup_switch_on(s.op_group)) write_op_group(out, s);
  if (setup_switch_on(s.dc)) {
    write_dc(out, s);
    analyses = true;
  }
  if (setup_switch_on(s.tran)) {
    write_tran(out, s);
    analyses = true;
  }
  if (setup_switch_on(s.ac)) {
    write_ac(out, s);
    analyses = true;
  }
  if (setup_switch_on(s.temp) && !s.temps.empty()) write_values(out, ".TEMP", s.temps);
  if (setup_switch_on(s.step)) write_step(out, s);
  if (setup_switch_on(s.stats)) write_statistics(out, s, options);
  if (setup_switch_on(s.save)) {
    write_save(out, s, options);
    output = true;
  }
  if (setup_switch_on(s.print) && write_print(out, s)) output = true;
  if (setup_switch_on(s.autoplot)) write_autoplot(out, s);
  out += "\n.OPTION SAVEOPB\n";
  if (result) *result = analyses && !output ? -1 : 1;
  return out;
}

int write_analysis_commands(const SimulationSetup* setup, const std::string& path, const std::string& title,
                            const AnalysisCommandOptions& options, Notify& notify) {
  if (!setup) return 0;
  int result = 1;
  const std::string text = analysis_commands_text(*setup, title, options, &result);
  if (!write_file_atomic(path, text)) {
    notify.error("Cannot open analysis command file:\n" + path);
    return 0;
  }
  return result;
}

}  // namespace zephyrim
