// zephyrim modeldb: builds a model library database from SPICE model files,
// lists its libraries and their index tables, and prints a model as the
// editor copies it into a model file.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "common/file_io.h"
#include "common/text_format.h"
#include "simulation/model_db.h"
#include "simulation/model_db_writer.h"

namespace zephyrim {

namespace {

constexpr const char* kModeldbUsage =
    "usage: zephyrim modeldb build DIR FILE.lib...\n"
    "       zephyrim modeldb list DIR [LIBRARY]\n"
    "       zephyrim modeldb show DIR MODEL [--library LIB]\n"
    "The model library database: device models indexed by library, as the editor\n"
    "lists them and copies one into a model file.\n"
    "  build DIR FILE...   reads the SPICE model files, one library each, named by\n"
    "                      the file's base name in upper case (diodes.lib gives\n"
    "                      DIODES.MDB and DIODES.MDX), and writes them with the main\n"
    "                      index MODELSDB.MXM and the cross index MODELSDB.MXA into\n"
    "                      DIR (created when missing). It takes .MODEL statements\n"
    "                      (parameters NAME=VALUE, with or without parentheses) and\n"
    "                      .SUBCKT ... .ENDS blocks, + continuation lines, * comment\n"
    "                      lines and ; or $ comments, in any case. A .MODEL whose\n"
    "                      values are not all numbers is kept as text. Prints per\n"
    "                      library the models found and every statement left out,\n"
    "                      with the reason\n"
    "  list DIR            one line per library: its file, its number of models and\n"
    "                      its description, tab-separated\n"
    "  list DIR LIBRARY    the index table of the library (DIODES, diodes.mdb,\n"
    "                      diodes.lib or a path: its base name counts, case\n"
    "                      ignored), duplicates marked\n"
    "  show DIR MODEL      the model as SPICE text, found by name (case ignored)\n"
    "                      through the cross index\n"
    "  --library LIB       show: look in that library only\n"
    "The readers' diagnostics go to stderr.\n"
    "Exit status: build 0 written, 1 written but some input was left out, 2 nothing\n"
    "written; list and show 0 printed, 1 no such library or model, 2 the database\n"
    "could not be read or the command line is wrong.\n";

constexpr const char* kModeldbSummary = "build, list and show the model library database";

constexpr size_t kMaxFiles = 300;  // a database holds at most 256 libraries

int fail(int status, const std::string& why) {
  std::fprintf(stderr, "zephyrim modeldb: %s\n", why.c_str());
  return status;
}

std::string file_name_of(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A library by the name a user types: the database's own rule (its base name,
// .MDB or .MDX left off), then the name without the extension of the model file
// it was built from (diodes.lib).
int library_named(const ModelDatabase& db, const std::string& name) {
  const int found = db.find_library(name);
  if (found >= 0) return found;
  const std::string file = file_name_of(name);
  const size_t dot = file.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? -1 : db.find_library(file.substr(0, dot));
}

ModelDbLog stderr_log() {
  return [](const std::string& text) { std::fputs(text.c_str(), stderr); };
}

int build(const Arguments& a) {
  if (a.positionals.size() < 3) return usage_error(a, "build needs at least one SPICE model file");
  const std::string& dir = a.positionals[1];
  bool left_out = false;
  std::vector<SpiceLibrary> libraries;
  std::set<std::string> names;
  size_t models = 0;
  for (size_t i = 2; i < a.positionals.size(); ++i) {
    const std::string& path = a.positionals[i];
    const auto text = read_text_file(path, uint64_t{256} << 20);
    if (!text) {
      left_out = true;
      fail(1, "cannot read " + path + ": left out");
      continue;
    }
    SpiceLibrary lib = read_spice_library(*text, path);
    std::printf("%s: %zu models from %s\n", lib.base_name.c_str(), lib.models.size(), path.c_str());
    for (const LibraryModel& m : lib.models)
      std::printf("  %-16s %-8s line %zu\n", m.record.name.c_str(), m.class_name.c_str(), m.line);
    for (const std::string& s : lib.skipped) std::printf("  skipped %s\n", s.c_str());
    left_out = left_out || !lib.skipped.empty();
    if (lib.models.empty()) {
      left_out = true;
      fail(1, path + ": no .MODEL or .SUBCKT found: left out");
    } else if (lib.base_name.empty() || lib.base_name.size() > 63) {
      left_out = true;
      fail(1, path + ": its name cannot name a library of at most 63 characters: left out");
    } else if (!names.insert(ascii_upper(lib.base_name)).second) {
      left_out = true;
      fail(1, path + ": a library named " + lib.base_name + " comes from an earlier file: left out");
    } else {
      models += lib.models.size();
      libraries.push_back(std::move(lib));
    }
  }
  if (libraries.empty()) return fail(2, "no model found: nothing written");
  std::string error;
  if (!write_model_database(dir, libraries, error)) return fail(2, error);
  std::printf("%s: %zu libraries, %zu models\n", dir.c_str(), libraries.size(), models);
  return left_out ? 1 : 0;
}

int list(const Arguments& a) {
  if (a.positionals.size() > 3) return usage_error(a, "unexpected argument '" + a.positionals[3] + "'");
  const std::string& dir = a.positionals[1];
  ModelDatabase db(stderr_log());
  if (!db.open_main_index(dir)) return fail(2, "cannot read the model database in " + dir);
  if (a.positionals.size() == 3) {
    const int library = library_named(db, a.positionals[2]);
    if (library < 0) return fail(1, "no library " + a.positionals[2] + " in " + dir);
    if (!db.open_library_index(library))
      return fail(2, "cannot read the index of " + db.library_path(library, "MDX"));
    db.mark_duplicates();
    std::string out;
    db.list_index(out);
    std::fputs(out.c_str(), stdout);
    return 0;
  }
  int status = 0;
  const auto& items = db.main_index().items;
  for (size_t i = 0; i < items.size(); ++i) {
    const std::string file = file_name_of(db.library_path(static_cast<int>(i), "MDB"));
    if (!db.open_library_index(static_cast<int>(i))) {
      status = fail(2, "cannot read the index of " + db.library_path(static_cast<int>(i), "MDX"));
      std::printf("%s\t?\t%s\n", file.c_str(), items[i].description.str().c_str());
      continue;
    }
    std::printf("%s\t%zu\t%s\n", file.c_str(), db.library_index().entries.size(),
                items[i].description.str().c_str());
  }
  return status;
}

int show(const Arguments& a) {
  if (a.positionals.size() != 3)
    return usage_error(a, a.positionals.size() < 3 ? "show needs a MODEL name"
                                                   : "unexpected argument '" + a.positionals[3] + "'");
  const std::string &dir = a.positionals[1], &name = a.positionals[2];
  ModelDatabase db(stderr_log());
  if (!db.open_main_index(dir)) return fail(2, "cannot read the model database in " + dir);
  int only = -1;
  if (a.has("--library")) {
    only = library_named(db, a.text("--library"));
    if (only < 0) return fail(1, "no library " + a.text("--library") + " in " + dir);
  }
  if (db.open_cross_index(dir) == 0 && db.last_code() != kModelDbOk)
    return fail(2, "cannot read the cross index of " + dir);
  int status = 1;
  for (const CrossRecord& c : db.cross_index().records) {
    if (!iequals(c.name, name) || (only >= 0 && c.library != only)) continue;
    if (!db.open_library_index(c.library)) {
      status = fail(2, "cannot read the index of " + db.library_path(c.library, "MDX"));
      continue;
    }
    // The cross index names the entry; a library rebuilt since is searched by name.
    const auto& entries = db.library_index().entries;
    int entry = c.entry >= 0 && static_cast<size_t>(c.entry) < entries.size() &&
                        iequals(entries[static_cast<size_t>(c.entry)].name, name)
                    ? c.entry
                    : -1;
    for (size_t e = 0; entry < 0 && e < entries.size(); ++e)
      if (iequals(entries[e].name, name)) entry = static_cast<int>(e);
    if (entry < 0) continue;
    std::string text;
    if (!db.write_model_text(entry, text)) {
      std::fputs(text.c_str(), stderr);
      status = fail(2, strprintf("cannot read model %s from %s (error code %d)", name.c_str(),
                                 db.library_path(c.library, "MDB").c_str(), db.last_code()));
      continue;
    }
    std::fputs(text.c_str(), stdout);
    return 0;
  }
  if (status == 1) fail(1, "no model " + name + " in " + dir);
  return status;
}

int modeldb(const Arguments& a) {
  const std::string& action = a.positionals[0];
  if (a.has("--library") && action != "show") return usage_error(a, "--library belongs to show");
  if (action == "build") return build(a);
  if (action == "list") return list(a);
  if (action == "show") return show(a);
  return usage_error(a, "ACTION must be build, list or show, not '" + action + "'");
}

std::vector<std::string_view> modeldb_positionals() {
  std::vector<std::string_view> names{"ACTION", "DIR"};
  names.insert(names.end(), kMaxFiles, "[FILE]");
  return names;
}

}  // namespace

std::vector<Verb> modeldb_verbs() {
  return {
      {"modeldb", kModeldbSummary, kModeldbUsage, modeldb_positionals(), {{.name = "--library"}}, modeldb}};
}

}  // namespace zephyrim
