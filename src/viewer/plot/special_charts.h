#pragma once
// The charts that transform the selected traces before they are shown: the
// Smith chart and the polar chart of complex AC quantities, and the eye display
// that folds a transient waveform into one period. Each stores new vectors,
// builds a graph whose traces point at them and sets fixed axes; the graph it
// replaced can be kept so that Undo Transform brings it back.
//
// What a Smith chart draws. The chart is a chart of reflection coefficients:
// its unit circle is |gamma| = 1 and its grid (drawn by the painter from the
// circle functions below) reads a point as the normalised impedance
// z = (1 + gamma) / (1 - gamma). Which value a trace holds is told by its name:
//   - an impedance: a name (trace or vector, braces and complex part code
//     removed) starting with Z (ZLOAD, Z(1), ZDB(1) with ZP(1), {Z1...}), or an
//     expression that is one voltage over one current (V(A)/I(VX),
//     ZIN=V(1)/I(V1)). The chart shows gamma = (z - Z0) / (z + Z0) with the
//     graph's smith_z0 (50 ohms unless set), so that a load lands on the
//     circle of its resistance;
//   - anything else (a voltage, an S-parameter, a ratio of two voltages): the
//     value is already a reflection coefficient and is drawn as it is.
// Naming an expression ZSOMETHING= makes it an impedance; naming it anything
// else not starting with Z keeps it as it is.
//
// Phase vectors (the P form, VP(2) or P[X]) hold degrees, as the complex forms
// write them (unwrapped degrees); they are read as degrees here.
#include <complex>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/plot/plot_model.h"

