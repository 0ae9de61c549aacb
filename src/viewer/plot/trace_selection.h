#pragma once
// Turning requested names and expressions into traces of the graph: direct
// names, complex forms of complex vectors, V(a,b), expressions per run, the
// other data class, and the graph's X variable. Autoplot, Probe, Add Traces and
// format recall all come here.
#include <optional>
#include <string>
#include <vector>

#include "viewer/calc/expression.h"
#include "viewer/plot/plot_model.h"

namespace zephyrim {

struct TraceRequest {
  std::string name{};                       // empty: an expression alone
  std::optional<std::string> expression{};  // "NAME=expr" or an expression
  int run = 0;                              // 0: every run
  std::string x_name{};                     // empty: any X vector
  int plot = 0;                             // 0..7
  int part = -1;                            // complex form to show; -1: by the name, else magnitude
  int traces = 0;                           // traces this request gave (filled in)
};

// Selects the requests in the graph's class and analysis kind. Returns the
// number of traces added; stops when the table is full. Progress texts go
// through the store's Progress.
int select_traces(Graph& graph, DataStore& store, std::vector<TraceRequest>& requests, Notify& notify,
                  const UserParameters* parameters = nullptr);

// The name that stands for a noise vector: ONOISE is V(ONOISE); VINOISE and
// IINOISE are V(INOISE) when voltage input-noise vectors exist, else I(INOISE).
std::string noise_vector_name(const DataStore& store, std::string_view name);

}  // namespace zephyrim
