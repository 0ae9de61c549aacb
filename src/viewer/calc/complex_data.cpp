#include "viewer/calc/complex_data.h"

#include <cmath>
#include <new>

#include "common/eng_number.h"
#include "common/file_io.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

const char* const kComplexFormLabels[kComplexForms] = {
    "Magnitude (&dB)", "&Phase Shift", "&Magnitude (absolute)", "Phase &Angle", "&Real Part",
    "&Imaginary Part", "&Group Delay", "Group &Velocity",       "d&Bm",         "dBm (Vrms 50 ohms)"};
const char* const kComplexFormCodes[kComplexForms] = {"DB", "P", "M",  "A",   "R",
                                                      "I",  "G", "GV", "DBM", "DBMV"};

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kVertical = 1e29;  // a step over no change of x
constexpr double kFloor = 1e-100;   // the smallest magnitude the dB forms take a log of
constexpr size_t kTextLineMax = 511;
constexpr size_t kTextFieldsMax = 33;

int form_of_code(std::string_view code) {
  for (int f = 0; f < kComplexForms; ++f)
    if (iequals(code, kComplexFormCodes[f])) return f;
  return -1;
}

bool derivable_prefix(char c) {
  const char u = ascii_upper(c);
  return u == 'V' || u == 'I' || u == 'Z' || u == 'Y' || u == 'P';
}

double magnitude(double re, double im) {
  return std::hypot(re, im);
}

double angle_degrees(double re, double im) {
  return magnitude(re, im) < 1e-30 ? 0.0 : std::atan2(im, re) * kDegreesPerRadian;
}

double difference(double y0, double y1, double x0, double x1) {
  const double dx = x1 - x0;
  if (dx == 0) return y1 != y0 ? kVertical : 0.0;
  return (y1 - y0) / dx;
}

std::vector<std::string_view> split_fields(std::string_view line, std::string_view separators) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size() && fields.size() < kTextFieldsMax) {
    while (i < line.size() && separators.find(line[i]) != std::string_view::npos) ++i;
    if (i >= line.size()) break;
    const size_t start = i;
    while (i < line.size() && separators.find(line[i]) == std::string_view::npos) ++i;
    fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool blank_line(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

bool eng_field(std::string_view field, double& value) {
  std::string text(field);
  const int used = parse_eng(text, value);
  return used > 0 && static_cast<size_t>(used) == text.size();
}

// One block of a complex text file: the header's names and the rows, column by column.
struct TextBlock {
  std::vector<std::string> names;
  std::vector<std::vector<double>> columns;
};

int register_block(DataStore& store, const TextBlock& block) {
  const auto n = static_cast<int64_t>(block.columns[0].size());
  if (n == 0) return 0;
  const std::string& xname = block.names[0];
  const DataVector* x = store.add_vector({.name = xname,
                                          .cls = DATA_CLASS_BINARY,
                                          .kind = ANALYSIS_AC,
                                          .quantity = quantity_code(ANALYSIS_AC, xname),
                                          .points = n,
                                          .values = block.columns[0].data()});
  if (!x) return 0;
  int registered = 0;
  std::vector<double> pairs(2 * static_cast<size_t>(n));
  for (size_t c = 1; c + 1 < block.names.size(); c += 2) {
    const auto parsed = complex_parse_name(block.names[c]);
    const int form = parsed ? parsed->form : FORM_MAGNITUDE;
    const std::string base = parsed ? parsed->base : block.names[c];
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
      double a = block.columns[c][i];
      const double b = block.columns[c + 1][i];
      if (form == FORM_DB) a = std::pow(10.0, a / 20);
      if (form <= FORM_ANGLE) {
        const double p = b / kDegreesPerRadian;
        pairs[2 * i] = a * std::cos(p);
        pairs[2 * i + 1] = a * std::sin(p);
      } else {
        pairs[2 * i] = a;
        pairs[2 * i + 1] = b;
      }
    }
    if (store.add_vector({.name = base,
                          .cls = DATA_CLASS_BINARY,
                          .kind = ANALYSIS_AC,
                          .quantity = quantity_code(ANALYSIS_AC, base),
                          .complex = 1,
                          .x = x,
                          .points = n,
                          .values = pairs.data()}))
      ++registered;
  }
  return registered;
}

}  // namespace

