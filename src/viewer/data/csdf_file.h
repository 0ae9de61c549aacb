#pragma once
// CSDF files: text data blocks made of "#H" header fields (KEY=VALUE, or
// KEY='value with blanks'), "#N" node names, one "#C" line per data point and
// "#;" at the end of each block. A line without a marker continues the section
// before it, so names and the values of a point may run over several lines.
#include <string>

namespace zephyrim {

class DataStore;

// Registers every block of the file in class 0 of the store: the x vector named
// by SWEEPVAR and one vector per node, real or complex. Blocks after the first
// take the next run numbers. With header_wanted, the first block's title,
// source, date and time, and the temperature, become the store's header
// information. Returns the number of vectors registered; on an error the
// reading ends after the message, and blocks registered before stay.
int csdf_read_file(DataStore& store, const std::string& path, bool header_wanted);

}  // namespace zephyrim
