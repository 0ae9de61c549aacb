#include "schematic/symbols_reload.h"

#include <algorithm>
#include <cctype>

#include "common/text_format.h"

namespace zephyrim {

namespace {

struct FormerName {
  const char* former;
  const char* current;
};

constexpr FormerName kFormerNames[] = {
    {"R(VERT)", "RV"}, {"C(VERT)", "CV"}, {"L(VERT)", "LV"}, {"EBLOCK", "EB"},
    {"GBLOCK", "GB"},  {"QNPN", "Q"},     {"QPNP", "QP"},
};

}  // namespace

std::string symbol_current_name(std::string_view name) {
  for (const auto& f : kFormerNames)
    if (iequals(name, f.former)) return f.current;
  return std::string(name);
}

int symbols_reload(Schematic& s, const SymbolLibrary& lib, Notify& notify) {
  symtab_purge(s);
  int replaced = 0;
  const size_t count = s.symbols.entries.size();
  for (size_t i = 0; i < count; ++i) {
    if (s.symbols.entries[i].origin != kOriginSchematic || !s.symbols.entries[i].definition) continue;
    const SymbolRecord* old_def = s.symbols.entries[i].definition.get();
    std::string name = symbol_current_name(s.symbols.entries[i].name.str());
    std::unique_ptr<SymbolRecord> fresh;
    for (;;) {
      fresh = symbol_load_named(lib, name, notify);
      if (fresh) break;
      if (notify.question(strprintf("Symbol %s not found - alternate name?", name.c_str()),
                          QuestionKind::YesNo) != 1)
        break;
      auto answer = notify.prompt("SYMBOL NAME", "Enter new name:", name, 31);
      if (!answer || answer->empty()) break;
      name = *answer;
    }
    if (!fresh) continue;
    const std::string loaded_name = fresh->name.str();
    const int at = symtab_add(s, loaded_name, std::move(fresh), kOriginLibrary, notify);
    if (at < 0) break;
    const SymbolRecord* def = s.symbols.entries[at].definition.get();
    for (auto& page : s.pages)
      for (auto& p : page->parts) {
        if (p->symbol != old_def) continue;
        p->symbol = def;
        // The library's symbol may have another pin count than the stored one.
        p->pin_nodes.resize(def->pins.size());
        const int scale = page->settings.scale;
        p->region =
            oriented_region(def->region, scale, p->steps.data(), std::clamp<int>(p->step_count, 0, 8));
      }
    ++replaced;
  }
  symtab_purge(s);
  s.modified = true;
  return replaced;
}

}  // namespace zephyrim
