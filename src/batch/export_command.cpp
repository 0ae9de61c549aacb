// zephyrim export: vectors of a simulation data file written as a text table
// (the viewer's Save As Data File) or as a WAV file (Save As Audio Wave File).
#include <cstdio>

#include "batch/batch.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/data/text_data_file.h"
#include "viewer/data/wav_file.h"

namespace zephyrim {

namespace {

constexpr int kDefaultSampleRate = 44100;

constexpr const char* kExportUsage =
    "usage: zephyrim export DATAFILE -o OUT (--text [--mode info|data|inc] | --wav --vector NAME\n"
    "                       [--rate HZ]) [--vector NAME]...\n"
    "Writes vectors of a simulation data file (any type 'zephyrim data' reads):\n"
    "  --text  a text table of each vector against its x vector: --mode info (the default)\n"
    "          with the data set's title and a line of names above each vector's rows,\n"
    "          data the rows alone, inc a SPICE include file of '+ ' rows. The vectors\n"
    "          named by --vector (repeatable, NAME may end in @RUN), else every real\n"
    "          vector that has an x vector.\n"
    "  --wav   the vector named by --vector as 8-bit mono PCM, sampled at --rate samples\n"
    "          a second (101 to 149999, default 44100) from x = 0 to its last x.\n"
    "Exit status: 0 written, 2 not read, not found or not written.\n";

// The vector of a name in the binary class, else in the tables; null after the message.
const DataVector* find_named(DataStore& store, const std::string& name) {
  const DataVector* v = store.find_vector(name, DATA_CLASS_BINARY, -1, -1, -1);
  if (!v) v = store.find_vector(name, DATA_CLASS_TEXT, -1, -1, -1);
  if (!v) store.notify().error("Vector " + name + " not found");
  return v;
}

// The vectors to write: the named ones, or every real one with an x vector.
bool chosen_vectors(DataStore& store, const Arguments& a, std::vector<const DataVector*>& out) {
  for (const auto& name : a.texts("--vector")) {
    const DataVector* v = find_named(store, name);
    if (!v) return false;
    if (v->complex || !v->x) {
      store.notify().error("Vector " + name + (v->complex ? " is complex" : " has no x vector"));
      return false;
    }
    out.push_back(v);
  }
  if (a.has("--vector")) return true;
  for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT})
    for (const auto& v : store.data_class(cls)->vectors)
      if (!v.complex && v.x) out.push_back(&v);
  if (out.empty()) store.notify().error("No real vector with an x vector to export");
  return !out.empty();
}

int export_text(DataStore& store, const Arguments& a) {
  const std::string mode = a.text("--mode", "info");
  const TextForm form = mode == "data"  ? TEXT_DATA_ONLY
                        : mode == "inc" ? TEXT_SPICE_INCLUDE
                                        : TEXT_WITH_HEADERS;
  if (mode != "info" && mode != "data" && mode != "inc")
    return usage_error(a, "--mode needs info, data or inc");
  std::vector<const DataVector*> vectors;
  if (!chosen_vectors(store, a, vectors)) return 2;
  // Every vector is loaded before any view is taken: a load may move the values.
  for (const DataVector* v : vectors)
    if (store.values(*v).empty() || store.values(*v->x).empty()) return 2;
  std::vector<TextTrace> traces;
  for (const DataVector* v : vectors)
    traces.push_back({v->x->name, v->name, store.values(*v->x), store.values(*v)});
  const TextHeaderTexts headers{store.header.title,
                                {store.header.date, store.header.time, store.header.command}};
  return text_write_file(store.notify(), a.text("--output"), form, false, headers, traces) > 0 ? 0 : 2;
}

int export_wav(DataStore& store, const Arguments& a) {
  if (a.texts("--vector").size() != 1) return usage_error(a, "--wav needs one --vector");
  const DataVector* v = find_named(store, a.text("--vector"));
  if (!v) return 2;
  if (v->complex || !v->x) {
    store.notify().error("Vector " + v->name + (v->complex ? " is complex" : " has no x vector"));
    return 2;
  }
  if (store.values(*v).empty() || store.values(*v->x).empty()) return 2;
  const WavTrace trace{store.values(*v->x), store.values(*v),
                       static_cast<int>(a.integer("--rate", kDefaultSampleRate)), std::nullopt};
  return wav_write_trace(a.text("--output"), trace, store.notify()) == 1 ? 0 : 2;
}

constexpr const char* kExportSummary = "write vectors of a data file as a text table or a WAV file";
int export_data(const Arguments& a) {
  if (a.has("--text") == a.has("--wav")) return usage_error(a, "give one of --text and --wav");
  BatchNotify notify(kTraceryTitle, a.answer);
  StderrProgress progress;
  DataStore store(notify, progress);
  if (!load_data_file(store, a.positionals[0])) return 2;
  return a.has("--text") ? export_text(store, a) : export_wav(store, a);
}

}  // namespace

std::vector<Verb> export_verbs() {
  return {{"export",
           kExportSummary,
           kExportUsage,
           {"DATAFILE"},
           {kRequiredOutputOption,
            {.name = "--text", .kind = ValueKind::flag},
            {.name = "--wav", .kind = ValueKind::flag},
            {.name = "--mode", .needs = "info, data or inc"},
            {.name = "--vector", .needs = "a vector name"},
            {.name = "--rate", .kind = ValueKind::integer, .min = 101, .max = 149999}},
           export_data}};
}

}  // namespace zephyrim
