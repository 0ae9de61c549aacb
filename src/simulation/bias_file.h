#pragma once
// The bias file (".OPB"): the operating point that the schematic editor prints
// on the schematic, node voltages and source currents. The engine writes it
// beside the netlist when the command file asks for it with .OPTION SAVEOPB;
// the editor reads it when the bias display is switched on.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zephyrim {

inline constexpr size_t kBiasNameWidth = 64;
inline constexpr size_t kBiasHeaderSize = 136;
inline constexpr size_t kBiasRecordSize = kBiasNameWidth + 4;
// Names longer than this are cut when read.
inline constexpr size_t kBiasMaxName = kBiasNameWidth - 1;

struct BiasEntry {
  std::string name;  // node name, or device reference
  float value = 0;   // volts for a node, amperes for a device
};

// The two tables of one file.
struct BiasData {
  std::vector<BiasEntry> nodes;    // node voltages, in file order
  std::vector<BiasEntry> devices;  // source currents, in file order
};

// Header (all integers 32-bit little-endian, texts blank-padded):
//   0   i32   format mark, 1
//   4   24    the engine's name
//   28  16    date of the run
//   44  8     zero
//   52  64    circuit title
//   116 i32   name field width, 64
//   120 i32   node count N
//   124 i32   device count D
//   128 i32   zero
//   132 i32   zero
//   136       N node records, then D device records: 64-byte name, f32 value
std::vector<uint8_t> bias_file_bytes(const std::string& title, const std::string& date,
                                     const std::vector<BiasEntry>& nodes,
                                     const std::vector<BiasEntry>& devices);

// Decodes a whole file. Returns 1 and fills out; returns 0 and empties out when
// the bytes end before the last record, the width field is not 64, a count is
// negative, or a name is empty. A name ends at its first NUL, or after 63
// characters, and is then cut after its last non-blank character. Bytes after
// the last record are ignored; of the header only the width and the counts are
// looked at.
int bias_file_decode(std::span<const uint8_t> bytes, BiasData& out);

// The bias file of a netlist: its path with the extension replaced by "OPB"
// (FILE.CIR gives FILE.OPB, a path without one gets ".OPB"). The engine names
// the file it writes by this too.
std::string bias_file_path(const std::string& netlist_path);

// Reads and decodes the file. Returns 1 and fills out; 0 when the file is
// missing or cannot be read; -1 when its contents are bad. out is emptied on
// -1 and left as it was on 0.
int bias_file_read(const std::string& path, BiasData& out);

}  // namespace zephyrim
