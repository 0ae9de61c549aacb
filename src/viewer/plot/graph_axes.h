#pragma once
// The axes of a graph from its traces: the data range of each plot and of the
// shared X axis, then the #AUTOPLOT or user limits where given and automatic
// ones elsewhere.
#include "viewer/plot/plot_model.h"

namespace zephyrim {

class DataStore;
class Notify;

// Sets graph.x_axis and every used plot's y_axis. Returns false when the
// traces' values could not be read (after the store's message).
bool graph_update_axes(Graph& graph, DataStore& store, Notify& notify);

}  // namespace zephyrim
