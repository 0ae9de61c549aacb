// zephyrim render: one page of a schematic as a picture, drawn exactly as the
// editor draws and prints it.
#include <QPageSize>
#include <QPdfWriter>
#include <algorithm>
#include <cstdio>
#include <string>

#include "batch/draw/draw_program.h"
#include "batch/draw/picture.h"
#include "common/notify.h"
#include "render/page_painter.h"
#include "schematic/page_size.h"
#include "schematic/schematic_file.h"

namespace zephyrim {

namespace {

// Size A, 1600 units wide, prints as an 11-inch sheet; the larger sizes keep
// that measure, so their PDF pages come out near their paper sizes.
constexpr double kPdfPointsPerUnit = 72.0 * 11 / 1600;
constexpr int kPdfResolution = 300;

// The picture reaches one grid step beyond the drawing area, so that the
// border lines on its edges are not cut in half.
QRectF picture_area(const Page& page) {
  return page_extent(page).adjusted(-kGridStep, -kGridStep, kGridStep, kGridStep);
}

// The PDF is made in memory and written in one go, like every picture.
bool write_pdf(const std::string& path, const Schematic& s, const Page& page) {
  return write_rendered(path, [&](QIODevice& device) {
    const QRectF extent = picture_area(page);
    QPdfWriter pdf(&device);
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
  });
}

}  // namespace

int render_command(const Arguments& a) {
  const std::string out = a.text("--output");
  const std::string ext = lower_extension(out);
  if (ext != ".png" && ext != ".svg" && ext != ".pdf" && ext != ".bmp")
    return usage_error(a, "the picture must be a .png, .svg, .pdf or .bmp file");
  // Any whole number is taken: the model itself refuses pages that do not exist.
  const int page_number = static_cast<int>(std::clamp(a.integer("--page", 1), -1000000LL, 1000000LL));
  const double scale = a.number("--scale", 1);

  // The load's questions take the command line's answer, by default "yes" so that
  // it goes on as far as it can.
  BatchNotify notify(kSchematicTitle, a.answer);
  SchematicLoad r = schematic_load(a.positionals[0], notify, true);
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
