#include "netlist/netlist_template.h"

#include <array>
#include <string_view>

#include "common/text_format.h"

namespace zephyrim {

namespace {

// A token of a template or of a default one, as a view: expanding a netlist
// makes a statement for every part, and copies of its tokens would cost more
// than the statement itself.
struct Token {
  std::string_view text;
  bool blank_after = false;
};

// Room for the tokens of the longest default template.
constexpr size_t kMaxDefaultTokens = 16;

// Calls visit(text, blank_after) for each token of a template: blanks separate
// tokens and are dropped, a "%" begins a new token, a lone "%" is dropped. At
// most kMaxTemplateTokens tokens.
template <typename Visit>
void each_token(std::string_view text, Visit visit) {
  constexpr size_t kNone = std::string_view::npos;
  size_t count = 0, start = kNone;
  auto end_token = [&](size_t end, bool blank) {
    if (start == kNone) return;
    const std::string_view t = text.substr(start, end - start);
    if (t != "%" && count < kMaxTemplateTokens) {
      visit(t, blank);
      ++count;
    }
    start = kNone;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ' || c == '\t') {
      end_token(i, true);
    } else if (c == '%') {
      end_token(i, false);
      start = i;
    } else if (start == kNone) {
      start = i;
    }
  }
  end_token(text.size(), false);
}

// The symbol's name up to any backslash, upper-cased into `buffer`.
std::string_view symbol_name(const PartRecord& part, std::array<char, 32>& buffer) {
  if (!part.symbol) return {};
  std::string_view name = part.symbol->name.view();
  name = name.substr(0, name.find('\\'));
  for (size_t i = 0; i < name.size(); ++i) buffer[i] = ascii_upper(name[i]);
  return {buffer.data(), name.size()};
}

// The node name of a node index; empty when out of range.
std::string_view node_text(const NodeTable& table, int i) {
  if (i < 0 || i >= table.count || i >= table.size()) return {};
  return table.entries[i].name.view();
}

// The tokens of the default template; each is followed by a blank except a
// line end. `vi` holds the text that some of them point into. Empty, with the
// notice, for a letter without a SPICE element.
std::vector<Token> default_template(const PartRecord& part, char letter, std::string& vi, Notify& notify) {
  std::array<char, 32> buffer{};
  const std::string_view name = symbol_name(part, buffer);
  std::array<std::string_view, kMaxDefaultTokens> t{};
  size_t n = 0;
  auto use = [&](std::initializer_list<std::string_view> more) {
    for (std::string_view s : more) t[n++] = s;
  };
  auto vi_text = [&]() -> std::string_view {
    vi = "VI@";
    vi += part.reference.view();
    return vi;
  };
  if (letter == 'M' && name.starts_with("M3")) {
    use({"%r", "%n", "%3", "%v", "%pn"});
  } else if (name.starts_with("FLINEAR") || name.starts_with("HLINEAR")) {
    const std::string_view v = vi_text();
    use({"%r", "%1", "%2", v, "%v", "%pn", "\n", v, "%3", "%4"});
  } else if (name.starts_with("EPOWER") || name.starts_with("GPOWER")) {
    const std::string_view v = vi_text();
    use({"%r", "%1", "%2", "POWER", "%3", "%4", v, "%v", "%pn", "\n", v, "%5", "%6"});
  } else if (letter == 'K') {
    use({"%r", "%p1", "%v", "%pn"});
  } else if (letter == 'N' || letter == 'P' || letter == 'Y' || letter < 'B' || letter > 'Z') {
    notify.error(strprintf("%s no matching SPICE element %c available", part.reference.str().c_str(),
                           letter ? letter : ' '));
    return {};
  } else if ((letter == 'O' && (name == "OATOD" || name == "ODTOA")) || letter == 'U') {
    // The name without its letter; it lives in vi, which no other token of this kind uses.
    vi.assign(name.empty() ? std::string_view() : name.substr(1));
    use({"%r", vi, "%n", "%v", "%pn"});
  } else if (letter == 'W') {
    use({"%r", "%n", "%p1", "%v", "%pn"});
  } else if (letter == 'X' && part.params[0]) {
    use({"%r", "%n", "%v", "PARAMS:", "%pn"});
  } else {
    use({"%r", "%n", "%v", "%pn"});
  }
  std::vector<Token> tokens;
  tokens.reserve(n);
  for (size_t i = 0; i < n; ++i)
    if (!t[i].empty()) tokens.push_back({t[i], t[i] != "\n"});
  return tokens;
}

// One statement under construction, with its length limit and continuations.
class Statement {
 public:
  Statement(std::string& out, Notify& notify) : out_(out), notify_(notify) {}
  bool full() const { return full_; }
  // Appends an item made of a and b; a checked item may first start a
  // continuation line.
  void add(bool checked, std::string_view a, std::string_view b = {}) {
    if (full_) return;
    const size_t size = a.size() + b.size();
    if (checked && out_.size() + size > wrap_) {
      out_ += "\n+ ";
      wrap_ += 80;
    }
    if (out_.size() + size >= kStatementBuffer) {
      notify_.error("SPICE netlist statement exceeds buffer size");
      full_ = true;
      return;
    }
    out_ += a;
    out_ += b;
  }

