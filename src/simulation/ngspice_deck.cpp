#include "simulation/ngspice_deck.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <sstream>

#include "common/eng_number.h"
#include "common/text_format.h"

namespace zephyrim {

namespace {

constexpr int kMaxIncludeDepth = 8;  // include loops end here

std::vector<std::string> tokens(const std::string& statement) {
  std::vector<std::string> out;
  std::istringstream in(statement);
  for (std::string t; in >> t;) out.push_back(t);
  return out;
}

std::string join(const std::vector<std::string>& t, size_t from = 0) {
  std::string out;
  for (size_t i = from; i < t.size(); ++i) out += (out.empty() ? "" : " ") + t[i];
  return out;
}

bool number(std::string text, double& v) {
  const int n = parse_eng(text, v, true);
  return n > 0 && has_value(v);
}

bool all_digits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool comment_or_blank(const std::string& line) {
  const size_t i = line.find_first_not_of(" \t");
  return i == std::string::npos || line[i] == '*';
}

// The text after the first word of a statement, without the blanks around it
// and without the quotes around a file name.
std::string argument(const std::string& line) {
  size_t i = line.find_first_not_of(" \t");
  i = line.find_first_of(" \t", i == std::string::npos ? line.size() : i);
  i = line.find_first_not_of(" \t", i == std::string::npos ? line.size() : i);
  if (i == std::string::npos) return {};
  std::string name = line.substr(i);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
  return name;
}

// Statements with their continuation lines joined, in order. As ngspice does,
// a "+" line continues the latest statement above it that is not a comment or
// blank line: model files put comments inside a statement's lines.
std::vector<std::string> statements(const std::string& text) {
  std::vector<std::string> out;
  size_t last = 0;  // the statement a "+" line continues; 0, the title, is never continued
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    const size_t first = line.find_first_not_of(" \t");
    if (last > 0 && first != std::string::npos && line[first] == '+') {
      out[last] += " " + line.substr(first + 1);
      continue;
    }
    if (!out.empty() && !comment_or_blank(line)) last = out.size();
    out.push_back(std::move(line));
  }
  return out;
}

// "PWL TD=1m TS=2 + 0,0 + 1m,1" as ngspice's "PWL(0 0 1m 1) td=1m". The time
// and value scales and the value offset are applied to the points here.
std::string pwl_statement(const std::vector<std::string>& t, size_t pwl,
                          std::vector<std::string>& unsupported, const std::string& original) {
  double td = 0, ts = 1, voff = 0, vs = 1;
  bool has_td = false;
  std::vector<double> numbers;
  for (size_t i = pwl + 1; i < t.size(); ++i) {
    const std::string u = ascii_upper(t[i]);
    const size_t eq = u.find('=');
    if (eq != std::string::npos) {
      const std::string key = u.substr(0, eq);
      double v = 0;
      if (!number(t[i].substr(eq + 1), v)) continue;
      if (key == "TD") td = v, has_td = true;
      if (key == "TS") ts = v;
      if (key == "VOFF") voff = v;
      if (key == "VS") vs = v;
      if (key == "TPER") unsupported.push_back(original);
      continue;
    }
    std::string item = t[i];
    std::replace(item.begin(), item.end(), ',', ' ');
    for (const std::string& part : tokens(item)) {
      double v = 0;
      if (number(part, v)) numbers.push_back(v);
    }
  }
  std::string out = join(std::vector<std::string>(t.begin(), t.begin() + static_cast<long>(pwl))) + " PWL(";
  for (size_t i = 0; i + 1 < numbers.size(); i += 2)
    out += strprintf("%s%.15G %.15G", i == 0 ? "" : " ", numbers[i] * ts, numbers[i + 1] * vs + voff);
  out += ")";
  if (has_td) out += strprintf(" td=%.15G", td);
  return out;
}

bool is_end(const std::string& line) {
  const std::vector<std::string> t = tokens(line);
  return t.size() == 1 && iequals(t[0], ".END");
}

// The statements of a netlist with the files its .INC lines name and the
// models its .INC/MDB lines link spliced in, so that their statements are
// prepared too.
class Splicer {
 public:
  Splicer(const IncludeReader& read, const ModelDatabaseLinks& links, NgspiceDeck& deck)
      : read_(read), links_(links), deck_(deck) {}

