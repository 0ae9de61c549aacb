#include "simulation/bias_file.h"

#include <algorithm>
#include <filesystem>

#include "common/byte_io.h"
#include "common/file_io.h"

namespace zephyrim {

namespace {

constexpr size_t kWidthOffset = 116;

void text_field(ByteWriter& w, const std::string& text, size_t width) {
  const size_t n = std::min(text.size(), width);
  w.text(std::string_view(text).substr(0, n));
  w.text(std::string(width - n, ' '));
}

// A name field as the C string it was written from, kept to 63 characters and
// cut after its last non-blank one.
std::string field_name(std::span<const uint8_t> field) {
  const auto* p = reinterpret_cast<const char*>(field.data());
  std::string_view name(p, std::find(field.begin(), field.end(), uint8_t{0}) - field.begin());
  name = name.substr(0, kBiasMaxName);
  const size_t last = name.find_last_not_of(" \t\n\v\f\r");
  return std::string(last == std::string_view::npos ? std::string_view() : name.substr(0, last + 1));
}

bool read_records(ByteReader& r, int32_t count, std::vector<BiasEntry>& out) {
  out.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    BiasEntry e;
    e.name = field_name(r.view(kBiasNameWidth));
    if (!r.f32(e.value) || e.name.empty()) return false;
    out.push_back(std::move(e));
  }
  return true;
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

int bias_file_decode(std::span<const uint8_t> bytes, BiasData& out) {
  out = BiasData{};
  ByteReader r(bytes);
  int32_t width = 0, nodes = 0, devices = 0;
  if (!r.seek(kWidthOffset) || !r.i32(width) || !r.i32(nodes) || !r.i32(devices) || !r.seek(kBiasHeaderSize))
    return 0;
  if (width != static_cast<int32_t>(kBiasNameWidth) || nodes < 0 || devices < 0) return 0;
  // The counts come from the file: nothing is sized from them until the bytes
  // are known to hold every record (both are below 2^31, so this cannot overflow).
  const uint64_t records = static_cast<uint64_t>(nodes) + static_cast<uint64_t>(devices);
  if (r.remaining() / kBiasRecordSize < records) return 0;
  BiasData data;
  if (!read_records(r, nodes, data.nodes) || !read_records(r, devices, data.devices)) return 0;
  out = std::move(data);
  return 1;
}

std::string bias_file_path(const std::string& netlist_path) {
  // The extension is that of the file name: a dot in a folder's name is not one.
  std::filesystem::path p(netlist_path);
  p.replace_extension(".OPB");
  return p.string();
}

int bias_file_read(const std::string& path, BiasData& out) {
  // A file of the largest circuits is a few megabytes; a bigger one is not ours.
  const auto bytes = read_file(path, uint64_t{1} << 30);
  if (!bytes) return 0;
  return bias_file_decode(*bytes, out) ? 1 : -1;
}

}  // namespace zephyrim
