// Listing text of any bytes searched for the values a #TABULATE name asks for:
// the name "VMAX", and the first word of the input itself, with a small limit
// so that the cut is reached too. Nothing may crash or hang, and no more
// values come back than the limit allows.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/calc/tabulate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string_view first = text.substr(0, std::min(text.find_first_of(" =,\t\n"), text.size()));
  for (const std::string_view name : {std::string_view("VMAX"), first}) {
    bool cut = false;
    if (tabulate_values(text, name, 16, &cut).size() > 16) __builtin_trap();
  }
  std::vector<TabulateRequest> list;
  tabulate_parse(list, std::string("#TABULATE ") + std::string(text.substr(0, 300)));
  return 0;
}
