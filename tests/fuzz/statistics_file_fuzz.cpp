// Any bytes as a statistics file and as a netlist with run statements: a
// message or a plan, never a crash, a hang or a plan past its limits; every
// run's deck can be written.
#include <cstdint>
#include <string>

#include "simulation/run_plan.h"
#include "simulation/statistics_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<Tolerance> tolerances;
  std::vector<std::string> messages;
  if (read_statistics_file(text, tolerances, messages) != tolerances.size()) __builtin_trap();
  for (const Tolerance& t : tolerances)
    if (t.device < 0 || t.lot < 0 || !(t.sigmas > 0)) __builtin_trap();

  // The deck preparation wants a title line.
  const NgspiceDeck deck = prepare_ngspice_deck("* fuzz\n" + text);
  const RunPlan plan = plan_runs(deck);
  if (plan.runs.empty() || plan.runs.size() > kMaxRuns) __builtin_trap();
  for (const PlannedRun& run : plan.runs)
    if (run.label.size() > 31) __builtin_trap();
  // The first and last runs' decks; all of them would only repeat the work.
  std::vector<std::string> warnings;
  run_deck_lines(deck, plan.runs.front(), &warnings);
  run_deck_lines(deck, plan.runs.back(), &warnings);
  return 0;
}
