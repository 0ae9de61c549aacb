#pragma once
// The pieces that plot format files and trace history files share: the file
// header, counted texts, section tags, and the two fixed-size records both
// files hold (a data-store vector, a selected trace). Each record's layout is
// fixed here once, in the declared order of the model it stores.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/byte_io.h"
#include "common/fixed_text.h"

namespace zephyrim {

struct DataVector;
struct SelectedTrace;

// ---- Header --------------------------------------------------------------

// Offset 0, 64 bytes: "*Tracery " and the version text, NUL-terminated.
// Offset 64, int32: the version number (716).
inline constexpr char kPlotFileMagic[] = "*Tracery";
inline constexpr char kPlotFileVersionText[] = "7.16a Win32";
inline constexpr int kPlotFileVersion = 716;
inline constexpr size_t kPlotFileTitleSize = 64;
inline constexpr size_t kPlotFileHeaderSize = 68;

// The first four characters of a version text read as a decimal number, times
// 100, rounded: "7.16a Win32" gives 716.
int plot_file_version_number(std::string_view version_text);

void write_plot_file_header(ByteWriter& w);

enum class PlotFileHeader {
  ok,        // version holds the stored number
  not_ours,  // the title field does not begin with "*Tracery" (or is short)
  short_version,
};
// Reads the 68 header bytes; fills version when ok.
PlotFileHeader read_plot_file_header(ByteReader& r, int& version);

// ---- Counted texts and section tags --------------------------------------

// int32 length n without the terminator; n > 0: the n characters and a NUL.
// A text longer than max is cut to max characters.
void write_counted_text(ByteWriter& w, std::string_view text, size_t max);
// False for a short read, a negative length or one above max.
bool read_counted_text(ByteReader& r, size_t max, std::string& out);

// 16 bytes: the tag text, a NUL, zeros.
inline constexpr size_t kSectionTagSize = 16;
inline constexpr char kTagSelectedTraces[] = "SELWFMS";
inline constexpr char kTagGraphInfo[] = "GRAPH INFO";
inline constexpr char kTagPlotsInfo[] = "PLOTS INFO";
void write_section_tag(ByteWriter& w, std::string_view tag);
// True when the 16 bytes hold the tag text; the bytes after its NUL do not count.
bool read_section_tag(ByteReader& r, std::string_view tag);

// ---- Vector record (128 bytes) -------------------------------------------
//
// A data-store vector in the order of its description. Pointers are marks
// of presence only, and positions in this session's scratch files mean
// nothing to another session, so they are written as "none".
//
//   offset size field
//     0    64  name, NUL-terminated
//    64     4  expression mark (1: the vector has an expression text)
//    68     4  data class
//    72     4  complex flag
//    76     4  analysis kind
//    80     4  run number
//    84     4  quantity code
//    88     4  run-label index
//    92     8  point count
//   100     8  source position (-1: none)
//   108     8  scratch position (0)
//   116     4  x vector mark (1: the vector has one)
//   120     4  next vector mark (0)
//   124     4  previous vector mark (0)
inline constexpr size_t kVectorRecordSize = 128;
inline constexpr size_t kVectorRecordNameSize = 64;

struct VectorRecord {
  FixedText<kVectorRecordNameSize> name;
  int32_t expression = 0;
  int32_t data_class = 0;
  int32_t complex = 0;
  int32_t kind = 0;
  int32_t run = 1;
  int32_t quantity = 0;
  int32_t label = 0;
  int64_t points = 0;
  int64_t source_position = -1;
  int64_t scratch_position = 0;
  int32_t x = 0;
  int32_t next = 0;
  int32_t previous = 0;
  bool operator==(const VectorRecord&) const = default;
};

VectorRecord vector_record(const DataVector& v);
void write_vector_record(ByteWriter& w, const VectorRecord& r);
// False (r partly filled) on a short read.
bool read_vector_record(ByteReader& r, VectorRecord& out);

// ---- Selected-trace record (152 bytes) -----------------------------------
//
//   offset size field
//     0     4  Y vector mark (1)
//     4     4  X vector mark (1: the trace has one)
//     8     4  third vector mark (1: the trace has one)
//    12     4  plot (0..7)
//    16     4  name mark (1: a name follows the trace's vector blocks)
//    20     4  expression mark (1: an expression text follows)
//    24     4  colour
//    28     4  symbol
//    32     4  display (normal, highlight, hide)
//    36     4  line type
//    40     4  pen width
//    44     4  history files: 1 when the X vector's block follows this record
//    48   104  reserved, kept as read
inline constexpr size_t kTraceRecordSize = 152;
inline constexpr size_t kTraceRecordReserved = 104;

struct TraceRecord {
  int32_t y = 1;
  int32_t x = 0;
  int32_t third = 0;
  int32_t plot = 0;
  int32_t name = 0;
  int32_t expression = 0;
  int32_t colour = 0;
  int32_t symbol = 0;
  int32_t display = 0;
  int32_t line_type = 0;
  int32_t pen_width = 0;
  int32_t x_block = 0;
  std::array<uint8_t, kTraceRecordReserved> reserved{};
  bool operator==(const TraceRecord&) const = default;
};

TraceRecord trace_record(const SelectedTrace& t);
void write_trace_record(ByteWriter& w, const TraceRecord& r);
bool read_trace_record(ByteReader& r, TraceRecord& out);

}  // namespace zephyrim
