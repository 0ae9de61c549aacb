// zephyrim fft: the spectrum of a transient vector of a simulation data file,
// as a table a script reads (numpy.loadtxt, gnuplot, a spreadsheet).
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>

#include "batch/batch.h"
#include "common/eng_number.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/calc/complex_data.h"
#include "viewer/calc/fft.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

namespace {

constexpr const char* kFftUsage =
    "usage: zephyrim fft DATAFILE VECTOR [--from T1] [--to T2] [--points N] [--window NAME]\n"
    "                    [--periods F] [--form FORM] [--run N]\n"
    "Prints the spectrum of a transient vector (V(OUT), I(R1), ...), as the viewer's FFT\n"
    "computes it: the waveform resampled on a uniform grid, transformed, and the lower\n"
    "half kept, scaled to amplitudes (a sine of amplitude A gives A at its frequency;\n"
    "the 0 Hz line is the mean).\n"
    "  --from T1, --to T2  the time window (default the whole record; either alone\n"
    "                      runs to the end or from the start); engineering notation\n"
    "                      is taken: 2m, 10u, 1.5ms\n"
    "  --points N          the number of samples, a power of two from 2 to 16777216\n"
    "                      (default: the points of the record, rounded up to a power of\n"
    "                      two, at most 8192)\n"
    "  --window NAME       none (default), hann, hamming, blackman or flattop, corrected\n"
    "                      for its gain so that amplitudes stay amplitudes\n"
    "  --periods F         the fundamental in Hz (1k, 50): the record is cut to its last\n"
    "                      whole periods of F, so that F and its harmonics fall on lines\n"
    "  --form FORM         mag (default), dB, phase, angle, real, imag, gd, gv, dbm,\n"
    "                      dbmv or the form's number; complex prints the real and the\n"
    "                      imaginary part\n"
    "  --run N             the Nth run of a stepped or repeated simulation\n"
    "Output: a header line '# FREQ<TAB>NAME...' naming the columns (VMFFT(OUT) for\n"
    "V(OUT) and mag), then one line per spectrum line: frequency and value(s),\n"
    "tab-separated. Without --run, a file of several runs gives every run, each\n"
    "block after a line '# run N LABEL' (LABEL - when the run has none); with --run\n"
    "or a file of one run, a single block without that line. Lines starting with #\n"
    "are comments to numpy.loadtxt and gnuplot.\n"
    "VECTOR is looked up among the data file's vectors first, then its tables; it must\n"
    "be real and transient. It may end in @RUN, as --run N.\n"
    "Exit status: 0 printed, 1 no such vector or no spectrum (too few points, a record\n"
    "shorter than one period), 2 the data file could not be read or the command line\n"
    "or an option's value is wrong. Every failure is told on stderr.\n";

constexpr const char* kFftSummary =
    "print the spectrum (FFT) of a transient vector of a simulation data file";

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
  std::fprintf(stderr, "zephyrim fft: %s\n", why.c_str());
  return 1;
}

// What the command line asks for beyond the vector.
struct FftRequest {
  FftOptions options;
  std::optional<double> from, to;
  int form = FORM_MAGNITUDE;  // -1: real and imaginary part
  int run = 0;                // 0: every run
};

// The option values, checked; absent after the message.
std::optional<FftRequest> read_request(const Arguments& a) {
  FftRequest r;
  for (const char* name : {"--from", "--to"}) {
    if (!a.has(name)) continue;
    const auto v = eng_word(a.text(name));
    if (!v) {
      fail(strprintf("%s needs a time, e.g. 2m or 0.002, not %s", name, a.text(name).c_str()));
      return std::nullopt;
    }
    (name[2] == 'f' ? r.from : r.to) = *v;
  }
  if (r.from && r.to && !(*r.to > *r.from)) {
    fail(strprintf("--to (%s) must lie after --from (%s)", a.text("--to").c_str(), a.text("--from").c_str()));
    return std::nullopt;
  }
  if (a.has("--points")) {
    const auto n = parse_whole_number(a.text("--points"));
    if (!n || !fft_points_valid(*n)) {
      fail(strprintf("--points needs a power of two from 2 to %lld, not %s",
                     static_cast<long long>(kFftMaxPoints), a.text("--points").c_str()));
      return std::nullopt;
    }
    r.options.points = *n;
  }
  if (a.has("--window")) {
    r.options.window = fft_window_from_name(a.text("--window"));
    if (r.options.window < 0) {
      fail("--window needs none, hann, hamming, blackman or flattop, not " + a.text("--window"));
      return std::nullopt;
    }
  }
  if (a.has("--periods")) {
    const auto f = eng_word(a.text("--periods"));
    if (!f || !(*f > 0)) {
      fail("--periods needs a frequency above 0 in Hz, e.g. 1k, not " + a.text("--periods"));
      return std::nullopt;
    }
    r.options.fundamental = *f;
  }
  if (a.has("--form")) {
    const std::string form = a.text("--form");
    r.form = iequals(form, "complex") ? -1 : complex_form_from_name(form);
    if (r.form == -1 && !iequals(form, "complex")) {
      fail(
          "--form needs mag, dB, phase, angle, real, imag, gd, gv, dbm, dbmv, a number from 0 to 9 or "
          "complex, not " +
          form);
      return std::nullopt;
    }
  }
  if (a.has("--run")) {
    const auto n = parse_whole_number(a.text("--run"));
    if (!n || *n < 1 || *n > 2147483647) {
      fail("--run needs a whole number of at least 1, not " + a.text("--run"));
      return std::nullopt;
    }
    r.run = static_cast<int>(*n);
  }
  return r;
}

