// The table of symbols in use, shared by all pages.
#include <algorithm>
#include <new>
#include <unordered_map>

#include "common/text_format.h"
#include "schematic/schematic.h"

namespace zephyrim {

namespace {

// Points every part and block that uses `from` at `to`.
void retarget(Schematic& s, const SymbolRecord* from, const SymbolRecord* to) {
  for (auto& page : s.pages) {
    for (auto& p : page->parts)
      if (p->symbol == from) p->symbol = to;
    for (auto& b : page->blocks)
      if (b->symbol == from) b->symbol = to;
  }
}

bool used_by_block(const Schematic& s, const SymbolRecord* def) {
  for (const auto& page : s.pages)
    for (const auto& b : page->blocks)
      if (b->symbol == def) return true;
  return false;
}

void squeeze(SymbolTable& t) {
  std::erase_if(t.entries, [](const SymbolTableEntry& e) { return !e.definition; });
}

}  // namespace

int symtab_create(Schematic& s, int n, Notify& notify) {
  if (n > kSymbolTableLimit) {
    notify.error(strprintf("Symbol count in use %d - exceeds limit", n));
    return 0;
  }
  s.symbols.entries.clear();
  s.symbols.capacity = n > 128 ? n + 16 : 128;
  s.symbols.entries.reserve(s.symbols.capacity);
  return 1;
}

int symtab_add(Schematic& s, const std::string& name, std::unique_ptr<SymbolRecord> definition, int origin,
               Notify& notify) {
  SymbolTable& t = s.symbols;
  try {
    if (static_cast<int>(t.entries.size()) >= t.capacity) {
      t.capacity += 16;
      t.entries.reserve(t.capacity);
    }
    SymbolTableEntry e;
    e.name.assign(name);
    e.origin = origin;
    e.in_use = origin == kOriginSchematic ? 1 : 0;
    e.page = s.page_table.current_page;
    e.definition = std::move(definition);
    t.entries.push_back(std::move(e));
  } catch (const std::bad_alloc&) {
    notify.error("Cannot allocate symbol table");
    return -1;
  }
  return static_cast<int>(t.entries.size()) - 1;
}

void symtab_mark_in_use(Schematic& s) {
  SymbolTable& t = s.symbols;
  std::unordered_map<const SymbolRecord*, size_t> slot;
  for (size_t i = 0; i < t.entries.size(); ++i) {
    t.entries[i].in_use = 0;
    if (t.entries[i].definition) slot[t.entries[i].definition.get()] = i;
  }
  for (const auto& page : s.pages)
    for (const auto& p : page->parts) {
      auto it = slot.find(p->symbol);
      if (it != slot.end()) t.entries[it->second].in_use = 1;
    }
  for (auto& e : t.entries) {
    if (e.origin != kOriginBlock || e.in_use) continue;
    e.origin = kOriginSchematic;
    if (e.definition && used_by_block(s, e.definition.get())) {
      e.origin = kOriginBlock;
      e.in_use = 1;
    }
  }
}

void symtab_purge(Schematic& s) {
  SymbolTable& t = s.symbols;
  symtab_mark_in_use(s);
  for (auto& e : t.entries) {
    // A block may still name a definition the marks did not see (one that came
    // with the schematic but was never given origin 3): freeing it would leave
    // the block pointing at nothing.
    if (e.definition && !e.in_use && e.origin == kOriginSchematic && !used_by_block(s, e.definition.get()))
      e.definition.reset();
  }
  const size_t n = t.entries.size();
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = i + 1; j < n; ++j) {
      SymbolTableEntry& a = t.entries[i];
      SymbolTableEntry& b = t.entries[j];
      if (!a.definition || !b.definition || !symbol_identical(*a.definition, *b.definition)) continue;
      if (b.origin == kOriginSchematic) {
        retarget(s, b.definition.get(), a.definition.get());
        a.in_use |= b.in_use;
        b = SymbolTableEntry{};
      } else if (a.origin == kOriginSchematic) {
        retarget(s, a.definition.get(), b.definition.get());
        b.in_use |= a.in_use;
        a = std::move(b);
        b = SymbolTableEntry{};
      }
    }
  }
  squeeze(t);
}

int symtab_delete(Schematic& s, int i, Notify& notify) {
  SymbolTable& t = s.symbols;
  if (i < 0 || i >= static_cast<int>(t.entries.size())) return 0;
  symtab_mark_in_use(s);
  if (t.entries[i].in_use || used_by_block(s, t.entries[i].definition.get())) {
    notify.error("Symbol is in use - cannot be deleted");
    return 0;
  }
  t.entries.erase(t.entries.begin() + i);
  return 1;
}

int symtab_find(const Schematic& s, const SymbolRecord& definition) {
  const auto& e = s.symbols.entries;
  for (size_t i = 0; i < e.size(); ++i)
    if (e[i].definition && symbol_identical(*e[i].definition, definition)) return static_cast<int>(i);
  return -1;
}

int symtab_index_of(const Schematic& s, const SymbolRecord* definition) {
  if (!definition) return -1;
  const auto& e = s.symbols.entries;
  for (size_t i = 0; i < e.size(); ++i)
    if (e[i].definition.get() == definition) return static_cast<int>(i);
  return -1;
}

bool symtab_check(const Schematic& s, const SymbolRecord* definition, Notify& notify) {
  if (!definition) {
    notify.error("NULL symbol pointer");
    return false;
  }
  if (symtab_index_of(s, definition) < 0) {
    notify.error("Bad symbol pointer");
    return false;
  }
  return true;
}

}  // namespace zephyrim
