#pragma once
// The FFT display: the traces of a transient graph replaced by their spectra in
// the chosen complex forms, and the transient graph kept so that the FFT
// command (a toggle) and Undo Transform bring it back as it was.
#include <array>
#include <memory>
#include <optional>

#include "viewer/calc/complex_data.h"
#include "viewer/calc/expression.h"
#include "viewer/calc/fft.h"
#include "viewer/plot/plot_model.h"

namespace zephyrim {

class DataStore;
class Notify;

inline constexpr const char* kFftWrongKind = "FFT available only for TRANSIENT analysis data";
inline constexpr const char* kFftNoMemory = "Not enough memory for FFT";
inline constexpr const char* kFftAutoplotNotAvailable = "#AUTOPLOT FFT data not available";

// The FFT plot options: one flag per complex form, and the options beyond the
// plain transform.
struct FftPlotOptions {
  std::array<bool, kComplexForms> forms{};
  FftOptions transform;
};
// What the dialog opens with: only the magnitude.
FftPlotOptions fft_default_plot_options();

struct FftDisplay {
  bool on = false;
  std::unique_ptr<Graph> transient;  // the graph the spectra replaced
};

// The FFT command once the options are chosen: each trace of the graph
// (digital ones and those without data left out) transformed over [window
// start, window end] (the whole range when end <= start) into the derived
// class, then one trace per chosen form of each spectrum. When anything was
// derived the graph shows the spectra (kind AC, one plot per form when several
// are chosen), the transient graph goes into display and it is marked on.
// Returns the traces shown; 0 leaves the graph as it was ("Not enough memory
// for FFT" when the room for the results could not be had).
int fft_display_on(Graph& graph, DataStore& store, const FftPlotOptions& options, double window_start,
                   double window_end, Notify& notify, FftDisplay& display);

// Turns the FFT display off: the transient graph back, the derived class
// cleared. Returns whether it was on.
bool fft_display_off(Graph& graph, DataStore& store, FftDisplay& display);

// #AUTOPLOT FFT: the autoplot's traces taken from the transient data (class 0,
// or class 1 when only it has transient vectors) and shown as spectra in the
// request's parts, over the whole range. Returns the traces shown; 0 after
// "#AUTOPLOT FFT data not available" when no trace could be set up.
int fft_autoplot(Graph& graph, DataStore& store, AutoplotRequest& request, Notify& notify,
                 const UserParameters* parameters, const FftOptions& options, FftDisplay& display);

}  // namespace zephyrim