namespace zephyrim {

class DataStore;
class Notify;
struct DataVector;

// ---- Messages and names ---------------------------------------------------

inline constexpr const char* kSmithNotValid = "%s not a valid Smith chart variable";
inline constexpr const char* kPolarSelectTitle = "SELECT POLAR CHART VARIABLES";
inline constexpr const char* kEyeWrongKind = "TRANSIENT analysis data needed for eye display";
inline constexpr const char* kEyeBadPeriod = "Invalid period - must be greater than 0";
inline constexpr const char* kEyeBadRange = "Invalid eye plot data range specified";
inline constexpr const char* kEyeNoData = "No data in eye plot";
inline constexpr const char* kEyeVectorName = "TEYE";
inline constexpr const char* kEyeCaption = "TIME EYE SWEEP";

// The most characters of the R[..] and I[..] names, brackets included.
inline constexpr size_t kChartPartNameMax = 19;
// The X an eye display gives to points before (-) and after (+) its window.
inline constexpr double kEyeOutside = 1e28;
inline constexpr double kSmithDefaultZ0 = 50;

// ---- Smith chart geometry (shared by the painter and the tests) ----------

// gamma = (z - z0) / (z + z0) for z = z_re + j z_im ohms; infinite parts when
// z = -z0.
std::complex<double> smith_reflection(double z_re, double z_im, double z0);
// The impedance in ohms of a reflection coefficient: z0 (1 + gamma) / (1 - gamma);
// infinite parts at gamma = 1 (the open circuit).
std::complex<double> smith_impedance(double gamma_re, double gamma_im, double z0);

// A circle of the grid in the chart's (gamma) plane.
struct SmithCircle {
  double centre_x = 0;
  double centre_y = 0;
  double radius = 0;
};
// The points of constant normalised resistance r >= 0: centre (r/(r+1), 0),
// radius 1/(r+1). r = 0 is the unit circle.
SmithCircle smith_resistance_circle(double r);
// The points of constant normalised reactance x: centre (1, 1/x), radius
// 1/|x|. x = 0 is the real axis: centre_y and radius are infinite then, and
// the painter draws the horizontal diameter instead.
SmithCircle smith_reactance_circle(double x);

// Whether a trace holds an impedance (see the top of this file): its name or
// its expression text ("NAME=expr" or the expression alone).
bool smith_is_impedance(std::string_view name, std::string_view expression);

// ---- The transforms and their undo ----------------------------------------

enum TransformKind : int {
  TRANSFORM_FFT = 1,
  TRANSFORM_EYE = 2,
  TRANSFORM_SMITH = 3,
  TRANSFORM_POLAR = 4,
};

// The eye display's options, as its dialog holds them.
struct EyeOptions {
  double period = 0;  // P, seconds; above 0
  double delay = 0;   // d: the folded period starts at -(d + P/2)
  double t_low = 0;   // the window of time folded; points outside are not drawn
  double t_high = 0;
};

// What Undo Transform needs: for every transform shown, in the order they were
// made, the graph it replaced and the vectors it stored. A transform of the
// kind on top (another eye with new options, a Smith chart again) starts over
// from the graph that one replaced; another kind stacks (a Smith chart of FFT
// spectra undoes to the spectra, then to the transient graph).
struct TransformStep {
  int kind = 0;                           // TransformKind
  std::unique_ptr<Graph> before;          // the graph the transform replaced
  std::vector<const DataVector*> stored;  // removed from the store on undo
};
struct TransformDisplay {
  std::vector<TransformStep> steps;
  EyeOptions eye;  // the eye options used last (the dialog opens with them)
  bool empty() const { return steps.empty(); }
  int top_kind() const { return steps.empty() ? 0 : steps.back().kind; }
};

// Undo Transform: the graph before the latest transform back, its vectors
// removed from the store. False when nothing was transformed.
bool transform_undo(Graph& graph, DataStore& store, TransformDisplay& display);

// ---- Smith and polar charts -------------------------------------------------

// The Smith chart of the graph's traces: each trace's complex value (a complex
// vector split; a real vector named with a part code read with its partner
// part: DB and M with P, P with M, R with I, I with R), as a reflection
// coefficient (an impedance converted with graph.smith_z0), stored as R[name]
// and I[name] in DATA_CLASS_DERIVED kind AC. The chart's traces show I[..]
// against R[..] in one plot with their old X vector as the third; axes -1..1
// with ticks every 0.5, alternating symbols, chart CHART_SMITH. A trace that
// cannot be converted gets "%s not a valid Smith chart variable" and is left
// out. Returns the traces shown; with none the graph stays as it was. With
// undo, the replaced graph and the stored vectors are kept there.
int smith_chart_show(Graph& graph, DataStore& store, Notify& notify, TransformDisplay* undo = nullptr);

// The polar chart: the same pairing of parts, each trace showing the
// imaginary part of its value against the real part (no reflection
// transform), both axes the same limits symmetric around 0, chart CHART_POLAR.
// Returns and keeps as smith_chart_show.
int polar_chart_show(Graph& graph, DataStore& store, Notify& notify, TransformDisplay* undo = nullptr);

// ---- Eye display --------------------------------------------------------------

// The options dialog's checks: false after "Invalid period - must be greater
// than 0" (P <= 0) or "Invalid eye plot data range specified" (t_high <= t_low).
bool eye_options_check(const EyeOptions& options, Notify& notify);

// Each time folded into one period starting at -(d + P/2):
//   P * (atan(tan(pi * (t + d + P/2) / P - pi/2)) + pi/2) / pi - (d + P/2),
// with a point on the seam taken as the start of its period, so that every
// folded value lies in [-(d + P/2), P/2 - d). Times before t_low give -1e28,
// after t_high +1e28.
std::vector<double> eye_fold(std::span<const double> t, const EyeOptions& options);

// The read-out lines of an eye display: "Period=%s", "Delay=%s" (5 digits).
std::vector<std::string> eye_readout(const EyeOptions& options);

// The eye display of a transient graph: the first trace's X folded and stored
// as TEYE (DATA_CLASS_TEXT, kind TRAN), the X of every trace (a trace over
// another X vector gets that one folded, also named TEYE); the X axis over
// the smallest to the largest folded value, captioned "TIME EYE SWEEP", the
// period and delay as the graph's read-out. Returns the traces shown; 0 after
// "TRANSIENT analysis data needed for eye display", an options message or "No
// data in eye plot", the graph as it was. With undo, the options are kept and
// the graph replaced goes there (an eye shown again starts from the graph
// before the first).
int eye_display_show(Graph& graph, DataStore& store, const EyeOptions& options, Notify& notify,
                     TransformDisplay* undo = nullptr);

}  // namespace zephyrim
