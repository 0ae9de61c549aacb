#pragma once
// SPICE3 RAW files (".RAW"), text ("values:") and binary ("binary:"), with any
// number of plots one after the other. Also read: headers in UTF-16LE with
// binary values of 4-byte floats beside a double x variable, stored point by
// point or variable by variable ("fastaccess"), and stepped runs in one plot.
#include <functional>
#include <string>

namespace zephyrim {

class DataStore;

// Registers every variable of every plot in class 0 of the store. Binary plots
// are catalogued without their values, which are loaded from the file at the
// first use of a vector (with the rest of its plot when that is small) or all
// at once by DataStore::load_all; text plots are read whole. With
// header_wanted, the title, date, command and temperature become the store's
// header information. Returns the number of vectors registered; vectors
// registered before an error stay.
int raw_read_file(DataStore& store, const std::string& path, bool header_wanted);

// Called after each plot's vectors are registered and loaded. It may clear
// class 0 of the store, so that a caller taking one plot at a time holds no
// more than the largest; returning false ends the reading.
using RawPlotRead = std::function<bool(DataStore& store)>;
int raw_read_file(DataStore& store, const std::string& path, bool header_wanted,
                  const RawPlotRead& plot_read);

}  // namespace zephyrim
