#pragma once
// PROBE binary data files (".SAV"): the engines' waveform output, in three
// generations of the format. Reading goes in two passes: the catalogue pass
// walks the file's records once (the format gives no point counts), keeps only
// each block's x values and registers every other variable without its values;
// the first use of a variable loads it from its block.
#include <cstdint>
#include <string>
#include <vector>

#include "common/file_io.h"

namespace zephyrim {

class DataStore;
struct DataVector;

inline constexpr const char* kProbeMagic = "ZEPHYRIM";
inline constexpr int kProbeCurrentVersion = 300;
inline constexpr size_t kProbeMagicSize = 24;
inline constexpr size_t kProbeNameSize = 64;
inline constexpr size_t kProbeLabelSize = 32;
inline constexpr size_t kProbeHeaderSize = 312;

// Catalogue pass into class 0 of the store. Returns the number of x vectors
// registered (one per block part with samples); 0 when nothing was read, after
// the message (none when the file cannot be opened). Records the file in the
// store's data file list and makes it the loader's current file.
int probe_read_file(DataStore& store, const std::string& path);

// On-demand pass for a class-0 vector that is not loaded yet: 1 when its values
// are in the scratch file, 0 after the message. Variables of the same block
// that are not loaded yet come along in the same pass over the block when
// whole_block is set or the block is small (kBlockLoadDoubles).
int probe_load_vector(DataStore& store, DataVector& vector, const char* display_name,
                      bool whole_block = false);

// One analysis block as an engine writes it.
struct ProbeBlock {
  std::string label;  // the run label, at most 31 characters
  int kind = 0;       // analysis kind; kind 3 stores (real, imaginary) pairs
  std::string x_name;
  std::vector<std::string> analog_names;
  std::vector<double> x;
  // One column per analog variable, x.size() values, or 2 x x.size() values
  // interleaved (real, imaginary) in a kind-3 block.
  std::vector<std::vector<double>> analog;
  std::vector<std::string> digital_names;
  std::vector<double> digital_x;
  std::vector<std::vector<int8_t>> digital;  // one state per digital_x value
};

struct ProbeFileInfo {
  int version = kProbeCurrentVersion;  // 300, or 200 and 100 for older readers
  int value_size = 8;                  // 8 doubles, 4 floats (always floats below 300)
  std::string date;                    // the three text fields of the header
  std::string time;
  std::string title;
};

// The whole file in memory.
std::vector<uint8_t> probe_file_bytes(const std::vector<ProbeBlock>& blocks, const ProbeFileInfo& info = {});
// Writes the file in place of path; false (and path untouched) on failure.
bool probe_write_file(const std::string& path, const std::vector<ProbeBlock>& blocks,
                      const ProbeFileInfo& info = {});

// Writes a PROBE file one block at a time, so that an engine holds one block in
// memory, not the whole run set. The bytes are those of probe_file_bytes. They
// go to a temporary file beside path that takes path's place on finish(); until
// then path is untouched, and a writer dropped unfinished leaves nothing behind.
class ProbeFileWriter {
 public:
  // Creates the temporary file and writes the header; false when it cannot.
  bool open(const std::string& path, const ProbeFileInfo& info = {});
  bool is_open() const { return file_.is_open(); }
  // Appends one block; false once anything failed to be written.
  bool append(const ProbeBlock& block);
  int blocks() const { return blocks_; }
  // Syncs the file and renames it over path; false (path untouched, nothing
  // left behind) when anything failed on the way.
  bool finish();

 private:
  bool put(std::vector<uint8_t> bytes);

  AtomicFileWriter file_;
  ProbeFileInfo info_;
  int blocks_ = 0;
};

}  // namespace zephyrim
