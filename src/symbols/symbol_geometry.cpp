#include "symbols/symbol_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zephyrim {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;
constexpr double kMarkRadius = 3.0;

struct Vec {
  double x, y;
};

Vec apply_steps(Vec v, const Placement& at) {
  for (int i = 0; i < at.step_count; ++i) {
    switch (at.steps[i]) {
      case 1:
        v = {v.y, -v.x};
        break;
      case 5:
        v = {-v.x, v.y};
        break;
      case 6:
        v = {v.x, -v.y};
        break;
      default:
        break;
    }
  }
  return v;
}

class Builder {
 public:
  Builder(const Placement& at) : at_(at) {}

  GeoPoint page(double x, double y) const {
    const Vec v = apply_steps({x * at_.scale, y * at_.scale}, at_);
    return {v.x + at_.x, v.y + at_.y};
  }

  void path(std::vector<GeoPoint> pts, bool closed, bool filled) {
    geo.paths.push_back({std::move(pts), closed, filled});
  }

  // Symbol points of an ellipse arc, counter-clockwise with y upward.
  std::vector<GeoPoint> arc(double cx, double cy, double rx, double ry, double start, double end) const {
    double span = end - start;
    while (span <= 0) span += 360.0;
    if (span > 360.0) span = std::fmod(span, 360.0) == 0 ? 360.0 : std::fmod(span, 360.0);
    const int n = std::clamp(static_cast<int>(span / 5.0), 8, 72);
    std::vector<GeoPoint> pts;
    for (int i = 0; i <= n; ++i) {
      const double a = (start + span * i / n) * kDegree;
      pts.push_back(page(cx + rx * std::cos(a), cy - ry * std::sin(a)));
    }
    return pts;
  }

  // A text at a symbol point, its alignments given for the unrotated symbol.
  void text(double x, double y, std::string s, bool vertical, int h, int v, double size) {
    if (s.empty()) return;
    // Reading and upward directions in symbol space, then as placed.
    Vec r = vertical ? Vec{0, -1} : Vec{1, 0};
    Vec u = vertical ? Vec{-1, 0} : Vec{0, -1};
    r = apply_steps(r, at_);
    u = apply_steps(u, at_);
    // Text stays readable: left to right, or bottom to top.
    if (r.x < -0.5 || r.y > 0.5) {
      r = {-r.x, -r.y};
      h = 2 - std::clamp(h, 0, 2);
    }
    const bool reads_up = std::abs(r.y) > 0.5;
    const Vec want_up = reads_up ? Vec{-1, 0} : Vec{0, -1};
    if (u.x * want_up.x + u.y * want_up.y < 0) v = (v == 0) ? 2 : 0;
    GeoText t;
    t.anchor = page(x, y);
    t.text = std::move(s);
    t.vertical = reads_up;
    t.h_align = std::clamp(h, 0, 2);
    t.v_align = std::clamp(v, 0, 2);
    t.height = size * kSymbolCharHeight * at_.scale;
    geo.texts.push_back(std::move(t));
  }

  SymbolGeometry geo;

 private:
  const Placement& at_;
};

std::string attribute_text(const AttributeTexts& t, int code) {
  if (code == 0) return t.reference;
  if (code == 1) return t.value;
  if (code == 2) {
    for (int i = 0; i < 4; ++i)
      if (t.params[i] && !t.params[i]->empty()) return t.show[i] ? *t.params[i] : std::string();
    return {};
  }
  const int n = code - 10;
  if (n >= 1 && n <= 4 && t.params[n - 1] && t.show[n - 1]) return *t.params[n - 1];
  return {};
}

// One arrow head corner coordinate, rounded half away from zero.
double head(double v) {
  return std::round(v);
}

}  // namespace

