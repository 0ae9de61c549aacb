#include "engine/bias_file.h"

#include <algorithm>

#include "common/byte_io.h"

namespace zephyrim {

namespace {

void text_field(ByteWriter& w, const std::string& text, size_t width) {
  const size_t n = std::min(text.size(), width);
  w.text(std::string_view(text).substr(0, n));
  w.text(std::string(width - n, ' '));
}

}  // namespace

std::vector<uint8_t> bias_file_bytes(const std::string& title, const std::string& date,
                                     const std::vector<BiasEntry>& nodes,
                                     const std::vector<BiasEntry>& devices) {
  ByteWriter w;
  w.i32(1);
  text_field(w, "ZSIM ngspice", 24);
  text_field(w, date, 16);
  w.zeros(8);
  text_field(w, title, 64);
  w.i32(static_cast<int32_t>(kBiasNameWidth));
  w.i32(static_cast<int32_t>(nodes.size()));
  w.i32(static_cast<int32_t>(devices.size()));
  w.i32(0);
  w.i32(0);
  for (const auto* list : {&nodes, &devices})
    for (const auto& e : *list) {
      text_field(w, e.name, kBiasNameWidth);
      w.f32(e.value);
    }
  return w.take();
}

}  // namespace zephyrim
