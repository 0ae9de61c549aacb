// zephyrim render: one page of a schematic as a picture, drawn exactly as the
// editor draws and prints it.
#include <QPageSize>
#include <QPdfWriter>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "batch/batch.h"
#include "batch/picture.h"
#include "common/notify.h"
#include "render/page_painter.h"
#include "schematic/page_size.h"
#include "schematic/schematic_file.h"

namespace zephyrim {

namespace {

constexpr const char* kRenderUsage =
    "usage: zephyrim render FILE.sch [--page N] [--scale F] -o OUT.png|OUT.svg|OUT.pdf\n"
    "Draws page N (from 1, default 1) of a schematic with its grid, border and title block\n"
    "as the page settings say. --scale gives pixels per schematic unit for PNG and SVG\n"
    "(default 1). Exit status: 0 drawn, 1 drawn from a partly loaded schematic, 2 failed.\n";

// Pictures beyond this are a mistyped scale rather than a wish.
constexpr double kMaxScale = 16;

// Size A, 1600 units wide, prints as an 11-inch sheet; the larger sizes keep
// that measure, so their PDF pages come out near their paper sizes.
constexpr double kPdfPointsPerUnit = 72.0 * 11 / 1600;
constexpr int kPdfResolution = 300;

std::string lower_extension(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot);
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool parse_number(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && end && *end == '\0';
}

// Any whole number is taken: the model itself refuses pages that do not exist.
bool parse_page(const std::string& text, int& value) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || !end || *end != '\0') return false;
  value = static_cast<int>(std::clamp(n, -1000000L, 1000000L));
  return true;
}

int bad_arguments(const char* why) {
  if (why) std::fprintf(stderr, "zephyrim render: %s\n", why);
  std::fputs(kRenderUsage, stderr);
  return 2;
}

// The picture reaches one grid step beyond the drawing area, so that the
// border lines on its edges are not cut in half.
QRectF picture_area(const Page& page) {
  return page_extent(page).adjusted(-kGridStep, -kGridStep, kGridStep, kGridStep);
}

bool write_pdf(const std::string& path, const Schematic& s, const Page& page) {
  const QRectF extent = picture_area(page);
  QPdfWriter pdf(QString::fromStdString(path));
  pdf.setCreator(QString::fromLatin1(kSchematicTitle));
  pdf.setTitle(QString::fromStdString(s.path));
  pdf.setPageSize(QPageSize(extent.size() * kPdfPointsPerUnit, QPageSize::Point));
  pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
  // Lines are one device pixel wide; at the writer's default resolution they
  // would all but vanish.
  pdf.setResolution(kPdfResolution);
  QPainter p;
  if (!p.begin(&pdf)) return false;
  // Fitted to the device as a printed page is.
  p.setTransform(fit_transform(extent, QRectF(0, 0, pdf.width(), pdf.height())));
  draw_page(p, s, page);
  return p.end();
}

}  // namespace

int batch_render(const Args& a) {
  if (a.size() == 1 && a[0] == "--help") {
    std::fputs(kRenderUsage, stdout);
    return 0;
  }
  std::string path, out;
  int page_number = 1;
  double scale = 1;
  for (size_t i = 0; i < a.size(); ++i) {
    const bool has_value = i + 1 < a.size();
    if (a[i] == "-o") {
      if (!has_value) return bad_arguments("-o needs a file name");
      out = a[++i];
    } else if (a[i] == "--page") {
      if (!has_value || !parse_page(a[++i], page_number)) return bad_arguments("--page needs a whole number");
    } else if (a[i] == "--scale") {
      if (!has_value || !parse_number(a[++i], scale) || !(scale > 0 && scale <= kMaxScale))
        return bad_arguments("--scale needs a number above 0, at most 16");
    } else if (a[i].empty() || a[i][0] == '-' || !path.empty()) {
      return bad_arguments(nullptr);
    } else {
      path = a[i];
    }
  }
  if (path.empty() || out.empty()) return bad_arguments(nullptr);
  const std::string ext = lower_extension(out);
  if (ext != ".png" && ext != ".svg" && ext != ".pdf" && ext != ".bmp")
    return bad_arguments("the picture must be a .png, .svg, .pdf or .bmp file");

  // The load's questions are answered "yes" so that it goes on as far as it can.
  BatchNotify notify(kSchematicTitle, 1);
  SchematicLoad r = schematic_load(path, notify, true);
  if (!r.schematic) return 2;
  Schematic& s = *r.schematic;
  if (!page_select(s, page_number - 1, notify)) return 2;
  Page& page = s.page();
  // As printing does: the size code decides the extent and the size text.
  page_size_apply(page);

  const bool ok = ext == ".pdf" ? write_pdf(out, s, page)
                                : write_picture(out, picture_area(page), scale,
                                                [&](QPainter& p) { draw_page(p, s, page); });
  if (!ok) {
    notify.error("Cannot write picture file " + out);
    return 2;
  }
  // A partly read schematic still draws, but scripts must be able to tell.
  return r.code == 0 ? 0 : 1;
}

}  // namespace zephyrim
