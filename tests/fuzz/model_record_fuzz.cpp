// Any bytes as a library's model file: the model records at the first
// record's place, at the start and wherever a record marker stands are read or
// refused with a status code, never a crash, a hang or an allocation beyond
// what the bytes hold. A record read writes its SPICE text and encodes to
// bytes that read back as the same model.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "simulation/model_db.h"
#include "simulation/model_db_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  const std::span<const uint8_t> bytes(data, size);
  std::string log;
  const ModelDbLog to_log = [&log](const std::string& text) { log += text; };
  std::vector<uint64_t> positions{kMdbHeaderSize, 0};
  const uint8_t* marker = reinterpret_cast<const uint8_t*>(kModelMarker);
  const size_t marker_size = std::strlen(kModelMarker);
  for (auto it = bytes.begin(); positions.size() < 64;) {
    it = std::search(it, bytes.end(), marker, marker + marker_size);
    if (it == bytes.end()) break;
    positions.push_back(static_cast<uint64_t>(it - bytes.begin()));
    ++it;
  }
  for (uint64_t position : positions) {
    ModelRecord model;
    const int code = decode_model_record(bytes, position, model, to_log);
    if (code != kModelDbOk) continue;
    if (model.type < 0 || model.parameters.size() * (kParameterNameSize + 2 + 8) > size ||
        model.lines.size() * 5 > size)
      __builtin_trap();
    const std::string text = model_text(model);
    if (!text.starts_with("\n*")) __builtin_trap();
    ModelRecord back;
    if (decode_model_record(encode_model_record(model), 0, back) != kModelDbOk) __builtin_trap();
    if (back.type != model.type || back.mid != model.mid || back.name != model.name ||
        back.part_number != model.part_number || back.symbol != model.symbol || back.lists != model.lists ||
        back.lines != model.lines || back.pins != model.pins ||
        back.parameter_names != model.parameter_names || back.parameters.size() != model.parameters.size())
      __builtin_trap();
    for (size_t i = 0; i < model.parameters.size(); ++i)
      if (back.parameters[i].name != model.parameters[i].name) __builtin_trap();
  }
  return 0;
}
