#include "schematic/schematic_dump.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/text_format.h"

namespace zephyrim {

namespace {

// Fixed-width fields quote their text up to the NUL.
using zephyrim::quote_text;
template <size_t N>
std::string quote_text(const FixedText<N>& text) {
  return quote_text(text.str());
}

// Absent texts show as "-", so they stay apart from empty ones.
std::string quote_opt(const std::optional<std::string>& text) {
  return text ? quote_text(*text) : "-";
}

std::string region_text(const Region& r) {
  return strprintf("%d,%d,%d,%d", r.x1, r.y1, r.x2, r.y2);
}

// Short enough to read, long enough that the value reads back unchanged.
std::string real_text(double v) {
  std::string s = strprintf("%.15g", v);
  if (std::strtod(s.c_str(), nullptr) != v) s = strprintf("%.17g", v);
  return s;
}

// A record's position in a list: "-" for none, "?" for a record not on it (a
// stale reference is only compared, never followed).
template <typename T>
std::string position_text(const std::vector<std::unique_ptr<T>>& list, const T* r) {
  if (!r) return "-";
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].get() == r) return strprintf("%zu", i);
  return "?";
}

std::string label_text(const Page& page, const LabelRecord* l) {
  if (!l) return "-";
  for (const auto& x : page.labels)
    if (x.get() == l) return quote_text(l->name);
  return "?";
}

std::string symbol_ref(const Schematic& s, const SymbolRecord* sym) {
  if (!sym) return "-";
  const int i = symtab_index_of(s, sym);
  if (i < 0) return "?";
  return strprintf("%d %s", i, quote_text(s.symbols.entries[i].name).c_str());
}

std::string link_kind_text(int32_t kind) {
  switch (kind) {
    case kLinkLib:
      return ".LIB";
    case kLinkInc:
      return ".INC";
    case kLinkMdb:
      return "MDB";
    default:
      return strprintf("%d", kind);
  }
}

std::string link_scope_text(int32_t scope) {
  switch (scope) {
    case kLinkProject:
      return "project";
    case kLinkSymbol:
      return "symbol";
    case kLinkPart:
      return "part";
    default:
      return strprintf("%d", scope);
  }
}

std::string symbol_kind_text(int32_t kind) {
  switch (kind) {
    case kSymbolGround:
      return "ground";
    case kSymbolPart:
      return "part";
    case kSymbolPowerRail:
      return "power_rail";
    case kSymbolIoPin:
      return "io_pin";
    default:
      return strprintf("%d", kind);
  }
}

std::string origin_text(int32_t origin) {
  static const char* const kNames[] = {"schematic", "library", "chosen", "block", "generated"};
  if (origin >= 0 && origin < 5) return kNames[origin];
  return strprintf("%d", origin);
}

