#pragma once
// The cross-reference map written beside the netlist: per circuit scope, the
// connectivity pass's error and warning lines, then every node with its name,
// the number of wires on it and the part pins joined to it.
#include <string>

#include "common/notify.h"
#include "netlist/connectivity.h"
#include "schematic/schematic.h"

namespace zephyrim {

// The program version named in the map file's first line.
inline constexpr const char* kMapProgramVersion = "7.16a Win32";

// The map file beside a netlist or schematic: the same name with extension "MAP".
std::string map_file_name(const std::string& path);

// The first line and its blank line.
std::string map_file_header();

// One scope's node table as it appears in the map file. The wires and parts
// counted are those of `scope` on `page`; node indices are read from them, so
// the pass must just have numbered that scope.
std::string map_node_table(const Page& page, const BlockRecord& scope, const NodeTable& table);
// The same appended to out.
void map_node_table_append(std::string& out, const Page& page, const BlockRecord& scope,
                           const NodeTable& table);

// While it lives, every connectivity pass run on `c` adds its map text to `out`:
// the error and warning lines, and in map mode each numbered scope's node
// table (of the page current at that time). The hooks `c` had are put back
// when it ends, however that happens.
class MapCapture {
 public:
  MapCapture(const Schematic& s, Connectivity& c, std::string& out);
  ~MapCapture();
  MapCapture(const MapCapture&) = delete;
  MapCapture& operator=(const MapCapture&) = delete;

 private:
  Connectivity& c_;
  decltype(Connectivity::map_text) saved_text_;
  decltype(Connectivity::write_table) saved_table_;
};

// Runs the connectivity pass in map mode on every page in turn, sheet 1 first,
// and returns the whole map text. The current page is restored afterwards, and
// so are the hooks of `c`. *result (when given) is -1 when any sheet's pass
// found bad labels or was cancelled at a notice, else the highest result of the
// sheets: 2 when some sheet was numbered, 0 when no sheet has parts.
std::string map_file_text(Schematic& s, Connectivity& c, Notify& notify, int* result = nullptr,
                          ConnectivityPass pass = build_connectivity);

// The same text written to `path` (normally map_file_name of the schematic).
// False with "Cannot open netlist map file %s" when the file cannot be written;
// the pass has run all the same and *result holds its outcome.
bool map_file_write(Schematic& s, Connectivity& c, const std::string& path, Notify& notify,
                    int* result = nullptr);

}  // namespace zephyrim
