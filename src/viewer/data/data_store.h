#pragma once
// The data store: the one catalogue of every waveform the viewer shows or
// computes with. It holds descriptions only; the values live in one scratch file
// per data class, in memory the system can page out, and are read in place when
// a plot or a calculation needs them. Vectors of PROBE and binary RAW files are
// catalogued without their values and loaded from the data file the first time
// they are needed, or all at once with load_all.
#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "viewer/data/scratch_file.h"

namespace zephyrim {

class Notify;
class Progress;
class DataStore;
class SourceFile;

// Analysis kinds. Kind 8 holds operating-point and transfer-function plots of
// RAW files and is not offered in the analysis selection list.
enum AnalysisKind : int {
  ANALYSIS_OTHER = 0,  // matches a query for any kind
  ANALYSIS_DC = 1,
  ANALYSIS_TRAN = 2,
  ANALYSIS_AC = 3,
  ANALYSIS_NOISE = 4,
  ANALYSIS_DISTO = 5,
  ANALYSIS_PZ = 6,
  ANALYSIS_FOUR = 7,
  ANALYSIS_OP = 8,
};

// The labels of the analysis selection list, kinds 0 to 7.
extern const char* const kAnalysisKindLabels[8];

enum DataClassIndex : int {
  DATA_CLASS_BINARY = 0,   // PROBE, RAW and CSDF files, complex text data
  DATA_CLASS_TEXT = 1,     // listing tables, text data files, generated data
  DATA_CLASS_DERIVED = 2,  // histograms, Smith-chart parts
  DATA_CLASS_HISTORY = 3,  // traces read back from history files
};

inline constexpr int kMaxDataClasses = 9;
inline constexpr int kKindSlots = 10;
inline constexpr size_t kVectorNameMax = 63;
inline constexpr int kMaxDataFiles = 100;
inline constexpr int kLabelGrowth = 128;
// A block of at most this many doubles is loaded whole at the first use of any
// of its vectors; a bigger one a vector at a time, unless all are asked for.
inline constexpr uint64_t kBlockLoadDoubles = uint64_t{1} << 25;

// Where a catalogued vector's values lie in a data file of fixed-size point
// records (binary RAW): the value of point p at offset + p * stride.
struct RecordColumn {
  int64_t offset = 0;      // byte position of the first point's value
  int64_t stride = 0;      // bytes from one point to the next
  int value_size = 8;      // 8 doubles, 4 floats
  bool pairs = false;      // (real, imaginary) doubles, both kept
  bool magnitude = false;  // the sign marks something else; the value is its magnitude
};

struct DataVector {
  std::string name;                       // at most 63 characters
  std::optional<std::string> expression;  // the expression that computed it
  int data_class = 0;
  int complex = 0;  // 0 real, 1 complex
  int kind = ANALYSIS_OTHER;
  int run = 1;         // 1 for the first vector of an identity, then 2, 3, ...
  int quantity = 0;    // quantity_code or the registering code's own
  int label = 0;       // run-label index into the class's table; 0 none
  int64_t points = 0;  // complex points for a complex vector
  // Where the vector's data block starts in its source file (on-demand
  // loading only); -1 for vectors registered with their values.
  int64_t source_position = -1;
  // Byte position of the values in the class scratch file; -n while they are
  // not loaded yet and come from data file number n.
  int64_t scratch_position = 0;
  const DataVector* x = nullptr;  // the x axis, none for x vectors themselves
  // The file of point records a catalogued vector comes from, held open until
  // its values are loaded (none for PROBE files), and its column there.
  std::shared_ptr<const SourceFile> source;
  RecordColumn column;

