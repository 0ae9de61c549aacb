#include "netlist/netlist_template.h"

#include "common/text_format.h"

namespace zephyrim {

namespace {

// The symbol's name up to any backslash, upper-cased.
std::string symbol_name(const PartRecord& part) {
  std::string name = part.symbol ? part.symbol->name.str() : std::string();
  return ascii_upper(name.substr(0, name.find('\\')));
}

// The reference, with the element letter in front when it does not begin with it.
std::string reference(const PartRecord& part, char letter) {
  const std::string ref = part.reference.str();
  if (letter && (ref.empty() || ascii_upper(ref[0]) != ascii_upper(letter)))
    return std::string(1, letter) + ref;
  return ref;
}

// Tokens of the default template; each is followed by a blank except a line end.
std::vector<TemplateToken> default_template(const PartRecord& part, char letter, Notify& notify) {
  const std::string name = symbol_name(part);
  const std::string vi = "VI@" + part.reference.str();
  std::vector<std::string> t;
  auto tail = [&t](std::initializer_list<const char*> more) { t.insert(t.end(), more.begin(), more.end()); };
  if (letter == 'M' && name.starts_with("M3")) {
    t = {"%r", "%n", "%3"};
    tail({"%v", "%pn"});
  } else if (name.starts_with("FLINEAR") || name.starts_with("HLINEAR")) {
    t = {"%r", "%1", "%2", vi, "%v", "%pn", "\n", vi, "%3", "%4"};
  } else if (name.starts_with("EPOWER") || name.starts_with("GPOWER")) {
    t = {"%r", "%1", "%2", "POWER", "%3", "%4", vi, "%v", "%pn", "\n", vi, "%5", "%6"};
  } else if (letter == 'K') {
    t = {"%r", "%p1", "%v", "%pn"};
  } else if (letter == 'N' || letter == 'P' || letter == 'Y' || letter < 'B' || letter > 'Z') {
    notify.error(strprintf("%s no matching SPICE element %c available", part.reference.str().c_str(),
                           letter ? letter : ' '));
    return {};
  } else if ((letter == 'O' && (name == "OATOD" || name == "ODTOA")) || letter == 'U') {
    t = {"%r", name.empty() ? std::string() : name.substr(1), "%n", "%v", "%pn"};
  } else if (letter == 'W') {
    t = {"%r", "%n", "%p1", "%v", "%pn"};
  } else if (letter == 'X' && part.params[0]) {
    t = {"%r", "%n", "%v", "PARAMS:", "%pn"};
  } else {
    t = {"%r", "%n", "%v", "%pn"};
  }
  std::vector<TemplateToken> tokens;
  for (const std::string& s : t)
    if (!s.empty()) tokens.push_back({s, s != "\n"});
  return tokens;
}

// One statement under construction, with its length limit and continuations.
class Statement {
 public:
  Statement(std::string& out, Notify& notify) : out_(out), notify_(notify) {}
  bool full() const { return full_; }
  // Appends an item; a checked item may first start a continuation line.
  void add(const std::string& item, bool checked) {
    if (full_) return;
    if (checked && out_.size() + item.size() > wrap_) {
      out_ += "\n+ ";
      wrap_ += 80;
    }
    if (out_.size() + item.size() >= kStatementBuffer) {
      notify_.error("SPICE netlist statement exceeds buffer size");
      full_ = true;
      return;
    }
    out_ += item;
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
  std::string current;
  auto end_token = [&](bool blank) {
    if (!current.empty() && current != "%" && tokens.size() < kMaxTemplateTokens)
      tokens.push_back({current, blank});
    current.clear();
  };
  for (char c : text) {
    if (c == ' ' || c == '\t') {
      end_token(true);
    } else if (c == '%') {
      end_token(false);
      current = "%";
    } else {
      current += c;
    }
  }
  end_token(false);
  return tokens;
}

char element_letter(const PartRecord& part) {
  const std::string device = part.device.str();
  if (!device.empty()) return ascii_upper(device[0]);
  const std::string name = symbol_name(part);
  return name.empty() ? 0 : name[0];
}

int expand_template(const PartRecord& part, const NodeTable& table, std::string& out, Notify& notify) {
  out.clear();
  std::vector<TemplateToken> tokens;
  char letter = 0;
  if (part.template_text) {
    tokens = tokenize_template(*part.template_text);
    const std::string device = part.device.str();
    letter = device.empty() ? 0 : ascii_upper(device[0]);
  } else {
    letter = element_letter(part);
    tokens = default_template(part, letter, notify);
  }
  if (tokens.empty()) return 0;

  const int pins = part.symbol ? part.symbol->pin_count() : 0;
  auto node = [&](int k) { return node_name(table, part_pin_node(part, k)); };
  auto param = [&](int k) -> const std::optional<std::string>& { return part.params[k]; };
  Statement st(out, notify);
  int cursor = 0;  // the first parameter %pn and %params: look at
  for (const TemplateToken& t : tokens) {
    if (st.full()) break;
    const std::string& s = t.text;
    if (s.size() == 2 && s[0] == '%' && s[1] >= '1' && s[1] <= '9') {
      const int k = s[1] - '1';
      if (k >= pins)
        notify.warning(strprintf("Part %s netlist template contains invalid pin %d",
                                 part.reference.str().c_str(), k + 1));
      else
        st.add(node(k), false);
    } else if (s == "%n") {
      for (int k = 0; k < pins; ++k) st.add(node(k) + " ", k > 0);
    } else if (s == "%r") {
      st.add(reference(part, letter), false);
    } else if (s == "%v") {
      st.add(part.value.str(), true);
    } else if (s == "%p1" || s == "%p2" || s == "%p3") {
      cursor = s[2] - '0';
      if (param(cursor - 1)) st.add(*param(cursor - 1), true);
    } else if (s == "%pn") {
      for (int k = cursor; k < 4; ++k)
        if (param(k)) st.add(*param(k) + " ", true);
    } else if (s == "%params:") {
      bool any = false;
      for (int k = cursor; k < 4; ++k) any = any || param(k).has_value();
      if (any) st.add("PARAMS: ", true);
    } else {
      st.add(s, false);
    }
    if (t.blank_after) st.add(" ", false);
  }
  return 1;
}

}  // namespace zephyrim
