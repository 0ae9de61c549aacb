#pragma once
// A schematic page as a picture or a printed sheet: the area that shows, the
// PDF page it fills, and the black-and-white palette. Printing, the editor's
// picture files and `zephyrim render` all draw through here, so a printed
// page, a PDF and a PNG of one page show the same thing.
#include <QIODevice>
#include <QPageSize>
#include <QRectF>
#include <functional>
#include <vector>

#include "render/page_painter.h"

namespace zephyrim {

// Size A, 1600 units wide, prints as an 11-inch sheet; the larger sizes keep
// that measure, so their PDF pages come out near their paper sizes.
inline constexpr double kPdfPointsPerUnit = 72.0 * 11 / 1600;
// Lines are one device pixel wide; at the PDF writer's default resolution they
// would all but vanish.
inline constexpr int kPdfResolution = 300;

// The drawing area and one grid step around it, so that the border lines on
// its edges are not cut in half.
QRectF page_picture_area(const Page& page);

// The PDF page of a page's picture: its area at kPdfPointsPerUnit.
QPageSize page_pdf_size(const Page& page);

// Everything drawn black on white: the page's colours would come out as
// shades of grey, some too light to read.
const PagePalette& monochrome_palette();

// Writes the pages into one PDF on device: each PDF page `size` gives for it
// (page_pdf_size when empty), with its picture area fitted into it. The
// pages' size codes must have been applied. False when the PDF could not be made.
bool write_pages_pdf(QIODevice& device, const Schematic& schematic, const std::vector<const Page*>& pages,
                     const std::function<QPageSize(const Page&)>& size = {},
                     const PageDrawOptions& options = {});

}  // namespace zephyrim
