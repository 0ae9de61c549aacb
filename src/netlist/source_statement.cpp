#include "netlist/source_statement.h"

#include <algorithm>
#include <cstdio>

#include "common/eng_number.h"
#include "common/text_format.h"

namespace zephyrim {

namespace {

constexpr size_t kMaxSourceText = 256;
constexpr size_t kLineLimit = 80;  // a slot line is broken once it reaches this length

constexpr const char* kPwlKeywordNames[kPwlKeywords] = {"TD", "TS", "TPER", "VOFF", "VS"};

long spec_size(const PartRecord& p) {
  return static_cast<long>(p.source_specs.size());
}

// Entry i, or null when the array does not reach it. Every index below comes
// from stored ints, so nothing is read without this check.
const SourceSpec* entry(const PartRecord& p, long i) {
  return i >= 0 && i < spec_size(p) ? &p.source_specs[static_cast<size_t>(i)] : nullptr;
}
int int_of(const PartRecord& p, long i) {
  const SourceSpec* e = entry(p, i);
  return e ? e->kind : 0;
}
double value_of(const PartRecord& p, long i) {
  const SourceSpec* e = entry(p, i);
  return e ? e->value : 0.0;
}
std::string text_of(const PartRecord& p, long i) {
  const SourceSpec* e = entry(p, i);
  return e && e->text ? *e->text : std::string();
}

std::string format_g(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%G", v);
  return buf;
}

bool is_function(int f) {
  return f >= kSourceExp && f <= kSourceSin;
}

// Index of function f's first value entry, or -1 when it has none. Value entries
// never lie among the fixed ones; a stored index that points there (or past the
// end) is treated as no values rather than read as someone else's entry.
long first_value(const PartRecord& p, int f) {
  if (!is_function(f)) return -1;
  const long i = static_cast<long>(int_of(p, kSourceInUse + f)) + 1;
  return i >= kSourceFixedEntries && i < spec_size(p) ? i : -1;
}

void ensure_fixed(PartRecord& p) {
  if (p.source_specs.size() < static_cast<size_t>(kSourceFixedEntries))
    p.source_specs.resize(kSourceFixedEntries);
}

void set_text(SourceSpec& e, const std::string& text) {
  if (text.empty()) {
    e.text.reset();
  } else {
    e.text = text.substr(0, kMaxSourceText);
  }
}

// Makes room for `need` value entries of function f and returns the first one.
// A function without entries gets them at the end of the array.
long reserve_values(PartRecord& p, int f, long need) {
  ensure_fixed(p);
  long base = first_value(p, f);
  if (base < 0) {
    base = spec_size(p);
    p.source_specs[static_cast<size_t>(kSourceInUse + f)].kind = static_cast<int32_t>(base - 1);
  }
  if (base + need > spec_size(p)) p.source_specs.resize(static_cast<size_t>(base + need));
  return base;
}

// A number stored without its text is shown as the statement would write it.
std::string text_or_number(const PartRecord& part, int i) {
  const std::string text = text_of(part, i);
  if (!text.empty() || value_of(part, i) == 0.0) return text;
  return format_g(value_of(part, i));
}

}  // namespace

const char* source_function_name(int f) {
  static constexpr const char* kNames[] = {"", "EXP", "FILE", "PULSE", "PWL", "SFFM", "SIN"};
  return is_function(f) ? kNames[f] : "";
}

int source_function_slots(int f) {
  static constexpr int kSlots[] = {0, 6, 0, 8, kPwlKeywords, 5, 6};
  return is_function(f) ? kSlots[f] : 0;
}

bool source_is_independent(const PartRecord& part) {
  std::string letters = part.device.str();
  if (letters.empty() && part.symbol) letters = part.symbol->name.str();
  if (letters.empty()) return false;
  const char c = ascii_upper(letters[0]);
  return c == 'V' || c == 'I';
}

namespace {

bool writes_source(const PartRecord& part) {
  return part.source_specs.size() > 12 && int_of(part, kSourceInUse) != 0 && source_is_independent(part);
}

}  // namespace

int write_source_statement(std::string& out, const PartRecord& part, const std::string& node1,
                           const std::string& node2) {
  if (!writes_source(part)) return 0;

  std::string line = part.reference.str() + " " + node1 + " " + node2 + " ";
  if (int_of(part, kSourceDcSwitch) > 0) {
    const std::string dc = text_of(part, kSourceDcText);
    if (!dc.empty()) line += dc + " ";
  }
  if (int_of(part, kSourceAcSwitch) > 0) {
    const std::string magnitude = text_of(part, kSourceAcMagnitude);
    line += "AC " + (magnitude.empty() ? format_g(value_of(part, kSourceAcMagnitude)) : magnitude) + " ";
    const std::string phase = text_of(part, kSourceAcPhase);
    if (!phase.empty()) {
      line += phase + " ";
    } else if (value_of(part, kSourceAcPhase) != 0.0) {
      line += format_g(value_of(part, kSourceAcPhase)) + " ";
    }
  }

  const int f = int_of(part, kSourceFunction);
  if (is_function(f)) {
    line += std::string(source_function_name(f)) + " ";
    const std::vector<std::string> slots = source_values(part, f);
    if (f == kSourceFile) {
      line += "\"" + slots[0] + "\"";
    } else if (f == kSourcePwl) {
      for (int i = 0; i < kPwlKeywords; ++i) {
        if (!slots[i].empty()) line += std::string(kPwlKeywordNames[i]) + "=" + slots[i] + " ";
      }
      out += line + "\n";
      line.clear();
      for (const SourcePoint& pt : source_pwl_points(part))
        out += "+ " + format_g(pt.first) + "," + format_g(pt.second) + "\n";
    } else {
      int last = -1;
      for (int i = 0; i < static_cast<int>(slots.size()); ++i) {
        if (!slots[i].empty()) last = i;
      }
      for (int i = 0; i <= last; ++i) {
        line += (slots[i].empty() ? std::string("0") : slots[i]) + " ";
        if (line.size() >= kLineLimit) {
          out += line + "\n";
          line = i == last ? "" : "+ ";
        }
      }
    }
  }
  // After PWL's points or a break on the last slot nothing is left; a blank line
  // would only clutter the netlist.
  if (!line.empty()) out += line + "\n";
  return 1;
}

int write_source_statement(std::string& out, const PartRecord& part, const NodeTable& table) {
  // Most parts are not sources: their node names are not looked up.
  if (!writes_source(part)) return 0;
  return write_source_statement(out, part, node_name(table, part_pin_node(part, 0)),
                                node_name(table, part_pin_node(part, 1)));
}

void source_set_in_use(PartRecord& part, bool in_use) {
  ensure_fixed(part);
  part.source_specs[kSourceInUse].kind = in_use ? 1 : 0;
}
bool source_in_use(const PartRecord& part) {
  return int_of(part, kSourceInUse) != 0;
}

void source_set_dc(PartRecord& part, bool on, const std::string& text) {
  ensure_fixed(part);
  part.source_specs[kSourceDcSwitch].kind = on ? 1 : 0;
  set_text(part.source_specs[kSourceDcText], text);
}
bool source_dc_on(const PartRecord& part) {
  return int_of(part, kSourceDcSwitch) > 0;
}
std::string source_dc_text(const PartRecord& part) {
  return text_of(part, kSourceDcText);
}

void source_set_ac(PartRecord& part, bool on, const std::string& magnitude, const std::string& phase) {
  ensure_fixed(part);
  part.source_specs[kSourceAcSwitch].kind = on ? 1 : 0;
  for (auto [i, text] : {std::pair{kSourceAcMagnitude, magnitude}, std::pair{kSourceAcPhase, phase}}) {
    SourceSpec& e = part.source_specs[static_cast<size_t>(i)];
    set_text(e, text);
    std::string scratch = text;
    double v = 0.0;
    parse_eng(scratch, v);  // leaves 0 for a text that is no number
    e.value = v;
  }
}
bool source_ac_on(const PartRecord& part) {
  return int_of(part, kSourceAcSwitch) > 0;
}

std::string source_ac_magnitude(const PartRecord& part) {
  return text_or_number(part, kSourceAcMagnitude);
}
std::string source_ac_phase(const PartRecord& part) {
  return text_or_number(part, kSourceAcPhase);
}

void source_set_function(PartRecord& part, int f) {
  ensure_fixed(part);
  part.source_specs[kSourceFunction].kind = is_function(f) ? f : kSourceNone;
}
int source_function(const PartRecord& part) {
  const int f = int_of(part, kSourceFunction);
  return is_function(f) ? f : kSourceNone;
}

void source_set_values(PartRecord& part, int f, const std::vector<std::string>& slots) {
  if (!is_function(f)) return;
  const int n = f == kSourceFile ? 1 : source_function_slots(f);
  // PWL's point count follows its keyword values, so its block is one longer.
  const long base = reserve_values(part, f, f == kSourcePwl ? n + 1 : n);
  for (int i = 0; i < n; ++i) {
    set_text(part.source_specs[static_cast<size_t>(base + i)],
             i < static_cast<int>(slots.size()) ? slots[i] : "");
  }
}

std::vector<std::string> source_values(const PartRecord& part, int f) {
  if (!is_function(f)) return {};
  const int n = f == kSourceFile ? 1 : source_function_slots(f);
  std::vector<std::string> slots(static_cast<size_t>(n));
  const long base = first_value(part, f);
  if (base >= 0) {
    for (int i = 0; i < n; ++i) slots[i] = text_of(part, base + i);
  }
  return slots;
}

void source_set_pwl_points(PartRecord& part, const std::vector<SourcePoint>& points) {
  const long need = kPwlKeywords + 1 + 2 * static_cast<long>(points.size());
  long base = reserve_values(part, kSourcePwl, kPwlKeywords + 1);
  // The points must not run into another function's values: when one follows,
  // the PWL block moves to the end of the array.
  long limit = spec_size(part);
  for (int f = kSourceExp; f <= kSourceSin; ++f) {
    const long other = first_value(part, f);
    if (f != kSourcePwl && other > base) limit = std::min(limit, other);
  }
  if (base + need > limit && limit < spec_size(part)) {
    const long moved = spec_size(part);
    part.source_specs.resize(static_cast<size_t>(moved + kPwlKeywords + 1));
    std::copy_n(part.source_specs.begin() + base, kPwlKeywords + 1, part.source_specs.begin() + moved);
    part.source_specs[kSourceInUse + kSourcePwl].kind = static_cast<int32_t>(moved - 1);
    base = moved;
    limit = spec_size(part);
  }
  // When the block ends the array, old points beyond the new ones are dropped.
  if (limit == spec_size(part)) part.source_specs.resize(static_cast<size_t>(base + need));
  part.source_specs[static_cast<size_t>(base + kPwlKeywords)].kind = static_cast<int32_t>(points.size());
  for (size_t k = 0; k < points.size(); ++k) {
    part.source_specs[static_cast<size_t>(base + kPwlKeywords + 1) + 2 * k].value = points[k].first;
    part.source_specs[static_cast<size_t>(base + kPwlKeywords + 2) + 2 * k].value = points[k].second;
  }
}

std::vector<SourcePoint> source_pwl_points(const PartRecord& part) {
  const long base = first_value(part, kSourcePwl);
  if (base < 0) return {};
  const long first = base + kPwlKeywords + 1;
  // The stored count is trusted only as far as the array holds its points.
  const long available = std::max(0L, (spec_size(part) - first) / 2);
  const long count = std::clamp(static_cast<long>(int_of(part, base + kPwlKeywords)), 0L, available);
  std::vector<SourcePoint> points;
  points.reserve(static_cast<size_t>(count));
  for (long k = 0; k < count; ++k)
    points.emplace_back(value_of(part, first + 2 * k), value_of(part, first + 2 * k + 1));
  return points;
}

}  // namespace zephyrim