  bool loaded() const { return scratch_position >= 0; }
};

// One entry of the data file list.
struct DataFileEntry {
  std::string probe_path;  // the data file name with extension ".SAV"
  int16_t version = 0;     // PROBE version x 100, 0 for a file without header
  int16_t name_length = 0;
  int32_t value_size = 0;  // 4 or 8
};

// What a data file says about itself, shown with the plots.
struct DataSetHeader {
  std::string title;
  std::string date;
  std::string time;
  std::string command;
  std::string run_info;  // "Temp=%g C" of a file run at another temperature
};

// Loads a vector that was catalogued without its values, and the other vectors
// of its block that wait for theirs when whole_block is set or the block is
// small (kBlockLoadDoubles). Set by the reader that catalogued it. Returns 1
// when the values are now in the scratch file, 0 after the message.
using VectorLoader = int (*)(DataStore& store, DataVector& vector, const char* display_name,
                             bool whole_block);

struct DataClass {
  std::list<DataVector> vectors;  // insertion order
  // Lower-cased name -> the vectors of that name in insertion order.
  std::unordered_map<std::string, std::vector<DataVector*>> by_name;
  uint32_t limit = 0;  // 0: no limit
  int count = 0;
  int kinds_present = 0;
  std::array<int, kKindSlots> kind_count{};
  std::array<int, kKindSlots> run_count{};
  std::array<int64_t, kKindSlots> max_points{};
  ScratchFile scratch;
  int current_label = 0;
  std::vector<std::string> labels;  // slot 0 is never used
  bool initialised = false;
};

// What add_vector registers; callers name the fields they set.
struct NewVector {
  std::string_view name;  // cut to 63 characters
  int cls = DATA_CLASS_BINARY;
  int kind = ANALYSIS_OTHER;
  int quantity = 0;               // quantity_code or the registering code's own
  int complex = 0;                // 0 real, 1 complex
  const DataVector* x = nullptr;  // none for an x vector
  int64_t points = 0;             // complex points for a complex vector
  // The values, 2 x points doubles for a complex vector; none for a vector
  // catalogued to be loaded from the current data file when first used.
  const double* values = nullptr;
  int64_t source_position = -1;  // where its block starts in that file
};

// The quantity code of a vector name for an analysis kind; -1 for kinds it does
// not know.
int quantity_code(int kind, std::string_view name);
// The value a digital column's state letter stands for in tables: '0' 0.01,
// '1' 5.01, 'F' 2.01, 'R' 3.01, 'Z' 6.01, anything else 1.01.
double digital_level(char state);
// The analysis kind an x-axis name suggests (text readers): TIME transient,
// FREQ AC, other names beginning with V, I, R or T DC, anything else OTHER.
int x_name_kind(std::string_view name);

class DataStore {
 public:
  DataStore(Notify& notify, Progress& progress);
  ~DataStore();
  DataStore(const DataStore&) = delete;
  DataStore& operator=(const DataStore&) = delete;

  Notify& notify() { return notify_; }
  Progress& progress() { return progress_; }

  // What the viewer does at start-up: 4 classes, initialised 1, 0, 2, 3.
  bool start();
  // Deletes every vector and scratch file; then n classes (at most 9), or none
  // when n <= 0.
  void set_class_count(int n);
  int class_count() const { return class_count_; }
  bool init_class(int cls, uint32_t limit);
  bool clear_class(int cls);
  // Clears classes 1, 0, 2 and 3, as before new simulation data is loaded.
  void clear_for_new_data();
  int remove_kind(int cls, int kind);
  int remove_vector(const DataVector* vector);

  // Registers a vector; with values, they are appended to the class scratch
  // file (2 x points doubles for a complex vector). Without values the vector
  // waits for on-demand loading from the current data file. Null on failure,
  // after the message.
  DataVector* add_vector(const NewVector& vector);
  // Registers a vector catalogued from a file of point records, to be loaded
  // from its column there when first used.
  DataVector* add_vector(const NewVector& vector, std::shared_ptr<const SourceFile> source,
                         const RecordColumn& column);
  // Registers a vector whose values the caller writes afterwards into its
  // room() (readers that transpose their input in one pass); the values and
  // source of the description are not used.
  DataVector* add_vector_reserved(const NewVector& vector);
  // Takes room in the scratch file for a catalogued vector's values and points
  // the vector at it (the on-demand loaders); false when the memory refuses.
  bool reserve_values(DataVector& vector);
  // The room of a vector's values, to be written once, every double of it;
  // empty for a vector that has none.
  std::span<double> room(const DataVector& vector);
  // Loads every catalogued vector of the class, in one pass over each block of
  // its data file. Returns the number loaded; -1 after the message when one
  // could not be (the others wait on).
  int load_all(int cls);

