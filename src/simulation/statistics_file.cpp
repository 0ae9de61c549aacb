#include "simulation/statistics_file.h"

#include <cmath>

#include "common/eng_number.h"
#include "common/text_format.h"

namespace zephyrim {

namespace {

constexpr size_t kShownLength = 72;  // of a statement in a message

bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string quoted(std::string_view word) {
  return "\"" + std::string(word.substr(0, kShownLength)) + "\"";
}

// A tolerance: "5%" relative (as a fraction), else an absolute number.
bool tolerance_value(std::string_view text, double& value, bool& percent) {
  percent = !text.empty() && text.back() == '%';
  if (percent) {
    std::string digits(text.substr(0, text.size() - 1));
    double v = 0;
    if (digits.empty() || parse_eng(digits, v, false) != static_cast<int>(digits.size())) return false;
    if (!std::isfinite(v) || !has_value(v) || v < 0) return false;
    value = v / 100;
    return true;
  }
  return statement_number(text, value) && value >= 0;
}

}  // namespace

bool statement_number(std::string_view text, double& value) {
  std::string copy(text);
  double v = 0;
  const int used = parse_eng(copy, v, true);
  if (used <= 0 || !has_value(v) || !std::isfinite(v)) return false;
  // parse_eng takes "." and "-" as numbers; a number has a digit.
  bool digit = false;
  for (int i = 0; i < used; ++i) digit = digit || (copy[i] >= '0' && copy[i] <= '9');
  if (!digit) return false;
  for (size_t i = static_cast<size_t>(used); i < copy.size(); ++i)
    if (!letter(copy[i])) return false;
  value = v;
  return true;
}

std::vector<std::string> statement_words(std::string_view statement) {
  statement = statement.substr(0, statement.find(';'));
  std::string tight;
  int depth = 0;
  for (size_t i = 0; i < statement.size(); ++i) {
    const char c = statement[i];
    if (blank(c)) {
      size_t next = i;
      while (next < statement.size() && blank(statement[next])) ++next;
      const char after = next < statement.size() ? statement[next] : ' ';
      const char before = tight.empty() ? ' ' : tight.back();
      const bool closed = depth > 0 || after == '=' || after == '(' || after == ')' || before == '=';
      if (!closed) tight += ' ';
      i = next - 1;
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) --depth;
    tight += c;
  }
  return split_words(tight);
}

std::string shown_statement(std::string_view statement) {
  std::string out;
  for (char c : statement) {
    if (blank(c)) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
    if (out.size() > kShownLength) {
      out.resize(kShownLength);
      return out + "...";
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

bool parse_tolerance(const std::string& statement, Tolerance& out, std::string& message) {
  const auto fail = [&](const std::string& why) {
    message = shown_statement(statement) + ": " + why;
    return false;
  };
  const std::vector<std::string> t = statement_words(statement);
  if (t.empty() || !iequals(t[0], ".TOL")) return fail("not a .TOL statement");
  if (t.size() < 2) return fail("no part, model parameter or PARAM named");
  Tolerance tol;
  size_t i = 1;
  if (iequals(t[i], "PARAM")) {
    if (i + 1 >= t.size()) return fail("PARAM without a name");
    tol.kind = Tolerance::Kind::Param;
    tol.pattern = t[i + 1];
    i += 2;
  } else {
    const std::string& p = t[i++];
    const size_t open = p.find('(');
    if (open != std::string::npos) {
      const std::string param = p.size() > open + 1 ? p.substr(open + 1, p.size() - open - 2) : std::string();
      if (open == 0 || p.back() != ')' || param.empty() || param.find_first_of("()*?=") != std::string::npos)
        return fail(quoted(p) + " is not MODEL(PARAM)");
      tol.kind = Tolerance::Kind::ModelParam;
      tol.pattern = p.substr(0, open);
      tol.param = param;
    } else {
      tol.pattern = p;
    }
  }
  if (tol.pattern.find_first_of("()=") != std::string::npos)
    return fail(quoted(tol.pattern) + " is not a name");

  bool have_device = false, have_lot = false, percent_seen = false, absolute_seen = false;
  const auto take = [&](std::string_view text, double& into) {
    bool percent = false;
    if (!tolerance_value(text, into, percent)) return false;
    // A zero reads the same in either unit; anything else fixes the unit.
    if (percent) percent_seen = true;
    if (!percent && into != 0) absolute_seen = true;
    return true;
  };
  for (; i < t.size(); ++i) {
    const std::string u = ascii_upper(t[i]);
    if (u == "UNIFORM") {
      tol.gaussian = false;
    } else if (u == "GAUSS" || u == "GAUSSIAN") {
      tol.gaussian = true;
    } else if (u.rfind("SIGMA=", 0) == 0) {
      if (!statement_number(u.substr(6), tol.sigmas) || tol.sigmas <= 0)
        return fail(quoted(t[i]) + " needs a number of standard deviations above 0");
    } else if (u.rfind("LOT=", 0) == 0) {
      if (have_lot) return fail("LOT given twice");
      if (!take(t[i].substr(4), tol.lot)) return fail(quoted(t[i]) + " is not a tolerance (5% or 10m)");
      have_lot = true;
    } else if (u.rfind("DEV=", 0) == 0 || !have_device) {
      const bool keyword = u.rfind("DEV=", 0) == 0;
      if (have_device) return fail("DEV given twice");
      if (!take(keyword ? t[i].substr(4) : t[i], tol.device))
        return fail(quoted(t[i]) + " is not a tolerance (5% or 10m)");
      have_device = true;
    } else {
      return fail(quoted(t[i]) + " is not understood");
    }
  }
  if (!have_device && !have_lot) return fail("no tolerance given");
  if (percent_seen && absolute_seen) return fail("DEV and LOT must both be relative (%) or both absolute");
  tol.relative = !absolute_seen;
  out = std::move(tol);
  return true;
}

size_t read_statistics_file(const std::string& text, std::vector<Tolerance>& tolerances,
                            std::vector<std::string>& messages) {
  struct Statement {
    size_t line;
    std::string text;
  };
  std::vector<Statement> statements;
  size_t start = 0, number = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    line = line.substr(0, line.find(';'));
    size_t first = 0;
    while (first < line.size() && blank(line[first])) ++first;
    if (first == line.size() || line[first] == '*') continue;
    if (line[first] == '+' && !statements.empty())
      statements.back().text += " " + line.substr(first + 1);
    else
      statements.push_back({number, line.substr(first)});
  }
  size_t read = 0;
  for (const Statement& s : statements) {
    Tolerance tol;
    std::string message;
    if (parse_tolerance(s.text, tol, message)) {
      tolerances.push_back(std::move(tol));
      ++read;
    } else {
      messages.push_back(strprintf("line %zu: ", s.line) + message);
    }
  }
  return read;
}

bool wildcard_match(std::string_view pattern, std::string_view name) {
  // The usual single-backtrack match: on a mismatch, let the latest * take
  // one more character. Quadratic at worst, never exponential.
  size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || ascii_upper(pattern[p]) == ascii_upper(name[n]))) {
      ++p, ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace zephyrim