  // Line 0 of text is its title, kept as it is.
  void splice(const std::string& text, int depth, std::vector<std::string>& out) {
    std::vector<std::string> lines = statements(text);
    for (size_t n = 0; n < lines.size(); ++n) {
      const std::vector<std::string> t = n == 0 ? std::vector<std::string>{} : tokens(lines[n]);
      const std::string head = t.empty() ? std::string() : ascii_upper(t[0]);
      if (head == ".INC/MDB") {
        link(argument(lines[n]), depth, out);
        continue;
      }
      if (read_ && depth < kMaxIncludeDepth && (head == ".INC" || head == ".INCLUDE") && t.size() >= 2) {
        if (auto included = read_(argument(lines[n]))) {
          splice_untitled(*included, depth + 1, out);
          continue;
        }
      }
      out.push_back(std::move(lines[n]));
    }
  }

 private:
  // A file or a model has no title line: a blank one stands in for it.
  void splice_untitled(const std::string& text, int depth, std::vector<std::string>& out) {
    std::vector<std::string> inner;
    splice("\n" + text, depth, inner);
    out.insert(out.end(), std::make_move_iterator(inner.begin() + 1), std::make_move_iterator(inner.end()));
  }

  // The models of a library in place of its link, each name once in the deck.
  void link(const std::string& library, int depth, std::vector<std::string>& out) {
    std::optional<std::vector<std::string>> models;
    if (links_.read && depth < kMaxIncludeDepth) models = links_.read(library);
    if (!models) {
      deck_.errors.push_back(model_library_error(library, links_.folder));
      return;
    }
    std::string repeated;
    int shown = 0;
    for (const std::string& text : *models) {
      const auto [key, name] = model_key(text);
      if (!key.empty()) {
        const auto [at, first] = given_.emplace(key, library);
        if (!first) {
          if (shown++ < kMaxNamesShown)
            repeated += (repeated.empty() ? "" : ", ") + name + " (" + at->second + ")";
          continue;
        }
      }
      splice_untitled(text, depth + 1, out);
    }
    if (shown > kMaxNamesShown) repeated += strprintf(" and %d more", shown - kMaxNamesShown);
    if (shown > 0)
      deck_.warnings.push_back("model library " + library +
                               ": models given before are left out, the first kept: " + repeated);
  }

  // What a model defines, "MODEL NAME" or "SUBCKT NAME" (ngspice keeps the two
  // apart), with its name; empty for text that defines neither.
  static std::pair<std::string, std::string> model_key(const std::string& text) {
    for (const std::string& line : statements("\n" + text)) {
      if (comment_or_blank(line)) continue;
      const std::vector<std::string> t = tokens(line);
      const std::string head = ascii_upper(t[0]);
      if ((head == ".MODEL" || head == ".SUBCKT") && t.size() >= 2)
        return {head.substr(1) + " " + ascii_upper(t[1]), t[1]};
      break;
    }
    return {};
  }

  static constexpr int kMaxNamesShown = 8;  // of the models one link repeats

  const IncludeReader& read_;
  const ModelDatabaseLinks& links_;
  NgspiceDeck& deck_;
  std::map<std::string, std::string> given_;  // model key -> the library that gave it
};

}  // namespace

std::string model_library_error(const std::string& library, const std::string& folder) {
  return strprintf("model library %s not found in the model database %s", library.c_str(), folder.c_str());
}

