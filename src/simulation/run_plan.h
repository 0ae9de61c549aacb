#pragma once
// The runs of a netlist. ngspice runs a deck once; .STEP, .TEMP, .MC and .WC
// ask for a series of runs with a part value, a .param, a model parameter or
// the temperature changed from run to run. The engine plans the series here
// and writes, for each run, the deck with that run's changes made in its text.
//
// The dimensions multiply: the .STEP statements (the first outermost), then
// the .TEMP values, then the Monte Carlo or worst-case runs (innermost).
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "simulation/ngspice_deck.h"

namespace zephyrim {

enum class RunTarget { Param, Part, ModelParam, Temperature };
enum class RunChange { Set, Scale, Offset };  // value = v; value = nominal * v; value = nominal + v

// One change a run makes to the deck.
struct RunSetting {
  RunTarget target = RunTarget::Part;
  std::string name;   // PARAM name, part name (R1), model name (QN2222); empty for Temperature
  std::string param;  // model parameter (BF) for ModelParam
  RunChange change = RunChange::Set;
  double value = 0;
};

struct PlannedRun {
  std::string label;                  // "Run 3 R1=2K", "Run 2 Temp=85", "Run 7 MC", at most 31 characters
  std::vector<RunSetting> settings;   // made in this order, each to the value the one before left
  std::optional<double> temperature;  // the run's .TEMP; none: ngspice's default
};

struct RunPlan {
  std::vector<PlannedRun> runs;       // at least one
  std::vector<std::string> errors;    // statements that cannot be run; the engine stops on any
  std::vector<std::string> warnings;  // e.g. a .TOL pattern that matched nothing, .MC without tolerances
};

inline constexpr size_t kMaxRuns = 10000;  // more is an error, never a huge allocation

// The runs that the deck's .STEP, .TEMP, .MC, .WC and .TOL statements ask for.
// Statements that cannot be run are reported in errors (the runs are then a
// single nominal one); with no such statement there is one run.
RunPlan plan_runs(const NgspiceDeck& deck);

// The deck's lines with the run's settings made. A setting whose target is
// not in the deck adds a warning; a PARAM that is not defined gets a
// ".param NAME=VALUE" line after the title instead. Temperature settings are
// not made here: the run's temperature is PlannedRun::temperature.
std::vector<std::string> run_deck_lines(const NgspiceDeck& deck, const PlannedRun& run,
                                        std::vector<std::string>* warnings = nullptr);

}  // namespace zephyrim