 private:
  std::string& out_;
  Notify& notify_;
  size_t wrap_ = kFirstWrap;
  bool full_ = false;
};

}  // namespace

std::vector<TemplateToken> tokenize_template(const std::string& text) {
  std::vector<TemplateToken> tokens;
  each_token(text, [&](std::string_view t, bool blank) { tokens.push_back({std::string(t), blank}); });
  return tokens;
}

char element_letter(const PartRecord& part) {
  if (!part.device.empty()) return ascii_upper(static_cast<char>(part.device.bytes[0]));
  std::array<char, 32> buffer{};
  const std::string_view name = symbol_name(part, buffer);
  return name.empty() ? 0 : name[0];
}

int expand_template(const PartRecord& part, const NodeTable& table, std::string& out, Notify& notify) {
  out.clear();
  std::vector<Token> tokens;
  std::string vi;
  char letter = 0;
  if (part.template_text) {
    each_token(*part.template_text, [&](std::string_view t, bool blank) { tokens.push_back({t, blank}); });
    letter = part.device.empty() ? 0 : ascii_upper(static_cast<char>(part.device.bytes[0]));
  } else {
    letter = element_letter(part);
    tokens = default_template(part, letter, vi, notify);
  }
  if (tokens.empty()) return 0;

  const int pins = part.symbol ? part.symbol->pin_count() : 0;
  auto node = [&](int k) { return node_text(table, part_pin_node(part, k)); };
  auto param = [&](int k) -> const std::optional<std::string>& { return part.params[k]; };
  const std::string_view reference = part.reference.view();
  // The reference, with the element letter in front when it does not begin with it.
  const bool lettered = letter && (reference.empty() || ascii_upper(reference[0]) != ascii_upper(letter));
  Statement st(out, notify);
  int cursor = 0;  // the first parameter %pn and %params: look at
  for (const Token& t : tokens) {
    if (st.full()) break;
    const std::string_view s = t.text;
    if (s.size() == 2 && s[0] == '%' && s[1] >= '1' && s[1] <= '9') {
      const int k = s[1] - '1';
      if (k >= pins)
        notify.warning(strprintf("Part %s netlist template contains invalid pin %d",
                                 part.reference.str().c_str(), k + 1));
      else
        st.add(false, node(k));
    } else if (s == "%n") {
      for (int k = 0; k < pins; ++k) st.add(k > 0, node(k), " ");
    } else if (s == "%r") {
      st.add(false, lettered ? std::string_view(&letter, 1) : std::string_view(), reference);
    } else if (s == "%v") {
      st.add(true, part.value.view());
    } else if (s == "%p1" || s == "%p2" || s == "%p3") {
      cursor = s[2] - '0';
      if (param(cursor - 1)) st.add(true, *param(cursor - 1));
    } else if (s == "%pn") {
      for (int k = cursor; k < 4; ++k)
        if (param(k)) st.add(true, *param(k), " ");
    } else if (s == "%params:") {
      bool any = false;
      for (int k = cursor; k < 4; ++k) any = any || param(k).has_value();
      if (any) st.add(true, "PARAMS: ");
    } else {
      st.add(false, s);
    }
    if (t.blank_after) st.add(false, " ");
  }
  return 1;
}

}  // namespace zephyrim
