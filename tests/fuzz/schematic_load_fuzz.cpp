// Schematic files of any bytes: the load fails or gives a schematic that saves,
// and what was saved loads again to a schematic that saves to the same bytes.
#include <cstdint>
#include <span>

#include "schematic/schematic_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  RecordingNotify notify;
  notify.set_default_answer(1);
  SchematicLoad first = schematic_decode(std::span<const uint8_t>(data, size), "fuzz.sch", notify);
  if (!first.schematic) return 0;
  const std::vector<uint8_t> saved = schematic_encode(*first.schematic, notify, 0);
  SchematicLoad second = schematic_decode(saved, "fuzz.sch", notify);
  if (!second.schematic || second.code != 0) __builtin_trap();
  if (schematic_encode(*second.schematic, notify, 0) != saved) __builtin_trap();
  return 0;
}