NgspiceDeck prepare_ngspice_deck(const std::string& netlist, const IncludeReader& read_include,
                                 const ModelDatabaseLinks& links) {
  NgspiceDeck deck;
  std::vector<std::string> ac_sweep;  // TYPE N START STOP of the latest .AC
  std::vector<std::string> all;
  Splicer(read_include, links, deck).splice(netlist, 0, all);
  for (size_t n = 0; n < all.size(); ++n) {
    const std::string& s = all[n];
    if (n == 0) {
      deck.lines.push_back(s);
      continue;
    }
    const std::vector<std::string> t = tokens(s);
    if (t.empty()) {
      deck.lines.push_back(s);
      continue;
    }
    const std::string head = ascii_upper(t[0]);
    if (head[0] == '#') {
      deck.hash_lines.push_back(s);
    } else if (head == ".OPTION" || head == ".OPTIONS") {
      std::vector<std::string> kept{t[0]};
      for (size_t i = 1; i < t.size(); ++i)
        if (iequals(t[i], "SAVEOPB"))
          deck.save_bias = true;
        else
          kept.push_back(t[i]);
      if (kept.size() > 1) deck.lines.push_back(join(kept));
    } else if (head == ".AC") {
      ac_sweep.assign(t.begin() + 1, t.end());
      deck.lines.push_back(s);
    } else if (head == ".NOISE" || head == ".DISTO") {
      const bool noise = head == ".NOISE";
      const size_t given = noise ? 3 : 2;  // output and input, or the load
      if (t.size() > given &&
          (iequals(t[given], "DEC") || iequals(t[given], "OCT") || iequals(t[given], "LIN"))) {
        deck.lines.push_back(s);  // already in ngspice's form
      } else if (ac_sweep.size() != 4 || t.size() < given) {
        deck.unsupported.push_back(s);
      } else if (noise) {
        std::string line = join(std::vector<std::string>(t.begin(), t.begin() + 3)) + " " + join(ac_sweep);
        if (t.size() > 3) line += " " + t[3];
        deck.lines.push_back(line);
      } else {
        // ngspice finds distortion everywhere, not at one load; a second
        // frequency ratio, when given, selects its spectral form.
        std::string line = ".DISTO " + join(ac_sweep);
        if (t.size() > 3) line += " " + t[3];
        deck.lines.push_back(line);
      }
    } else if (head == ".FOUR") {
      // ngspice drops .FOUR when it saves every vector; its own fourier command
      // after the run does the same work, with the harmonic count as nfreqs.
      std::vector<std::string> vars(t.begin() + std::min<size_t>(2, t.size()), t.end());
      int frequencies = 10;
      if (!vars.empty() && all_digits(vars.front())) {
        frequencies = std::clamp(std::atoi(vars.front().c_str()), 0, 10000) + 1;
        vars.erase(vars.begin());
      }
      if (t.size() < 2 || vars.empty()) {
        deck.unsupported.push_back(s);
      } else {
        deck.after_run.push_back(strprintf("set nfreqs=%d", frequencies));
        deck.after_run.push_back("fourier " + t[1] + " " + join(vars));
      }
    } else if (head == ".PROBE" || head == ".SAVE") {
      std::vector<std::string> vars;
      for (size_t i = 1; i < t.size(); ++i)
        if (!iequals(t[i], "VONLY") && !iequals(t[i], "NOSUBCKT")) vars.push_back(t[i]);
      deck.lines.push_back(vars.empty() ? ".save all" : ".save " + join(vars));
    } else if (head == ".TEMP") {
      for (size_t i = 1; i < t.size(); ++i) {
        double v = 0;
        if (number(t[i], v)) deck.temperatures.push_back(v);
      }
    } else if (head == ".STEP" || head == ".MC" || head == ".WC") {
      deck.sweeps.push_back(s);
    } else if (head == ".TOL") {
      deck.tolerances.push_back(s);
    } else if (head[0] == 'V' || head[0] == 'I') {
      size_t pwl = 0;
      for (size_t i = 3; i < t.size() && !pwl; ++i)
        if (iequals(t[i], "PWL")) pwl = i;
      deck.lines.push_back(pwl ? pwl_statement(t, pwl, deck.unsupported, s) : s);
    } else {
      deck.lines.push_back(s);
    }
  }
  // Without a save request ngspice keeps nothing of a second analysis in a
  // run; the engine wants every vector anyway.
  const bool saves = std::any_of(deck.lines.begin(), deck.lines.end(),
                                 [](const std::string& l) { return l.rfind(".save ", 0) == 0; });
  if (!saves) {
    // An empty netlist still has a title line, so the request goes after it.
    if (deck.lines.empty()) deck.lines.emplace_back();
    auto end = std::find_if(deck.lines.begin() + 1, deck.lines.end(), is_end);
    deck.lines.insert(end, ".save all");
  }
  return deck;
}

std::string ngspice_deck_text(const NgspiceDeck& deck, int run, const std::vector<std::string>& control) {
  std::optional<double> temperature;
  if (run >= 0 && static_cast<size_t>(run) < deck.temperatures.size()) temperature = deck.temperatures[run];
  return ngspice_deck_text(deck, deck.lines, temperature, control);
}

std::string ngspice_deck_text(const NgspiceDeck& deck, const std::vector<std::string>& lines,
                              std::optional<double> temperature, const std::vector<std::string>& control) {
  std::string tail;
  if (temperature) tail = strprintf(".TEMP %.15G\n", *temperature);
  tail += ".control\nrun\n";
  for (const std::string& c : deck.after_run) tail += c + "\n";
  for (const std::string& c : control) tail += c + "\n";
  tail += ".endc\n";
  std::string out;
  bool placed = false;
  for (const std::string& line : lines) {
    if (!placed && is_end(line)) {
      out += tail;
      placed = true;
    }
    out += line + "\n";
  }
  if (!placed) out += tail + ".END\n";
  return out;
}

}  // namespace zephyrim
