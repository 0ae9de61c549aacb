#include "viewer/plot/plot_file_io.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "viewer/data/data_store.h"
#include "viewer/plot/plot_model.h"

namespace zephyrim {

namespace {

// One field list per record, for the writer and the reader alike.
template <class IO, class R>
void vector_fields(IO& io, R& r) {
  io.text(r.name);
  io.i32(r.expression);
  io.i32(r.data_class);
  io.i32(r.complex);
  io.i32(r.kind);
  io.i32(r.run);
  io.i32(r.quantity);
  io.i32(r.label);
  io.i64(r.points);
  io.i64(r.source_position);
  io.i64(r.scratch_position);
  io.i32(r.x);
  io.i32(r.next);
  io.i32(r.previous);
}

template <class IO, class R>
void trace_fields(IO& io, R& r) {
  io.i32(r.y);
  io.i32(r.x);
  io.i32(r.third);
  io.i32(r.plot);
  io.i32(r.name);
  io.i32(r.expression);
  io.i32(r.colour);
  io.i32(r.symbol);
  io.i32(r.display);
  io.i32(r.line_type);
  io.i32(r.pen_width);
  io.i32(r.x_block);
  io.bytes(r.reserved);
}

}  // namespace

int plot_file_version_number(std::string_view version_text) {
  const std::string first(version_text.substr(0, 4));
  return static_cast<int>(std::lround(std::strtod(first.c_str(), nullptr) * 100));
}

void write_plot_file_header(ByteWriter& w) {
  w.padded_text(std::string(kPlotFileMagic) + " " + kPlotFileVersionText, kPlotFileTitleSize);
  w.i32(plot_file_version_number(kPlotFileVersionText));
}

PlotFileHeader read_plot_file_header(ByteReader& r, int& version) {
  const std::span<const uint8_t> title = r.view(kPlotFileTitleSize);
  const size_t magic = std::strlen(kPlotFileMagic);
  if (title.size() < kPlotFileTitleSize || std::memcmp(title.data(), kPlotFileMagic, magic) != 0)
    return PlotFileHeader::not_ours;
  int32_t v = 0;
  if (!r.i32(v)) return PlotFileHeader::short_version;
  version = v;
  return PlotFileHeader::ok;
}

void write_counted_text(ByteWriter& w, std::string_view text, size_t max) {
  // A NUL inside would end the text early for the reader; the text ends there.
  text = text.substr(0, std::min(text.find('\0'), max));
  w.counted_text32(text);
}

bool read_counted_text(ByteReader& r, size_t max, std::string& out) {
  int32_t n = 0;
  if (!r.i32(n) || n < 0 || static_cast<size_t>(n) > max) return false;
  return r.nul_text(static_cast<size_t>(n), out);
}

void write_section_tag(ByteWriter& w, std::string_view tag) {
  w.padded_text(tag, kSectionTagSize);
}

bool read_section_tag(ByteReader& r, std::string_view tag) {
  return r.padded_name(tag, kSectionTagSize);
}

VectorRecord vector_record(const DataVector& v) {
  VectorRecord r;
  r.name.assign(v.name);
  r.expression = v.expression ? 1 : 0;
  r.data_class = v.data_class;
  r.complex = v.complex;
  r.kind = v.kind;
  r.run = v.run;
  r.quantity = v.quantity;
  r.label = v.label;
  r.points = v.points;
  r.x = v.x ? 1 : 0;
  return r;
}

void write_vector_record(ByteWriter& w, const VectorRecord& r) {
  FieldWriter io(w);
  vector_fields(io, r);
}

bool read_vector_record(ByteReader& r, VectorRecord& out) {
  if (r.remaining() < kVectorRecordSize) return false;
  FieldReader io(r);
  vector_fields(io, out);
  out.name.terminate();
  return !r.failed();
}

TraceRecord trace_record(const SelectedTrace& t) {
  TraceRecord r;
  r.y = t.y ? 1 : 0;
  r.x = t.x ? 1 : 0;
  r.third = t.third ? 1 : 0;
  r.plot = t.plot;
  r.name = t.name.empty() ? 0 : 1;
  r.expression = t.expression.empty() ? 0 : 1;
  r.colour = t.options.colour;
  r.symbol = t.options.symbol;
  r.display = t.options.display;
  r.line_type = t.options.line_type;
  r.pen_width = t.options.pen_width;
  return r;
}

void write_trace_record(ByteWriter& w, const TraceRecord& r) {
  FieldWriter io(w);
  trace_fields(io, r);
}

bool read_trace_record(ByteReader& r, TraceRecord& out) {
  if (r.remaining() < kTraceRecordSize) return false;
  FieldReader io(r);
  trace_fields(io, out);
  return !r.failed();
}

}  // namespace zephyrim
