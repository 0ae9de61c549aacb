// zephyrim data, values and calc: the vectors of a simulation data file, the
// values of one of them, and an expression evaluated over them.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "batch/batch.h"
#include "common/eng_number.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/calc/complex_data.h"
#include "viewer/calc/data_open.h"
#include "viewer/calc/expression.h"
#include "viewer/calc/script.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

namespace {

constexpr const char* kDataUsage =
    "usage: zephyrim data FILE\n"
    "Lists the vectors of a simulation data file: name, data class (0 binary data, 1\n"
    "tables and computed vectors), analysis kind, run, run label, points, complex flag\n"
    "(1 complex) and x vector. FILE is any file the viewer opens, by its extension:\n"
    ".OUT/.LIS listings (and the data they lead to), .TXT/.ASC tables, .RAW, .CSD/.CSDF,\n"
    ".TR0 and other HSPICE CSDF, .SAV PROBE, .WAV; anything else is read as a listing.\n"
    "A listing's #MEASURE and #CALC statements run after it is read.\n"
    "Exit status: 0 listed, 2 not read.\n";

constexpr const char* kValuesUsage =
    "usage: zephyrim values FILE VECTOR [--run N] [--kind KIND]\n"
    "Prints the x value and the value of each point of a vector (real and imaginary\n"
    "part of a complex one), tab-separated. VECTOR may end in @RUN; --run N picks\n"
    "the Nth vector of that name; --kind one of an analysis kind: tran, ac, dc, noise,\n"
    "op, four, pz, other (any case) or its number (1 DC, 2 transient, 3 AC, 4 noise,\n"
    "6 pole-zero, 7 Fourier, 8 operating point; 0 other, which matches any kind).\n"
    "Exit status: 0 printed, 2 file not read or no such vector.\n";

constexpr const char* kCalcUsage =
    "usage: zephyrim calc FILE EXPRESSION [--kind KIND] [--run N] [--form FORM]\n"
    "Evaluates the expression over the vectors of the data file and prints x and the\n"
    "result, one point a line, tab-separated, at full precision. A complex result\n"
    "prints its real and imaginary parts unless --form picks one real form: dB,\n"
    "phase, mag, angle, real, imag, gd, gv, dbm, dbmv, or the form's number.\n"
    "--kind as for values (default tran); --run N uses the Nth vector of each name.\n"
    "Exit status: 0 printed, 1 the expression stopped at an error (the points before\n"
    "it are printed), 2 file not read or a bad form.\n";

// The --kind of a command line, or fallback; false after the usage error.
bool kind_option(const Arguments& a, int fallback, int& kind) {
  if (!a.has("--kind")) {
    kind = fallback;
    return true;
  }
  kind = analysis_kind(a.text("--kind"));
  if (kind >= 0) return true;
  usage_error(a, "--kind needs tran, ac, dc, noise, op, four, pz, other or a number from 0 to 9");
  return false;
}

constexpr const char* kDataSummary = "list the vectors of a simulation data file (PROBE or SPICE3 RAW)";
int data(const Arguments& a) {
  BatchNotify notify(kTraceryTitle, a.answer);
  StderrProgress progress;
  DataStore store(notify, progress);
  if (!load_data_file(store, a.positionals[0])) return 2;
  std::printf("%-24s %5s %4s %4s %-16s %10s %7s %s\n", "NAME", "CLASS", "KIND", "RUN", "LABEL", "POINTS",
              "COMPLEX", "X");
  for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT})
    for (const auto& v : store.data_class(cls)->vectors) {
      const std::string* label = store.vector_label(v);
      std::printf("%-24s %5d %4d %4d %-16s %10lld %7d %s\n", v.name.c_str(), v.data_class, v.kind, v.run,
                  label ? label->c_str() : "-", static_cast<long long>(v.points), v.complex,
                  v.x ? v.x->name.c_str() : "-");
    }
  return 0;
}

constexpr const char* kValuesSummary = "print the values of one vector of a simulation data file";
int values(const Arguments& a) {
  const std::string &path = a.positionals[0], &name = a.positionals[1];
  int kind = -1;
  if (!kind_option(a, -1, kind)) return 2;
  BatchNotify notify(kTraceryTitle, a.answer);
  StderrProgress progress;
  DataStore store(notify, progress);
  if (!load_data_file(store, path)) return 2;
  const int run = static_cast<int>(a.integer("--run", 0));
  const DataVector* v = store.find_vector(name, DATA_CLASS_BINARY, kind, -1, -1, run);
  if (!v) v = store.find_vector(name, DATA_CLASS_TEXT, kind, -1, -1, run);
  if (!v) {
    notify.error("Vector " + name + " not found in " + path);
    return 2;
  }
  const auto values = store.values(*v);
  if (values.empty() && v->points > 0) return 2;
  std::vector<double> xs;
  if (v->x) {
    const auto xv = store.values(*v->x);
    xs.assign(xv.begin(), xv.end());
  }
  for (int64_t i = 0; i < v->points; ++i) {
    const auto k = static_cast<size_t>(i);
    if (v->x) std::printf("%.17g\t", k < xs.size() ? xs[k] : 0.0);
    if (v->complex)
      std::printf("%.17g\t%.17g\n", values[2 * k], values[2 * k + 1]);
    else
      std::printf("%.17g\n", values[k]);
  }
  return 0;
}

