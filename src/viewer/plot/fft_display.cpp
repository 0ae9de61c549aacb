#include "viewer/plot/fft_display.h"

#include <new>
#include <utility>
#include <vector>

#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/autoplot_setup.h"
#include "viewer/plot/trace_selection.h"

namespace zephyrim {

namespace {

constexpr int kDigitalQuantity = 9;

struct DerivedTrace {
  const DataVector* vector;
  int plot;
  TraceOptions options;
};

}  // namespace

FftPlotOptions fft_default_plot_options() {
  FftPlotOptions o;
  o.forms[FORM_MAGNITUDE] = true;
  return o;
}

int fft_display_on(Graph& graph, DataStore& store, const FftPlotOptions& options, double window_start,
                   double window_end, Notify& notify, FftDisplay& display) {
  std::vector<int> forms;
  for (int f = 0; f < kComplexForms; ++f)
    if (options.forms[static_cast<size_t>(f)]) forms.push_back(f);
  if (forms.empty()) return 0;
  std::vector<DerivedTrace> derived;
  try {
    derived.reserve(graph.traces.size() * forms.size());
  } catch (const std::bad_alloc&) {
    notify.error(kFftNoMemory);
    return 0;
  }
  // With several forms each gets a plot of its own: dB over phase, as one reads a spectrum.
  const bool plot_per_form = forms.size() > 1 && forms.size() <= static_cast<size_t>(kMaxPlots);
  for (const auto& trace : graph.traces) {
    if (!trace->y || trace->y->quantity == kDigitalQuantity || trace->y->complex) continue;
    store.progress().show(strprintf("Calculating FFT of %s...", trace->name.c_str()));
    const DataVector* spectrum =
        fft_transform(store, *trace->y, DATA_CLASS_DERIVED, window_start, window_end, options.transform);
    if (!spectrum) continue;
    for (size_t j = 0; j < forms.size(); ++j)
      if (const DataVector* v =
              complex_derive(store, *spectrum, spectrum->name, forms[j], DATA_CLASS_DERIVED))
        derived.push_back({v, plot_per_form ? static_cast<int>(j) : trace->plot, trace->options});
  }
  store.progress().done();
  if (derived.empty()) return 0;

  auto spectra = std::make_unique<Graph>();
  spectra->analysis = ANALYSIS_AC;
  spectra->cls = DATA_CLASS_DERIVED;
  spectra->options = graph.options;
  spectra->header = graph.header;
  spectra->max_selected = graph.max_selected;
  for (const DerivedTrace& d : derived) {
    SelectedTrace* t = add_trace(*spectra, *d.vector, nullptr, d.plot, notify);
    if (!t) break;
    // One form keeps each trace's look; several are told apart by colour.
    if (!plot_per_form) t->options = d.options;
  }
  spectra->plots = plots_in_use(*spectra);
  const int shown = static_cast<int>(spectra->traces.size());
  // A second FFT of a spectrum display still returns to the first transient graph.
  if (!display.on) display.transient = std::make_unique<Graph>(std::move(graph));
  graph = std::move(*spectra);
  display.on = true;
  return shown;
}

bool fft_display_off(Graph& graph, DataStore& store, FftDisplay& display) {
  if (!display.on) return false;
  GraphHeader header = std::move(graph.header);
  if (display.transient) graph = std::move(*display.transient);
  graph.header = std::move(header);
  graph.analysis = ANALYSIS_TRAN;
  display = FftDisplay{};
  store.clear_class(DATA_CLASS_DERIVED);
  return true;
}

int fft_autoplot(Graph& graph, DataStore& store, AutoplotRequest& request, Notify& notify,
                 const UserParameters* parameters, const FftOptions& options, FftDisplay& display) {
  auto has_transient = [&](int cls) {
    const DataClass* c = store.data_class(cls);
    return c && c->kind_count[ANALYSIS_TRAN] > 0;
  };
  Graph transient;
  transient.options = graph.options;
  transient.analysis = ANALYSIS_TRAN;
  transient.cls = !has_transient(DATA_CLASS_BINARY) && has_transient(DATA_CLASS_TEXT) ? DATA_CLASS_TEXT
                                                                                      : DATA_CLASS_BINARY;
  if (!request.x_variable[ANALYSIS_TRAN].empty()) transient.x_variable = request.x_variable[ANALYSIS_TRAN];
  // The FFT entries name transient waveforms, not parts of complex ones.
  std::vector<TraceRequest> requests = autoplot_requests(request, ANALYSIS_AC);
  for (TraceRequest& r : requests) r.part = -1;
  int selected = 0;
  if (has_transient(transient.cls) && !requests.empty())
    selected = select_traces(transient, store, requests, notify, parameters);
  if (selected == 0) {
    notify.error(kFftAutoplotNotAvailable);
    return 0;
  }
  FftPlotOptions plot_options{.forms = request.fft_parts, .transform = options};
  display = FftDisplay{};
  const int shown = fft_display_on(transient, store, plot_options, 0, 0, notify, display);
  if (shown > 0) graph = std::move(transient);
  return shown;
}

}  // namespace zephyrim
