#pragma once
// Building a model library database from SPICE model files: the reader of
// .MODEL statements and .SUBCKT blocks, and the writer of the files whose
// layouts model_db.h gives. One library per model file, named by the file's
// base name in upper case (diodes.lib gives DIODES.MDB and DIODES.MDX).
//
// What the reader takes, in any case:
//   .MODEL name kind (NAME=VALUE ...)    parentheses optional, blanks or commas
//                                        between items; values engineering
//                                        numbers (1.5K, 10MEG, 2p)
//   .SUBCKT name pins... [PARAMS: ...]   up to its .ENDS, kept as text
//   + lines continue a statement; * lines are comments; ; and $ end a line's text.
// A .MODEL whose items are not all NAME=number (an expression, a text value,
// a word alone) is kept as a text model, so that nothing of it is lost.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "simulation/model_db.h"

namespace zephyrim {

// A model read from a SPICE file: its record and what its index entry shows.
struct LibraryModel {
  ModelRecord record;
  std::string class_name;   // the kind word upper-cased, or SUBCKT
  std::string subclass;     // TEXT for a .MODEL kept as text
  std::string description;  // the first comment line above it
  size_t line = 0;          // its first line in the file, from 1
};

struct SpiceLibrary {
  std::string base_name;    // DIODES
  std::string file_name;    // the file read, without its folder
  std::string description;  // the file's first comment line, or its name
  std::vector<LibraryModel> models;
  std::vector<std::string> skipped;  // "line N: why", one per statement left out
};

// The MID of a .MODEL kind word (D 1, NPN 2, NMOS 4, ...): a blank type (6)
// for kinds outside the table. CSW and the other switch kinds share S (7).
int mid_of_model_kind(std::string_view kind);

// A SPICE number: an optional sign, digits with a decimal point and exponent,
// then a scale suffix and unit letters at most (1.5K, 10MEG, 2pF). False for
// anything else, and for values beyond the number range.
bool spice_number(std::string_view text, double& value);

// Reads the models of a SPICE model file. file_path names the library (its
// base name) and the source of each model.
SpiceLibrary read_spice_library(std::string_view text, const std::string& file_path);

// --- encoders of the layouts of model_db.h ---

std::vector<uint8_t> encode_main_index(const MainIndex& index);
std::vector<uint8_t> encode_library_index(const LibraryIndex& index);
std::vector<uint8_t> encode_model_record(const ModelRecord& model);
std::vector<uint8_t> encode_cross_index(const CrossIndex& index);

struct LibraryFiles {
  std::vector<uint8_t> mdb, mdx;
};
// The .MDB and .MDX of a library of 1 to 2500 models.
LibraryFiles encode_library(const SpiceLibrary& library);

// Writes the database of the libraries into folder (created when missing):
// each library's .MDB and .MDX, then MODELSDB.MXM and MODELSDB.MXA. Every file
// goes in whole or not at all. Returns 1, or 0 with error set.
int write_model_database(const std::string& folder, const std::vector<SpiceLibrary>& libraries,
                         std::string& error);

}  // namespace zephyrim