SymbolGeometry symbol_geometry(const SymbolRecord& sym, const Placement& at, const AttributeTexts* texts) {
  Builder b(at);
  double pen_x = 0, pen_y = 0;
  bool fill_next = false;
  auto take_fill = [&]() {
    const bool f = fill_next;
    fill_next = false;
    return f;
  };

  for (const DrawCommand& c : sym.draws) {
    const auto& a = c.args;
    switch (c.op) {
      case 'M':
        pen_x = a[0];
        pen_y = a[1];
        break;
      case 'V':
        b.path({b.page(pen_x, pen_y), b.page(a[0], a[1])}, false, false);
        pen_x = a[0];
        pen_y = a[1];
        break;
      case 'A':
        b.path(b.arc(a[0], a[1], a[2], a[3], a[4], a[5]), false, false);
        break;
      case 'C':
        if (a[2] <= 0)
          b.path({b.page(a[0], a[1])}, false, false);
        else
          b.path(b.arc(a[0], a[1], a[2], a[2], 0, 360), true, take_fill());
        break;
      case 'E':
        b.path(b.arc(a[0], a[1], a[2], a[3], 0, 360), true, take_fill());
        break;
      case 'R':
        b.path({b.page(a[0], a[1]), b.page(a[2], a[1]), b.page(a[2], a[3]), b.page(a[0], a[3])}, true,
               take_fill());
        break;
      case 'D':
        b.path({b.page(a[0], a[1]), b.page(a[2], a[3]), b.page(a[4], a[5])}, true, take_fill());
        break;
      case 'P':
      case 'Z': {
        const int n = (std::clamp<int>(c.arg_count, 0, 18) + 1) / 2;
        std::vector<GeoPoint> pts;
        for (int i = 0; i < n; ++i) pts.push_back(b.page(a[2 * i], a[2 * i + 1]));
        if (!pts.empty()) b.path(std::move(pts), c.op == 'P', c.op == 'P' && take_fill());
        break;
      }
      case 'S': {
        const double x1 = a[2], y1 = a[3], x2 = a[4], y2 = a[5];
        b.path({b.page(x1, y1), b.page(x2, y2)}, false, false);
        const double len = std::hypot(x2 - x1, y2 - y1);
        if (len <= 0) break;
        const double ux = (x2 - x1) / len, uy = (y2 - y1) / len;
        const double l = a[1] == 2 ? 6 : 4;
        const GeoPoint p1 = b.page(head(x1 + l * ux - 4 * uy), head(y1 + l * uy + 4 * ux));
        const GeoPoint p2 = b.page(head(x1 + l * ux + 4 * uy), head(y1 + l * uy - 4 * ux));
        const GeoPoint tip = b.page(x1, y1);
        if (a[1] == 2) {
          b.path({p1, tip, p2}, false, false);
        } else {
          b.path({tip, p1, p2}, true, true);
        }
        break;
      }
      case 'F':
        fill_next = true;
        break;
      case 'T':
        b.text(pen_x, pen_y, c.text(), a[0] == 1, a[3], a[2], a[1] / 100.0);
        break;
      case 'L': {
        if (!texts) break;
        double x = a[2], y = a[3];
        const bool vertical = a[1] == 1;
        const double shift = 0.3 * kSymbolCharHeight;
        if (!vertical && a[5] == 1) y += shift;
        if (vertical && a[4] == 1) x += shift;
        b.text(x, y, attribute_text(*texts, a[0]), vertical, a[4], a[5], 1.0);
        break;
      }
      default:
        break;
    }
  }

  for (const SymbolPin& p : sym.pins) {
    const int side = p.side > 4 ? p.side - 4 : p.side;
    const bool across = side == 2 || side == 4;
    const double ex = across ? p.lead_end : p.x;
    const double ey = across ? p.y : p.lead_end;
    b.path({b.page(p.x, p.y), b.page(ex, ey)}, false, false);
    // A named pin shows its name just inside the body, where its line ends.
    const std::string pin_name = p.pin_name.str();
    if (!pin_name.empty() && sym.kind == kSymbolPart) {
      const double in = 3;
      switch (side) {
        case 2:
          b.text(ex + in, ey, pin_name, false, 0, 1, 0.7);
          break;
        case 4:
          b.text(ex - in, ey, pin_name, false, 2, 1, 0.7);
          break;
        case 1:
          b.text(ex, ey + in, pin_name, true, 2, 1, 0.7);
          break;
        default:
          b.text(ex, ey - in, pin_name, true, 0, 1, 0.7);
          break;
      }
    }
    if (p.side > 4) {
      // A marked pin carries a small circle where its line meets the body.
      const double dx = across ? (side == 2 ? -kMarkRadius : kMarkRadius) : 0;
      const double dy = across ? 0 : (side == 1 ? -kMarkRadius : kMarkRadius);
      b.path(b.arc(ex + dx, ey + dy, kMarkRadius, kMarkRadius, 0, 360), true, false);
    }
  }
  return std::move(b.geo);
}

}  // namespace zephyrim
