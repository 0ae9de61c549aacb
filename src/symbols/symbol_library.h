#pragma once
// Symbol libraries (.sym text files) and their index (.IDX beside each library).
// A library is used through its index: names, default values, descriptions and
// the file position just behind each symbol's header line.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/fixed_text.h"
#include "common/notify.h"
#include "symbols/symbol_record.h"

namespace zephyrim {

inline constexpr int kMaxLibrarySymbols = 2000;
inline constexpr int kIndexVersion = 716;
inline constexpr size_t kIndexDirRecordSize = 280;
inline constexpr size_t kIndexEntrySize = 136;
inline constexpr size_t kMaxLibraryLine = 255;
inline constexpr size_t kMaxDrawText = 7999;

struct SymbolIndexEntry {
  FixedText<32> name;
  FixedText<32> default_value;
  FixedText<64> description;
  int64_t position = 0;  // byte offset of the line after the symbol's header line
  int32_t word = 0;      // 0 after reading
};

// The file facts an index is checked against.
struct LibraryStamp {
  int32_t attributes = 0;
  int32_t created = 0;
  int32_t accessed = 0;
  int32_t written = 0;  // seconds since 1970
  int32_t size = 0;
  FixedText<260> file_name;
};

struct SymbolIndex {
  LibraryStamp stamp;
  int32_t version = kIndexVersion;
  std::string model_file;  // from the library's ".LIB" line
  std::vector<SymbolIndexEntry> entries;
};

struct SymbolLibrary {
  std::string path;        // the .sym file
  std::string index_path;  // the .IDX file
  SymbolIndex index;
  std::string text;  // the library's bytes, read once when opened
};

// --- the text format ---

// Kind from the symbol name, without regard to case: GND or 0 ground; POWER+,
// V+, V- or POWER- power rail; PIN or PINOUT I/O pin; any other an ordinary part.
int32_t symbol_kind_from_name(std::string_view name);

// The name and description of a header line "[name ;description]": the name is
// the text after the last "[" up to the first ";", blank or "]" (at most 31
// characters), the description the text after ";" up to the last "]" (at most 61).
void parse_header_line(std::string_view line, std::string& name, std::string& description);

// Reads one symbol from library text starting at position (the line after its
// header) into record. Returns 1, or 0 (with the messages of the format) when
// the symbol cannot be used; record is then cleared.
int symbol_parse(std::string_view library_text, int64_t position, const std::string& name,
                 const std::string& description, SymbolRecord& record, Notify& notify);

// The library text of a symbol as the symbol editor saves it: a blank line,
// header, date comment, V R D ROT NP P NT lines, ".END" and a blank line.
std::string symbol_library_text(const SymbolRecord& record, const std::string& description,
                                const std::string& date);

// --- the index ---

// Builds the index of library text (up to 2000 symbols, sorted by name).
// Reports a second ".LIB" line; path only names the library in messages.
SymbolIndex index_build(std::string_view library_text, const std::string& path, Notify& notify);
std::vector<uint8_t> index_encode(const SymbolIndex& index);
// Decodes an index file. Absent on any read error (short data, bad lengths).
std::optional<SymbolIndex> index_decode(std::string_view bytes);

// The file facts of a library as an index records them; absent when missing.
std::optional<LibraryStamp> library_stamp(const std::string& path);

// Sets up the library at path: derives the index path (extension replaced by
// ".IDX"), reads the index, rebuilding it when it is missing, out of date or
// unreadable (asking first in the last case). Returns 1 when usable.
int library_open(SymbolLibrary& lib, const std::string& path, Notify& notify);
// Builds and writes the index of lib.path. Returns 1, or 0 when it failed.
int library_reindex(SymbolLibrary& lib, Notify& notify);
// Writes the listing (the library path with ".TXT" appended). Returns 1 or 0.
int library_write_listing(const SymbolLibrary& lib, Notify& notify);

// Position of the symbol in the index, by name without regard to case; -1 if none.
int symbol_find(const SymbolLibrary& lib, std::string_view name);
// Loads the symbol at index entry i. Returns 1 when read, 0 on failure.
int symbol_load(const SymbolLibrary& lib, int i, SymbolRecord& record, Notify& notify);
// Loads a symbol by name into a new record; absent when not found or unusable.
std::unique_ptr<SymbolRecord> symbol_load_named(const SymbolLibrary& lib, std::string_view name,
                                                Notify& notify);

// Writes a symbol into a library file, replacing one of the same name after a
// question or appending it. When current names the same file, its index is
// rebuilt and the library reopened. Returns 1 when saved, 0 on failure, -1 on cancel.
int symbol_save(const std::string& library_path, const SymbolRecord& record, const std::string& description,
                Notify& notify, SymbolLibrary* current = nullptr);

}  // namespace zephyrim
