#include "render/page_picture.h"

#include <QPdfWriter>

#include "common/notify.h"

namespace zephyrim {

QRectF page_picture_area(const Page& page) {
  return page_extent(page).adjusted(-kGridStep, -kGridStep, kGridStep, kGridStep);
}

QPageSize page_pdf_size(const Page& page) {
  return QPageSize(page_picture_area(page).size() * kPdfPointsPerUnit, QPageSize::Point);
}

const PagePalette& monochrome_palette() {
  static const PagePalette palette = [] {
    PagePalette p;
    p.colors.fill(Qt::black);
    p.disabled = p.grid = p.border = p.selection = Qt::black;
    p.background = Qt::white;
    return p;
  }();
  return palette;
}

bool write_pages_pdf(QIODevice& device, const Schematic& s, const std::vector<const Page*>& pages,
                     const std::function<QPageSize(const Page&)>& size, const PageDrawOptions& options) {
  if (pages.empty()) return false;
  auto size_of = [&](const Page& page) { return size ? size(page) : page_pdf_size(page); };
  QPdfWriter pdf(&device);
  pdf.setCreator(QString::fromLatin1(kSchematicTitle));
  pdf.setTitle(QString::fromStdString(s.path));
  pdf.setResolution(kPdfResolution);
  pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
  pdf.setPageSize(size_of(*pages.front()));
  QPainter p;
  if (!p.begin(&pdf)) return false;
  for (size_t k = 0; k < pages.size(); ++k) {
    const Page& page = *pages[k];
    // A new size takes effect with the next PDF page, so it is set before newPage.
    if (k > 0) {
      pdf.setPageSize(size_of(page));
      if (!pdf.newPage()) return false;
    }
    // Fitted to the sheet as a printed page is.
    p.setTransform(fit_transform(page_picture_area(page), QRectF(0, 0, pdf.width(), pdf.height())));
    draw_page(p, s, page, options);
  }
  return p.end();
}

}  // namespace zephyrim
