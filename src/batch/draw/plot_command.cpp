// zephyrim plot: the graph the viewer shows first for a data file, as a
// picture drawn exactly as the viewer draws and prints it.
#include <QPageSize>
#include <QPdfWriter>
#include <optional>
#include <string>

#include "batch/draw/draw_program.h"
#include "common/notify.h"
#include "common/progress.h"
#include "render/picture_file.h"
#include "render/plot_painter.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/plot_model.h"

namespace zephyrim {

namespace {

constexpr int kDefaultWidth = 1200;
constexpr int kDefaultHeight = 800;
// Beyond this a picture is a mistyped size rather than a wish (and its
// memory would pass a quarter of a gigabyte).
constexpr int kMaxSide = 8000;
constexpr int kMinSide = 16;
// Pixels of the size are 1/96 inch on a PDF page, as on a common screen.
constexpr double kPdfPointsPerPixel = 72.0 / 96;
constexpr int kPdfResolution = 300;

// "WxH" with both sides within bounds.
std::optional<QSize> parse_size(const std::string& text) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return std::nullopt;
  const auto w = parse_whole_number(std::string_view(text).substr(0, x));
  const auto h = parse_whole_number(std::string_view(text).substr(x + 1));
  if (!w || !h || *w < kMinSide || *h < kMinSide || *w > kMaxSide || *h > kMaxSide) return std::nullopt;
  return QSize(static_cast<int>(*w), static_cast<int>(*h));
}

bool write_pdf(const std::string& path, const QSize& size, Graph& graph, DataStore& store) {
  return write_rendered(path, [&](QIODevice& device) {
    QPdfWriter pdf(&device);
    pdf.setCreator(QString::fromLatin1(kTraceryTitle));
    pdf.setTitle(QString::fromStdString(graph.header.file));
    pdf.setPageSize(QPageSize(QSizeF(size) * kPdfPointsPerPixel, QPageSize::Point));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(kPdfResolution);
    QPainter p;
    if (!p.begin(&pdf)) return false;
    // The graph is laid out in the picture's pixels and scaled onto the page,
    // so that a PDF reads like the PNG of the same size.
    p.scale(pdf.width() / static_cast<double>(size.width()),
            pdf.height() / static_cast<double>(size.height()));
    draw_graph(p, QRectF(QPointF(0, 0), QSizeF(size)), graph, store);
    return p.end();
  });
}

}  // namespace

int plot_command(const Arguments& a) {
  const std::string out = a.text("--output");
  const std::string ext = lower_extension(out);
  if (ext != ".png" && ext != ".svg" && ext != ".pdf" && ext != ".bmp")
    return usage_error(a, "the picture must be a .png, .svg, .pdf or .bmp file");
  QSize size(kDefaultWidth, kDefaultHeight);
  if (a.has("--size")) {
    const auto given = parse_size(a.text("--size"));
    if (!given) return usage_error(a, "--size needs WIDTHxHEIGHT, each 16 to 8000 pixels");
    size = *given;
  }

  BatchNotify notify(kTraceryTitle, a.answer);
  StderrProgress progress;
  DataStore store(notify, progress);
  Graph graph;
  if (a.has("--slot") && !a.has("--format")) return usage_error(a, "--slot needs --format");
  const int status =
      a.has("--format") ? batch_format_graph(a, store, graph) : batch_autoplot_graph(a, store, graph);
  if (status) return status;
  if (graph.header.file.empty()) graph.header.file = a.positionals[0];

  const QRectF area(QPointF(0, 0), QSizeF(size));
  const bool ok =
      ext == ".pdf" ? write_pdf(out, size, graph, store)
                    : write_picture(out, area, 1.0, [&](QPainter& p) { draw_graph(p, area, graph, store); });
  if (!ok) {
    notify.error("Cannot write picture file " + out);
    return 2;
  }
  return 0;
}

}  // namespace zephyrim
