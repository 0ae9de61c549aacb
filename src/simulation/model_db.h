#pragma once
// The model library database: an indexed store of device models that the
// editor lists, finds and copies out as SPICE text. The database folder holds
//   MODELSDB.MXM  the main index over all libraries,
//   MODELSDB.MXA  the cross index of every model,
//   NAME.MDB      per library, its model records,
//   NAME.MDX      per library, the index over them.
// This file holds the layouts, the readers (from bytes and through the
// ModelDatabase object that keeps what it read) and the SPICE text of a model.
// The builder that writes the files lives in model_db_writer.h.
//
// Every reader takes any bytes: it checks each count against the bytes left
// before it reserves anything, and answers a status code instead of failing.
// Diagnostics go to the caller's log, never to a message box.
//
// Layouts. All integers are 32-bit little-endian; texts are NUL-terminated in
// fixed fields. Fields marked * are scrambled (see scramble_text).
//
// MODELSDB.MXM
//   title[64] version N                         N = libraries, 0..256
//   N x 200: description[128] file[64] level reserved[4]
//            file is the base name (DIODES); level is the layout level of the
//            library's files (kLibraryLevel), not used by the readers
//   library version[16]                         optional, at most 15 characters
//
// NAME.MDB
//   title[64] K check1 check2                   K models; check1 the file's size,
//                                               check2 FNV-1a of the bytes after
//                                               the header
//   K model records, each at the position its index entry gives:
//     marker[16]            "#MODELSTARTS#", NUL-padded
//     header[218]           0 model type (0 text model, >0 .MODEL, <0 invalid)
//                           4 MID
//                           8 name[64]*  72 part number[32]*  104 symbol[32]*
//                           136, 140, 144 their scramble lengths
//                           148 reserved[70]
//     three text lists      count, then per text: L, L bytes* and a NUL (L <= 256)
//                           list 0: the comment lines above the model in its
//                           source file; list 1: the source, "FILE:LINE";
//                           list 2: notes (none written)
//     .MODEL part           kind[16] P, P x (name[24]* + 16-bit scramble length),
//                           then the P values as 64-bit doubles in that order
//     text part             pins, parameters, lines (3 counts);
//                           pins x 24 and parameters x 24: name[20]* + length,
//                           the pins and PARAMS: names of a .SUBCKT line;
//                           lines x (L, L bytes* and a NUL): the text itself
//
// NAME.MDX
//   title[64] K check1 check2                   must equal the .MDB header
//   text[64]                                    the source file's name
//   text[256]                                   the library's description
//   N reserved                                  N entries, 1..2500
//   K offsets                                   the model records' positions
//   N x 300 entries: list flag, MID, reserved[16], name[64]*, part number[32]*,
//     symbol[32]*, class[32], subclass[32], description[64]*, position,
//     scramble lengths of name, part number, symbol and description
//
// MODELSDB.MXA
//   title[64] version text[64] M
//   M x 76: model name[64], library (its item in the main index), entry (its
//           entry in that library's index), MID
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/config_location.h"
#include "common/fixed_text.h"

