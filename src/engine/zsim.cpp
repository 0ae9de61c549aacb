#include "engine/zsim.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <unistd.h>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "engine/bias_file.h"
#include "platform/process.h"
#include "simulation/ngspice_deck.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"
#include "viewer/data/raw_file.h"

namespace zephyrim {

namespace {

namespace fs = std::filesystem;

bool starts_ci(const std::string& s, const char* prefix) {
  const std::string_view p(prefix);
  return s.size() >= p.size() && iequals(std::string_view(s).substr(0, p.size()), p);
}

std::string now_text() {
  const std::time_t t = std::time(nullptr);
  char buf[64];
  std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y", std::localtime(&t));
  return buf;
}

// Writes every plot except the constants into the RAW file, one after the
// other, after the deck's own commands; the quit keeps batch mode from running
// the analyses a second time.
std::vector<std::string> write_plots(const std::string& raw) {
  return {"set filetype=binary", "set appendwrite", "foreach zsimplot $plots", "strcmp zsimconst $zsimplot const",
          "if $zsimconst <> 0",  "setplot $zsimplot", "write " + raw,  "end", "end", "quit"};
}

// An ngspice line that the listing counts as an error or a warning.
bool is_error(const std::string& line) {
  return starts_ci(line, "error") || starts_ci(line, "fatal") || line.find("Error:") != std::string::npos;
}
bool is_warning(const std::string& line) { return starts_ci(line, "warning"); }

bool has_statement(const std::vector<std::string>& lines, const char* keyword) {
  for (const auto& l : lines) {
    std::string u = ascii_upper(l);
    size_t i = 0;
    while (i < u.size() && (u[i] == ' ' || u[i] == '\t')) ++i;
    if (u.compare(i, std::strlen(keyword), keyword) == 0) {
      const size_t after = i + std::strlen(keyword);
      if (after == u.size() || u[after] == ' ' || u[after] == '\t') return true;
    }
  }
  return false;
}

// Noise spectra go to the data file as the AC block's V(ONOISE) and V(INOISE),
// where the viewer looks for them.
std::string noise_name(const std::string& name) {
  if (iequals(name, "V(ONOISE_SPECTRUM)")) return "V(ONOISE)";
  if (iequals(name, "V(INOISE_SPECTRUM)")) return "V(INOISE)";
  return name;
}

// The store's plots as PROBE blocks: each x vector opens a block and the
// vectors that take it as x axis follow.
void collect_blocks(DataStore& store, const std::string& label, std::vector<ProbeBlock>& blocks) {
  std::map<const DataVector*, size_t> block_of;
  const size_t first = blocks.size();
  for (const auto& v : store.data_class(DATA_CLASS_BINARY)->vectors) {
    const auto values = store.values(v);
    if (!v.x) {
      ProbeBlock b;
      b.label = label;
      b.kind = v.kind;
      b.x_name = v.name;
      b.x.assign(values.begin(), values.end());
      block_of[&v] = blocks.size();
      blocks.push_back(std::move(b));
      continue;
    }
    const auto at = block_of.find(v.x);
    if (at == block_of.end()) continue;
    ProbeBlock& b = blocks[at->second];
    const bool spectrum = b.kind == ANALYSIS_NOISE && b.x.size() > 1;
    b.analog_names.push_back(spectrum ? noise_name(v.name) : v.name);
    if (spectrum || (b.kind == ANALYSIS_AC && !v.complex)) {
      std::vector<double> pairs;
      pairs.reserve(values.size() * 2);
      for (double d : values) {
        pairs.push_back(d);
        pairs.push_back(0.0);
      }
      b.analog.push_back(std::move(pairs));
    } else {
      b.analog.emplace_back(values.begin(), values.end());
    }
  }
  for (size_t i = first; i < blocks.size(); ++i)
    if (blocks[i].kind == ANALYSIS_NOISE && blocks[i].x.size() > 1) blocks[i].kind = ANALYSIS_AC;
  // A block needs a variable beside its x axis.
  blocks.erase(std::remove_if(blocks.begin() + static_cast<std::ptrdiff_t>(first), blocks.end(),
                              [](const ProbeBlock& b) { return b.analog_names.empty(); }),
               blocks.end());
}

// Node voltages and source currents of the run's operating point.
void collect_bias(DataStore& store, std::vector<BiasEntry>& nodes, std::vector<BiasEntry>& devices) {
  for (const auto& v : store.data_class(DATA_CLASS_BINARY)->vectors) {
    if (v.kind != ANALYSIS_OP || v.points < 1 || v.name.size() < 4 || v.name.back() != ')') continue;
    if (v.name.find('#') != std::string::npos) continue;
    const std::string inner = v.name.substr(2, v.name.size() - 3);
    const auto values = store.values(v);
    if (values.empty()) continue;
    if (starts_ci(v.name, "V("))
      nodes.push_back({inner, static_cast<float>(values[0])});
    else if (starts_ci(v.name, "I("))
      devices.push_back({ascii_upper(inner), static_cast<float>(values[0])});
  }
}

}  // namespace

ZsimResult zsim_run(const ZsimOptions& options, Progress& progress) {
  ZsimResult result;
  const auto started = std::chrono::steady_clock::now();
  fs::path netlist = fs::absolute(options.netlist);
  // FILE.CIR as the editor names it, or the file.cir a user typed.
  if (!fs::exists(netlist)) {
    fs::path other = netlist;
    const std::string ext = netlist.extension().string();
    other.replace_extension(ext == ascii_upper(ext) ? ascii_lower(ext) : ascii_upper(ext));
    if (fs::exists(other)) netlist = other;
  }
  const fs::path folder = netlist.parent_path();
  fs::path base = netlist;
  base.replace_extension();
  result.listing = base.string() + ".OUT";
  result.probe = base.string() + ".SAV";

  std::string listing = "ZEPHYRIM ZSIM SPICE3 ENGINE (ngspice)\n";
  auto finish = [&](int status) {
    result.status = status;
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    listing += strprintf("\nTOTAL JOB TIME %12.2f\n", secs);
    if (!write_file_atomic(result.listing, listing)) result.status = 2;
    progress.done();
    return result;
  };

  const auto text = read_text_file(netlist.string());
  if (!text) {
    listing += "*ERROR*: Cannot open file " + netlist.string() + "\n";
    ++result.errors;
    return finish(2);
  }
  NgspiceDeck deck = prepare_ngspice_deck(
      *text, [&](const std::string& name) { return read_text_file((folder / name).string()); });
  const std::string title = deck.lines.empty() ? std::string() : deck.lines.front();
  listing += "Circuit: " + title + "\nDate: " + now_text() + "\n\n";
  for (const auto& h : deck.hash_lines) listing += h + "\n";
  for (const auto& u : deck.unsupported) {
    listing += "*WARNING: not supported by this engine, left out: " + u + "\n";
    ++result.warnings;
  }
  // The bias file needs an operating point even when no .OP asked for one.
  if (deck.save_bias && !has_statement(deck.lines, ".OP")) {
    auto end = std::find_if(deck.lines.begin(), deck.lines.end(), [](const std::string& l) { return iequals(l, ".END"); });
    deck.lines.insert(end, ".OP");
  }

  const size_t runs = std::max<size_t>(1, deck.temperatures.size());
  const std::string tag = "zsim-" + std::to_string(getpid());
  // ngspice sees only these plain names in the netlist's folder, never the
  // folder's own name, whatever characters it holds.
  const std::string deck_name = tag + ".deck", data_name = tag + ".data";
  std::vector<ProbeBlock> blocks;
  std::vector<BiasEntry> nodes, devices;
  bool failed = false;
  for (size_t r = 0; r < runs; ++r) {
    const double temperature = deck.temperatures.empty() ? 27.0 : deck.temperatures[r];
    progress.show(strprintf("Running ngspice...\nRun %d of %d  Temp=%g", static_cast<int>(r + 1),
                            static_cast<int>(runs), temperature));
    const fs::path deck_path = folder / deck_name, data_path = folder / data_name;
    std::error_code ec;
    fs::remove(data_path, ec);
    if (!write_file_atomic(deck_path.string(), ngspice_deck_text(deck, static_cast<int>(r), write_plots(data_name)))) {
      listing += "*ERROR*: Cannot write the simulator input in " + folder.string() + "\n";
      ++result.errors;
      return finish(2);
    }
    const ProcessResult run =
        process_run({options.ngspice, "-b", deck_name}, folder.string(), options.timeout_seconds);
    fs::remove(deck_path, ec);
    listing += strprintf("\n**** Run %d  Temp=%g\n", static_cast<int>(r + 1), temperature);
    if (run.start_error != 0) {
      listing += "Fatal error: cannot start " + options.ngspice + ": " + std::strerror(run.start_error) + "\n";
      ++result.errors;
      return finish(2);
    }
    for (const auto line : split_lines(run.output)) {
      const std::string l(line);
      listing += l + "\n";
      if (is_error(l)) {
        listing += "*ERROR*: " + l + "\n";
        ++result.errors;
      } else if (is_warning(l)) {
        ++result.warnings;
      }
    }
    if (run.timed_out) {
      listing += "*ERROR*: the simulation did not end in time and was stopped\n";
      ++result.errors;
    }
    if (run.exit_code != 0) failed = true;

    RecordingNotify notify(kTraceryTitle);
    NullProgress quiet;
    DataStore store(notify, quiet);
    if (!store.start()) return finish(2);
    store.open_data_file(data_path.string());
    if (fs::exists(data_path)) raw_read_file(store, data_path.string(), false);
    fs::remove(data_path, ec);
    for (const auto& e : notify.entries()) listing += "*WARNING: " + e.text + "\n";
    collect_blocks(store, strprintf("Run %d Temp=%g", static_cast<int>(r + 1), temperature), blocks);
    if (r == 0 && deck.save_bias) collect_bias(store, nodes, devices);
  }

  progress.show("Writing PROBE data file...");
  if (!blocks.empty()) {
    if (probe_write_file(result.probe, blocks)) {
      result.blocks = static_cast<int>(blocks.size());
      listing += strprintf("\nData written to .PROBE binary file %s: %d data blocks\n",
                           fs::path(result.probe).filename().c_str(), result.blocks);
    } else {
      listing += "*ERROR*: Cannot write " + result.probe + "\n";
      ++result.errors;
    }
  }
  if (deck.save_bias) {
    const std::string bias = base.string() + ".OPB";
    if (nodes.empty() && devices.empty()) {
      listing += "*WARNING: no operating point for the bias file\n";
      ++result.warnings;
    } else if (write_file_atomic(bias, bias_file_bytes(title, now_text().substr(4, 16), nodes, devices))) {
      result.bias = bias;
    } else {
      listing += "*ERROR*: Cannot write " + bias + "\n";
      ++result.errors;
    }
  }
  listing += strprintf("\n%d errors, %d warnings\n", result.errors, result.warnings);
  return finish(failed || result.errors > 0 ? 1 : 0);
}

}  // namespace zephyrim
