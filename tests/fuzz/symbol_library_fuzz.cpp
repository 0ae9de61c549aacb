// Library text of any bytes: index it and load every symbol it names.
#include <cstdint>
#include <string>

#include "symbols/symbol_library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zephyrim::RecordingNotify notify;
  const std::string text(reinterpret_cast<const char*>(data), size);
  zephyrim::SymbolIndex index = zephyrim::index_build(text, "fuzz.sym", notify);
  for (const auto& e : index.entries) {
    zephyrim::SymbolRecord r;
    if (zephyrim::symbol_parse(text, e.position, e.name.str(), e.description.str(), r, notify) == 1) {
      if (r.draws.size() > 255) __builtin_trap();
      (void)zephyrim::symbol_library_text(r, e.description.str(), "date");
    }
  }
  return 0;
}
