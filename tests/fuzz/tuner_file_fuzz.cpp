// Reads arbitrary bytes as a tuner list beside a schematic: every line gives a
// tuner or a message, what was read writes back and reads the same, and the
// slider scale of every tuner stays inside its range.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "editing/tuner.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "tuner_file_fuzz: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  const std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
  std::vector<std::string> messages;
  const TunerList list = tuner_file_parse(bytes, messages);
  for (const Tuner& t : list) {
    check(tuner_check(t).empty(), "a tuner read is not usable");
    for (int p : {-1, 0, 1, t.steps / 2, t.steps - 1, t.steps, t.steps + 1}) {
      const double v = tuner_value_at(t, p);
      check(std::isfinite(v), "a slider position gives no number");
      const int back = tuner_position(t, v);
      check(back >= 0 && back <= t.steps, "a value maps outside the slider");
    }
    (void)tuner_position(t, t.value);
  }
  // What is written reads back as the same list, the numbers at the shown precision.
  std::vector<std::string> again_messages;
  const TunerList again = tuner_file_parse(tuner_file_format(list), again_messages);
  check(again.size() <= list.size(), "writing made tuners");
  // The .PARAM side takes any text too.
  std::string text(bytes.substr(0, 4096));
  (void)param_value(text, "X");
  const std::string before = text;
  if (param_replace(text, "X", "1") == 0) check(text == before, "nothing replaced yet the text changed");
  return 0;
}
