#pragma once
// The schematic file (.sch): every page with its objects, a copy of every symbol
// definition in use and the library links, so that a schematic opens without
// its symbol library. Records are stored in their fixed layouts; references
// between records are stored as list indices after each record.
#include <cstdint>
#include <ctime>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/notify.h"
#include "schematic/schematic.h"

namespace zephyrim {

inline constexpr int32_t kSchematicFormat = 70;
inline constexpr int kSchematicVersion = 716;
// The eight version bytes the writer stores: "7.16a " and a NUL, then 'i'.
inline constexpr char kSchematicVersionBytes[8] = {'7', '.', '1', '6', 'a', ' ', '\0', 'i'};

// Load error codes named by callers and tests; the others are listed where they arise.
enum SchematicLoadError : int {
  kLoadCannotOpen = 9,
  kLoadShort = 10,
  kLoadNotSchematic = 11,
  kLoadNoVersion = 12,
  kLoadOldVersion = 13,  // versions below 700 are not read
  kLoadNoFormat = 15,
  kLoadBadFormat = 19,
  kLoadFirstPartial = 20,  // from here on the partly read schematic is kept
};

// Saves the schematic to path (normally s.path). The new file is written beside
// the old one and renamed over it, so a failed save leaves the old file as it
// was. Returns 0; -1 with "Cannot open file %s" when the file cannot be created;
// 1 with "Error writing to schematic file %s" when writing fails.
int schematic_save(Schematic& s, const std::string& path, Notify& notify,
                   std::time_t now = std::time(nullptr));

// The bytes of the file schematic_save writes (with its backups, purging, link
// pruning, page checks and revision update), without writing anything.
std::vector<uint8_t> schematic_encode(Schematic& s, Notify& notify, std::time_t now = std::time(nullptr));

struct SchematicLoad {
  std::unique_ptr<Schematic> schematic;  // set on success or partial success
  int code = 0;                          // 0, or the first error code of the load
};

// Reads a schematic file into a fresh schematic whose objects take the given
// colours. "Cannot open %s" is shown only when report is set; every other
// message always. result.schematic is absent when the load failed (code below
// 20): the caller then starts a new schematic.
SchematicLoad schematic_load(const std::string& path, Notify& notify, bool report = true,
                             const ObjectColors& colors = ObjectColors{});
// The same from bytes already read; path names the schematic.
SchematicLoad schematic_decode(std::span<const uint8_t> bytes, const std::string& path, Notify& notify,
                               const ObjectColors& colors = ObjectColors{});

// The extension-replaced name of a backup or sheet file: "bks", "s%2.2d", "b%2.2d".
// The same as with_extension; the name stays for the callers that use it.
inline std::string schematic_sibling(const std::string& path, const std::string& extension) {
  return with_extension(path, extension);
}
// The extension of page k's sheet file ("s01".."s99", "s00" beyond 99) or its backup.
std::string sheet_extension(char letter, int k);

// Removes library links nothing refers to any more (see schematic_save) and
// clears part references to removed links.
void links_prune(Schematic& s);

// A power-rail part with a value and no source entries gets the entries that
// make it a DC source of that value.
void part_rail_source_init(PartRecord& p);

}  // namespace zephyrim
