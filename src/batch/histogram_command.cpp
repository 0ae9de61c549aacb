// zephyrim histogram: the statistics, the bins and the yield of one vector's
// values (a measurement over Monte Carlo runs, typically), as the viewer's
// Histogram builds them, printed for a script to read.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>

#include "batch/batch.h"
#include "common/eng_number.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/calc/histogram.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

namespace {

constexpr const char* kHistogramUsage =
    "usage: zephyrim histogram DATAFILE VECTOR [--bins N | --width W] [--range LO HI]\n"
    "                          [--yield LO HI] [--run N]\n"
    "Prints the histogram of a real vector's values, as the viewer's Histogram builds\n"
    "it: typically a measurement over Monte Carlo or stepped runs, such as F3DB of\n"
    "'#MEASURE AC VALUE F3DB ...' in the netlist (its listing FILE.OUT holds them).\n"
    "  (default)      bins of a rounded width near half the standard deviation, laid\n"
    "                 around the mean: at most 50, and 10 or more for 11 values or more\n"
    "  --bins N       N equal bins from the smallest to the largest value (from LO to\n"
    "                 HI with --range); the last bin includes its upper edge. Values\n"
    "                 all equal get N bins of 1 % of the value (1 for 0) centred on it\n"
    "  --width W      bins of width W laid around the mean, as Histogram Options sets\n"
    "                 them (the values must spread, or --range give the data range)\n"
    "  --range LO HI  count only the values from LO to HI, both included; without\n"
    "                 --bins or --width the automatic width stays. The statistics are\n"
    "                 those of all the values\n"
    "  --yield LO HI  the percentage of the values from LO to HI, both included\n"
    "  --run N        the Nth vector of that name (VECTOR@N is the same)\n"
    "Numbers take engineering notation: 1.5k, 10MEG, 2.2u.\n"
    "Output, tab-separated, numbers at 15 significant digits:\n"
    "  samples  N     the values counted in the statistics (the finite ones)\n"
    "  mean     M     their mean\n"
    "  sd       S     their sample standard deviation (n - 1; 0 for one value)\n"
    "  min      A     the smallest value\n"
    "  max      B     the largest value\n"
    "  bin      W     the bin width\n"
    "  bins     K     the number of bins\n"
    "  skipped  N     values left out as not finite (NaN, infinite), only when any were\n"
    "then the line '# bin_low<TAB>bin_high<TAB>centre<TAB>count' and one line per bin:\n"
    "its edges, its centre and the number of values v in it, bin_low <= v < bin_high;\n"
    "then, with --yield, 'yield<TAB>P', P the percentage from 0 to 100.\n"
    "VECTOR is looked up among the data file's vectors first, then its tables and\n"
    "measurement results. The system's warnings (a bin width far from the spread) go\n"
    "to stderr; its question about an unusual number of bins takes --answer.\n"
    "Exit status: 0 printed, 1 no such vector, no finite value, or bins or a range\n"
    "that the histogram refuses (the message on stderr), 2 the data file could not\n"
    "be read or the command line is wrong.\n";

constexpr const char* kHistogramSummary = "print the statistics, bins and yield of a vector's values";

constexpr const char* kVerbName = "histogram";

// Knows whether the store has told the user anything, so that a failure the
// store kept quiet about still gets a message of its own.
class CountingNotify : public BatchNotify {
 public:
  using BatchNotify::BatchNotify;
  int shown = 0;

