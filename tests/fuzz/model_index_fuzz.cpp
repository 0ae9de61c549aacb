// Any bytes as the model database's main index, cross index and library index:
// a status code or an index, never a crash, a hang or an allocation beyond what
// the bytes hold; an index read encodes to bytes that read back the same.
#include <cstdint>
#include <span>

#include "simulation/model_db.h"
#include "simulation/model_db_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  const std::span<const uint8_t> bytes(data, size);
  std::string log;
  const ModelDbLog to_log = [&log](const std::string& text) { log += text; };

  MainIndex main;
  if (decode_main_index(bytes, main, to_log) == kModelDbOk) {
    if (main.items.size() > kMaxLibraries || main.items.size() * kMainItemSize > size) __builtin_trap();
    MainIndex back;
    if (decode_main_index(encode_main_index(main), back) != kModelDbOk ||
        back.items.size() != main.items.size())
      __builtin_trap();
  }

  CrossIndex cross;
  if (decode_cross_index(bytes, cross, to_log) == kModelDbOk) {
    if (cross.records.size() * kCrossRecordSize > size) __builtin_trap();
    CrossIndex back;
    if (decode_cross_index(encode_cross_index(cross), back) != kModelDbOk ||
        back.records.size() != cross.records.size())
      __builtin_trap();
    for (size_t i = 0; i < cross.records.size(); ++i)
      if (back.records[i].name != cross.records[i].name || back.records[i].entry != cross.records[i].entry)
        __builtin_trap();
  }

  // The bytes' own header as the model file's: the index always matches it.
  MdbHeader header;
  const bool have_header = decode_mdb_header(bytes, header) == kModelDbOk;
  LibraryIndex index;
  if (decode_library_index(bytes, index, to_log, have_header ? &header : nullptr, "fuzz.MDB") == kModelDbOk) {
    if (index.entries.empty() || index.entries.size() > static_cast<size_t>(kMaxIndexEntries) ||
        index.entries.size() * kMdxEntrySize > size)
      __builtin_trap();
    LibraryIndex back;
    if (decode_library_index(encode_library_index(index), back) != kModelDbOk ||
        back.entries.size() != index.entries.size() || back.offsets != index.offsets)
      __builtin_trap();
    for (size_t i = 0; i < index.entries.size(); ++i) {
      const IndexEntry &a = index.entries[i], &b = back.entries[i];
      if (a.name != b.name || a.part_number != b.part_number || a.symbol != b.symbol ||
          a.description != b.description || a.position != b.position || a.mid != b.mid)
        __builtin_trap();
      mid_letter(a.mid, to_log);
    }
  }
  return 0;
}
