#pragma once
// SPICE3 RAW files (".RAW"), text ("values:") and binary ("binary:"), with any
// number of plots one after the other. Also read: headers in UTF-16LE with
// binary values of 4-byte floats beside a double x variable, stored point by
// point or variable by variable ("fastaccess"), and stepped runs in one plot.
#include <string>

namespace zephyrim {

class DataStore;

// Registers every variable of every plot in class 0 of the store, with its
// values. With header_wanted, the title, date, command and temperature become
// the store's header information. Returns the number of vectors registered;
// vectors registered before an error stay.
int raw_read_file(DataStore& store, const std::string& path, bool header_wanted);

}  // namespace zephyrim
