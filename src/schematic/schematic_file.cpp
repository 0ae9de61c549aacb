// The schematic file's writer and the operations around a save; the reader is
// in schematic_loader.cpp.
#include "schematic/schematic_file.h"

#include <unordered_map>
#include <unordered_set>

#include "common/byte_io.h"
#include "common/file_io.h"
#include "common/text_format.h"
#include "schematic/page_check.h"
#include "schematic/record_io.h"
#include "schematic/schematic_layout.h"

namespace zephyrim {

namespace {

using namespace schematic_layout;

class Writer {
 public:
  Writer(Schematic& s, Notify& notify, std::time_t now) : s_(s), notify_(notify), now_(now) {}

  std::vector<uint8_t> run();

 private:
  void marker(const char* name) { w_.padded_text(name, kMarkerSize); }
  void short_text(const std::optional<std::string>& t, size_t limit = kMaxShortText) {
    w_.counted_text16(stored_text(t, limit));
  }
  void long_text(const std::optional<std::string>& t, size_t limit) {
    w_.counted_text32(stored_text(t, limit));
  }

  void globals();
  void symbols();
  void sheets();
  void page(Page& p);

  Schematic& s_;
  Notify& notify_;
  std::time_t now_;
  ByteWriter w_;
  std::unordered_map<const LibraryLink*, int32_t> link_pos_;  // the same for every page
};

template <typename T>
std::unordered_map<const T*, int32_t> positions(const std::vector<std::unique_ptr<T>>& list) {
  std::unordered_map<const T*, int32_t> m;
  m.reserve(list.size());
  for (size_t i = 0; i < list.size(); ++i) m.emplace(list[i].get(), static_cast<int32_t>(i));
  return m;
}

template <typename T>
int32_t position_of(const std::unordered_map<const T*, int32_t>& m, const T* r) {
  if (!r) return -1;
  auto it = m.find(r);
  return it == m.end() ? -1 : it->second;
}

void Writer::globals() {
  w_.text("QUILLS");
  w_.zeros(2);
  w_.bytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(kSchematicVersionBytes), 8));
  w_.i32(kSchematicFormat);
  w_.zeros(15 * 4);
  w_.i32(s_.reserved_value);
  w_.i32(s_.bias_display);
  w_.i32(0);
  w_.i32(static_cast<int32_t>(s_.links.size()));
  for (size_t i = 0; i < s_.links.size(); ++i) {
    LibraryLink& l = *s_.links[i];
    l.index = static_cast<int32_t>(i);
    encode_link(w_, l, i + 1 < s_.links.size());
    for (const auto& t : l.texts) short_text(t, kMaxLinkText);
  }
  w_.i32(s_.reserved_pair[0]);
  w_.i32(s_.reserved_pair[1]);
}

bool symbol_saved(const SymbolTableEntry& e) {
  return e.definition && !((e.origin == kOriginLibrary || e.origin == kOriginChosen) && !e.in_use);
}

void Writer::symbols() {
  marker(kSymbolMarker);
  auto& entries = s_.symbols.entries;
  int32_t count = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].definition) entries[i].definition->index = static_cast<int32_t>(i);
    if (symbol_saved(entries[i])) ++count;
  }
  w_.i32(count);
  for (const auto& e : entries) {
    if (!symbol_saved(e)) continue;
    const SymbolRecord& d = *e.definition;
    w_.bytes(e.name.bytes);
    encode_symbol_record(w_, d);
    for (const auto& c : d.draws) encode_draw_command(w_, c);
    for (const auto& p : d.pins) encode_symbol_pin(w_, p);
    if (!d.rot_draws.empty()) {
      for (const auto& c : d.rot_draws) encode_draw_command(w_, c);
      if (d.rot_pins && !d.pins.empty()) {
        // Rotated pins are stored as many as the symbol has pins.
        for (size_t i = 0; i < d.pins.size(); ++i)
          encode_symbol_pin(w_, i < d.rot_pins->size() ? (*d.rot_pins)[i] : SymbolPin{});
      }
    }
    for (const auto* t : {&d.text236, &d.template_text, &d.text260, &d.model_file, &d.text272})
      if (text_present(*t)) short_text(*t);
    w_.i32(e.origin);
  }
}