namespace zephyrim {

// The debug log the readers write their diagnostics to; may be empty.
using ModelDbLog = std::function<void(const std::string&)>;

inline constexpr char kMainIndexFile[] = "MODELSDB.MXM";
inline constexpr char kCrossIndexFile[] = "MODELSDB.MXA";
inline constexpr char kModelMarker[] = "#MODELSTARTS#";
inline constexpr size_t kMaxLibraries = 256;
inline constexpr int32_t kMaxIndexEntries = 2500;
inline constexpr size_t kMaxListText = 256;
inline constexpr int32_t kLibraryLevel = 1;

inline constexpr size_t kMainItemSize = 200;
inline constexpr size_t kMdbHeaderSize = 76;
inline constexpr size_t kMdxEntrySize = 300;
inline constexpr size_t kModelMarkerSize = 16;
inline constexpr size_t kModelHeaderSize = 218;
inline constexpr size_t kModelKindSize = 16;
inline constexpr size_t kParameterNameSize = 24;
inline constexpr size_t kTableRecordSize = 24;
inline constexpr size_t kTableNameSize = 20;
inline constexpr size_t kCrossRecordSize = 76;

// Status codes. 0 is success; the others are the readers' own.
inline constexpr int kModelDbOk = 0;
inline constexpr int kModelDbEndOfFile = -1;  // a model record asked for at the very end of its file
inline constexpr int kModelDbNoFile = -2;     // the file cannot be opened
// main index
inline constexpr int kMainTitleShort = 501;
inline constexpr int kMainVersionMissing = 502;
inline constexpr int kMainItemsShort = 2;
// library index
inline constexpr int kIndexTitleOrCount = 601;
inline constexpr int kIndexCountShort = 602;
inline constexpr int kIndexCheck1Short = 604;
inline constexpr int kIndexCheck2Short = 605;
inline constexpr int kIndexMismatch = 610;
inline constexpr int kIndexText64Short = 527;
inline constexpr int kIndexText256Short = 528;
inline constexpr int kIndexEntryCountShort = 529;
inline constexpr int kIndexReservedShort = 530;
inline constexpr int kIndexOffsetsShort = 531;
inline constexpr int kEntryHeadShort = 540;     // list flag, MID, reserved
inline constexpr int kEntryNamesShort = 541;    // name, part number, symbol
inline constexpr int kEntryClassesShort = 542;  // class, subclass, description
inline constexpr int kEntryPositionShort = 543;
inline constexpr int kEntryLengthsBad = 544;  // scramble lengths short or beyond their fields
// model file and record
inline constexpr int kModelPositionBad = 710;
inline constexpr int kRecordMarkerShort = 301;
inline constexpr int kRecordMarkerWrong = 302;
inline constexpr int kRecordHeader = 313;
inline constexpr int kRecordList1 = 314;  // 315, 316 the other two lists
inline constexpr int kRecordKind = 322;
inline constexpr int kRecordParameterNames = 323;
inline constexpr int kRecordParameterValues = 324;
inline constexpr int kRecordTextCounts = 333;
inline constexpr int kRecordPins = 334;
inline constexpr int kRecordParameters = 335;
inline constexpr int kRecordLineLength = 336;
inline constexpr int kRecordLineText = 337;
inline constexpr int kRecordTypeInvalid = 350;
// cross index: short reads of title, version, text, count and records
inline constexpr int kCrossTitleShort = 1;
inline constexpr int kCrossVersionShort = 2;
inline constexpr int kCrossTextShort = 3;
inline constexpr int kCrossCountShort = 4;
inline constexpr int kCrossRecordsShort = 5;

// --- model types ---

// The SPICE element letter of a model type MID 0..13; a blank for any other.
inline constexpr char kMidLetters[] = "XDQJMR SO UKCT";
inline constexpr int kMidSubcircuit = 0;
char mid_letter(int mid);
// The letter, with "\nInvalid MID=%d found\n" in the log for an invalid MID.
char mid_letter(int mid, const ModelDbLog& log);
// The MID whose letter is element (any case); -1 with "\nMatching MID not
// found for element %c\n" in the log when none is.
int mid_of_element(char element, const ModelDbLog& log = {});

// --- scrambled texts ---

// The key the scrambled fields are XOR-ed with, repeated as often as needed.
inline constexpr size_t kScrambleKeySize = 43;

// The stored form of text: its characters reversed, then XOR-ed with the key.
std::string scramble_text(std::string_view text);
// The text of a stored field of length bytes (the field holds at least that
// many): XOR with the key, then reversed; it ends at its first NUL if any.
std::string unscramble_text(std::span<const uint8_t> stored);

// --- records ---

struct LibraryItem {
  FixedText<128> description;
  FixedText<64> file;  // base name, may carry a folder
  int32_t level = kLibraryLevel;
  std::array<uint8_t, 4> reserved{};
};

struct MainIndex {
  FixedText<64> title;
  int32_t version = 1;
  std::vector<LibraryItem> items;
  std::string library_version;  // empty when the file ends after the items
};

// The header of a .MDB, which its .MDX repeats.
struct MdbHeader {
  FixedText<64> title;
  int32_t count = 0;  // K
  int32_t check1 = 0;
  int32_t check2 = 0;
  bool operator==(const MdbHeader&) const = default;
};

struct IndexEntry {
  int32_t list_flag = 1;  // 0: not listed, its part number shows as "NOLIST"
  int32_t mid = 0;
  std::array<uint8_t, 16> reserved{};
  std::string name;         // at most 63 characters
  std::string part_number;  // at most 31; empty takes the name
  std::string symbol;       // at most 31
  FixedText<32> class_name;
  FixedText<32> subclass;
  std::string description;  // at most 63
  uint64_t position = 0;    // of the model record in the .MDB
};

struct LibraryIndex {
  MdbHeader header;
  FixedText<64> text;      // the source file
  FixedText<256> text256;  // the description
  int32_t reserved = 0;
  std::vector<uint32_t> offsets;  // K, the records' positions
  std::vector<IndexEntry> entries;
};

struct ModelParameter {
  std::string name;  // at most 23 characters
  double value = 0;
};

// One model record of a .MDB.
struct ModelRecord {
  int32_t type = 0;  // 0 text model (subcircuit or .MODEL kept as text), >0 .MODEL, <0 invalid
  int32_t mid = 0;
  std::array<uint8_t, 70> reserved{};
  std::string name, part_number, symbol;
  std::array<std::vector<std::string>, 3> lists;  // comments, source, notes
  // .MODEL
  std::string kind;  // at most 15 characters
  std::vector<ModelParameter> parameters;
  // text model
  std::vector<std::string> pins, parameter_names;  // at most 19 characters each
  std::vector<std::string> lines;
};

struct CrossRecord {
  std::string name;
  int32_t library = 0;
  int32_t entry = 0;
  int32_t mid = 0;
};

struct CrossIndex {
  FixedText<64> title;
  int32_t version = 1;
  FixedText<64> text;
  std::vector<CrossRecord> records;
};

// --- readers from bytes ---
// Each returns kModelDbOk and fills its result, or a status code with its
// text in the log (the result is then unspecified).

int decode_main_index(std::span<const uint8_t> bytes, MainIndex& out, const ModelDbLog& log = {});
// The .MDB header; kIndexMismatch when the file is shorter than it.
int decode_mdb_header(std::span<const uint8_t> bytes, MdbHeader& out);
// A .MDX. When expected is given, its K and check values must equal those of
// that .MDB header (named mdb_path in the log), else kIndexMismatch.
int decode_library_index(std::span<const uint8_t> bytes, LibraryIndex& out, const ModelDbLog& log = {},
                         const MdbHeader* expected = nullptr, std::string_view mdb_path = {});
// The model record at position in the bytes of a .MDB: kModelPositionBad
// beyond the end, kModelDbEndOfFile exactly at it.
int decode_model_record(std::span<const uint8_t> mdb, uint64_t position, ModelRecord& out,
                        const ModelDbLog& log = {});
int decode_cross_index(std::span<const uint8_t> bytes, CrossIndex& out, const ModelDbLog& log = {});

// --- SPICE text ---

// The model as SPICE text: "\n*", then a .MODEL statement (four parameters a
// "+" line) or the text model's lines; the error line for an invalid type.
std::string model_text(const ModelRecord& model);

// --- where the database is ---

// The key of ZEPHYRIM.INI's product section that names the database folder.
inline constexpr char kModelDatabaseKey[] = "ModelDatabasePath";

// The database a circuit uses: its own folder's when that holds a main index
// (a project can carry its models), else the configured folder when one is
// given, else the user's: $XDG_DATA_HOME/zephyrim/models, or
// ~/.local/share/zephyrim/models. Without a home either, empty.
std::string model_database_folder(const std::string& circuit_folder, const std::string& configured,
                                  const EnvLookup& env);

// --- the database as the editor uses it ---

class ModelDatabase {
 public:
  explicit ModelDatabase(ModelDbLog log = {}) : log_(std::move(log)) {}

