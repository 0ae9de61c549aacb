// zephyrim data and zephyrim values: the vectors of a simulation data file, and
// the values of one of them.
#include <cstdio>
#include <cstring>

#include "batch/batch.h"
#include "common/mapped_file.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"
#include "viewer/data/raw_file.h"

namespace zephyrim {

namespace {

constexpr const char* kDataUsage =
    "usage: zephyrim data FILE.SAV|FILE.RAW\n"
    "Lists the vectors of a PROBE or SPICE3 RAW data file: name, data class, analysis\n"
    "kind, run, run label, points, complex flag (1 complex) and x vector.\n"
    "Exit status: 0 listed, 2 not read.\n";

constexpr const char* kValuesUsage =
    "usage: zephyrim values FILE.SAV|FILE.RAW VECTOR [--run N] [--kind K]\n"
    "Prints the x value and the value of each point of a vector (real and imaginary\n"
    "part of a complex one), tab-separated. VECTOR may end in @RUN; --run N picks\n"
    "the Nth vector of that name; --kind K one of analysis kind K (1 DC, 2 transient,\n"
    "3 AC, 4 noise, 8 operating point; 0 and AC's relatives count as the data file lists).\n"
    "Exit status: 0 printed, 2 file not read or no such vector.\n";

bool ends_with_ci(const std::string& s, const char* ext) {
  const size_t n = std::strlen(ext);
  return s.size() >= n && iequals(std::string_view(s).substr(s.size() - n), ext);
}

// PROBE files are told by their magic or their first block, RAW files by
// anything else; the extension decides first.
bool is_probe_file(const std::string& path) {
  if (ends_with_ci(path, ".sav")) return true;
  if (ends_with_ci(path, ".raw")) return false;
  MappedFile f;
  if (!f.open(path)) return false;
  const auto b = f.bytes();
  return b.size() >= 8 &&
         (iequals(std::string_view(reinterpret_cast<const char*>(b.data()), 8), kProbeMagic) ||
          std::memcmp(b.data(), "NEWDATA", 7) == 0);
}

// Reads the file into a fresh store; false when nothing was read.
bool load(DataStore& store, const std::string& path) {
  if (!store.start()) return false;
  store.open_data_file(path);
  if (is_probe_file(path)) {
    if (probe_read_file(store, path) > 0) return true;
    MappedFile f;
    if (!f.open(path)) store.notify().error("Cannot open file " + path);
    return false;
  }
  return raw_read_file(store, path, true) > 0;
}

constexpr const char* kDataSummary = "list the vectors of a simulation data file (PROBE or SPICE3 RAW)";
int data(const Arguments& a) {
  BatchNotify notify(kTraceryTitle, a.answer);
  StderrProgress progress;
  DataStore store(notify, progress);
  if (!load(store, a.positionals[0])) return 2;
  std::printf("%-24s %5s %4s %4s %-16s %10s %7s %s\n", "NAME", "CLASS", "KIND", "RUN", "LABEL", "POINTS",
              "COMPLEX", "X");
  const DataClass* c = store.data_class(DATA_CLASS_BINARY);
  for (const auto& v : c->vectors) {
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
  BatchNotify notify(kTraceryTitle, a.answer);
  StderrProgress progress;
  DataStore store(notify, progress);
  if (!load(store, path)) return 2;
  const DataVector* v = store.find_vector(name, DATA_CLASS_BINARY, static_cast<int>(a.integer("--kind", -1)),
                                          -1, -1, static_cast<int>(a.integer("--run", 0)));
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

}  // namespace

std::vector<Verb> data_verbs() {
  const std::vector<OptionSpec> options{
      {.name = "--run", .kind = ValueKind::integer, .min = 1, .max = 2147483647},
      {.name = "--kind", .kind = ValueKind::integer, .min = 0, .max = 9}};
  return {{"data", kDataSummary, kDataUsage, {"FILE"}, {}, data},
          {"values", kValuesSummary, kValuesUsage, {"FILE", "VECTOR"}, options, values}};
}

}  // namespace zephyrim
