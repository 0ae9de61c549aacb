#include "viewer/calc/data_open.h"

#include <filesystem>

#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/calc/complex_data.h"
#include "viewer/calc/listing_sink.h"
#include "viewer/calc/script.h"
#include "viewer/data/csdf_file.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"
#include "viewer/data/raw_file.h"
#include "viewer/data/text_data_file.h"
#include "viewer/data/wav_file.h"

namespace zephyrim {

const char* const kDataOpenFilters[kDataFileTypes + 1] = {
    "SPICE output files(*.out,*.lis)",
    "Text (ASCII) data files(*.txt,*.asc)",
    "XSPICE/SPICE3 RAW files(*.raw)",
    "CSDF files(*.csd,*.csdf,*.txt)",
    "HSPICE CSDF files(*.ac?,*.sw?,*.tr?,*.ma?,*.ms?,*.mt?)",
    "Zephyrim PROBE data files(*.sav)",
    "Complex data text files(*.txt)",
    "Audio wave files(*.wav)",
    "XSPICE/SPICE3 .PRINT output files(*.out)",
    "All files(*.*)",
};

namespace {

// The extension of the file name, dot included; empty when it has none.
std::string_view extension_of(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  return dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot);
}

int read_listing(DataStore& store, const std::string& path, int type, DataOpenSession& session) {
  ScriptState dropped;
  ScriptState& script = session.script ? *session.script : dropped;
  ScriptListingSink sink(script, session.parameters, store.notify());
  session.facts = ListingFacts{};
  const int read = type == DATA_TYPE_SPICE3_PRINT ? spice3_read_listing(store, path, sink, session.facts)
                                                  : spice_read_listing(store, path, sink, session.facts);
  session.show_run_status = read > 0 && session.facts.errors > 0;
  // What the listing said is done once its data is in.
  if (read > 0 && store.has_data()) run_after_listing(script, store, store.notify());
  return read;
}

}  // namespace

int data_file_type(std::string_view path) {
  const std::string ext = ascii_upper(extension_of(path));
  if (ext == ".OUT" || ext == ".LIS") return DATA_TYPE_LISTING;
  if (ext == ".TXT" || ext == ".ASC") return DATA_TYPE_TEXT;
  if (ext == ".RAW") return DATA_TYPE_RAW;
  if (ext == ".CSD" || ext == ".CSDF") return DATA_TYPE_CSDF;
  for (const char* hspice : {".AC", ".SW", ".TR", ".MA", ".MS", ".MT"})
    if (ext.size() >= 3 && ext.compare(0, 3, hspice) == 0) return DATA_TYPE_HSPICE_CSDF;
  if (ext == ".SAV") return DATA_TYPE_PROBE;
  if (ext == ".WAV") return DATA_TYPE_WAV;
  return DATA_TYPE_LISTING;
}

DataFileNames data_file_names(std::string path, std::string_view program_title) {
  DataFileNames n;
  // The engines write FILE.OUT; a name typed without extension finds it.
  if (extension_of(path).empty()) path += std::filesystem::exists(path + ".OUT") ? ".OUT" : ".out";
  const std::filesystem::path p(path);
  n.path = path;
  n.folder = p.has_parent_path() ? p.parent_path().string() : ".";
  const std::string base = path.substr(0, path.size() - extension_of(path).size());
  n.probe = base + ".SAV";
  n.format = base + ".F";
  n.history = base + ".W";
  n.window_title = std::string(program_title) + " - " + p.filename().string();
  return n;
}

int data_open(DataStore& store, const std::string& path, int type, bool header_wanted,
              DataOpenSession& session) {
  if (type < 0 || type >= kDataFileTypes) type = data_file_type(path);
  store.progress().show("Reading file...");
  store.open_data_file(path);
  int read = 0;
  switch (type) {
    case DATA_TYPE_LISTING:
    case DATA_TYPE_SPICE3_PRINT:
      read = read_listing(store, path, type, session);
      break;
    case DATA_TYPE_TEXT:
      read = text_read_file(store, path, header_wanted);
      break;
    case DATA_TYPE_RAW:
      read = raw_read_file(store, path, true);
      break;
    case DATA_TYPE_CSDF:
    case DATA_TYPE_HSPICE_CSDF:
      read = csdf_read_file(store, path, true);
      break;
    case DATA_TYPE_PROBE:
      read = probe_read_file(store, path);
      break;
    case DATA_TYPE_COMPLEX_TEXT:
      read = complex_read_text_file(store, path);
      break;
    case DATA_TYPE_WAV:
      read = wav_read_file(store, path, session.playback);
      break;
  }
  store.progress().done();
  return store.has_data() ? read : 0;
}

int data_open_command(DataStore& store, const std::string& path, int type, DataOpenSession& session) {
  store.clear_class(DATA_CLASS_DERIVED);
  bool cleared = true;
  if (store.has_data()) cleared = store.notify().question("Clear old data?", QuestionKind::YesNo) == 1;
  if (cleared) {
    store.clear_for_new_data();
    store.clear_data_files();
    session.parameters.clear();
  }
  session.names = data_file_names(path, store.notify().title());
  return data_open(store, session.names.path, type, cleared, session);
}

}  // namespace zephyrim