void Writer::sheets() {
  marker(kSheetsMarker);
  encode_page_table(w_, s_.page_table);
  for (int k = 0; k < s_.page_count(); ++k) {
    const std::string_view t = stored_text(s_.page_table.entries[k].title, kMaxPageTitle);
    if (t.empty()) {
      w_.i32(0);
      continue;
    }
    w_.i32(static_cast<int32_t>(t.size() + 1));  // a page title's length counts its NUL
    w_.nul_text(t);
  }
}

void Writer::page(Page& p) {
  const PageSettings& g = p.settings;
  marker(kSheetMarker);
  for (int32_t v : g.reserved) w_.i32(v);
  for (int32_t v : {g.view_x, g.view_y, g.centre_x, g.centre_y, g.view, g.zoom, g.border, g.show_grid,
                    g.show_title, g.sheet_size, g.scale, g.show_nodes})
    w_.i32(v);
  encode_title_block(w_, p.title);

  // Indices are positions; a reference to a record that is not on this page is stored as none.
  for (size_t i = 0; i < p.blocks.size(); ++i) p.blocks[i]->index = static_cast<int32_t>(i);
  for (size_t i = 0; i < p.labels.size(); ++i) p.labels[i]->index = static_cast<int32_t>(i);
  const auto block_pos = positions(p.blocks);
  const auto label_pos = positions(p.labels);
  std::unordered_map<const SymbolRecord*, int32_t> symbol_pos;
  for (const auto& e : s_.symbols.entries)
    if (e.definition) symbol_pos.emplace(e.definition.get(), e.definition->index);
  auto symbol_index = [&](const SymbolRecord* d) {
    auto it = symbol_pos.find(d);
    return it == symbol_pos.end() ? -1 : it->second;
  };
  auto owner = [&](const BlockRecord* b) { return position_of(block_pos, b); };

  marker(kBlockMarker);
  w_.i32(static_cast<int32_t>(p.blocks.size()));
  for (size_t i = 0; i < p.blocks.size(); ++i) {
    BlockRecord& b = *p.blocks[i];
    if (b.symbol && symbol_index(b.symbol) < 0) b.symbol = nullptr;
    encode_block(w_, b, i + 1 < p.blocks.size());
    if (text_present(b.text)) long_text(b.text, kMaxParamText);
    for (const auto& pin : b.pins) {
      encode_block_pin(w_, pin);
      if (text_present(pin.text)) long_text(pin.text, kMaxParamText);
    }
    if (b.symbol_spec) {
      encode_symbol_spec(w_, *b.symbol_spec);
      if (b.symbol_spec->entries)
        for (const auto& e : *b.symbol_spec->entries) encode_spec_entry(w_, e);
    }
    if (b.symbol) w_.i32(symbol_index(b.symbol));
  }

  marker(kLabelMarker);
  w_.i32(static_cast<int32_t>(p.labels.size()));
  for (size_t i = 0; i < p.labels.size(); ++i) {
    encode_label(w_, *p.labels[i], i + 1 < p.labels.size());
    w_.i32(owner(p.labels[i]->owner));
  }

  marker(kPartMarker);
  w_.i32(static_cast<int32_t>(p.parts.size()));
  for (size_t i = 0; i < p.parts.size(); ++i) {
    const PartRecord& part = *p.parts[i];
    encode_part(w_, part, i + 1 < p.parts.size());
    w_.i32(symbol_index(part.symbol));
    for (const auto& t : part.params) long_text(t, kMaxParamText);
    const int pins = part.symbol ? part.symbol->pin_count() : 0;
    w_.i32(pins);
    for (int k = 0; k < pins; ++k)
      w_.i32(k < static_cast<int>(part.pin_nodes.size()) ? position_of(label_pos, part.pin_nodes[k].label)
                                                         : -1);
    for (const auto& e : part.source_specs) {
      encode_source_spec(w_, e);
      short_text(e.text, kMaxParamText);
    }
    if (text_present(part.template_text)) short_text(part.template_text);
    if (text_present(part.text2)) short_text(part.text2);
    w_.i32(position_of(link_pos_, static_cast<const LibraryLink*>(part.model_link)));
    w_.i32(owner(part.owner));
  }

  marker(kWireMarker);
  w_.i32(static_cast<int32_t>(p.wires.size()));
  for (size_t i = 0; i < p.wires.size(); ++i) {
    encode_wire(w_, *p.wires[i], i + 1 < p.wires.size());
    w_.i32(position_of(label_pos, static_cast<const LabelRecord*>(p.wires[i]->label)));
    w_.i32(owner(p.wires[i]->owner));
  }

  marker(kDotMarker);
  w_.i32(static_cast<int32_t>(p.junctions.size()));
  for (size_t i = 0; i < p.junctions.size(); ++i) {
    encode_junction(w_, *p.junctions[i], i + 1 < p.junctions.size());
    w_.i32(owner(p.junctions[i]->owner));
  }

  marker(kTextMarker);
  w_.i32(static_cast<int32_t>(p.texts.size()));
  for (size_t i = 0; i < p.texts.size(); ++i) {
    const TextRecord& t = *p.texts[i];
    encode_text(w_, t, i + 1 < p.texts.size());
    if (text_present(t.text)) long_text(t.text, kMaxObjectText);
    w_.i32(owner(t.owner));
  }

  for (const auto& r : kReservedBlocks) {
    marker(r.marker);
    w_.i32(0);
  }
}

