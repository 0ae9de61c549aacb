#pragma once
// Random schematics built through the model API, in the state a loaded file
// leaves them (symbols that came with a file, blocks marked dirty, configured
// colours), so that saving one, loading it and saving again must give the same
// bytes. Shared by the file tests, the fuzz seeds and the benchmarks.
#include <memory>
#include <random>
#include <string>

#include "common/notify.h"
#include "schematic/schematic.h"
#include "schematic/schematic_file.h"

namespace zephyrim::testing_support {

struct RandomSizes {
  int pages = 3;
  int parts = 12;  // per page, at most
  int wires = 12;
  int labels = 4;
  int texts = 3;
  int blocks = 2;  // subcircuit blocks per page, at most
  int symbols = 5;
  bool exact = false;  // every count at its maximum, for benchmarks of a known size
};

// The pages of the benchmarks: 1000 parts each, with their wires, junctions,
// labels, texts and subcircuit blocks, every count at its maximum.
inline RandomSizes benchmark_sizes(int pages) {
  RandomSizes z;
  z.pages = pages;
  z.parts = 1000;
  z.wires = 1200;
  z.labels = 100;
  z.texts = 10;
  z.blocks = 3;
  z.symbols = 40;
  z.exact = true;
  return z;
}

inline std::string random_text(std::mt19937& rng, size_t max_length) {
  static const char kChars[] = "abcXYZ019 _+-*.()=\n\t;\"'\\\x7f\xe9";
  std::uniform_int_distribution<size_t> len(1, max_length), pick(0, sizeof kChars - 2);
  std::string t(len(rng), 'a');
  for (char& c : t) c = kChars[pick(rng)];
  return t;
}

inline std::unique_ptr<SymbolRecord> random_symbol(std::mt19937& rng, int n) {
  auto d = std::make_unique<SymbolRecord>();
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  d->name.assign("SYM" + std::to_string(n));
  d->description.assign(random_text(rng, 40));
  d->default_value.assign(random_text(rng, 20));
  const int kinds[] = {kSymbolGround, kSymbolPart, kSymbolPart, kSymbolPowerRail, kSymbolIoPin};
  d->kind = kinds[pick(0, 4)];
  d->reserved8 = pick(-3, 3);
  d->region = {-8 * pick(1, 6), -8 * pick(1, 6), 8 * pick(1, 6), 8 * pick(1, 6)};
  d->rotatable = pick(0, 1);
  const int pins = pick(0, 6);
  for (int i = 0; i < pins; ++i) {
    SymbolPin p;
    p.side = pick(1, 8);
    p.x = 8 * pick(-4, 4);
    p.y = 8 * pick(-4, 4);
    p.lead_end = pick(-20, 20);
    p.number = pick(-1, 9);
    p.pin_name.assign(random_text(rng, 7));
    p.reserved = {pick(0, 2), pick(0, 2)};
    d->pins.push_back(p);
  }
  const int draws = pick(1, 8);
  for (int i = 0; i < draws; ++i) {
    DrawCommand c;
    c.op = static_cast<uint8_t>("MVLPTRCFZ"[pick(0, 8)]);
    c.arg_count = pick(0, 15);
    for (auto& a : c.args) a = pick(-100, 100);
    d->draws.push_back(c);
  }
  if (pick(0, 3) == 0) {
    d->rot_draws = d->draws;
    d->rot_region = {d->region.y1, -d->region.x2, d->region.y2, -d->region.x1};
    if (pins > 0 && pick(0, 1)) d->rot_pins = d->pins;
  }
  if (pick(0, 1)) d->template_text = random_text(rng, 60);
  if (pick(0, 3) == 0) d->text236 = random_text(rng, 10);
  if (pick(0, 3) == 0) d->text260 = random_text(rng, 10);
  if (pick(0, 3) == 0) d->text272 = random_text(rng, 10);
  if (pick(0, 2) == 0) {
    d->model_file = "models/" + std::to_string(n) + ".lib";
    d->model_link_kind = pick(0, 2);
  }
  d->reserved240 = {pick(0, 5), 0, pick(0, 5), 0};
  return d;
}

inline std::unique_ptr<Schematic> random_schematic(uint32_t seed, const RandomSizes& z = RandomSizes{}) {
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto coin = [&](int one_in) { return pick(1, one_in) == 1; };
  auto count = [&](int lo, int hi) { return z.exact ? hi : pick(lo, hi); };
  RecordingNotify notify;
  auto s = schematic_new("random.sch", 1767600000);
  s->reserved_value = pick(-5, 5);
  s->bias_display = coin(2) ? 0 : 2;
  s->reserved_pair = {pick(0, 9), pick(0, 9)};

  std::vector<const SymbolRecord*> symbols;
  const int nsym = count(1, z.symbols);
  for (int i = 0; i < nsym; ++i) {
    auto d = random_symbol(rng, i);
    const int origin = coin(5) ? kOriginGenerated : kOriginSchematic;
    const std::string name = d->name.str();
    const int at = symtab_add(*s, name, std::move(d), origin, notify);
    symbols.push_back(s->symbols.entries[at].definition.get());
  }
  // Symbol links for the symbols that name a model file, and a project link.
  for (const auto& e : s->symbols.entries) {
    const SymbolRecord& d = *e.definition;
    if (!d.model_file) continue;
    auto l = std::make_unique<LibraryLink>();
    l->kind = d.model_link_kind;
    l->scope = kLinkSymbol;
    l->texts[0] = d.model_file;
    s->links.push_back(std::move(l));
  }
  if (coin(2)) {
    auto l = std::make_unique<LibraryLink>();
    l->kind = kLinkInc;
    l->texts = {std::string("project models.inc"), random_text(rng, 8), std::nullopt};
    l->words = {1, 2, 3, 4};
    s->links.push_back(std::move(l));
  }

  const int pages = count(1, z.pages);
  for (int pg = 0; pg < pages; ++pg) {
    if (pg > 0) page_add(*s, notify, 1767600000);
    Page& page = s->page();
    page.settings.view_x = 8 * pick(0, 50);
    page.settings.view_y = 8 * pick(0, 50);
    page.settings.zoom = kZoom50;
    page.settings.sheet_size = pick(0, 7);
    page.settings.scale = pick(1, 2);
    page.settings.show_nodes = pick(0, 1);
    page.title.title1.assign(random_text(rng, 30));
    if (coin(2)) s->page_table.entries[pg].title = random_text(rng, 40);
    page.top()->text = coin(3) ? std::optional<std::string>(random_text(rng, 50)) : std::nullopt;

    std::vector<BlockRecord*> blocks{page.top()};
    const int nblocks = count(0, z.blocks);
    for (int b = 0; b < nblocks; ++b) {
      BlockRecord* blk = block_new(*s);
      blk->name.assign("SUB" + std::to_string(pg) + "_" + std::to_string(b));
      if (coin(2)) blk->text = random_text(rng, 100);
      const int pins = pick(0, 3);
      for (int k = 0; k < pins; ++k) {
        BlockPin p;
        p.word0 = pick(0, 4);
        p.name.assign(random_text(rng, 7));
        p.word16 = 0x3f800000;
        if (coin(2)) p.text = random_text(rng, 20);
        blk->pins.push_back(p);
      }
      if (coin(2)) {
        SymbolSpec spec;
        spec.name.assign("X" + blk->name.str());
        spec.words = {pick(0, 9), 1, 0, 64};
        if (coin(2)) {
          spec.entries.emplace();
          for (int k = 0; k < pick(0, 4); ++k) {
            SymbolSpecEntry e;
            e.name.assign(std::to_string(k + 1));
            e.words = {0, pick(0, 3), k};
            spec.entries->push_back(e);
          }
        } else {
          spec.entry_count = pick(0, 3);
        }
        blk->symbol_spec = spec;
      }
      if (coin(2)) blk->symbol = symbols[pick(0, nsym - 1)];
      blk->origin_x = 8 * pick(1, 20);
      blk->origin_y = 8 * pick(1, 20);
      blk->words56[3] = pick(0, 7);
      blocks.push_back(blk);
    }
    auto owner = [&] { return blocks[pick(0, static_cast<int>(blocks.size()) - 1)]; };

    std::vector<LabelRecord*> labels;
    for (int i = 0, n = count(0, z.labels); i < n; ++i) {
      LabelRecord* l = label_new(*s);
      l->name.assign(random_text(rng, 31));
      l->width = 8 * pick(1, 10);
      l->x = 8 * pick(1, 100);
      l->y = 8 * pick(1, 100);
      l->owner = owner();
      labels.push_back(l);
    }
    auto some_label = [&]() -> LabelRecord* {
      return labels.empty() || coin(2) ? nullptr : labels[pick(0, static_cast<int>(labels.size()) - 1)];
    };

    for (int i = 0, n = count(0, z.parts); i < n; ++i) {
      PartRecord* p = part_place(*s, symbols[pick(0, nsym - 1)], 8 * pick(1, 120), 8 * pick(1, 80));
      p->reference.assign("P" + std::to_string(i));
      p->value.assign(random_text(rng, 31));
      if (coin(3)) p->device.assign("X");
      for (int k = 0; k < 4; ++k) {
        if (coin(2)) p->params[k] = random_text(rng, 256);
        p->show[k] = pick(0, 1);
      }
      for (int k = 0, steps = pick(0, 3); k < steps; ++k) {
        const int step = std::array<int, 3>{kStepRotate, kStepMirror, kStepFlip}[pick(0, 2)];
        part_orient(*s, *p, step, notify);
      }
      for (auto& pn : p->pin_nodes) pn.label = some_label();
      if (p->symbol->kind == kSymbolPowerRail) {
        part_rail_source_init(*p);
      } else if (coin(4)) {
        p->source_specs.resize(13 + pick(0, 2));
        for (auto& e : p->source_specs) {
          e.kind = pick(0, 6);
          e.value = pick(-1000, 1000) / 7.0;
          if (coin(3)) e.text = random_text(rng, 40);
        }
      }
      if (coin(3)) p->template_text = random_text(rng, 200);
      if (coin(4)) p->text2 = random_text(rng, 20);
      if (!s->links.empty() && coin(3)) {
        auto l = std::make_unique<LibraryLink>();
        l->kind = kLinkLib;
        l->scope = kLinkPart;
        l->texts[0] = "part" + std::to_string(i) + ".lib";
        p->model_link = l.get();
        s->links.push_back(std::move(l));
      }
      p->owner = owner();
      p->disabled = coin(6);
    }
    for (int i = 0, n = count(0, z.wires); i < n; ++i) {
      const int x = 8 * pick(1, 100), y = 8 * pick(1, 100), len = 8 * pick(1, 20);
      WireRecord* w = coin(2) ? wire_add(*s, x, y, x + len, y) : wire_add(*s, x, y, x, y + len);
      w->label = some_label();
      w->owner = owner();
      w->node = pick(-1, 30);
      w->selected = coin(8);
    }
    for (int i = 0, n = count(0, z.wires / 2); i < n; ++i) {
      JunctionRecord* j = junction_add(*s, 8 * pick(1, 100), 8 * pick(1, 100));
      j->owner = owner();
    }
    for (int i = 0, n = count(0, z.texts); i < n; ++i) {
      TextRecord* t = text_new(*s);
      t->text = random_text(rng, 512);
      t->x = 8 * pick(1, 100);
      t->y = 8 * pick(1, 100);
      t->box = {0, -12, 8 * pick(1, 40), 0};
      t->color2 = pick(0, 15);
      t->owner = owner();
      t->disabled = coin(5);
    }
    for (auto& b : page.blocks) b->dirty = 1;
  }
  // A symbol that a block uses is a block symbol, as loading makes it.
  for (auto& e : s->symbols.entries)
    for (const auto& page : s->pages)
      for (const auto& b : page->blocks)
        if (b->symbol == e.definition.get()) e.origin = kOriginBlock;
  page_select(*s, pick(0, s->page_count() - 1), notify);
  return s;
}

}  // namespace zephyrim::testing_support
