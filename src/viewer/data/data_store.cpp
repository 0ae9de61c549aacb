#include "viewer/data/data_store.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <unordered_set>

#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/data/record_columns.h"

namespace zephyrim {

const char* const kAnalysisKindLabels[8] = {
    "&OTHER Data", "&DC Sweep",   "&TRANSIENT", "&AC Sweep/FFT/Other Complex Data ",
    "&NOISE",      "D&ISTORTION", "POLE-&ZERO", ".FOURier"};

namespace {

bool starts_ci(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && iequals(s.substr(0, prefix.size()), prefix);
}

bool kind_slot(int kind) {
  return kind >= 0 && kind < kKindSlots;
}

// The kinds a query accepts: AC takes its relatives NOISE and DISTORTION, every
// specific kind takes OTHER, and a negative query takes anything.
bool kind_matches(int query, int kind) {
  if (query < 0) return true;
  if (kind == ANALYSIS_OTHER || kind == query) return true;
  return query == ANALYSIS_AC && (kind == ANALYSIS_NOISE || kind == ANALYSIS_DISTO);
}

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string temp_folder() {
  const char* t = std::getenv("TMPDIR");
  return t && *t ? t : "/tmp";
}

std::string working_folder() {
  char buf[4096];
  return getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
}

struct Prefix {
  const char* text;
  int code;
};

int first_prefix(std::string_view name, std::initializer_list<Prefix> table, int otherwise) {
  for (const auto& p : table)
    if (starts_ci(name, p.text)) return p.code;
  return otherwise;
}

}  // namespace

int quantity_code(int kind, std::string_view name) {
  if (name.empty()) return 0;
  switch (kind) {
    case ANALYSIS_OTHER:
    case ANALYSIS_TRAN:
      return first_prefix(name, {{"V", 1}, {"I", 2}, {"P", 3}, {"R", 4}, {"Z", 4}, {"C", 5}, {"D(", 9}}, 0);
    case ANALYSIS_DC:
      return first_prefix(name, {{"V", 1}, {"I", 2}, {"P", 3}, {"R", 4}, {"Z", 4}, {"C", 5}}, 0);
    case ANALYSIS_AC:
      return first_prefix(
          name,
          {{"VM(", 2},     {"VMFFT(", 2},  {"M[V", 2},   {"VRFFT(", 3},   {"VR(", 3},      {"R[V", 3},
           {"VIFFT(", 4},  {"VI(", 4},     {"I[V", 4},   {"VPFFT(", 5},   {"VP(", 5},      {"IPFFT(", 5},
           {"IP(", 5},     {"ZP(", 5},     {"YP(", 5},   {"P[", 5},       {"VDBFFT(", 6},  {"VDBMV(", 6},
           {"VDBM(", 6},   {"VDB(", 6},    {"DBM[", 6},  {"DB[", 6},      {"VG(", 17},     {"VT(", 17},
           {"VGFFT(", 17}, {"G[", 17},     {"T[", 17},   {"V", 1},        {"IDBFFT(", 16}, {"IDBM(", 16},
           {"IDB(", 16},   {"IMFFT(", 12}, {"IM(", 12},  {"IR(", 13},     {"IRFFT(", 13},  {"II(", 14},
           {"IIFFT(", 14}, {"IG(", 17},    {"IT(", 17},  {"IGFFT(", 17},  {"M[I", 12},     {"R[I", 13},
           {"I[I", 14},    {"I", 11},      {"ZDB(", 26}, {"ZDBFFT(", 26}, {"ZM(", 22},     {"ZMFFT(", 22},
           {"ZR(", 23},    {"ZRFFT(", 23}, {"ZI(", 24},  {"ZIFFT(", 24},  {"ZG(", 27},     {"ZT(", 27},
           {"ZGFFT(", 27}, {"M[Z", 22},    {"R[Z", 23},  {"I[Z", 24},     {"Z", 21},       {"FG(", 18}},
          0);
    case ANALYSIS_NOISE:
      return first_prefix(name,
                          {{"INOISE(M)", 1},
                           {"INOISE(R)", 3},
                           {"INOISE(I)", 4},
                           {"INOISE(P)", 5},
                           {"INOISE(DB)", 6},
                           {"INOISE", 1},
                           {"VINOISE", 1},
                           {"V(INOISE", 1},
                           {"IINOISE", 2},
                           {"I(INOISE", 2},
                           {"ONOISE", 1},
                           {"V(ONOISE", 1}},
                          0);
    case ANALYSIS_DISTO:
      return first_prefix(name, {{"HD2", 1}, {"HD3", 2}, {"DIM2", 3}, {"SIM2", 4}, {"DIM3", 5}}, 0);
    case ANALYSIS_PZ:
      return 0;
    default:
      return -1;
  }
}

double digital_level(char state) {
  switch (state) {
    case '0':
      return 0.01;
    case '1':
      return 5.01;
    case 'F':
      return 2.01;
    case 'R':
      return 3.01;
    case 'Z':
      return 6.01;
    default:
      return 1.01;
  }
}

int x_name_kind(std::string_view name) {
  if (starts_ci(name, "TIME")) return ANALYSIS_TRAN;
  if (starts_ci(name, "FREQ")) return ANALYSIS_AC;
  if (!name.empty()) {
    const char c = static_cast<char>(name[0] & ~0x20);
    if (c == 'V' || c == 'I' || c == 'R' || c == 'T') return ANALYSIS_DC;
  }
  return ANALYSIS_OTHER;
}

DataStore::DataStore(Notify& notify, Progress& progress) : notify_(notify), progress_(progress) {}

DataStore::~DataStore() {
  set_class_count(-1);
  delete_work_file(0);
  delete_work_file(1);
}

bool DataStore::start() {
  data_files_.clear();
  data_file_count_ = 0;
  data_path_.clear();
  set_class_count(4);
  bool ok = true;
  for (int cls : {1, 0, 2, 3}) ok = init_class(cls, 0) && ok;
  return ok;
}

void DataStore::set_class_count(int n) {
  for (auto& c : classes_) {
    c.vectors.clear();
    c.by_name.clear();
    c.scratch.remove();
    c.labels.clear();
    c.labels.shrink_to_fit();
    c.initialised = false;
    c.count = 0;
    reset_counters(c);
  }
  total_ = 0;
  class_count_ = 0;
  if (n <= 0) return;
  if (n > kMaxDataClasses) {
    notify_.error(strprintf("Too many data classes specified: %d", n));
    n = kMaxDataClasses;
  }
  class_count_ = n;
}

void DataStore::reset_counters(DataClass& c) {
  c.kinds_present = 0;
  c.kind_count.fill(0);
  c.run_count.fill(1);
  c.max_points.fill(0);
  c.current_label = 0;
}

bool DataStore::class_ok(int cls, bool with_number) const {
  if (cls >= 0 && cls < class_count_) return true;
  if (with_number)
    notify_.error(strprintf("Invalid data class index %d", cls));
  else
    notify_.error("Invalid data class index");
  return false;
}

bool DataStore::create_scratch(DataClass& c) {
  if (c.scratch.is_open()) return true;
  if (c.scratch.create_in_memory()) return true;
  // Files in folders where memory files cannot be made.
  std::vector<std::string> folders;
  if (!data_path_.empty()) folders.push_back(folder_of(data_path_));
  folders.push_back(temp_folder());
  if (!program_folder.empty()) folders.push_back(program_folder);
  folders.push_back(working_folder());
  for (const auto& f : folders)
    if (c.scratch.create_unique(f)) return true;
  if (c.scratch.create_unnamed(temp_folder())) return true;
  const int taken = c.scratch.create_numbered(temp_folder(), name_counter_);
  if (taken >= 0) {
    name_counter_ = taken + 1;
    return true;
  }
  notify_.error("Cannot open temporary data file:\n" + temp_folder() +
                strprintf("/TRC$DATA#%4d.TMP", name_counter_));
  return false;
}

bool DataStore::init_class(int cls, uint32_t limit) {
  if (!class_ok(cls, false)) return false;
  DataClass& c = classes_[cls];
  total_ -= c.count;
  c.vectors.clear();
  c.by_name.clear();
  c.count = 0;
  reset_counters(c);
  c.limit = limit;
  c.labels.assign(1, std::string());
  c.labels.reserve(kLabelGrowth);
  if (cls == DATA_CLASS_BINARY) input_noise_v = input_noise_i = 0;
  c.initialised = create_scratch(c);
  return c.initialised;
}

bool DataStore::clear_class(int cls) {
  if (!class_ok(cls, false)) return false;
  DataClass& c = classes_[cls];
  std::unordered_set<const DataVector*> gone;
  for (const auto& v : c.vectors) gone.insert(&v);
  total_ -= c.count;
  c.vectors.clear();
  c.by_name.clear();
  c.count = 0;
  reset_counters(c);
  c.labels.assign(1, std::string());
  if (cls == DATA_CLASS_BINARY) input_noise_v = input_noise_i = 0;
  // Vectors of other classes may have taken their x axis from this one.
  for (auto& other : classes_)
    for (auto& v : other.vectors)
      if (v.x && gone.count(v.x)) v.x = nullptr;
  if (!create_scratch(c)) return false;
  c.scratch.rewind();
  return true;
}

void DataStore::clear_data_files() {
  data_files_.clear();
  data_file_count_ = 0;
  data_path_.clear();
  current_probe = {};
  current_probe_number = 0;
}

void DataStore::clear_for_new_data() {
  for (int cls : {1, 0, 2, 3})
    if (cls < class_count_) clear_class(cls);
}

void DataStore::unlink_vector(DataClass& c, std::list<DataVector>::iterator it) {
  auto bucket = c.by_name.find(ascii_lower(it->name));
  if (bucket != c.by_name.end()) {
    auto& list = bucket->second;
    list.erase(std::remove(list.begin(), list.end(), &*it), list.end());
    if (list.empty()) c.by_name.erase(bucket);
  }
  const DataVector* gone = &*it;
  c.vectors.erase(it);
  for (auto& other : classes_)
    for (auto& v : other.vectors)
      if (v.x == gone) v.x = nullptr;
}

int DataStore::remove_kind(int cls, int kind) {
  if (!class_ok(cls, false)) return 0;
  DataClass& c = classes_[cls];
  int removed = 0;
  for (auto it = c.vectors.begin(); it != c.vectors.end();) {
    auto next = std::next(it);
    if (it->kind == kind) {
      unlink_vector(c, it);
      ++removed;
    }
    it = next;
  }
  if (kind_slot(kind)) {
    if (c.kind_count[kind] > 0) --c.kinds_present;
    c.kind_count[kind] = 0;
    c.run_count[kind] = 1;
    c.max_points[kind] = 0;
  }
  c.count -= removed;
  total_ -= removed;
  if (c.vectors.empty()) c.scratch.rewind();
  if (cls == DATA_CLASS_BINARY && kind == ANALYSIS_AC) input_noise_v = input_noise_i = 0;
  return removed;
}

int DataStore::remove_vector(const DataVector* vector) {
  if (!vector || !class_ok(vector->data_class, false)) return 0;
  DataClass& c = classes_[vector->data_class];
  if (kind_slot(vector->kind) && c.kind_count[vector->kind] <= 1)
    return remove_kind(vector->data_class, vector->kind) > 0;
  for (auto it = c.vectors.begin(); it != c.vectors.end(); ++it) {
    if (&*it != vector) continue;
    const int kind = it->kind;
    unlink_vector(c, it);
    --c.count;
    --total_;
    if (kind_slot(kind)) --c.kind_count[kind];
    return 1;
  }
  return 0;
}

DataVector* DataStore::link_vector(const NewVector& n) {
  const int cls = n.cls, kind = n.kind, quantity = n.quantity;
  if (!class_ok(cls, true)) return nullptr;
  DataClass& c = classes_[cls];
  if (c.limit != 0 && static_cast<uint32_t>(c.count) >= c.limit) {
    notify_.error(strprintf("Number of data vectors exceed limit of %d", static_cast<int>(c.limit)));
    return nullptr;
  }
  try {
    DataVector v;
    v.name = std::string(n.name.substr(0, std::min(n.name.size(), kVectorNameMax)));
    v.data_class = cls;
    v.complex = n.complex ? 1 : 0;
    v.kind = kind;
    v.quantity = quantity;
    v.label = c.current_label;
    v.points = n.points < 0 ? 0 : n.points;
    v.source_position = n.source_position;
    v.x = n.x;
    auto& bucket = c.by_name[ascii_lower(v.name)];
    // The run number follows the latest earlier vector of the same identity.
    for (auto it = bucket.rbegin(); it != bucket.rend(); ++it)
      if ((*it)->kind == kind && (*it)->quantity == quantity) {
        v.run = (*it)->run + 1;
        break;
      }
    c.vectors.push_back(std::move(v));
    DataVector* added = &c.vectors.back();
    bucket.push_back(added);
    if (kind_slot(kind)) {
      if (n.x && c.run_count[kind] < added->run) c.run_count[kind] = added->run;
      if (c.kind_count[kind]++ == 0) ++c.kinds_present;
      c.max_points[kind] = std::max(c.max_points[kind], added->points);
    }
    ++c.count;
    ++total_;
    return added;
  } catch (const std::bad_alloc&) {
    notify_.error(strprintf("Data variables read %d - rest ignored", total_));
    return nullptr;
  }
}

DataVector* DataStore::add_vector(const NewVector& n) {
  if (!n.values) {
    DataVector* v = link_vector(n);
    if (v) v->scratch_position = -std::max(1, data_file_count_);
    return v;
  }
  if (!class_ok(n.cls, true)) return nullptr;
  const uint64_t doubles = static_cast<uint64_t>(std::max<int64_t>(n.points, 0)) * (n.complex ? 2 : 1);
  // The values go in first, so that a full disk leaves the catalogue as it was.
  const int64_t at = classes_[n.cls].scratch.append({n.values, doubles});
  if (at < 0) {
    notify_.error("Cannot save waveform data to temporary file");
    return nullptr;
  }
  DataVector* v = link_vector(n);
  if (!v) {
    classes_[n.cls].scratch.rewind_to(static_cast<uint64_t>(at));
    return nullptr;
  }
  v->scratch_position = at;
  return v;
}

DataVector* DataStore::add_vector(const NewVector& n, std::shared_ptr<const SourceFile> source,
                                  const RecordColumn& column) {
  NewVector without = n;
  without.values = nullptr;
  DataVector* v = add_vector(without);
  if (v) {
    v->source = std::move(source);
    v->column = column;
  }
  return v;
}

DataVector* DataStore::add_vector_reserved(const NewVector& n) {
  NewVector without = n;
  without.values = nullptr;
  without.source_position = -1;
  DataVector* v = link_vector(without);
  if (!v) return nullptr;
  if (!reserve_values(*v)) {
    notify_.error("Cannot save waveform data to temporary file");
    remove_vector(v);
    return nullptr;
  }
  return v;
}

bool DataStore::reserve_values(DataVector& vector) {
  if (vector.data_class < 0 || vector.data_class >= class_count_) return false;
  const int64_t at = classes_[vector.data_class].scratch.reserve(static_cast<uint64_t>(vector.points) *
                                                                 (vector.complex ? 2 : 1));
  if (at < 0) return false;
  vector.scratch_position = at;
  return true;
}

std::span<double> DataStore::room(const DataVector& vector) {
  if (!vector.loaded() || vector.data_class < 0 || vector.data_class >= class_count_) return {};
  return classes_[vector.data_class].scratch.room(
      vector.scratch_position, static_cast<uint64_t>(vector.points) * (vector.complex ? 2 : 1));
}

bool DataStore::load(DataVector& vector, bool whole_block) {
  if (vector.loaded()) return true;
  if (vector.source) {
    const VectorLoader load = vector.source->loader();
    return load && load(*this, vector, nullptr, whole_block) == 1;
  }
  return vector.data_class == DATA_CLASS_BINARY && loader_ &&
         loader_(*this, vector, nullptr, whole_block) == 1;
}

int DataStore::load_all(int cls) {
  if (cls < 0 || cls >= class_count_) return 0;
  auto waiting = [&] {
    int n = 0;
    for (const auto& v : classes_[cls].vectors) n += v.loaded() ? 0 : 1;
    return n;
  };
  const int before = waiting();
  // Each load takes the rest of its block along.
  for (auto& v : classes_[cls].vectors)
    if (!v.loaded() && !load(v, true)) return -1;
  return before - waiting();
}

DataVector* DataStore::find_vector(std::string_view name, int cls, int kind, int quantity, int complex,
                                   int run) {
  if (cls < 0 || cls >= class_count_) return nullptr;
  if (run < 1) {
    // "V(OUT)@2": the text after the last at sign is the run, when it is a number.
    const size_t at = name.rfind('@');
    if (at != std::string_view::npos && at + 1 < name.size()) {
      std::string_view digits = name.substr(at + 1);
      const bool negative = digits[0] == '-';
      if (negative) digits.remove_prefix(1);
      if (!digits.empty() && digits.size() <= 9 &&
          std::all_of(digits.begin(), digits.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
        const int r = negative ? -1 : std::atoi(std::string(digits).c_str());
        run = (r < 0 || r > 10000) ? 0 : r;
        name = name.substr(0, at);
      }
    }
  }
  DataClass& c = classes_[cls];
  const auto bucket = c.by_name.find(ascii_lower(name.substr(0, std::min(name.size(), kVectorNameMax))));
  if (bucket == c.by_name.end()) return nullptr;
  for (DataVector* v : bucket->second) {
    if (!kind_matches(kind, v->kind)) continue;
    if (quantity >= 0 && v->quantity != quantity) continue;
    if (complex >= 0 && v->complex != complex) continue;
    if (run >= 1 && v->run != run) continue;
    return v;
  }
  return nullptr;
}

const DataVector* DataStore::next_run(const DataVector* vector, const DataVector* after) {
  if (!vector || vector->data_class < 0 || vector->data_class >= class_count_) return nullptr;
  const DataClass& c = classes_[vector->data_class];
  const auto bucket = c.by_name.find(ascii_lower(vector->name));
  if (bucket == c.by_name.end()) return nullptr;
  bool passed = after == nullptr;
  for (const DataVector* v : bucket->second) {
    if (!passed) {
      passed = v == after;
      continue;
    }
    if (v->kind == vector->kind && v->complex == vector->complex && v->quantity == vector->quantity) return v;
  }
  return nullptr;
}

std::span<const double> DataStore::values(const DataVector& vector) {
  if (vector.data_class < 0 || vector.data_class >= class_count_) return {};
  // Only the store hands out vectors, so the cast reaches one of its own.
  if (!vector.loaded() && !load(const_cast<DataVector&>(vector), false)) return {};
  if (vector.points == 0) return {};
  auto v = classes_[vector.data_class].scratch.view(
      vector.scratch_position, static_cast<uint64_t>(vector.points) * (vector.complex ? 2 : 1));
  if (v.empty()) notify_.error("Cannot read data from scratch file");
  return v;
}

int64_t DataStore::read_real(const DataVector& vector, std::vector<double>& out) {
  const auto v = values(vector);
  if (v.empty()) return 0;
  const auto n = static_cast<size_t>(vector.points);
  out.assign(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n));
  return vector.points;
}

int64_t DataStore::read_complex(const DataVector& vector, std::vector<double>& re, std::vector<double>& im) {
  if (!vector.loaded() || vector.points == 0) return 0;
  if (vector.data_class < 0 || vector.data_class >= class_count_) return 0;
  const auto n = static_cast<size_t>(vector.points);
  const auto v =
      classes_[vector.data_class].scratch.view(vector.scratch_position, vector.complex ? 2 * n : n);
  if (v.empty()) return 0;
  re.resize(n);
  im.assign(n, 0.0);
  if (!vector.complex) {
    // A real vector read as complex has no imaginary part.
    std::copy(v.begin(), v.end(), re.begin());
    return vector.points;
  }
  for (size_t i = 0; i < n; ++i) {
    re[i] = v[2 * i];
    im[i] = v[2 * i + 1];
  }
  return vector.points;
}

int DataStore::set_label(std::string_view text, int cls) {
  if (cls < 0 || cls >= class_count_) return 0;
  DataClass& c = classes_[cls];
  if (text.empty()) {
    c.current_label = 0;
    return 0;
  }
  if (c.labels.empty()) c.labels.assign(1, std::string());
  for (size_t i = 1; i < c.labels.size(); ++i)
    if (iequals(c.labels[i], text)) {
      c.current_label = static_cast<int>(i);
      return c.current_label;
    }
  if (c.labels.size() == c.labels.capacity()) c.labels.reserve(c.labels.size() + kLabelGrowth);
  c.labels.emplace_back(text);
  c.current_label = static_cast<int>(c.labels.size() - 1);
  return c.current_label;
}

void DataStore::set_current_label(int cls, int index) {
  if (cls >= 0 && cls < class_count_) classes_[cls].current_label = index;
}

const std::string* DataStore::vector_label(const DataVector& vector) const {
  if (vector.data_class < 0 || vector.data_class >= class_count_) return nullptr;
  const DataClass& c = classes_[vector.data_class];
  if (vector.label <= 0 || c.labels.size() <= 1 || static_cast<size_t>(vector.label) >= c.labels.size())
    return nullptr;
  return &c.labels[vector.label];
}

const DataClass* DataStore::data_class(int cls) const {
  return cls >= 0 && cls < class_count_ ? &classes_[cls] : nullptr;
}

DataClass* DataStore::data_class(int cls) {
  return cls >= 0 && cls < class_count_ ? &classes_[cls] : nullptr;
}

int DataStore::open_data_file(const std::string& path) {
  data_path_ = path;
  return ++data_file_count_;
}

void DataStore::record_data_file(const DataFileEntry& entry) {
  current_probe = entry;
  current_probe_number = data_file_count_;
  if (data_file_count_ < 1 || data_file_count_ > kMaxDataFiles) return;
  if (data_files_.size() < static_cast<size_t>(data_file_count_)) data_files_.resize(data_file_count_);
  data_files_[data_file_count_ - 1] = entry;
}

const DataFileEntry* DataStore::data_file(int number) const {
  if (number < 1 || static_cast<size_t>(number) > data_files_.size()) return nullptr;
  return &data_files_[number - 1];
}

ScratchFile* DataStore::create_work_file(int slot) {
  if (slot < 0 || slot > 1) return nullptr;
  delete_work_file(slot);
  if (work_[slot].create_in_memory()) return &work_[slot];
  std::vector<std::string> folders;
  if (!work_folder_[slot].empty()) folders.push_back(work_folder_[slot]);
  if (!data_path_.empty()) folders.push_back(folder_of(data_path_));
  folders.push_back(temp_folder());
  if (!program_folder.empty()) folders.push_back(program_folder);
  folders.push_back(working_folder());
  for (const auto& f : folders)
    if (work_[slot].create_unique(f)) {
      work_folder_[slot] = f;
      return &work_[slot];
    }
  notify_.error("Cannot create temporary data file");
  return nullptr;
}

void DataStore::delete_work_file(int slot) {
  if (slot >= 0 && slot <= 1) work_[slot].remove();
}

int open_debug_log(const std::string& program_folder, int option, const std::string& version) {
  if (option == 0) return 0;
  const std::string path = (program_folder.empty() ? std::string(".") : program_folder) + "/TraceryDebug.log";
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return 0;
  std::fprintf(f, "Tracery %s\n", version.c_str());
  std::fprintf(f, "DEBUG LOG OPTION=%d\n", option);
  std::fclose(f);
  return option;
}

}  // namespace zephyrim
