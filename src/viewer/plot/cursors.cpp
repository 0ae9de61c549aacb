#include "viewer/plot/cursors.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "common/eng_number.h"
#include "common/notify.h"
#include "common/text_format.h"

namespace zephyrim {

const char* const kCursorShapes[5] = {"Small cross", "X", "Vertical bar", "Horizontal bar", "Cross hair"};
const char* const kCursorPositionings[10] = {"Track data", "Fix X value", "Fix Y value", "Maximum", "Minimum",
                                             "Peak",       "Trough",      "Max. slope",  "R.M.S.",  "Mean"};

namespace {

std::string value_text(double v) {
  return format_eng_viewer(v, 8);
}

std::string line(const std::string& name, const std::string& value) {
  return " " + name + "=" + value + " ";
}

std::string header(const CursorPair& c, int k) {
  const int n = k + 1;
  if (!c.show_shapes) return strprintf(" Cursor %d:", n);
  switch (c.cursor[k].shape) {
    case SHAPE_SMALL_CROSS:
      return strprintf(" Cursor %d (+):", n);
    case SHAPE_X:
      return strprintf(" Cursor %d (x):", n);
    case SHAPE_VERTICAL_BAR:
      return strprintf(" Cursor %d (|):", n);
    default:
      return strprintf(" Cursor %d:", n);
  }
}

constexpr double kDegreesPerRadian = 57.29577951308232;

// A value of the Smith read-out, rounded to its digits first: a value a hair
// below a power of ten (0.9999999999999999 out of 1 - gamma) would read 1000m.
std::string smith_text(double v) {
  if (!std::isfinite(v)) return "inf";
  return value_text(std::strtod(strprintf("%.8g", v).c_str(), nullptr));
}

// The Smith chart lines of a cursor at the reflection coefficient y + j aux.
void add_smith_lines(std::vector<std::string>& out, const Cursor& c, const ReadoutScales& s) {
  const std::complex<double> gamma(c.y, c.aux);
  const std::complex<double> one_minus = 1.0 - gamma;
  // At gamma = 1 the load is an open circuit: every impedance figure is infinite.
  const bool open = std::abs(one_minus) < 1e-300;
  const std::complex<double> z = open ? std::complex<double>(INFINITY, 0) : (1.0 + gamma) / one_minus;
  if (!c.x_name.empty()) out.push_back(line(c.x_name, smith_text(c.x)));
  out.push_back(line("ZR[" + c.y_name + "]", smith_text(z.real() * s.z0)));
  out.push_back(
      line((s.smith_current ? "I[" : "ZI[") + c.y_name + "]", open ? "inf" : smith_text(z.imag() * s.z0)));
  out.push_back(line(
      "z",
      open ? "inf" : smith_text(z.real()) + (z.imag() < 0 ? "-j" : "+j") + smith_text(std::fabs(z.imag()))));
  out.push_back(line("Z0", smith_text(s.z0)));
  const double magnitude = std::abs(gamma);
  out.push_back(line("|GAMMA|", smith_text(magnitude)));
  out.push_back(
      line("ANG(GAMMA)", smith_text(magnitude > 0 ? std::atan2(c.aux, c.y) * kDegreesPerRadian : 0.0)));
  out.push_back(line("VWSR", magnitude >= 1 ? "inf" : smith_text((1 + magnitude) / (1 - magnitude))));
}

void add_cursor_lines(std::vector<std::string>& out, const Cursor& c, const ReadoutScales& s) {
  const double x = s.x_log ? std::pow(10.0, c.x) : c.x;
  const double y = s.y_log ? std::pow(10.0, c.y) : c.y;
  if (s.smith) {
    add_smith_lines(out, c, s);
    return;
  }
  out.push_back(line(c.x_name, value_text(x)));
  out.push_back(line(c.y_name, value_text(y)));
  if (!c.extra_name.empty()) out.push_back(line(c.extra_name, value_text(c.aux)));
}

CursorPoint at(std::span<const double> x, std::span<const double> y, size_t i) {
  return {x[i], y[i], i};
}

}  // namespace

std::vector<std::string> cursor_readout(const CursorPair& c, const ReadoutScales& s) {
  std::vector<std::string> out;
  for (int k = 0; k < 2; ++k) {
    if (!c.cursor[k].active) continue;
    out.push_back(header(c, k));
    add_cursor_lines(out, c.cursor[k], s);
  }
  if (!c.cursor[0].active || !c.cursor[1].active) return out;
  auto real_x = [&](const Cursor& k) { return s.x_log ? std::pow(10.0, k.x) : k.x; };
  auto real_y = [&](const Cursor& k) { return s.y_log ? std::pow(10.0, k.y) : k.y; };
  const double x1 = real_x(c.cursor[0]), x2 = real_x(c.cursor[1]);
  const double y1 = real_y(c.cursor[0]), y2 = real_y(c.cursor[1]);
  if (c.flags.x_difference) out.push_back(line("X2-X1", value_text(x2 - x1)));
  if (c.flags.y_difference) out.push_back(line("Y2-Y1", value_text(y2 - y1)));
  if (c.flags.x_ratio) out.push_back(line("X2/X1", !s.x_log && x1 == 0 ? "Error:X1=0" : value_text(x2 / x1)));
  if (c.flags.y_ratio) out.push_back(line("Y2/Y1", y1 == 0 ? "Error:Y1=0" : value_text(y2 / y1)));
  if (c.flags.slope)
    out.push_back(line("SLOPE", std::fabs(x2 - x1) < 1e-30 ? "inf." : value_text((y2 - y1) / (x2 - x1))));
  return out;
}

bool cursor_place_smith(Cursor& cursor, std::span<const double> sweep, std::span<const double> re,
                        std::span<const double> im, double at) {
  const auto real = cursor_find_x(sweep, re, at);
  const auto imaginary = cursor_find_x(sweep, im, at);
  if (!real || !imaginary) return false;
  cursor.x = at;
  cursor.y = real->y;
  cursor.aux = imaginary->y;
  cursor.index = real->index;
  return true;
}

std::optional<CursorPoint> cursor_find_x(std::span<const double> x, std::span<const double> y, double v) {
  const size_t n = std::min(x.size(), y.size());
  if (n == 1 && x[0] == v) return at(x, y, 0);
  for (size_t i = 1; i < n; ++i) {
    if (!((x[i - 1] <= v && v <= x[i]) || (x[i - 1] >= v && v >= x[i]))) continue;
    const double t = x[i] == x[i - 1] ? 0 : (v - x[i - 1]) / (x[i] - x[i - 1]);
    return CursorPoint{v, y[i - 1] + t * (y[i] - y[i - 1]), i - 1};
  }
  return std::nullopt;
}

std::optional<CursorPoint> cursor_find_y(std::span<const double> x, std::span<const double> y, double v) {
  const size_t n = std::min(x.size(), y.size());
  if (n == 1 && y[0] == v) return at(x, y, 0);
  for (size_t i = 1; i < n; ++i) {
    if (!((y[i - 1] <= v && v <= y[i]) || (y[i - 1] >= v && v >= y[i]))) continue;
    const double t = y[i] == y[i - 1] ? 0 : (v - y[i - 1]) / (y[i] - y[i - 1]);
    return CursorPoint{x[i - 1] + t * (x[i] - x[i - 1]), v, i - 1};
  }
  return std::nullopt;
}

std::optional<CursorPoint> cursor_extreme(std::span<const double> x, std::span<const double> y,
                                          bool maximum) {
  const size_t n = std::min(x.size(), y.size());
  if (n == 0) return std::nullopt;
  size_t best = 0;
  for (size_t i = 1; i < n; ++i)
    if (maximum ? y[i] > y[best] : y[i] < y[best]) best = i;
  return at(x, y, best);
}

std::optional<CursorPoint> cursor_next_peak(std::span<const double> x, std::span<const double> y, size_t from,
                                            bool peak) {
  const size_t n = std::min(x.size(), y.size());
  // A plateau counts once, at its first point: rising into it and falling out.
  for (size_t i = std::max<size_t>(from + 1, 1); i + 1 < n; ++i) {
    const double before = y[i - 1], here = y[i];
    if (peak ? !(here > before) : !(here < before)) continue;
    size_t j = i + 1;
    while (j < n && y[j] == here) ++j;
    if (j < n && (peak ? y[j] < here : y[j] > here)) return at(x, y, i);
  }
  return std::nullopt;
}

std::optional<CursorPoint> cursor_max_slope(std::span<const double> x, std::span<const double> y) {
  const size_t n = std::min(x.size(), y.size());
  std::optional<CursorPoint> best;
  double steepest = -1;
  for (size_t i = 1; i < n; ++i) {
    const double dx = x[i] - x[i - 1];
    if (dx == 0) continue;
    const double s = std::fabs((y[i] - y[i - 1]) / dx);
    if (s > steepest) {
      steepest = s;
      best = CursorPoint{(x[i] + x[i - 1]) / 2, (y[i] + y[i - 1]) / 2, i - 1};
    }
  }
  return best;
}

double trace_mean(std::span<const double> x, std::span<const double> y, bool rms) {
  const size_t n = std::min(x.size(), y.size());
  if (n == 0) return 0;
  const double span = x[n - 1] - x[0];
  if (n == 1 || span == 0) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += rms ? y[i] * y[i] : y[i];
    return rms ? std::sqrt(sum / n) : sum / n;
  }
  double area = 0;
  for (size_t i = 1; i < n; ++i) {
    const double a = rms ? y[i - 1] * y[i - 1] : y[i - 1], b = rms ? y[i] * y[i] : y[i];
    area += (a + b) * 0.5 * (x[i] - x[i - 1]);
  }
  const double mean = area / span;
  return rms ? std::sqrt(std::max(0.0, mean)) : mean;
}

