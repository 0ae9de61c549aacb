#pragma once
// The histogram chart: a graph of one plot whose COUNT trace the painter draws
// as bars over the bins, with the Gaussian curve as a second trace and the
// statistics as read-out lines. The counts and the curve live in the derived
// class, replaced whenever the bins change.
#include "viewer/plot/plot_model.h"

namespace zephyrim {

class DataStore;
class Notify;

// Shows the histogram of a real vector's values: statistics, automatic bins,
// the counts, the chart. 1, or 0 after a message (no values, no memory); the
// graph is unchanged then.
int histogram_show(Graph& graph, DataStore& store, const DataVector& source, Notify& notify);

// Counts again with the histogram's bins as Histogram Options set them, only
// the values inside its data range. 1, or 0 after the store's message.
int histogram_recount(Graph& graph, DataStore& store, Notify& notify);

// Fit Gaussian: the curve of the histogram's mean and spread over the bars.
// 1, or 0 after a message (no histogram shown, no spread).
int histogram_fit_gaussian(Graph& graph, DataStore& store, Notify& notify);

// Yield: the share of the values inside [low, high]. 1, or 0 after the message.
int histogram_yield(Graph& graph, DataStore& store, double low, double high, Notify& notify);

// The histogram chart's axes once the automatic ones are set: X over the bins,
// counts from 0 with whole-number ticks up to the first tick above the largest.
void histogram_axes(Graph& graph, DataStore& store);

}  // namespace zephyrim
