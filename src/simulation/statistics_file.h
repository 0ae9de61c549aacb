#pragma once
// The statistics file: .TOL statements that give parts, model parameters and
// .param values the tolerances that .MC and .WC runs vary them by. The file is
// included into the netlist, so its statements reach the engine among the
// deck's (NgspiceDeck::tolerances); a reader of the file alone is here too.
//
//   .TOL pattern [DEV=]tol [LOT=tol] [UNIFORM|GAUSS] [SIGMA=n]
//
// pattern: a part name with * and ? (R*, C?1), MODEL(PARAM) (QN*(BF), *(VTO))
// or PARAM NAME; tol: 5% (relative) or an engineering number (absolute, 10m).
// Comment lines start with "*"; ";" comments to the end of its line. Case is
// ignored throughout.
#include <string>
#include <string_view>
#include <vector>

namespace zephyrim {

struct Tolerance {
  std::string pattern;  // part name with * and ? wildcards (R*, C1), or the model name of MODEL(PARAM)
                        // (QN* of QN*(BF)), or the name of a .param (PARAM NAME)
  enum class Kind { Part, ModelParam, Param } kind = Kind::Part;
  std::string param;      // ModelParam: the parameter
  double device = 0;      // device tolerance: fraction (0.05) when relative, else absolute
  double lot = 0;         // lot tolerance, same unit
  bool relative = true;   // "5%" relative; a plain number absolute
  bool gaussian = false;  // UNIFORM (default) or GAUSS
  double sigmas = 3;      // GAUSS: the tolerance is this many standard deviations (SIGMA=n)
};

// Parses one ".TOL ..." statement. On failure returns false and sets message
// to a text that names the statement and what is wrong with it; out is then
// unchanged.
bool parse_tolerance(const std::string& statement, Tolerance& out, std::string& message);

// Reads the text of a whole statistics file: "+" lines continue the statement
// before them, comment and blank lines are skipped. Appends every valid .TOL
// statement to tolerances and, for every other statement, a message naming its
// line to messages. Returns the number of statements appended.
size_t read_statistics_file(const std::string& text, std::vector<Tolerance>& tolerances,
                            std::vector<std::string>& messages);

// Whether name matches pattern, where * stands for any run of characters and ?
// for one; ASCII case is ignored.
bool wildcard_match(std::string_view pattern, std::string_view name);

// A number as statements of the statistics file and of the run plan write
// it: an engineering number (parse_eng, suffixes allowed) that may be followed
// by letters only (a unit: 10uF, 1kohm). False for anything else, for "*"
// and for values out of range.
bool statement_number(std::string_view text, double& value);

// The words of a statement: its ";" comment removed, blanks around "=",
// before "(" and inside parentheses closed up, so that "QN2222 ( BF )" and
// "SEED = 5" read as one word each.
std::vector<std::string> statement_words(std::string_view statement);

// The statement as messages show it: blanks collapsed, long ones cut.
std::string shown_statement(std::string_view statement);

}  // namespace zephyrim