bool cursor_set_position(Cursor& cursor, std::span<const double> x, std::span<const double> y,
                         const PositionRequest& r, Notify& notify) {
  if (!cursor.active) {
    notify.error("No cursor active");
    return false;
  }
  std::optional<CursorPoint> p;
  switch (r.option) {
    case POSITION_FIX_X:
    case POSITION_FIX_Y:
      if (r.fixed < r.shown_min || r.fixed > r.shown_max) {
        notify.error("Specified value out of range");
        return false;
      }
      p = r.option == POSITION_FIX_X ? cursor_find_x(x, y, r.fixed) : cursor_find_y(x, y, r.fixed);
      break;
    case POSITION_MAXIMUM:
    case POSITION_MINIMUM:
      p = cursor_extreme(x, y, r.option == POSITION_MAXIMUM);
      break;
    case POSITION_PEAK:
    case POSITION_TROUGH:
      p = cursor_next_peak(x, y, cursor.index, r.option == POSITION_PEAK);
      break;
    case POSITION_MAX_SLOPE:
      p = cursor_max_slope(x, y);
      break;
    case POSITION_RMS:
    case POSITION_MEAN:
      p = cursor_find_y(x, y, trace_mean(x, y, r.option == POSITION_RMS));
      break;
    default:
      cursor.positioning = POSITION_TRACK;
      return true;
  }
  if (!p) {
    notify.error("Specified cursor value not found");
    cursor.positioning = POSITION_TRACK;
    return false;
  }
  cursor.positioning = r.option;
  cursor.index = p->index;
  // The cursor keeps its position on the axes' scales.
  cursor.x = r.x_log ? std::log10(std::max(p->x, 1e-300)) : p->x;
  cursor.y = r.y_log ? std::log10(std::max(std::fabs(p->y), 1e-300)) : p->y;
  return true;
}

}  // namespace zephyrim