  // The first vector of the class that matches. A name may end in "@run"; a
  // negative kind, quantity or complex flag and a run below 1 match anything.
  DataVector* find_vector(std::string_view name, int cls, int kind, int quantity, int complex, int run = 0);
  // The next vector with the same class, kind, complex flag, quantity and name:
  // the first one (possibly the vector itself) when after is null.
  const DataVector* next_run(const DataVector* vector, const DataVector* after);

  // The values of a real vector (or the interleaved pairs of a complex one),
  // loading a catalogued class-0 vector first. Empty on failure, after the
  // message. Valid until the class is cleared.
  std::span<const double> values(const DataVector& vector);
  // store_read_real: copies the point count of doubles; returns it, or 0.
  int64_t read_real(const DataVector& vector, std::vector<double>& out);
  // store_read_complex: splits the pairs; does not load on demand.
  int64_t read_complex(const DataVector& vector, std::vector<double>& re, std::vector<double>& im);

  int set_label(std::string_view text, int cls);
  void set_current_label(int cls, int index);
  void reset_current_label(int cls) { set_current_label(cls, 0); }
  // The label text of the vector, or none.
  const std::string* vector_label(const DataVector& vector) const;

  const DataClass* data_class(int cls) const;
  DataClass* data_class(int cls);
  int total_vectors() const { return total_; }
  bool has_data() const { return total_ >= 1; }
  int input_noise_v = 0;
  int input_noise_i = 0;

  // The data file list. open_data_file counts a new file as the one being read
  // (its folder is where new scratch files go first); the PROBE reader then
  // records its entry.
  int open_data_file(const std::string& path);
  int current_data_file() const { return data_file_count_; }
  // Forgets the data file list (old data cleared before a new file).
  void clear_data_files();
  const std::string& current_data_path() const { return data_path_; }
  void record_data_file(const DataFileEntry& entry);
  const DataFileEntry* data_file(int number) const;
  // The loader of catalogued class-0 vectors without a source file of their
  // own (PROBE files); those with one are loaded by the loader it names.
  void set_loader(VectorLoader loader) { loader_ = loader; }
  // The PROBE file the on-demand loader reads now, and its number in the list.
  DataFileEntry current_probe;
  int current_probe_number = 0;

  // Reader work files, slots 0 and 1: created truncated, deleted after use.
  ScratchFile* create_work_file(int slot);
  void delete_work_file(int slot);

  DataSetHeader header;
  // The folder of the program, a place for scratch files when the usual ones fail.
  std::string program_folder;

 private:
  bool create_scratch(DataClass& c);
  bool load(DataVector& vector, bool whole_block);
  DataVector* link_vector(const NewVector& vector);
  void unlink_vector(DataClass& c, std::list<DataVector>::iterator it);
  void reset_counters(DataClass& c);
  bool class_ok(int cls, bool with_number) const;

  Notify& notify_;
  Progress& progress_;
  std::array<DataClass, kMaxDataClasses> classes_;
  int class_count_ = 0;
  int total_ = 0;
  int data_file_count_ = 0;
  std::string data_path_;
  std::vector<DataFileEntry> data_files_;
  std::array<ScratchFile, 2> work_;
  std::array<std::string, 2> work_folder_;
  int name_counter_ = 0;
  VectorLoader loader_ = nullptr;
};

// The debug log of start-up: "TraceryDebug.log" in the program folder with the
// version and option lines. Returns the option, or 0 when the file cannot be made.
int open_debug_log(const std::string& program_folder, int option, const std::string& version);

}  // namespace zephyrim