std::vector<uint8_t> Writer::run() {
  symtab_purge(s_);
  links_prune(s_);
  link_pos_ = positions(s_.links);
  globals();
  symbols();
  sheets();
  const int current = s_.current_page();
  for (int k = 0; k < s_.page_count(); ++k) {
    s_.page_table.current_page = k;
    page_check(s_, notify_);
    if (k == 0 && s_.revision_due) {
      titleblock_revision_update(s_.page().title, now_);
      s_.revision_due = false;
    }
    page(s_.page());
  }
  s_.page_table.current_page = current;
  return w_.take();
}

}  // namespace

std::string sheet_extension(char letter, int k) {
  return strprintf("%c%02d", letter, k > 99 ? 0 : k);
}

void links_prune(Schematic& s) {
  auto named_by_symbol = [&](const LibraryLink& l) {
    for (const auto& e : s.symbols.entries) {
      if (!symbol_saved(e)) continue;
      const SymbolRecord& d = *e.definition;
      if (d.model_file && d.model_link_kind == l.kind && iequals(*d.model_file, *l.file())) return true;
    }
    return false;
  };
  // Every part is visited once, not once per link: big schematics carry a link per part.
  std::unordered_set<const LibraryLink*> used_by_parts;
  for (const auto& page : s.pages)
    for (const auto& p : page->parts)
      if (p->model_link) used_by_parts.insert(p->model_link);
  std::unordered_set<const LibraryLink*> removed;
  std::erase_if(s.links, [&](const std::unique_ptr<LibraryLink>& l) {
    bool drop = false;
    if (l->scope == kLinkSymbol || l->scope == kLinkPart) {
      if (!text_present(l->file()))
        drop = true;
      else if (l->scope == kLinkSymbol)
        drop = !named_by_symbol(*l);
      else
        drop = !used_by_parts.contains(l.get());
    }
    if (drop) removed.insert(l.get());
    return drop;
  });
  if (removed.empty()) return;
  // A part may still name a removed symbol link: it must not keep a freed pointer.
  for (auto& page : s.pages)
    for (auto& p : page->parts)
      if (removed.contains(p->model_link)) p->model_link = nullptr;
}

void part_rail_source_init(PartRecord& p) {
  if (p.value.empty() || !p.source_specs.empty()) return;
  p.source_specs.assign(13, SourceSpec{});
  p.source_specs[0].kind = 1;
  p.source_specs[1].text = p.value.str();
  p.source_specs[6].kind = 1;
}

std::vector<uint8_t> schematic_encode(Schematic& s, Notify& notify, std::time_t now) {
  return Writer(s, notify, now).run();
}

int schematic_save(Schematic& s, const std::string& path, Notify& notify, std::time_t now) {
  if (s.backup_due) {
    s.backup_due = false;
    copy_file(path, with_extension(path, "bks"));
    if (s.loaded_page_count >= 2)
      for (int k = 1; k <= s.loaded_page_count; ++k)
        copy_file(with_extension(path, sheet_extension('s', k)),
                  with_extension(path, sheet_extension('b', k)));
  }
  const std::vector<uint8_t> bytes = schematic_encode(s, notify, now);
  switch (write_file_replacing(path, bytes)) {
    case WriteStatus::ok:
      s.modified = false;
      return 0;
    case WriteStatus::cannot_create:
      notify.error(strprintf("Cannot open file %s", path.c_str()));
      return -1;
    case WriteStatus::failed:
      break;
  }
  notify.error(strprintf("Error writing to schematic file %s", path.c_str()));
  return 1;
}

}  // namespace zephyrim
