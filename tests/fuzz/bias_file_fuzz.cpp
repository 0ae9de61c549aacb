// Bias files of any bytes: the decoder accepts or refuses them without a crash
// and without sizing anything from the counts alone; what it accepts holds
// only names the editor can show, and writing it again gives the same tables.
#include <bit>
#include <cstdint>
#include <span>

#include "common/eng_number.h"
#include "simulation/bias_file.h"

namespace {

using namespace zephyrim;

bool same(const std::vector<BiasEntry>& a, const std::vector<BiasEntry>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].name != b[i].name || std::bit_cast<uint32_t>(a[i].value) != std::bit_cast<uint32_t>(b[i].value))
      return false;
  return true;
}

void check_names(const std::vector<BiasEntry>& list) {
  for (const BiasEntry& e : list) {
    if (e.name.empty() || e.name.size() > kBiasMaxName) __builtin_trap();
    if (e.name.back() == ' ' || e.name.find('\0') != std::string::npos) __builtin_trap();
    // The label's text of any value stays short.
    if (format_eng(e.value, 4).size() > 35) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  BiasData d;
  if (!bias_file_decode(bytes, d)) {
    if (!d.nodes.empty() || !d.devices.empty()) __builtin_trap();
    return 0;
  }
  if (kBiasHeaderSize + (d.nodes.size() + d.devices.size()) * kBiasRecordSize > size) __builtin_trap();
  check_names(d.nodes);
  check_names(d.devices);
  BiasData again;
  if (bias_file_decode(bias_file_bytes("fuzz", "now", d.nodes, d.devices), again) != 1) __builtin_trap();
  if (!same(d.nodes, again.nodes) || !same(d.devices, again.devices)) __builtin_trap();
  return 0;
}
