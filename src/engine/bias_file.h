#pragma once
// The bias file (".OPB"): the operating point that the schematic editor prints
// on the schematic, node voltages and source currents, written by the engine
// when the command file asks for it with .OPTION SAVEOPB.
#include <cstdint>
#include <string>
#include <vector>

namespace zephyrim {

inline constexpr size_t kBiasNameWidth = 64;
inline constexpr size_t kBiasHeaderSize = 136;

struct BiasEntry {
  std::string name;  // node name, or device reference
  float value = 0;   // volts for a node, amperes for a device
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

}  // namespace zephyrim
