// The scanner of expressions: result names, tokens, the look-up of names as
// vectors, user parameters and constants.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <new>

#include "common/eng_number.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/calc/complex_data.h"
#include "viewer/calc/expression.h"

namespace zephyrim {

const char* const kExprFunctionNames[FUNC_COUNT] = {
    "ABS",   "ACOS", "ASIN", "ATAN", "COSH", "COS",  "EXP", "LOG10",  "LOG",  "POW10",
    "ROUND", "SINH", "SIN",  "SQRT", "SQR",  "TANH", "TAN", "TRUNC",  "DIFF", "S",
    "AVG",   "RMS",  "DB",   "M",    "P",    "R",    "IMG", "JCMPLX", "URAMP"};

namespace {

struct BuiltinConstant {
  const char* name;
  double value;
};
constexpr BuiltinConstant kConstants[] = {{"PI", 3.141592653589793}, {"Q", 1.6e-19},   {"C", 3e8},
                                          {"EPS0", 8.85e-12},        {"MU0", 1.26e-6}, {"K", 1.38e-23}};

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

class Scanner {
 public:
  Scanner(DataStore& store, const ExprSelection& selection, TokenList& list)
      : store_(store), selection_(selection), list_(list) {}

  int run(std::string_view expression);

 private:
  bool constant(size_t& i);
  bool name(size_t& i);
  bool function(size_t& i);
  // Looks a name up as a vector; -1 when unknown, -2 after a message.
  int variable(const std::string& name);
  const DataVector* find(const std::string& name);
  std::optional<double> named_constant(const std::string& name) const;
  void add(Token t) { list_.tokens.push_back(t); }
  void fail(const std::string& message) { store_.notify().error(message); }

