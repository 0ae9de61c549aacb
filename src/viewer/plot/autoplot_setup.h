#pragma once
// The graph a data file shows first: the analysis kind chosen, the #AUTOPLOT
// request applied (or, without one, every printed vector), its axis options
// and labels, and the header texts.
#include <vector>

#include "viewer/calc/autoplot.h"
#include "viewer/calc/expression.h"
#include "viewer/plot/plot_model.h"
#include "viewer/plot/trace_selection.h"

namespace zephyrim {

class DataStore;
class Notify;
struct FftDisplay;

// The analysis kind to show after a file was read: that of the request's first
// entry whose kind the data has, else the first of transient, AC, DC, noise, distortion,
// pole-zero, Fourier and other that has vectors; -1 when there is no data.
int choose_analysis(DataStore& store, const AutoplotRequest& request);

// Chooses the variables of the graph's analysis kind from the request (or the
// printed tables) and selects them. Returns the number of traces selected.
int autoplot_select_variables(Graph& graph, DataStore& store, AutoplotRequest& request, Notify& notify,
                              const UserParameters* parameters = nullptr);

// The autoplot set-up after a file was read, with graph.analysis chosen.
// An AC request that asks for the FFT shows the spectra of its transient
// traces; fft_display keeps the transient graph for the FFT toggle (none: it
// is not kept). Returns the number of traces; 0 leaves nothing shown.
int autoplot_setup(Graph& graph, DataStore& store, AutoplotRequest& request, Notify& notify,
                   const UserParameters* parameters = nullptr, FftDisplay* fft_display = nullptr);

// The trace requests of the request's entries for an analysis kind (entries
// without a kind included).
std::vector<TraceRequest> autoplot_requests(const AutoplotRequest& request, int kind);

// The request's axis options and labels applied to the graph.
void apply_autoplot_axes(Graph& graph, const AutoplotRequest& request);

}  // namespace zephyrim