std::string complex_form_name(std::string_view name, int form) {
  if (form < 0 || form >= kComplexForms) return std::string(name);
  const std::string code = kComplexFormCodes[form];
  if (!name.empty() && derivable_prefix(name[0]) && name.find('(') != std::string_view::npos)
    return std::string(name.substr(0, 1)) + code + std::string(name.substr(1));
  return code + "[" + std::string(name) + "]";
}

std::optional<ParsedComplexName> complex_parse_name(std::string_view name) {
  const size_t open = name.find('[');
  if (open != std::string_view::npos && name.size() > open + 1 && name.back() == ']') {
    const int form = form_of_code(name.substr(0, open));
    if (form >= 0) return ParsedComplexName{form, std::string(name.substr(open + 1, name.size() - open - 2))};
  }
  const size_t paren = name.find('(');
  if (paren == std::string_view::npos || paren == 0 || !derivable_prefix(name[0])) return std::nullopt;
  const std::string_view code = name.substr(1, paren - 1);
  int form = -1;
  if (code.empty())
    form = FORM_MAGNITUDE;
  else if (iequals(code, "T"))
    form = FORM_GROUP_DELAY;
  else
    form = form_of_code(code);
  if (form < 0) return std::nullopt;
  return ParsedComplexName{form, std::string(name.substr(0, 1)) + std::string(name.substr(paren))};
}

int complex_form_from_name(std::string_view text) {
  static const char* const kNames[kComplexForms] = {"dB",   "phase", "mag", "angle", "real",
                                                    "imag", "gd",    "gv",  "dbm",   "dbmv"};
  for (int f = 0; f < kComplexForms; ++f)
    if (iequals(text, kNames[f])) return f;
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '9') return text[0] - '0';
  return -1;
}

std::vector<double> unwrap_phase_degrees(std::span<const double> re, std::span<const double> im) {
  std::vector<double> out(re.size());
  double offset = 0;
  for (size_t i = 0; i < re.size(); ++i) {
    const double wrapped = angle_degrees(re[i], im[i]);
    double v = wrapped + offset;
    if (i > 0 && std::fabs(v - out[i - 1]) > 180) {
      offset -= v > out[i - 1] ? 360 : -360;
      v = wrapped + offset;
    }
    out[i] = v;
  }
  return out;
}

std::vector<double> group_derivative(std::span<const double> y, std::span<const double> x) {
  const size_t n = y.size();
  std::vector<double> d(n, 0.0);
  if (n < 2) return d;
  d[0] = difference(y[0], y[1], x[0], x[1]);
  for (size_t i = 1; i + 1 < n; ++i) {
    const double back = difference(y[i - 1], y[i], x[i - 1], x[i]);
    const double fore = difference(y[i], y[i + 1], x[i], x[i + 1]);
    d[i] = (back == kVertical || fore == kVertical) ? kVertical : (back + fore) / 2;
  }
  // With two points the first one already took the only difference there is.
  if (n > 2) d[n - 1] = difference(y[n - 2], y[n - 1], x[n - 2], x[n - 1]);
  return d;
}

std::vector<double> complex_form_values(std::span<const double> re, std::span<const double> im,
                                        std::span<const double> x, int form) {
  const size_t n = re.size();
  std::vector<double> out(n);
  if (form == FORM_PHASE) return unwrap_phase_degrees(re, im);
  if (form == FORM_GROUP_DELAY || form == FORM_GROUP_VELOCITY) {
    auto phase = unwrap_phase_degrees(re, im);
    for (double& p : phase) p /= kDegreesPerRadian;
    const auto d = group_derivative(phase, x);
    for (size_t i = 0; i < n; ++i) {
      const double delay = -d[i] / (2 * M_PI);
      out[i] = form == FORM_GROUP_DELAY ? delay : (std::fabs(delay) <= 1e-29 ? 1e29 : 1 / delay);
    }
    return out;
  }
  for (size_t i = 0; i < n; ++i) {
    const double m = magnitude(re[i], im[i]);
    switch (form) {
      case FORM_DB:
        out[i] = 20 * std::log10(std::max(m, kFloor));
        break;
      case FORM_MAGNITUDE:
        out[i] = m < 1e-37 ? 0.0 : m;
        break;
      case FORM_ANGLE:
        out[i] = angle_degrees(re[i], im[i]);
        break;
      case FORM_REAL:
        out[i] = re[i];
        break;
      case FORM_IMAGINARY:
        out[i] = im[i];
        break;
      case FORM_DBM:
        out[i] = 10 * std::log10(std::max(m, kFloor) / 0.001);
        break;
      case FORM_DBMV: {
        const double rms = std::max(m, kFloor) / std::sqrt(2.0);
        out[i] = 10 * std::log10(rms * rms / 50 / 0.001);
        break;
      }
      default:
        out[i] = 0;
        break;
    }
  }
  return out;
}