  DataStore& store_;
  const ExprSelection& selection_;
  TokenList& list_;
  std::string text_;  // upper case
};

int Scanner::run(std::string_view expression) {
  text_ = ascii_upper(expression.substr(0, kExprTextMax));
  list_.text = std::string(expression.substr(0, kExprTextMax));
  if (std::count(text_.begin(), text_.end(), '(') != std::count(text_.begin(), text_.end(), ')')) {
    fail("Mismatched parenthesis error found in expression:\n" + list_.text);
    return 0;
  }
  size_t i = 0;
  for (;;) {
    while (i < text_.size() && is_blank(text_[i])) ++i;
    if (i >= text_.size()) {
      add({.code = TOKEN_END});
      return static_cast<int>(list_.tokens.size());
    }
    const char c = text_[i];
    if (is_digit(c) || c == '.') {
      if (!constant(i)) return 0;
    } else if (is_letter(c)) {
      if (!function(i) && !name(i)) return 0;
    } else {
      static constexpr std::string_view kChars = "+-*/^:()";
      const size_t k = kChars.find(c);
      ++i;
      if (k == std::string_view::npos) {
        // Reported by the parser, which meets it as an unexpected token.
        add({.code = TOKEN_ERROR});
        return static_cast<int>(list_.tokens.size());
      }
      static constexpr int kCodes[] = {TOKEN_PLUS,  TOKEN_MINUS, TOKEN_TIMES, TOKEN_DIVIDE,
                                       TOKEN_POWER, TOKEN_COLON, TOKEN_OPEN,  TOKEN_CLOSE};
      add({.code = kCodes[k]});
    }
  }
}

bool Scanner::constant(size_t& i) {
  const size_t start = i;
  bool point = false;
  while (i < text_.size() && (is_digit(text_[i]) || (text_[i] == '.' && !point))) {
    point = point || text_[i] == '.';
    ++i;
  }
  if (i < text_.size() && text_[i] == 'E') {
    size_t j = i + 1;
    if (j < text_.size() && (text_[j] == '+' || text_[j] == '-')) ++j;
    size_t digits = 0;
    while (j < text_.size() && is_digit(text_[j]) && digits < 3) ++j, ++digits;
    // An E without exponent digits is the start of a suffix, as in 1EXA.
    if (digits > 0) i = j;
  }
  while (i < text_.size() && is_letter(text_[i])) ++i;
  std::string number = text_.substr(start, i - start);
  double value = 0;
  if (number == "." || parse_eng(number, value) < 0) {
    fail("Bad constant " + text_.substr(start, i - start) + " in expression:\n" + list_.text);
    return false;
  }
  add({.code = TOKEN_CONSTANT, .value = value});
  return true;
}

bool Scanner::function(size_t& i) {
  const std::string_view rest = std::string_view(text_).substr(i);
  for (int f = 0; f < FUNC_COUNT; ++f) {
    const std::string_view fname = kExprFunctionNames[f];
    if (!rest.starts_with(fname)) continue;
    if (rest.size() <= fname.size() || rest[fname.size()] != '(') return false;
    Token t{.code = TOKEN_FUNCTION, .function = f};
    if (f == FUNC_S || f == FUNC_AVG || f == FUNC_RMS) {
      if (list_.integral_slots >= kIntegralSlots) {
        fail("Error parsing expression:\n" + list_.text +
             "\nNumber of integral (S,AVG,RMS) function calls exceed limit");
        i = text_.size();
        return false;  // the caller stops: name() is not tried after a full table
      }
      t.slot = list_.integral_slots++;
    }
    add(t);
    i += fname.size();
    return true;
  }
  return false;
}

bool Scanner::name(size_t& i) {
  if (i >= text_.size()) return false;  // after the integral-limit message
  const size_t start = i;
  int depth = 0;
  while (i < text_.size() && i - start < kVariableNameMax) {
    const char c = text_[i];
    if (is_blank(c) || c == '*' || c == '+' || c == '-' || c == '/' || c == '^') break;
    if (c == ')' && depth == 0) break;
    if (c == '(') ++depth;
    if (c == ')') --depth;
    ++i;
  }
  const std::string n = text_.substr(start, i - start);
  const int v = variable(n);
  if (v == -2) return false;
  if (v >= 0) {
    add({.code = TOKEN_VARIABLE, .variable = v});
    return true;
  }
  const size_t comma = n.find(',');
  if (n.starts_with("V(") && comma != std::string::npos && n.back() == ')') {
    const std::string a = "V(" + n.substr(2, comma - 2) + ")";
    const std::string b = "V(" + n.substr(comma + 1, n.size() - comma - 2) + ")";
    if (find(a) && find(b)) {
      const int va = variable(a);
      if (va == -2) return false;
      const int vb = variable(b);
      if (vb == -2) return false;
      add({.code = TOKEN_OPEN});
      add({.code = TOKEN_VARIABLE, .variable = va});
      add({.code = TOKEN_MINUS});
      add({.code = TOKEN_VARIABLE, .variable = vb});
      add({.code = TOKEN_CLOSE});
      return true;
    }
  }
  if (const auto value = named_constant(n)) {
    add({.code = TOKEN_CONSTANT, .value = *value});
    return true;
  }
  if (selection_.run <= 1)
    fail("Bad variable or function name " + n + " in expression:\n" + list_.text +
         "\nAnalysis/data type selected: " + expr_kind_name(selection_.kind));
  return false;
}

const DataVector* Scanner::find(const std::string& name) {
  if (const DataVector* v = store_.find_vector(name, list_.cls, list_.kind, -1, -1, list_.run)) return v;
  if (list_.cls == DATA_CLASS_BINARY) {
    if (const DataVector* v = store_.find_vector(name, DATA_CLASS_TEXT, list_.kind, -1, -1, list_.run)) {
      list_.cls = DATA_CLASS_TEXT;
      return v;
    }
  }
  if (list_.kind != ANALYSIS_AC) return nullptr;
  const auto parsed = complex_parse_name(name);
  if (!parsed) return nullptr;
  const DataVector* base = store_.find_vector(parsed->base, DATA_CLASS_BINARY, ANALYSIS_AC, -1, 1, list_.run);
  if (!base) return nullptr;
  return complex_derive(store_, *base, parsed->base, parsed->form, DATA_CLASS_BINARY);
}

int Scanner::variable(const std::string& name) {
  const DataVector* v = find(name);
  if (!v) return -1;
  for (size_t k = 0; k < list_.variables.size(); ++k)
    if (list_.variables[k].vector == v) return static_cast<int>(k);
  if (list_.variables.size() >= static_cast<size_t>(kExprVariablesMax)) {
    fail("Expression error: number of variables exceeds maximum");
    return -2;
  }
  if (v->points < list_.points)
    store_.notify().warning("Expression: " + list_.text + "\nVariable " + name + " has fewer data points");
  else if (v->points > list_.points && list_.points > 0)
    store_.notify().warning("Expression: " + list_.text +
                            "\ncontains variables with different number of data points");
  list_.points = std::max(list_.points, v->points);
  if (!list_.x && v->x) list_.x = v->x;
  if (list_.label == 0 && v->label != 0) list_.label = v->label;
  if (v->complex) list_.complex = 1;
  list_.variables.push_back(ExprVariable{v, {}, false});
  return static_cast<int>(list_.variables.size() - 1);
}

std::optional<double> Scanner::named_constant(const std::string& name) const {
  if (selection_.parameters)
    for (const auto& p : *selection_.parameters)
      if (iequals(p.name, name)) return p.value;
  for (const auto& c : kConstants)
    if (name == c.name) return c.value;
  return std::nullopt;
}

// A line of at most 511 characters; the rest of a longer line is dropped.
bool read_line(std::istream& in, std::string& line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = in.get()) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line.size() < 511) line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

}  // namespace