  // Reads MODELSDB.MXM of folder: 1, or 0 (code in last_code()). Once read for
  // a folder, later calls for it return 1 at once.
  int open_main_index(const std::string& folder);
  // The main index item of a library file name (any folder, .MDB or .MDX
  // removed, case ignored), or -1.
  int find_library(std::string_view file_name) const;
  // Selects item library and reads its .MDX after checking it against its
  // .MDB, whose bytes are kept for read_model: 1, or 0 (code in last_code()).
  int open_library_index(int library);
  // Marks the entries of the same MID and name (case ignored): the first one
  // counts them, each later one holds the negated index of the first. Returns
  // the number of entries marked as later ones.
  int mark_duplicates();
  // Appends the index table of the selected library to out.
  void list_index(std::string& out) const;
  // Reads the model record of an entry of the selected library: kModelDbOk or
  // a status code.
  int read_model(int entry, ModelRecord& out);
  // Appends the model of an entry as SPICE text to out: 1, or 0 when it
  // cannot be read (nothing appended but the invalid-type error line).
  int write_model_text(int entry, std::string& out);
  // Writes "\n*Library: FILE", the model and "\n" into path (appended, or
  // replacing it); a model that cannot be read writes the error line instead.
  // 1 when the model was written, 0 otherwise.
  int save_model(int entry, const std::string& path, bool append);
  // Reads MODELSDB.MXA of folder once; returns the number of records (0 when
  // it cannot be read, code in last_code()).
  int open_cross_index(const std::string& folder);

  int last_code() const { return code_; }
  const MainIndex& main_index() const { return main_; }
  int selected_library() const { return selected_; }
  const LibraryIndex& library_index() const { return index_; }
  // The duplicate marks of the selected library's entries (mark_duplicates).
  const std::vector<int>& duplicates() const { return dup_; }
  const CrossIndex& cross_index() const { return cross_; }
  // The files of item library: folder + base name + ".MDB" / ".MDX".
  std::string library_path(int library, const char* extension) const;

 private:
  void say(const std::string& text) const;

  ModelDbLog log_;
  int code_ = kModelDbOk;
  std::string folder_;  // ends in '/' unless empty
  bool main_open_ = false;
  MainIndex main_;
  int selected_ = -1;
  bool index_open_ = false;
  LibraryIndex index_;
  std::string index_path_;
  std::vector<uint8_t> mdb_;
  std::vector<int> dup_;
  bool cross_open_ = false;
  std::string cross_folder_;
  CrossIndex cross_;
};

}  // namespace zephyrim
