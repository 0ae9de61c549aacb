#include "engine/zsim.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "common/config_location.h"
#include "common/file_io.h"
#include "common/ini_file.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "engine/listing.h"
#include "platform/process.h"
#include "simulation/bias_file.h"
#include "simulation/model_db.h"
#include "simulation/ngspice_deck.h"
#include "simulation/run_plan.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"
#include "viewer/data/raw_file.h"

namespace zephyrim {

namespace {

namespace fs = std::filesystem;

bool starts_ci(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && iequals(s.substr(0, prefix.size()), prefix);
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
  return {"set filetype=binary",
          "set appendwrite",
          "foreach zsimplot $plots",
          "strcmp zsimconst $zsimplot const",
          "if $zsimconst <> 0",
          "setplot $zsimplot",
          "write " + raw,
          "end",
          "end",
          "quit"};
}

// An ngspice line that the listing counts as an error or a warning.
bool is_error(std::string_view line) {
  return starts_ci(line, "error") || starts_ci(line, "fatal") ||
         line.find("Error:") != std::string_view::npos;
}
bool is_warning(std::string_view line) {
  return starts_ci(line, "warning");
}

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

// The store's plot as PROBE blocks, handed to emit one at a time so that only
// one is ever in memory: each x vector opens a block and the vectors that take
// it as x axis follow.
template <typename Emit>
void emit_blocks(DataStore& store, const std::string& label, Emit emit) {
  std::vector<std::pair<const DataVector*, std::vector<const DataVector*>>> groups;
  std::map<const DataVector*, size_t> group_of;
  for (const auto& v : store.data_class(DATA_CLASS_BINARY)->vectors) {
    if (!v.x) {
      group_of[&v] = groups.size();
      groups.push_back({&v, {}});
      continue;
    }
    const auto at = group_of.find(v.x);
    if (at != group_of.end()) groups[at->second].second.push_back(&v);
  }
  for (const auto& [x, members] : groups) {
    // A block needs a variable beside its x axis.
    if (members.empty()) continue;
    ProbeBlock b;
    b.label = label;
    b.kind = x->kind;
    b.x_name = x->name;
    const auto xs = store.values(*x);
    b.x.assign(xs.begin(), xs.end());
    const bool spectrum = b.kind == ANALYSIS_NOISE && b.x.size() > 1;
    for (const DataVector* v : members) {
      const auto values = store.values(*v);
      b.analog_names.push_back(spectrum ? noise_name(v->name) : v->name);
      if (spectrum || (b.kind == ANALYSIS_AC && !v->complex)) {
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
    if (spectrum) b.kind = ANALYSIS_AC;
    emit(b);
  }
}

// ZEPHYRIM.INI's ModelDatabasePath; empty when it names none. The file is
// looked for beside the program first, as the editor looks for it.
std::string configured_model_database(const std::string& program_dir, const EnvLookup& env) {
  std::string dir = program_dir;
  if (dir.empty()) {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) dir = self.parent_path().string();
  }
  const auto path = find_config_file(dir, env);
  if (!path) return {};
  return IniFile::load(*path).get_string(kProductSection, kModelDatabaseKey).value_or("");
}

// Every model of a library of the database as SPICE text; absent when the
// library is not there or any of its models cannot be read.
std::optional<std::vector<std::string>> library_models(ModelDatabase& db, const std::string& folder,
                                                       const std::string& library) {
  if (!db.open_main_index(folder)) return std::nullopt;
  const int item = db.find_library(library);
  if (item < 0 || !db.open_library_index(item)) return std::nullopt;
  std::vector<std::string> models;
  for (size_t e = 0; e < db.library_index().entries.size(); ++e) {
    std::string text;
    if (!db.write_model_text(static_cast<int>(e), text)) return std::nullopt;
    models.push_back(std::move(text));
  }
  return models;
}

// Node voltages and source currents of the run's operating point.
struct BiasPoint {
  std::vector<BiasEntry> nodes;
  std::vector<BiasEntry> devices;
};

void collect_bias(DataStore& store, BiasPoint& bias) {
  for (const auto& v : store.data_class(DATA_CLASS_BINARY)->vectors) {
    if (v.kind != ANALYSIS_OP || v.points < 1 || v.name.size() < 4 || v.name.back() != ')') continue;
    if (v.name.find('#') != std::string::npos) continue;
    const std::string inner = v.name.substr(2, v.name.size() - 3);
    const auto values = store.values(v);
    if (values.empty()) continue;
    if (starts_ci(v.name, "V("))
      bias.nodes.push_back({inner, static_cast<float>(values[0])});
    else if (starts_ci(v.name, "I("))
      bias.devices.push_back({ascii_upper(inner), static_cast<float>(values[0])});
  }
}

// FILE.SAV, created with its first block.
class ProbeOutput {
 public:
  explicit ProbeOutput(std::string path) : path_(std::move(path)) {}
  void add(const ProbeBlock& block) {
    if (failed_) return;
    if (!writer_.is_open() && !writer_.open(path_)) failed_ = true;
    if (!failed_ && !writer_.append(block)) failed_ = true;
  }
  bool any() const { return failed_ || writer_.is_open(); }
  // The blocks written, or -1 when the file could not be written.
  int finish() {
    if (failed_ || !writer_.finish()) return -1;
    return writer_.blocks();
  }

 private:
  std::string path_;
  ProbeFileWriter writer_;
  bool failed_ = false;
};

// One plot at a time from ngspice's RAW file to the PROBE file, so that memory
// follows the largest plot, not the run set; with bias, the operating point
// goes there too. The reader's notices, or none when no store could be made.
std::optional<std::vector<std::string>> copy_run_data(const fs::path& raw, const std::string& label,
                                                      ProbeOutput& probe, BiasPoint* bias) {
  RecordingNotify notify(kTraceryTitle);
  NullProgress quiet;
  DataStore store(notify, quiet);
  if (!store.start()) return std::nullopt;
  store.open_data_file(raw.string());
  if (fs::exists(raw))
    raw_read_file(store, raw.string(), false, [&](DataStore& plot) {
      emit_blocks(plot, label, [&](const ProbeBlock& b) { probe.add(b); });
      if (bias) collect_bias(plot, *bias);
      plot.clear_class(DATA_CLASS_BINARY);
      return true;
    });
  std::vector<std::string> notices;
  for (const auto& e : notify.entries()) notices.push_back(e.text);
  return notices;
}

// What became of one run: its deck written or not, the ngspice process, the
// warnings of applying the run's settings.
struct RunOutcome {
  bool written = false;
  ProcessResult process;
  std::vector<std::string> warnings;
};

// The runs of a plan on a few ngspice processes at once. Each run has its own
// deck, data and output files in the netlist's folder, named after the engine's
// process and the run, so that ngspice sees only plain names.
class RunPool {
 public:
  RunPool(const RunPlan& plan, const NgspiceDeck& deck, const fs::path& folder, const std::string& tag,
          const ZsimOptions& options)
      : plan_(plan),
        deck_(deck),
        folder_(folder),
        tag_(tag),
        options_(options),
        outcomes_(plan.runs.size()),
        finished_(plan.runs.size(), false) {
    unsigned n = options.jobs > 0 ? static_cast<unsigned>(options.jobs) : std::thread::hardware_concurrency();
    n = std::clamp<unsigned>(n, 1, 64);
    n = std::min<unsigned>(n, static_cast<unsigned>(plan.runs.size()));
    ahead_ = 2 * static_cast<size_t>(n);
    // A system that grants fewer threads gets fewer workers; none at all, and
    // the runs are made here, one after the other, as wait() asks for them.
    for (unsigned i = 0; i < n; ++i) try {
        threads_.emplace_back([this] { work(); });
      } catch (const std::system_error&) {
        break;
      }
    // The caller's cancel flag reaches the ngspice processes however busy the merging is.
    if (options_.cancel) try {
        watcher_ = std::thread([this] {
          std::unique_lock lock(mutex_);
          while (!closing_) {
            if (options_.cancel->load() && !stop_) {
              stop_ = true;
              done_.notify_all();
            }
            done_.wait_for(lock, std::chrono::milliseconds(100));
          }
        });
      } catch (const std::system_error&) {
      }
  }
  ~RunPool() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
      closing_ = true;
    }
    done_.notify_all();
    for (auto& t : threads_) t.join();
    if (watcher_.joinable()) watcher_.join();
    std::error_code ec;
    for (size_t r = 0; r < plan_.runs.size(); ++r)
      if (!released_.count(r)) {
        fs::remove(file(r, ".deck"), ec);
        fs::remove(file(r, ".data"), ec);
        fs::remove(file(r, ".log"), ec);
      }
  }
  RunPool(const RunPool&) = delete;
  RunPool& operator=(const RunPool&) = delete;