constexpr const char* kCalcSummary = "evaluate an expression over the vectors of a simulation data file";
int calc(const Arguments& a) {
  int kind = ANALYSIS_TRAN;
  if (!kind_option(a, ANALYSIS_TRAN, kind)) return 2;
  const int form = a.has("--form") ? complex_form_from_name(a.text("--form")) : -1;
  if (a.has("--form") && form < 0) {
    usage_error(a,
                "--form needs dB, phase, mag, angle, real, imag, gd, gv, dbm, dbmv or a number from 0 to 9");
    return 2;
  }
  BatchNotify notify(kTraceryTitle, a.answer);
  StderrProgress progress;
  DataStore store(notify, progress);
  if (!load_data_file(store, a.positionals[0])) return 2;
  ExprResult r;
  ExprSelection selection;
  selection.kind = kind;
  selection.run = static_cast<int>(a.integer("--run", 0));
  const int status = expr_calculate(store, a.positionals[1], selection, r);
  const size_t n = r.re.size();
  std::vector<double> shown;
  if (r.complex && form >= 0) {
    // The group delay and velocity need the frequency of every point.
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i)
      x[i] = r.x_values.empty() ? 0.0 : r.x_values[std::min(i, r.x_values.size() - 1)];
    shown = complex_form_values(r.re, r.im, x, form);
  }
  for (size_t i = 0; i < n; ++i) {
    if (!r.x_values.empty()) std::printf("%.17g\t", r.x_values[std::min(i, r.x_values.size() - 1)]);
    if (!shown.empty())
      std::printf("%.17g\n", shown[i]);
    else if (r.complex)
      std::printf("%.17g\t%.17g\n", r.re[i], i < r.im.size() ? r.im[i] : 0.0);
    else
      std::printf("%.17g\n", r.re[i]);
  }
  return status == 1 ? 0 : 1;
}

}  // namespace

std::optional<double> eng_word(const std::string& text) {
  std::string s = text;
  double v = 0;
  const int used = parse_eng(s, v, true);
  if (used <= 0 || !has_value(v) || !std::isfinite(v)) return std::nullopt;
  for (size_t i = static_cast<size_t>(used); i < s.size(); ++i)
    if (!std::isalpha(static_cast<unsigned char>(s[i]))) return std::nullopt;
  return v;
}

int analysis_kind(const std::string& text) {
  static constexpr std::pair<const char*, int> kNames[] = {
      {"tran", ANALYSIS_TRAN}, {"ac", ANALYSIS_AC},     {"dc", ANALYSIS_DC}, {"noise", ANALYSIS_NOISE},
      {"op", ANALYSIS_OP},     {"four", ANALYSIS_FOUR}, {"pz", ANALYSIS_PZ}, {"other", ANALYSIS_OTHER}};
  for (const auto& [name, kind] : kNames)
    if (iequals(text, name)) return kind;
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '9') return text[0] - '0';
  return -1;
}

bool load_data_file(DataStore& store, const std::string& path) {
  if (!store.start()) return false;
  // A listing's statements run as they would in the viewer; their results are data too.
  ScriptState script;
  DataOpenSession session;
  session.script = &script;
  return data_open(store, path, -1, true, session) > 0;
}

std::vector<Verb> data_verbs() {
  const OptionSpec run{.name = "--run", .kind = ValueKind::integer, .min = 1, .max = 2147483647};
  const OptionSpec kind{.name = "--kind", .needs = "an analysis kind"};
  const OptionSpec form{.name = "--form", .needs = "a complex form"};
  return {{"data", kDataSummary, kDataUsage, {"FILE"}, {}, data},
          {"values", kValuesSummary, kValuesUsage, {"FILE", "VECTOR"}, {run, kind}, values},
          {"calc", kCalcSummary, kCalcUsage, {"FILE", "EXPRESSION"}, {run, kind, form}, calc}};
}

}  // namespace zephyrim
