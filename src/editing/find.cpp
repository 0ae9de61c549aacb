#include "editing/find.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>

#include "common/text_format.h"
#include "editing/edit_ops.h"
#include "symbols/draw_command.h"

namespace zephyrim {

namespace {

std::string trimmed(const std::string& s) {
  static constexpr const char* kBlanks = " \t\r\n";
  const size_t b = s.find_first_not_of(kBlanks);
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(kBlanks) - b + 1);
}

// `key` is already upper case.
bool matches(const std::string& name, const std::string& key, bool whole) {
  const std::string n = ascii_upper(name);
  return whole ? n == key : n.find(key) != std::string::npos;
}

std::optional<int> parse_node(const std::string& text) {
  int v = 0;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || p != end) return std::nullopt;
  return v;
}

// Pin tip in page coordinates, at the scale of the page the part is on (the
// page need not be the current one).
Point pin_point(const Page& page, const PartRecord& p, int k) {
  int x = p.symbol->pins[k].x, y = p.symbol->pins[k].y;
  orient_point(x, y, std::max(1, page.settings.scale), p.steps.data(),
               std::clamp<int>(p.step_count, 0, kMaxOrientSteps));
  return {p.x + x, p.y + y};
}

void find_on_page(const Page& page, int page_no, const FindOptions& o, const std::string& key, int node,
                  std::vector<FindHit>& hits) {
  auto add = [&](int index, int x, int y, int pin = -1) {
    hits.push_back({page_no, o.kind, index, pin, x, y});
  };
  switch (o.kind) {
    case FindKind::part:
      for (size_t i = 0; i < page.parts.size(); ++i) {
        const PartRecord& p = *page.parts[i];
        if (matches(p.reference.str(), key, o.whole) ||
            (o.part_values && matches(p.value.str(), key, o.whole)))
          add(static_cast<int>(i), p.x, p.y);
      }
      break;
    case FindKind::label:
      for (size_t i = 0; i < page.labels.size(); ++i) {
        const LabelRecord& l = *page.labels[i];
        if (matches(l.name.str(), key, o.whole)) add(static_cast<int>(i), l.x, l.y);
      }
      break;
    case FindKind::text:
      for (size_t i = 0; i < page.texts.size(); ++i) {
        const TextRecord& t = *page.texts[i];
        if (t.text && matches(*t.text, key, false)) add(static_cast<int>(i), t.x, t.y);
      }
      break;
    case FindKind::subcircuit:
      // Block 0 is the page's top circuit, which has no name to find.
      for (size_t i = 1; i < page.blocks.size(); ++i) {
        const BlockRecord& b = *page.blocks[i];
        if (matches(b.name.str(), key, o.whole)) add(static_cast<int>(i), b.origin_x, b.origin_y);
      }
      break;
    case FindKind::node: {
      if (node < 0) break;
      // The same index in two scopes names two different nodes.
      std::map<const BlockRecord*, bool> seen;
      for (size_t i = 0; i < page.wires.size(); ++i) {
        const WireRecord& w = *page.wires[i];
        if (w.node == node && !seen[w.owner]) {
          seen[w.owner] = true;
          add(static_cast<int>(i), w.x1, w.y1);
        }
      }
      for (size_t i = 0; i < page.parts.size(); ++i) {
        const PartRecord& p = *page.parts[i];
        if (!p.symbol) continue;
        const int pins = std::min<int>(p.symbol->pin_count(), static_cast<int>(p.pin_nodes.size()));
        for (int k = 0; k < pins; ++k)
          if (p.pin_nodes[k].node == node && !seen[p.owner]) {
            seen[p.owner] = true;
            const Point at = pin_point(page, p, k);
            add(static_cast<int>(i), at.x, at.y, k);
          }
      }
      break;
    }
  }
}

void select_hits(Page& page, const FindOptions& o, int node, const std::vector<FindHit>& hits, int current) {
  select_none(page);
  if (o.kind == FindKind::node) {
    for (auto& w : page.wires)
      if (w->node == node) w->selected = 1;
    return;
  }
  for (const FindHit& h : hits) {
    if (h.page != current) continue;
    switch (o.kind) {
      case FindKind::part:
        page.parts[h.index]->selected = 1;
        break;
      case FindKind::label:
        page.labels[h.index]->selected = 1;
        break;
      case FindKind::text:
        page.texts[h.index]->selected = 1;
        break;
      case FindKind::subcircuit:
        select_scope(page, page.blocks[h.index].get());
        break;
      case FindKind::node:
        break;
    }
  }
}

struct Family {
  const char* one;     // "Part"
  const char* plural;  // "parts"
};

Family family(FindKind k) {
  switch (k) {
    case FindKind::part:
      return {"Part", "parts"};
    case FindKind::label:
      return {"Label", "labels"};
    case FindKind::subcircuit:
      return {"Subcircuit", "subcircuits"};
    case FindKind::node:
      return {"Node", "nodes"};
    case FindKind::text:
      return {"Text object", "text objects"};
  }
  return {"Part", "parts"};
}

std::string message_for(const FindOptions& o, const std::string& what, const std::vector<FindHit>& hits) {
  const Family f = family(o.kind);
  const char* w = what.c_str();
  if (o.kind == FindKind::text) {
    if (hits.empty()) return strprintf("Text object matching '%s' not found", w);
    if (hits.size() > 1)
      return strprintf("%d text objects found matching '%s'", static_cast<int>(hits.size()), w);
  } else {
    const char* q = (o.whole || o.kind == FindKind::node) ? "" : " (partial)";
    if (hits.empty()) return strprintf("%s matching%s %s not found", f.one, q, w);
    if (hits.size() > 1)
      return strprintf("%d %s found matching%s %s", static_cast<int>(hits.size()), f.plural, q, w);
    const FindHit& h = hits.front();
    return strprintf("%s%s %s found at %s", f.one, q, w,
                     find_position_text(h.x, h.y, o.all_pages ? h.page : -1).c_str());
  }
  const FindHit& h = hits.front();
  return strprintf("Text object '%s' found at %s", w,
                   find_position_text(h.x, h.y, o.all_pages ? h.page : -1).c_str());
}

}  // namespace

std::string find_position_text(int x, int y, int page) {
  if (page < 0) return strprintf("[%5.2f,%5.2f]", x / 100.0, y / 100.0);
  return strprintf("[%5.2f:%s,%5.2f]", x / 100.0, std::to_string(page + 1).c_str(), y / 100.0);
}

FindResult schematic_find(Schematic& s, const FindOptions& o, Notify& notify) {
  FindResult r;
  const std::string what = trimmed(o.what);
  if (what.empty()) {
    r.message = "Nothing to find";
    notify.warning(r.message);
    return r;
  }
  int node = -1;
  if (o.kind == FindKind::node) {
    const auto n = parse_node(what);
    if (!n) {
      r.message = "Invalid node number - must be an integer";
      notify.error(r.message);
      return r;
    }
    node = *n;
  }

  const std::string key = ascii_upper(what);
  const int current = s.current_page();
  find_on_page(s.page(), current, o, key, node, r.hits);
  if (o.all_pages)
    for (int p = 0; p < s.page_count() && p < static_cast<int>(s.pages.size()); ++p)
      if (p != current) find_on_page(*s.pages[p], p, o, key, node, r.hits);

  r.count = static_cast<int>(r.hits.size());
  r.message = message_for(o, what, r.hits);
  if (r.hits.empty()) {
    notify.warning(r.message);
    return r;
  }
  select_hits(s.page(), o, node, r.hits, current);
  notify.information(r.message);
  return r;
}

}  // namespace zephyrim