 protected:
  void show(NoticeKind kind, const std::string& text) override {
    ++shown;
    BatchNotify::show(kind, text);
  }
};

int fail(const std::string& why) {
  std::fprintf(stderr, "zephyrim histogram: %s\n", why.c_str());
  return 1;
}

struct Pair {
  std::string low, high;
};

// The pair of words an option of two took, the last given; absent without it.
std::optional<Pair> pair_of(const Arguments& a, const char* name) {
  const std::vector<std::string> all = a.texts(name);
  if (all.size() < 2) return std::nullopt;
  return Pair{all[all.size() - 2], all.back()};
}

struct Bounds {
  double low = 0, high = 0;
};

// What the command line asks for beyond the vector.
struct Request {
  std::string data, vector;
  int bins = 0;  // --bins N; 0 for the histogram's own
  std::optional<double> width;
  std::optional<Bounds> range, yield;
  int run = 0;
};

std::optional<Bounds> bounds(const Arguments& a, const char* name, const Pair& p) {
  const auto low = eng_word(p.low), high = eng_word(p.high);
  if (!low || !high) {
    usage_error(a,
                strprintf("%s needs two numbers, LO and HI, not %s %s", name, p.low.c_str(), p.high.c_str()));
    return std::nullopt;
  }
  return Bounds{*low, *high};
}

// The command line, checked; absent after the usage error.
std::optional<Request> read_request(const Arguments& a) {
  Request r;
  r.data = a.positionals[0];
  r.vector = a.positionals[1];
  if (a.has("--bins") && a.has("--width")) {
    usage_error(a, "--bins and --width both set the bins: give one of them");
    return std::nullopt;
  }
  r.bins = static_cast<int>(a.integer("--bins", 0));
  if (a.has("--width")) {
    r.width = eng_word(a.text("--width"));
    if (!r.width) {
      usage_error(a, "--width needs a number, e.g. 10 or 2.5k, not " + a.text("--width"));
      return std::nullopt;
    }
  }
  if (const auto p = pair_of(a, "--range"); p && !(r.range = bounds(a, "--range", *p))) return std::nullopt;
  if (const auto p = pair_of(a, "--yield"); p && !(r.yield = bounds(a, "--yield", *p))) return std::nullopt;
  r.run = static_cast<int>(a.integer("--run", 0));
  return r;
}

// N equal bins over [low, high], the values inside it counted and high itself
// in the last bin; values all equal get N bins of the automatic width centred
// on them. False after the message.
bool equal_bins(Histogram& h, std::span<const double> values, const std::optional<Bounds>& range, int n,
                Notify& notify, std::vector<double>& counts) {
  const double low = range ? range->low : h.data_min, high = range ? range->high : h.data_max;
  const double span = high - low;
  if (range || span > 0) {
    if (!(span > 0) || !std::isfinite(span)) {
      notify.error(kHistogramInvalidRange);
      return false;
    }
    h.data_min = low;
    h.data_max = high;
    h.low = low;
    h.high = high;
    h.bins = n;
    h.bin = span / n;
    if (!(h.bin > 0)) {
      notify.error(kHistogramInvalidBin);
      return false;
    }
    counts = histogram_counts(h, values, true);
    // Counting takes each bin without its upper edge: what lies on the last
    // one, the largest value itself, belongs to the last bin here.
    double inside = 0, counted = 0;
    for (double v : values)
      if (std::isfinite(v) && v >= low && v <= high) ++inside;
    for (double c : counts) counted += c;
    counts.back() += inside - counted;
    return true;
  }
  // No spread: the value in the middle of N bins of 1 % of it.
  h.bin = histogram_auto_bin(0, h.data_min, h.data_max);
  h.bins = n;
  h.low = h.data_min - h.bin * n / 2;
  h.high = h.data_min + h.bin * n / 2;
  counts = histogram_counts(h, values, false);
  return true;
}

void print(const Histogram& h, const SampleStatistics& s, std::span<const double> counts, bool yield) {
  std::printf("samples\t%lld\n", static_cast<long long>(s.count));
  std::printf("mean\t%.15g\n", s.mean);
  std::printf("sd\t%.15g\n", s.sd);
  std::printf("min\t%.15g\n", s.min);
  std::printf("max\t%.15g\n", s.max);
  std::printf("bin\t%.15g\n", h.bin);
  std::printf("bins\t%d\n", h.bins);
  if (s.skipped > 0) std::printf("skipped\t%lld\n", static_cast<long long>(s.skipped));
  std::printf("# bin_low\tbin_high\tcentre\tcount\n");
  for (size_t k = 0; k < counts.size(); ++k) {
    const double edge = h.low + static_cast<double>(k) * h.bin;
    // The last edge as the histogram holds it, not as the sum of widths rounds it.
    const double next = k + 1 == counts.size() ? h.high : h.low + static_cast<double>(k + 1) * h.bin;
    std::printf("%.15g\t%.15g\t%.15g\t%.15g\n", edge, next, h.low + (static_cast<double>(k) + 0.5) * h.bin,
                counts[k]);
  }
  if (yield) std::printf("yield\t%.15g\n", h.yield);
}

int histogram(const Arguments& a) {
  const auto r = read_request(a);
  if (!r) return 2;
  CountingNotify notify(kTraceryTitle, a.answer);
  StderrProgress progress;
  DataStore store(notify, progress);
  if (!load_data_file(store, r->data)) {
    if (notify.shown == 0) fail("nothing read from " + r->data);
    return 2;
  }
  const DataVector* v = nullptr;
  for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT})
    if (!v) v = store.find_vector(r->vector, cls, -1, -1, 0, r->run);
  if (!v) {
    for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT})
      if (store.find_vector(r->vector, cls, -1, -1, -1, r->run))
        return fail(r->vector + " in " + r->data + " is complex: a histogram counts real values");
    if (r->run > 0 && (store.find_vector(r->vector, DATA_CLASS_BINARY, -1, -1, -1) ||
                       store.find_vector(r->vector, DATA_CLASS_TEXT, -1, -1, -1)))
      return fail(strprintf("%s in %s has no run %d", r->vector.c_str(), r->data.c_str(), r->run));
    return fail("vector " + r->vector + " not found in " + r->data);
  }
  const int before = notify.shown;
  const auto stored = store.values(*v);
  if (stored.empty() && v->points > 0) {
    if (notify.shown == before) fail("the values of " + r->vector + " could not be read from " + r->data);
    return 2;
  }
  const std::vector<double> values(
      stored.begin(),
      stored.begin() + static_cast<std::ptrdiff_t>(std::min<int64_t>(static_cast<int64_t>(stored.size()),
                                                                     std::max<int64_t>(v->points, 0))));

  Histogram h;
  h.source = v->name;
  if (!histogram_prepare(h, values, notify)) return 1;
  const SampleStatistics stats = sample_statistics(values);
  std::vector<double> counts;
  if (r->bins > 0) {
    if (!equal_bins(h, values, r->range, r->bins, notify, counts)) return 1;
  } else if (r->width || r->range) {
    const Bounds range = r->range.value_or(Bounds{h.data_min, h.data_max});
    const int before_options = notify.shown;
    if (!histogram_set_options(h, range.low, range.high, r->width.value_or(h.bin), notify)) {
      // Declining the question says nothing itself.
      if (notify.shown == before_options) fail("the bins were declined: nothing printed");
      return 1;
    }
    counts = histogram_counts(h, values, true);
  } else {
    counts = histogram_counts(h, values, false);
  }
  if (r->yield && !histogram_set_yield(h, values, r->yield->low, r->yield->high, notify)) return 1;
  print(h, stats, counts, r->yield.has_value());
  return 0;
}

}  // namespace

std::vector<Verb> histogram_verbs() {
  const OptionSpec bins{.name = "--bins", .kind = ValueKind::integer, .min = 1, .max = 100000};
  const OptionSpec width{.name = "--width", .needs = "a bin width"};
  const OptionSpec range{.name = "--range", .needs = "a number", .words = 2};
  const OptionSpec yield{.name = "--yield", .needs = "a number", .words = 2};
  const OptionSpec run{.name = "--run", .kind = ValueKind::integer, .min = 1, .max = 2147483647};
  return {{kVerbName,
           kHistogramSummary,
           kHistogramUsage,
           {"DATAFILE", "VECTOR"},
           {bins, width, range, yield, run},
           histogram}};
}

}  // namespace zephyrim