DataVector* complex_derive(DataStore& store, const DataVector& vector, std::string_view display_name,
                           int form, int cls) {
  if (form < 0 || form >= kComplexForms) return nullptr;
  try {
    const auto values = store.values(vector);
    const auto n = static_cast<size_t>(vector.points);
    if (values.size() < n * (vector.complex ? 2 : 1)) return nullptr;
    std::vector<double> re(n), im(n, 0.0), x(n);
    for (size_t i = 0; i < n; ++i) {
      re[i] = vector.complex ? values[2 * i] : values[i];
      if (vector.complex) im[i] = values[2 * i + 1];
    }
    // A vector without an x axis is derived over its point numbers.
    std::span<const double> xs = vector.x ? store.values(*vector.x) : std::span<const double>();
    for (size_t i = 0; i < n; ++i)
      x[i] = xs.empty() ? static_cast<double>(i) : xs[std::min(i, xs.size() - 1)];
    const auto out = complex_form_values(re, im, x, form);
    const std::string name = complex_form_name(display_name, form);
    // The derived vector belongs to the run of its source, label included.
    DataClass* c = store.data_class(cls);
    const int current = c ? c->current_label : 0;
    if (const std::string* label = store.vector_label(vector); label && c) store.set_label(*label, cls);
    DataVector* derived = store.add_vector({.name = name,
                                            .cls = cls,
                                            .kind = ANALYSIS_AC,
                                            .quantity = quantity_code(ANALYSIS_AC, name),
                                            .x = vector.x,
                                            .points = vector.points,
                                            .values = out.data()});
    if (c) store.set_current_label(cls, current);
    return derived;
  } catch (const std::bad_alloc&) {
    store.notify().error("Cannot allocate memory for complex data arrays");
    return nullptr;
  }
}

int complex_read_text_file(DataStore& store, const std::string& path) {
  const auto text = read_text_file(path);
  if (!text) {
    store.notify().error("Cannot open complex data text file:\n" + path);
    return 0;
  }
  enum { SeekEmpty, SeekHeader, Rows } state = SeekEmpty;
  TextBlock block;
  int registered = 0;
  auto end_block = [&] {
    if (state == Rows) registered += register_block(store, block);
    state = SeekEmpty;
  };
  for (std::string_view line : split_lines(*text)) {
    line = line.substr(0, kTextLineMax);
    if (state == Rows) {
      const auto fields = split_fields(line, " ,\t");
      std::vector<double> row(fields.size());
      bool ok = fields.size() >= block.names.size();
      for (size_t i = 0; ok && i < block.names.size(); ++i) ok = eng_field(fields[i], row[i]);
      if (ok) {
        for (size_t i = 0; i < block.names.size(); ++i) block.columns[i].push_back(row[i]);
        continue;
      }
      end_block();  // the line that ended the block may be the next block's empty line
    }
    if (state == SeekEmpty) {
      if (line.empty() || blank_line(line)) state = SeekHeader;
    } else if (state == SeekHeader && !blank_line(line)) {
      const auto names = split_fields(line, " \t");
      if (names.size() < 3) {
        state = SeekEmpty;
        continue;
      }
      block.names.assign(names.begin(), names.end());
      block.columns.assign(names.size(), {});
      state = Rows;
    }
  }
  end_block();
  if (registered == 0) store.notify().error("No complex data found in text file:\n" + path);
  return registered;
}

}  // namespace zephyrim
