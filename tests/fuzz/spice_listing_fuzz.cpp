// Listings of any bytes, through both entries and the calculation side's sink:
// reading ends without a crash or a hang, every table vector holds as many
// values as it says, and the facts stay within their lengths.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "viewer/calc/listing_sink.h"
#include "viewer/data/data_store.h"
#include "viewer/data/spice_listing.h"

namespace {

// A plain buffer, so that the removal at exit does not outlive the text it names.
char g_path[64];

const char* listing_path() {
  if (!g_path[0]) {
    std::snprintf(g_path, sizeof g_path, "/tmp/zephyrim_spice_listing_fuzz_%d.out",
                  static_cast<int>(getpid()));
    std::atexit([] { std::remove(g_path); });
  }
  return g_path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  static RecordingNotify notify(kTraceryTitle);
  static NullProgress progress;
  static DataStore store(notify, progress);
  static bool started = store.start();
  if (!started) __builtin_trap();
  store.clear_for_new_data();
  notify.clear();
  if (!write_file_atomic(listing_path(), std::string_view(reinterpret_cast<const char*>(data), size)))
    return 0;
  ScriptState state;
  UserParameters parameters;
  ScriptListingSink sink(state, parameters, notify);
  ListingFacts facts;
  // Any rule picks the entry; this one sends seeds of both kinds both ways.
  const bool spice3 = size % 3 == 0;
  const int read = spice3 ? spice3_read_listing(store, listing_path(), sink, facts)
                          : spice_read_listing(store, listing_path(), sink, facts);
  if (read != 0 && read != 1) __builtin_trap();
  if (facts.vectors != store.total_vectors()) __builtin_trap();
  for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT})
    for (const auto& v : store.data_class(cls)->vectors)
      if (store.values(v).size() != static_cast<size_t>(v.points) * (v.complex ? 2 : 1)) __builtin_trap();
  if (facts.listing_title.size() > kListingTitleChars || facts.circuit_title.size() > kCircuitTitleChars ||
      facts.subtitle.size() > kCircuitTitleChars || facts.job_time.size() > kJobTimeChars + 6 ||
      facts.thd.size() > kListingLineChars + 5 || facts.dc_sweep < 0 || facts.dc_sweep > 2 ||
      parameters.size() > static_cast<size_t>(kUserParametersMax) || state.subtitle.size() > kSubtitleMax)
    __builtin_trap();
  return 0;
}
