#pragma once
// A data store with a few vectors, for the expression tests.
#include <string>
#include <vector>

#include "common/notify.h"
#include "common/progress.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

struct CalcStore {
  RecordingNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};

  CalcStore() { store.start(); }

  const DataVector* add(const std::string& name, const std::vector<double>& values, const DataVector* x,
                        int kind = ANALYSIS_TRAN, int cls = DATA_CLASS_BINARY, int complex = 0) {
    return store.add_vector({.name = name,
                             .cls = cls,
                             .kind = kind,
                             .complex = complex,
                             .x = x,
                             .points = static_cast<int64_t>(values.size()) / (complex ? 2 : 1),
                             .values = values.data()});
  }
  std::vector<double> values(const DataVector* v) {
    const auto s = store.values(*v);
    return {s.begin(), s.end()};
  }
};

}  // namespace zephyrim