// The column names after FREQ.
std::string column_names(const std::string& spectrum, int form) {
  if (form < 0)
    return complex_form_name(spectrum, FORM_REAL) + "\t" + complex_form_name(spectrum, FORM_IMAGINARY);
  return complex_form_name(spectrum, form);
}

// Transforms one run and prints its lines after the lead (the header, the run's
// line), so that a run without a spectrum leaves no heading behind; false after
// the message.
bool print_spectrum(DataStore& store, CountingNotify& notify, const DataVector& v, const FftRequest& r,
                    const std::string& lead) {
  const int before = notify.shown;
  const auto x = v.x ? store.values(*v.x) : std::span<const double>();
  if (x.size() < 2) {
    if (notify.shown == before) fail(v.name + " has fewer than two points: no spectrum");
    return false;
  }
  // Either end alone runs to the other end of the record; a window outside it is a mistake.
  const double first = x.front(), last = x.back();
  const double from = r.from.value_or(first), to = r.to.value_or(last);
  if (!(from < last) || !(to > first)) {
    fail(strprintf("the window lies outside the record of %s (%s to %s s)", v.name.c_str(),
                   format_eng(first, 5).c_str(), format_eng(last, 5).c_str()));
    return false;
  }
  const bool window = r.from || r.to;
  const DataVector* spectrum =
      fft_transform(store, v, DATA_CLASS_DERIVED, window ? from : 0, window ? to : 0, r.options);
  if (!spectrum || !spectrum->x) {
    if (notify.shown == before) fail("no spectrum of " + v.name + ": the window holds fewer than two points");
    return false;
  }
  // Both are stored with their values: neither view moves the other.
  const auto freq = store.values(*spectrum->x);
  const auto pairs = store.values(*spectrum);
  const size_t n = std::min(freq.size(), pairs.size() / 2);
  if (n == 0) {
    if (notify.shown == before) fail("no spectrum of " + v.name);
    return false;
  }
  std::vector<double> re(n), im(n), shown;
  for (size_t k = 0; k < n; ++k) {
    re[k] = pairs[2 * k];
    im[k] = pairs[2 * k + 1];
  }
  if (r.form >= 0) shown = complex_form_values(re, im, freq.first(n), r.form);
  std::fputs(lead.c_str(), stdout);
  for (size_t k = 0; k < n; ++k) {
    if (r.form >= 0)
      std::printf("%.15g\t%.15g\n", freq[k], shown[k]);
    else
      std::printf("%.15g\t%.15g\t%.15g\n", freq[k], re[k], im[k]);
  }
  return true;
}

int fft(const Arguments& a) {
  const std::string &path = a.positionals[0], &name = a.positionals[1];
  const auto request = read_request(a);
  if (!request) return 2;  // a usage error, as the tool's other verbs have it
  CountingNotify notify(kTraceryTitle, a.answer);
  StderrProgress progress;
  DataStore store(notify, progress);
  if (!load_data_file(store, path)) {
    if (notify.shown == 0) fail("nothing read from " + path);
    return 2;
  }
  const DataVector* v = nullptr;
  for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT})
    if (!v) v = store.find_vector(name, cls, ANALYSIS_TRAN, -1, 0, request->run);
  if (!v) {
    bool other = false;
    for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT})
      other |= store.find_vector(name, cls, -1, -1, -1, request->run) != nullptr;
    if (other) return fail(name + " in " + path + " is not a real transient vector");
    if (request->run > 0)
      return fail(strprintf("%s in %s has no run %d", name.c_str(), path.c_str(), request->run));
    return fail("vector " + name + " not found in " + path);
  }
  if (!v->x) return fail(name + " in " + path + " is an x axis, not a waveform");
  // A run picked by --run or by "@N" after the name prints alone.
  std::vector<const DataVector*> runs;
  const bool picked = request->run > 0 || (name.size() > v->name.size() && name[v->name.size()] == '@');
  if (picked)
    runs.push_back(v);
  else
    for (const DataVector* p = store.next_run(v, nullptr); p; p = store.next_run(v, p)) runs.push_back(p);
  if (runs.empty()) runs.push_back(v);

  std::string header = "# FREQ\t" + column_names(fft_output_name(v->name), request->form) + "\n";
  bool failed = false;
  for (const DataVector* p : runs) {
    std::string lead = header;
    if (runs.size() > 1) {
      const std::string* label = store.vector_label(*p);
      lead += strprintf("# run %d %s\n", p->run, label && !label->empty() ? label->c_str() : "-");
    }
    if (print_spectrum(store, notify, *p, *request, lead))
      header.clear();
    else
      failed = true;
  }
  return failed ? 1 : 0;
}

}  // namespace

std::vector<Verb> fft_verbs() {
  const OptionSpec from{.name = "--from", .needs = "a time"};
  const OptionSpec to{.name = "--to", .needs = "a time"};
  const OptionSpec points{.name = "--points", .needs = "a power of two"};
  const OptionSpec window{.name = "--window", .needs = "a window name"};
  const OptionSpec periods{.name = "--periods", .needs = "a frequency"};
  const OptionSpec form{.name = "--form", .needs = "a complex form or complex"};
  const OptionSpec run{.name = "--run", .needs = "a run number"};
  return {{"fft",
           kFftSummary,
           kFftUsage,
           {"DATAFILE", "VECTOR"},
           {from, to, points, window, periods, form, run},
           fft}};
}

}  // namespace zephyrim
