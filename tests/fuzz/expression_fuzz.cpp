// Expressions of any bytes over a small store: the first byte chooses the
// analysis kind, the run and whether the result is registered; the rest is the
// expression. Evaluation ends without a crash, and a result never has more
// points than its operands, nor real and imaginary parts of different lengths.
#include <cstdint>
#include <sstream>
#include <string>

#include "common/notify.h"
#include "common/progress.h"
#include "viewer/calc/expression.h"
#include "viewer/data/data_store.h"

namespace {

using namespace zephyrim;

void fill(DataStore& store) {
  static const double t[] = {0, 1e-3, 2e-3, 2e-3, 4e-3, 5e-3, 6e-3, 7e-3};
  static const double a[] = {1, -2, 0, 4, 8, 0.5, 1e300, -1e-300};
  static const double c[] = {1, 0, 0, 1, -1, 0, 0, -1, 3, 4, 0, 0};
  const DataVector* time =
      store.add_vector({.name = "TIME", .kind = ANALYSIS_TRAN, .points = 8, .values = t});
  store.add_vector({.name = "V(1)", .kind = ANALYSIS_TRAN, .x = time, .points = 8, .values = a});
  store.add_vector({.name = "V(2)", .kind = ANALYSIS_TRAN, .x = time, .points = 3, .values = a + 2});
  store.add_vector({.name = "I(R1)", .kind = ANALYSIS_TRAN, .x = time, .points = 0, .values = a});
  const DataVector* freq = store.add_vector({.name = "FREQ", .kind = ANALYSIS_AC, .points = 6, .values = t});
  store.add_vector(
      {.name = "V(OUT)", .kind = ANALYSIS_AC, .complex = 1, .x = freq, .points = 6, .values = c});
  const DataVector* sweep =
      store.add_vector({.name = "V1", .cls = DATA_CLASS_TEXT, .kind = ANALYSIS_DC, .points = 4, .values = a});
  store.add_vector(
      {.name = "V(3)", .cls = DATA_CLASS_TEXT, .kind = ANALYSIS_DC, .x = sweep, .points = 4, .values = t});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static RecordingNotify notify(kTraceryTitle);
  static NullProgress progress;
  static DataStore store(notify, progress);
  static bool started = store.start();
  if (!started) __builtin_trap();
  store.clear_for_new_data();
  notify.clear();
  fill(store);
  const uint8_t mode = size > 0 ? data[0] : 0;
  const std::string text(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
  static const int kKinds[] = {ANALYSIS_TRAN, ANALYSIS_AC, ANALYSIS_DC, ANALYSIS_OTHER};
  UserParameters params;
  std::istringstream listing("NAME  VALUE\n--\nGAIN 2\n" + text);
  expr_read_user_parameters(listing, params, notify);
  const ExprSelection selection{.cls = (mode & 0x10) ? DATA_CLASS_TEXT : DATA_CLASS_BINARY,
                                .kind = kKinds[mode & 3],
                                .run = (mode >> 2) & 3,
                                .parameters = &params};
  if (mode & 0x20) {
    expr_evaluate(store, text, selection);
    return 0;
  }
  ExprResult r;
  const int status = expr_calculate(store, text, selection, r);
  if (r.re.size() > 8) __builtin_trap();
  if (r.complex && r.im.size() != r.re.size()) __builtin_trap();
  if (status == 1 && r.re.empty()) __builtin_trap();
  return 0;
}
