// Setup files of any bytes: the read fails, or gives a setup whose file reads
// back to a setup that writes the same bytes.
#include <cstdint>
#include <span>

#include "simulation/sim_setup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  RecordingNotify notify;
  SimulationSetup first;
  if (setup_decode(first, std::span<const uint8_t>(data, size), "fuzz.sim", notify) != 0) return 0;
  const std::vector<uint8_t> saved = setup_encode(first);
  SimulationSetup second;
  if (setup_decode(second, saved, "fuzz.sim", notify) != 0) __builtin_trap();
  if (setup_encode(second) != saved) __builtin_trap();
  return 0;
}
