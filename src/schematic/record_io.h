#pragma once
// The fixed-size images of the schematic records as the schematic file stores
// them. Pointer fields are written as presence marks (1 or 0); decoding returns
// those marks so that the caller knows which variable-length data follows.
#include <cstdint>
#include <span>

#include "common/byte_io.h"
#include "schematic/records.h"
#include "schematic/schematic.h"

namespace zephyrim {

// Presence marks of a symbol definition image.
struct SymbolMarks {
  int32_t pin_count = 0;
  int32_t draw_count = 0;
  int32_t rot_draw_count = 0;
  bool rot_pins = false;
  bool text236 = false, template_text = false, text260 = false, model_file = false, text272 = false;
};

struct PartMarks {
  int32_t source_count = 0;
  bool template_text = false;
  bool text2 = false;
};

struct BlockMarks {
  bool text = false;
  int32_t pin_count = 0;
  bool symbol_spec = false;
  bool symbol = false;
};

// The stored image of a text: present and not empty, cut at its first NUL.
bool text_present(const std::optional<std::string>& t);

void encode_draw_command(ByteWriter& w, const DrawCommand& c);
void decode_draw_command(ByteReader& r, DrawCommand& c);
void encode_symbol_pin(ByteWriter& w, const SymbolPin& p);
void decode_symbol_pin(ByteReader& r, SymbolPin& p);
void encode_symbol_record(ByteWriter& w, const SymbolRecord& d);
SymbolMarks decode_symbol_record(ByteReader& r, SymbolRecord& d);

void encode_link(ByteWriter& w, const LibraryLink& l, bool has_next);
// Returns which of the three texts follow.
std::array<bool, 3> decode_link(ByteReader& r, LibraryLink& l);

void encode_page_table(ByteWriter& w, const PageTable& t);
void decode_page_table(ByteReader& r, PageTable& t);  // titles are read separately

void encode_title_block(ByteWriter& w, const TitleBlock& t);
void decode_title_block(ByteReader& r, TitleBlock& t);

void encode_block(ByteWriter& w, const BlockRecord& b, bool has_next);
BlockMarks decode_block(ByteReader& r, BlockRecord& b);
void encode_block_pin(ByteWriter& w, const BlockPin& p);
bool decode_block_pin(ByteReader& r, BlockPin& p);  // true when its text follows
void encode_symbol_spec(ByteWriter& w, const SymbolSpec& s);
bool decode_symbol_spec(ByteReader& r, SymbolSpec& s);  // true when its entries follow
void encode_spec_entry(ByteWriter& w, const SymbolSpecEntry& e);
void decode_spec_entry(ByteReader& r, SymbolSpecEntry& e);

void encode_label(ByteWriter& w, const LabelRecord& l, bool has_next);
void decode_label(ByteReader& r, LabelRecord& l);

void encode_part(ByteWriter& w, const PartRecord& p, bool has_next);
PartMarks decode_part(ByteReader& r, PartRecord& p);
void encode_source_spec(ByteWriter& w, const SourceSpec& e);
void decode_source_spec(ByteReader& r, SourceSpec& e);

void encode_wire(ByteWriter& w, const WireRecord& x, bool has_next);
void decode_wire(ByteReader& r, WireRecord& x);

void encode_junction(ByteWriter& w, const JunctionRecord& j, bool has_next);
void decode_junction(ByteReader& r, JunctionRecord& j);

void encode_text(ByteWriter& w, const TextRecord& t, bool has_next);
bool decode_text(ByteReader& r, TextRecord& t);  // true when its text follows

}  // namespace zephyrim
