#pragma once
// #AUTOPLOT: what to plot right after a simulation. The editor writes these
// lines into the analysis commands, the simulator echoes them into its listing
// and scripts carry them too; each statement adds to one request that the plot
// set-up applies once the data is read.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/calc/complex_data.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

class Notify;

inline constexpr int kAutoplotPlots = 8;
inline constexpr size_t kAutoplotNameMax = 63;
// A linear axis from the statements may have at most this many ticks.
inline constexpr int kAxisTicksMax = 100;

enum ChartType : int { CHART_NORMAL = 0, CHART_SMITH = 1, CHART_HISTOGRAM = 2, CHART_POLAR = 3 };

// A statement cut into tokens at blank, comma and tab. Brackets of any kind
// nest, and separators inside them belong to the token, so "{V(1) + V(2)}" stays
// whole. With quotes_nest a quote also opens a level that nothing closes: from
// the first quote on, the rest of the statement is one token.
std::vector<std::string> statement_tokens(std::string_view statement, bool quotes_nest);

// Manual limits of one axis (XAXIS= or YAXIS=).
struct AxisLimits {
  bool manual = false;       // false: the axis stays automatic
  double min = 0;            // low limit
  double max = 0;            // high limit, above min
  double spacing = 0;        // tick spacing; a fifth of the range when not given
  std::optional<int> ticks;  // 1..100, only when the spacing was given
  bool operator==(const AxisLimits&) const = default;
};

// An X variable by name, or an X expression (braces removed).
struct XVariable {
  std::string text;  // empty: none
  bool expression = false;
  bool empty() const { return text.empty(); }
  bool operator==(const XVariable&) const = default;
};

// The text inside enclosing braces, or the text itself.
std::string strip_braces(std::string_view text);
// The operand of X=: a name, or an expression when it is in braces.
XVariable x_variable_of(std::string_view operand);

struct AutoplotTrace {
  std::optional<int> analysis;            // none: every analysis kind
  std::string name;                       // at most 63 characters; empty for an unnamed expression
  std::optional<std::string> expression;  // braces removed
  std::optional<int> plot;                // 0..7
  int part = -1;                          // ComplexForm of an AC part[{expr}] entry, -1 none
};

struct AutoplotRequest {
  int statements = 0;                            // #AUTOPLOT statements taken since the request was cleared
  std::optional<int> analysis;                   // the latest statement's analysis selector
  std::optional<int> plot;                       // the latest statement's plot number, 0..7
  int chart = CHART_NORMAL;                      // ChartType
  bool fft = false;                              // show the FFT of the traces
  std::array<bool, kComplexForms> fft_parts{};   // the complex parts of the FFT display
  std::array<XVariable, kKindSlots> x_variable;  // per analysis kind
  bool xlog = false;                             // the X options as the statements gave them last
  std::array<bool, kAutoplotPlots> ylog{};
  AxisLimits x_limits;
  std::array<AxisLimits, kAutoplotPlots> y_limits;
  std::string x_label;
  std::array<std::string, kAutoplotPlots> y_labels;
  // The X options per analysis kind: a statement's own kind, or every kind.
  std::array<bool, kKindSlots> xlog_for{};
  std::array<AxisLimits, kKindSlots> x_limits_for{};
  std::array<std::string, kKindSlots> x_label_for{};
  std::vector<AutoplotTrace> traces;  // in statement order
  // Entries per analysis kind; an entry without analysis counts for kinds 0 to 3.
  std::array<int, kKindSlots> entries{};
};

// Parses one #AUTOPLOT statement (upper case, token 0 the statement word) into
// the request. Returns 1, or 0 when an axis option was refused after its
// message (the rest of the statement still applies).
int parse_autoplot(AutoplotRequest& request, std::string_view statement, Notify& notify);

// Reads "XAXIS=(min,max)" or "XAXIS=(min,max,spacing)" into limits. Returns 1
// when the limits apply; 0 after the error or warning, limits unchanged.
int parse_axis_limits(std::string_view option, AxisLimits& limits, Notify& notify);

// The request as readable lines: analysis, plots, traces, X variables, log
// axes, limits, labels and FFT parts.
std::string autoplot_describe(const AutoplotRequest& request);

// OTHER, DC, TRAN, AC, NOISE, DISTO, PZ, FOUR, OP for kinds 0 to 8.
const char* analysis_short_name(int kind);

}  // namespace zephyrim