class Listing {
 public:
  void line(int depth, const std::string& text) {
    out_.append(static_cast<size_t>(depth) * 2, ' ');
    out_ += text;
    out_ += '\n';
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

void dump_symbol_pins(Listing& o, int depth, const std::vector<SymbolPin>& pins) {
  for (size_t i = 0; i < pins.size(); ++i) {
    const SymbolPin& p = pins[i];
    o.line(depth, strprintf("pin %zu side %d at %d,%d lead_end %d number %d name %s", i, p.side, p.x, p.y,
                            p.lead_end, p.number, quote_text(p.pin_name).c_str()));
  }
}

void dump_draws(Listing& o, int depth, const std::vector<DrawCommand>& draws) {
  for (const auto& d : draws) o.line(depth, "draw " + draw_format(d));
}

void dump_definition(Listing& o, const SymbolTableEntry& e) {
  const SymbolRecord& d = *e.definition;
  o.line(2, strprintf("kind %s region %s rotatable %d pins %d draws %zu", symbol_kind_text(d.kind).c_str(),
                      region_text(d.region).c_str(), d.rotatable, d.pin_count(), d.draws.size()));
  dump_symbol_pins(o, 3, d.pins);
  dump_draws(o, 3, d.draws);
  if (!d.rot_draws.empty() || d.rot_pins) {
    const std::string pins = d.rot_pins ? strprintf("%zu", d.rot_pins->size()) : "-";
    o.line(2, strprintf("rotated region %s pins %s draws %zu", region_text(d.rot_region).c_str(),
                        pins.c_str(), d.rot_draws.size()));
    if (d.rot_pins) dump_symbol_pins(o, 3, *d.rot_pins);
    dump_draws(o, 3, d.rot_draws);
  }
  o.line(2, "template " + quote_opt(d.template_text));
  o.line(2, strprintf("model %s file %s", link_kind_text(d.model_link_kind).c_str(),
                      quote_opt(d.model_file).c_str()));
  if (d.name.str() != e.name.str()) o.line(2, "name " + quote_text(d.name));
  if (!d.description.empty()) o.line(2, "description " + quote_text(d.description));
  if (!d.default_value.empty()) o.line(2, "default_value " + quote_text(d.default_value));
  if (d.text236) o.line(2, "text236 " + quote_opt(d.text236));
  if (d.text260) o.line(2, "text260 " + quote_opt(d.text260));
  if (d.text272) o.line(2, "text272 " + quote_opt(d.text272));
}

void dump_symbols(Listing& o, const Schematic& s) {
  const auto& entries = s.symbols.entries;
  o.line(0, strprintf("symbols %zu", entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const SymbolTableEntry& e = entries[i];
    o.line(1, strprintf("symbol %zu %s origin %s in_use %d%s", i, quote_text(e.name).c_str(),
                        origin_text(e.origin).c_str(), e.in_use, e.definition ? "" : " free"));
    if (e.definition) dump_definition(o, e);
  }
}

void dump_links(Listing& o, const Schematic& s) {
  o.line(0, strprintf("links %zu", s.links.size()));
  for (size_t i = 0; i < s.links.size(); ++i) {
    const LibraryLink& l = *s.links[i];
    o.line(1, strprintf("link %zu index %d kind %s scope %s texts %s %s %s", i, l.index,
                        link_kind_text(l.kind).c_str(), link_scope_text(l.scope).c_str(),
                        quote_opt(l.texts[0]).c_str(), quote_opt(l.texts[1]).c_str(),
                        quote_opt(l.texts[2]).c_str()));
  }
}

void dump_page_table(Listing& o, const Schematic& s) {
  const PageTable& t = s.page_table;
  o.line(0, strprintf("page_table pages %d current %d", t.page_count, t.current_page));
  const int n = std::clamp(t.page_count, 0, kMaxPages);
  for (int k = 0; k < n; ++k) {
    const PageTableEntry& e = t.entries[k];
    o.line(1, strprintf("entry %d first_node %d last_node %d renumber %d title %s", k, e.first_node,
                        e.last_node, e.renumber, quote_opt(e.title).c_str()));
  }
}

void dump_title(Listing& o, const TitleBlock& t) {
  o.line(1, "title_block");
  o.line(2, "title1 " + quote_text(t.title1));
  o.line(2, "title2 " + quote_text(t.title2));
  o.line(2, "file " + quote_text(t.file));
  o.line(2, "page " + quote_text(t.page));
  o.line(2, "number " + quote_text(t.number));
  o.line(2, "revision " + quote_text(t.revision));
  o.line(2, "drawn_by " + quote_text(t.drawn_by));
  o.line(2, "created " + quote_text(t.created));
  o.line(2, "revised " + quote_text(t.revised));
  o.line(2, "size " + quote_text(t.size));
}

std::string spec_text(const SymbolSpec& spec) {
  const auto* text = reinterpret_cast<const char*>(spec.text.data());
  const std::string_view shown(text, strnlen(text, spec.text.size()));
  std::string out = strprintf("spec %s text %s words %d,%d,%d,%d entry_count %d entries ",
                              quote_text(spec.name).c_str(), quote_text(shown).c_str(), spec.words[0],
                              spec.words[1], spec.words[2], spec.words[3], spec.entry_count);
  if (!spec.entries) return out + "-";
  out += strprintf("%zu", spec.entries->size());
  for (const auto& e : *spec.entries) out += " " + quote_text(e.name);
  return out;
}

void dump_blocks(Listing& o, const Schematic& s, const Page& page) {
  o.line(1, strprintf("blocks %zu", page.blocks.size()));
  for (size_t i = 0; i < page.blocks.size(); ++i) {
    const BlockRecord& b = *page.blocks[i];
    o.line(2, strprintf("block %zu name %s origin %d,%d first_node %d symbol %s pins %zu text %s", i,
                        quote_text(b.name).c_str(), b.origin_x, b.origin_y, b.first_node,
                        symbol_ref(s, b.symbol).c_str(), b.pins.size(), quote_opt(b.text).c_str()));
    for (size_t k = 0; k < b.pins.size(); ++k) {
      const BlockPin& p = b.pins[k];
      o.line(3, strprintf("pin %zu name %s words %d,%d,0x%08X text %s", k, quote_text(p.name).c_str(),
                          p.word0, p.word4, p.word16, quote_opt(p.text).c_str()));
    }
    o.line(3, b.symbol_spec ? spec_text(*b.symbol_spec) : "spec -");
  }
}

void dump_parts(Listing& o, const Schematic& s, const Page& page) {
  o.line(1, strprintf("parts %zu", page.parts.size()));
  for (size_t i = 0; i < page.parts.size(); ++i) {
    const PartRecord& p = *page.parts[i];
    std::string steps;
    const int count = std::clamp<int>(p.step_count, 0, kMaxOrientSteps);
    for (int k = 0; k < count; ++k) steps += strprintf(k ? ",%d" : "%d", p.steps[k]);
    if (steps.empty()) steps = "-";
    o.line(2, strprintf("part %zu %s value %s device %s symbol %s at %d,%d steps %s region %s owner %s "
                        "disabled %d selected %d",
                        i, quote_text(p.reference).c_str(), quote_text(p.value).c_str(),
                        quote_text(p.device).c_str(), symbol_ref(s, p.symbol).c_str(), p.x, p.y,
                        steps.c_str(), region_text(p.region).c_str(),
                        position_text(page.blocks, p.owner).c_str(), p.disabled, p.selected));
    for (size_t k = 0; k < p.params.size(); ++k)
      if (p.params[k] || p.show[k])
        o.line(3, strprintf("param %zu show %d %s", k + 1, p.show[k], quote_opt(p.params[k]).c_str()));
    o.line(3, "template " + quote_opt(p.template_text));
    o.line(3, strprintf("model_link %s text2 %s", position_text(s.links, p.model_link).c_str(),
                        quote_opt(p.text2).c_str()));
    std::string pins = strprintf("pins %zu", p.pin_nodes.size());
    for (const auto& pn : p.pin_nodes) pins += " " + label_text(page, pn.label);
    o.line(3, pins);
    for (size_t k = 0; k < p.source_specs.size(); ++k) {
      const SourceSpec& e = p.source_specs[k];
      o.line(3, strprintf("source %zu kind %d word4 %d value %s word20 %d text %s", k, e.kind, e.word4,
                          real_text(e.value).c_str(), e.word20, quote_opt(e.text).c_str()));
    }
  }
}

void dump_page(Listing& o, const Schematic& s, const Page& page, size_t n) {
  o.line(0, strprintf("page %zu", n));
  const PageSettings& g = page.settings;
  o.line(1, strprintf("settings view_origin %d,%d centre %d,%d view %d zoom %d border %d grid %d title %d "
                      "sheet_size %d scale %d nodes %d",
                      g.view_x, g.view_y, g.centre_x, g.centre_y, g.view, g.zoom, g.border, g.show_grid,
                      g.show_title, g.sheet_size, g.scale, g.show_nodes));
  dump_title(o, page.title);
  dump_blocks(o, s, page);
  dump_parts(o, s, page);

  o.line(1, strprintf("wires %zu", page.wires.size()));
  for (size_t i = 0; i < page.wires.size(); ++i) {
    const WireRecord& w = *page.wires[i];
    o.line(2, strprintf("wire %zu %d,%d - %d,%d orientation %d node %d label %s owner %s disabled %d", i,
                        w.x1, w.y1, w.x2, w.y2, w.orientation, w.node, label_text(page, w.label).c_str(),
                        position_text(page.blocks, w.owner).c_str(), w.disabled));
  }
  o.line(1, strprintf("junctions %zu", page.junctions.size()));
  for (size_t i = 0; i < page.junctions.size(); ++i) {
    const JunctionRecord& j = *page.junctions[i];
    o.line(2, strprintf("junction %zu at %d,%d owner %s disabled %d", i, j.x, j.y,
                        position_text(page.blocks, j.owner).c_str(), j.disabled));
  }
  o.line(1, strprintf("labels %zu", page.labels.size()));
  for (size_t i = 0; i < page.labels.size(); ++i) {
    const LabelRecord& l = *page.labels[i];
    o.line(2, strprintf("label %zu %s at %d,%d width %d owner %s", i, quote_text(l.name).c_str(), l.x, l.y,
                        l.width, position_text(page.blocks, l.owner).c_str()));
  }
  o.line(1, strprintf("texts %zu", page.texts.size()));
  for (size_t i = 0; i < page.texts.size(); ++i) {
    const TextRecord& t = *page.texts[i];
    o.line(2, strprintf("text %zu at %d,%d box %s spacing %g owner %s disabled %d %s", i, t.x, t.y,
                        region_text(t.box).c_str(), static_cast<double>(t.line_spacing),
                        position_text(page.blocks, t.owner).c_str(), t.disabled, quote_opt(t.text).c_str()));
  }
}

}  // namespace

std::string schematic_dump(const Schematic& s) {
  Listing o;
  o.line(0, strprintf("globals reserved_value %d bias_display %d reserved_pair %d,%d", s.reserved_value,
                      s.bias_display, s.reserved_pair[0], s.reserved_pair[1]));
  dump_links(o, s);
  dump_symbols(o, s);
  dump_page_table(o, s);
  for (size_t n = 0; n < s.pages.size(); ++n) dump_page(o, s, *s.pages[n], n);
  return o.take();
}

}  // namespace zephyrim