  int workers() const { return std::max<int>(1, static_cast<int>(threads_.size())); }

  // Waits until run r has ended.
  const RunOutcome& wait(size_t r) {
    if (threads_.empty()) {
      // No worker could be started: the run is made here.
      next_ = r + 1;
      finish(r);
    }
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return finished_[r]; });
    return outcomes_[r];
  }
  // Hands the output of run r to on_output, piece by piece.
  template <typename OnOutput>
  void read_output(size_t r, OnOutput on_output) {
    std::FILE* f = std::fopen(file(r, ".log").c_str(), "rb");
    if (!f) return;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) on_output(std::string_view(buffer, n));
    std::fclose(f);
  }
  fs::path data_path(size_t r) const { return file(r, ".data"); }
  // Run r's files are no longer needed.
  void release(size_t r) {
    std::error_code ec;
    fs::remove(file(r, ".data"), ec);
    fs::remove(file(r, ".log"), ec);
    {
      std::lock_guard lock(mutex_);
      released_.insert(r);
    }
    done_.notify_all();
  }

 private:
  fs::path file(size_t r, const char* extension) const { return folder_ / name(r, extension); }
  std::string name(size_t r, const char* extension) const {
    return tag_ + "-" + std::to_string(r + 1) + extension;
  }

  void work() {
    for (;;) {
      const size_t r = next_++;
      if (r >= plan_.runs.size()) return;
      {
        // Runs finished out of order wait on disk for the merge; a few per
        // worker are enough to keep every worker busy without filling the disk.
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return stop_ || r < released_.size() + ahead_; });
      }
      finish(r);
    }
  }

  void finish(size_t r) {
    RunOutcome outcome;
    if (stop_) {
      outcome.written = true;
      outcome.process.cancelled = true;
    } else {
      try {
        run(r, outcome);
      } catch (const std::exception& e) {
        // Out of memory for this run's deck: it fails alone, the engine goes on.
        outcome = RunOutcome{};
        outcome.warnings.push_back(std::string("cannot prepare the run: ") + e.what());
      }
    }
    std::lock_guard lock(mutex_);
    outcomes_[r] = std::move(outcome);
    finished_[r] = true;
    done_.notify_all();
  }

  void run(size_t r, RunOutcome& outcome) {
    const PlannedRun& planned = plan_.runs[r];
    const std::vector<std::string> lines = run_deck_lines(deck_, planned, &outcome.warnings);
    const std::string deck_name = name(r, ".deck"), data_name = name(r, ".data");
    std::error_code ec;
    fs::remove(folder_ / data_name, ec);
    outcome.written =
        write_file_atomic(file(r, ".deck").string(),
                          ngspice_deck_text(deck_, lines, planned.temperature, write_plots(data_name)));
    if (!outcome.written) return;
    std::FILE* log = std::fopen(file(r, ".log").c_str(), "wb");
    if (!log)
      outcome.warnings.push_back("cannot keep ngspice's output of this run: " + file(r, ".log").string());
    outcome.process = process_run(
        {options_.ngspice, "-b", deck_name}, folder_.string(), options_.timeout_seconds,
        [&](std::string_view piece) {
          if (log) std::fwrite(piece.data(), 1, piece.size(), log);
        },
        &stop_);
    if (log) std::fclose(log);
    fs::remove(file(r, ".deck"), ec);
  }

  const RunPlan& plan_;
  const NgspiceDeck& deck_;
  const fs::path folder_;
  const std::string tag_;
  const ZsimOptions& options_;
  std::vector<std::thread> threads_;
  std::thread watcher_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> stop_{false};
  bool closing_ = false;  // under mutex_: the pool is going
  size_t ahead_ = 2;      // runs a worker may be ahead of the merge
  std::mutex mutex_;
  std::condition_variable done_;
  std::vector<RunOutcome> outcomes_;
  std::vector<bool> finished_;
  std::set<size_t> released_;
};

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

  // The engine's own lines survive where the simulator's output is cut.
  Listing listing;
  auto say = [&](std::string_view text) {
    for (const auto l : split_lines(text)) listing.line(l, !l.empty());
  };
  auto blank = [&] { listing.line(""); };
  say("ZEPHYRIM ZSIM SPICE3 ENGINE (ngspice)");
  auto finish = [&](int status) {
    result.status = status;
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    blank();
    say(strprintf("TOTAL JOB TIME %12.2f", secs));
    if (!write_file_atomic(result.listing, listing.text())) result.status = 2;
    progress.done();
    return result;
  };

  const auto text = read_text_file(netlist.string());
  if (!text) {
    say("*ERROR*: Cannot open file " + netlist.string());
    ++result.errors;
    return finish(2);
  }
  // The model database serves the whole run set: its links are resolved here,
  // once, and every run takes the prepared deck.
  const EnvLookup env = process_environment();
  std::vector<std::string> database_log;
  ModelDatabase database([&](const std::string& t) { database_log.push_back(t); });
  ModelDatabaseLinks links;
  links.folder =
      model_database_folder(folder.string(), configured_model_database(options.program_dir, env), env);
  links.read = [&](const std::string& library) { return library_models(database, links.folder, library); };
  NgspiceDeck deck = prepare_ngspice_deck(
      *text, [&](const std::string& name) { return read_text_file((folder / name).string()); }, links);
  const std::string title = deck.lines.empty() ? std::string() : deck.lines.front();
  say("Circuit: " + title);
  say("Date: " + now_text());
  blank();
  for (const auto& h : deck.hash_lines) say(h);
  for (const auto& u : deck.unsupported) {
    say("*WARNING: not supported by this engine, left out: " + u);
    ++result.warnings;
  }
  for (const auto& w : deck.warnings) {
    say("*WARNING: " + w);
    ++result.warnings;
  }
  // A missing model library would only come back from ngspice as an unknown
  // model or subcircuit; it is named here and nothing is run.
  if (!deck.errors.empty()) {
    for (const auto& e : deck.errors) {
      say("*ERROR*: " + e);
      ++result.errors;
    }
    for (const auto& l : database_log) say(l);
    return finish(2);
  }
  // The bias file needs an operating point even when no .OP asked for one.
  if (deck.save_bias && !has_statement(deck.lines, ".OP")) {
    auto end = std::find_if(deck.lines.begin(), deck.lines.end(),
                            [](const std::string& l) { return iequals(l, ".END"); });
    deck.lines.insert(end, ".OP");
  }

  const RunPlan plan = plan_runs(deck);
  for (const auto& w : plan.warnings) {
    say("*WARNING: " + w);
    ++result.warnings;
  }
  if (!plan.errors.empty()) {
    for (const auto& e : plan.errors) {
      say("*ERROR*: " + e);
      ++result.errors;
    }
    return finish(2);
  }

  const size_t runs = plan.runs.size();
  const std::string tag = "zsim-" + std::to_string(getpid());
  RunPool pool(plan, deck, folder, tag, options);
  ProbeOutput probe(result.probe);
  BiasPoint bias;
  bool failed = false;
  progress.show(runs == 1 ? std::string("Running ngspice...")
                          : strprintf("Running ngspice...\n%d runs, %d at a time", static_cast<int>(runs),
                                      pool.workers()));
  // The runs are merged in their order, whatever order they finish in; only
  // their files on disk wait, never their output in memory.
  for (size_t r = 0; r < runs; ++r) {
    const RunOutcome& done = pool.wait(r);
    const PlannedRun& run = plan.runs[r];
    blank();
    say("**** " + run.label);
    for (const auto& w : done.warnings) {
      say("*WARNING: " + w);
      ++result.warnings;
    }
    if (!done.written) {
      say("*ERROR*: Cannot write the simulator input in " + folder.string());
      ++result.errors;
      return finish(2);
    }
    LineSplitter lines;
    auto output_line = [&](std::string_view l) {
      const bool error = is_error(l);
      // An error line stays with its mirror where the output around is cut.
      listing.line(l, error);
      if (error) {
        say("*ERROR*: " + std::string(l));
        ++result.errors;
      } else if (is_warning(l)) {
        ++result.warnings;
      }
    };
    pool.read_output(r, [&](std::string_view piece) { lines.feed(piece, output_line); });
    lines.finish(output_line);
    if (done.process.cancelled) {
      say("*ERROR*: the simulation was stopped");
      ++result.errors;
      return finish(2);
    }
    if (done.process.start_error != 0) {
      say("Fatal error: cannot start " + options.ngspice + ": " + std::strerror(done.process.start_error));
      ++result.errors;
      return finish(2);
    }
    if (done.process.timed_out) {
      say("*ERROR*: the simulation did not end in time and was stopped");
      ++result.errors;
    }
    if (done.process.exit_code != 0) failed = true;
    ++result.runs;

    const auto notices =
        copy_run_data(pool.data_path(r), run.label, probe, r == 0 && deck.save_bias ? &bias : nullptr);
    pool.release(r);
    if (!notices) return finish(2);
    for (const auto& n : *notices) say("*WARNING: " + n);
    if (runs > 1)
      progress.show(strprintf("Running ngspice...\nRun %d of %d done\n%s", static_cast<int>(r + 1),
                              static_cast<int>(runs), run.label.c_str()));
  }

  progress.show("Writing PROBE data file...");
  if (probe.any()) {
    const int blocks = probe.finish();
    if (blocks >= 0) {
      result.blocks = blocks;
      blank();
      say(strprintf("Data written to .PROBE binary file %s: %d data blocks",
                    fs::path(result.probe).filename().c_str(), result.blocks));
    } else {
      say("*ERROR*: Cannot write " + result.probe);
      ++result.errors;
    }
  }
  if (deck.save_bias) {
    const std::string path = bias_file_path(netlist.string());  // where the editor looks for it
    if (bias.nodes.empty() && bias.devices.empty()) {
      say("*WARNING: no operating point for the bias file");
      ++result.warnings;
    } else if (write_file_atomic(
                   path, bias_file_bytes(title, now_text().substr(4, 16), bias.nodes, bias.devices))) {
      result.bias = path;
    } else {
      say("*ERROR*: Cannot write " + path);
      ++result.errors;
    }
  }
  // Each place where output was left out says so in a warning line.
  result.warnings += listing.cuts();
  blank();
  say(strprintf("%d errors, %d warnings", result.errors, result.warnings));
  return finish(failed || result.errors > 0 ? 1 : 0);
}

}  // namespace zephyrim