std::optional<ExprText> expr_split(std::string_view text, Notify& notify) {
  if (text.size() > kExprTextMax) {
    notify.error("Expression too long");
    return std::nullopt;
  }
  ExprText out;
  const size_t eq = text.find('=');
  std::string_view expr = text;
  if (eq != std::string_view::npos && eq > 0) {
    std::string_view name = text.substr(0, std::min(eq, kResultNameMax));
    while (!name.empty() && is_blank(name.back())) name.remove_suffix(1);
    out.result_name = std::string(name);
    expr = text.substr(eq + 1);
  }
  while (!expr.empty() && is_blank(expr.front())) expr.remove_prefix(1);
  out.expression = std::string(expr);
  if (eq == std::string_view::npos || eq == 0)
    out.result_name =
        expr.size() >= 56 ? "{" + std::string(expr.substr(0, 55)) + "..}" : "{" + out.expression + "}";
  return out;
}

int expr_tokenize(DataStore& store, const ExprSelection& selection, std::string_view expression,
                  TokenList& list) {
  list = TokenList{};
  list.cls = selection.cls;
  list.kind = selection.kind;
  list.run = selection.run;
  Scanner scanner(store, selection, list);
  return scanner.run(expression);
}

int expr_read_variable(DataStore& store, ExprVariable& variable) {
  if (variable.read) return variable.values.empty() ? EXPR_VARIABLE_EMPTY : 0;
  variable.read = true;
  if (!variable.vector) return EXPR_VARIABLE_UNKNOWN;
  if (variable.vector->points <= 0) return EXPR_VARIABLE_EMPTY;
  try {
    variable.values = store.values(*variable.vector);
  } catch (const std::bad_alloc&) {
    return variable.vector->complex ? EXPR_NO_MEMORY_IMAGINARY : EXPR_NO_MEMORY;
  }
  return variable.values.empty() ? EXPR_VARIABLE_EMPTY : 0;
}

const char* expr_kind_name(int kind) {
  static const char* const kNames[] = {"OTHER",      "DC SWEEP", "TRANSIENT", "AC",   "NOISE",
                                       "DISTORTION", "PZ",       "FOURIER",   "DC OP"};
  return kind >= 0 && kind <= 8 ? kNames[kind] : "OTHER";
}

int expr_read_user_parameters(std::istream& listing, UserParameters& parameters, Notify& notify) {
  std::string line;
  bool table = false;
  while (!table && read_line(listing, line))
    table = line.find("NAME ") != std::string::npos && line.find(" VALUE") != std::string::npos;
  if (!table || !read_line(listing, line)) return 0;
  int added = 0;
  while (read_line(listing, line)) {
    size_t i = line.find_first_not_of(" \t=");
    if (i == std::string::npos || !is_letter(line[i])) break;
    const size_t end = line.find_first_of(" \t=", i);
    if (end == std::string::npos) break;
    const std::string name = line.substr(i, std::min(end - i, kUserParameterNameMax));
    const size_t vstart = line.find_first_not_of(" \t=", end);
    if (vstart == std::string::npos) break;
    std::string value_text = line.substr(vstart, line.find_first_of(" \t", vstart) - vstart);
    double value = 0;
    const size_t length = value_text.size();
    const int used = parse_eng(value_text, value);
    if (used <= 0 || static_cast<size_t>(used) != length) break;
    if (std::any_of(parameters.begin(), parameters.end(),
                    [&](const auto& p) { return iequals(p.name, name); }))
      continue;
    if (parameters.size() >= static_cast<size_t>(kUserParametersMax)) {
      notify.error(
          strprintf("Number of user parameters exceeded limit of %d- rest ignored", kUserParametersMax));
      break;
    }
    parameters.push_back({name, value});
    ++added;
  }
  return added;
}

}  // namespace zephyrim
