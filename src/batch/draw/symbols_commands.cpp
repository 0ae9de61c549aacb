// zephyrim symbols / zephyrim symbol: list, draw and sheet a symbol library.
#include <QFont>
#include <cstdio>

#include "batch/draw/draw_program.h"
#include "common/notify.h"
#include "render/picture_file.h"
#include "render/symbol_painter.h"
#include "symbols/symbol_library.h"

namespace zephyrim {

namespace {

constexpr double kSheetCellWidth = 176;
constexpr double kSheetCellHeight = 160;
constexpr int kSheetColumns = 8;

// Steps from letters: r rotate, m mirror, f flip.
std::vector<int32_t> parse_steps(const std::string& s) {
  std::vector<int32_t> steps;
  for (char c : s) {
    if (c == 'r' || c == 'R') steps.push_back(1);
    if (c == 'm' || c == 'M') steps.push_back(5);
    if (c == 'f' || c == 'F') steps.push_back(6);
    if (steps.size() == 8) break;
  }
  return steps;
}

// Reference and value texts that show where a symbol's attributes stand.
AttributeTexts sample_texts(const SymbolRecord& s) {
  AttributeTexts t;
  std::string prefix = s.name.str().substr(0, 1);
  t.reference = prefix + "1";
  t.value = s.default_value.empty() ? s.name.str() : s.default_value.str();
  return t;
}

void draw_centred(QPainter& p, const SymbolRecord& sym, double cx, double cy, const AttributeTexts* texts) {
  const int x = static_cast<int>(cx - (sym.region.x1 + sym.region.x2) / 2.0);
  const int y = static_cast<int>(cy - (sym.region.y1 + sym.region.y2) / 2.0);
  Placement at;
  at.x = x / 8 * 8;
  at.y = y / 8 * 8;
  draw_symbol(p, sym, at, Qt::black, texts);
}

int sheet(const SymbolLibrary& lib, const std::string& out, Notify& notify) {
  std::vector<std::unique_ptr<SymbolRecord>> symbols;
  for (size_t i = 0; i < lib.index.entries.size(); ++i) {
    auto r = std::make_unique<SymbolRecord>();
    if (symbol_load(lib, static_cast<int>(i), *r, notify)) symbols.push_back(std::move(r));
  }
  const int rows = (static_cast<int>(symbols.size()) + kSheetColumns - 1) / kSheetColumns;
  const QRectF page(0, 0, kSheetColumns * kSheetCellWidth, std::max(1, rows) * kSheetCellHeight + 24);
  const bool ok = write_picture(out, page, 2.0, [&](QPainter& p) {
    QFont f = p.font();
    f.setPixelSize(12);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QPointF(8, 16), QString::fromStdString(lib.path));
    for (size_t i = 0; i < symbols.size(); ++i) {
      const double cx = (i % kSheetColumns + 0.5) * kSheetCellWidth;
      const double top = 24 + static_cast<double>(i / kSheetColumns) * kSheetCellHeight;
      p.setPen(QColor(210, 210, 210));
      p.drawRect(QRectF(cx - kSheetCellWidth / 2, top, kSheetCellWidth, kSheetCellHeight));
      const AttributeTexts texts = sample_texts(*symbols[i]);
      draw_centred(p, *symbols[i], cx, top + kSheetCellHeight / 2 - 8, &texts);
      p.setPen(QColor(0, 0, 160));
      f.setPixelSize(11);
      p.setFont(f);
      const QString label = QString::fromStdString(symbols[i]->name.str());
      p.drawText(QRectF(cx - kSheetCellWidth / 2, top + kSheetCellHeight - 18, kSheetCellWidth, 16),
                 Qt::AlignCenter, label);
    }
  });
  if (!ok) {
    notify.error("Cannot write picture file " + out);
    return 1;
  }
  return 0;
}

}  // namespace

int symbols_command(const Arguments& a) {
  const std::string& lib_path = a.positionals[0];
  const std::string sheet_path = a.text("--sheet");
  BatchNotify notify(kSchematicTitle, a.answer);
  SymbolLibrary lib;
  if (!library_open(lib, lib_path, notify)) return 1;
  if (!sheet_path.empty()) return sheet(lib, sheet_path, notify);
  for (const auto& e : lib.index.entries)
    std::printf("%-12s %-20s %s\n", e.name.str().c_str(), e.default_value.str().c_str(),
                e.description.str().c_str());
  return 0;
}

int symbol_command(const Arguments& a) {
  const std::string &lib_path = a.positionals[0], &name = a.positionals[1];
  const std::string out = a.text("--output");
  BatchNotify notify(kSchematicTitle, a.answer);
  SymbolLibrary lib;
  if (!library_open(lib, lib_path, notify)) return 1;
  auto sym = symbol_load_named(lib, name, notify);
  if (!sym) {
    notify.error("Symbol " + name + " not found");
    return 1;
  }
  const std::vector<int32_t> steps = parse_steps(a.text("--steps"));
  Placement at;
  // Symbols come in two sizes; any other scale draws the small one.
  at.scale = a.text("--scale") == "2" ? 2 : 1;
  at.steps = steps.data();
  at.step_count = static_cast<int>(steps.size());
  const AttributeTexts texts = sample_texts(*sym);
  const SymbolGeometry g = symbol_geometry(*sym, at, &texts);
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  for (const auto& p : g.paths)
    for (const auto& pt : p.points) {
      x1 = std::min(x1, pt.x), y1 = std::min(y1, pt.y), x2 = std::max(x2, pt.x), y2 = std::max(y2, pt.y);
    }
  for (const auto& t : g.texts) {
    x1 = std::min(x1, t.anchor.x - 40), y1 = std::min(y1, t.anchor.y - 12);
    x2 = std::max(x2, t.anchor.x + 40), y2 = std::max(y2, t.anchor.y + 12);
  }
  const QRectF page(x1 - 8, y1 - 8, x2 - x1 + 16, y2 - y1 + 16);
  if (!write_picture(out, page, 4.0, [&](QPainter& p) { paint_geometry(p, g, Qt::black); })) {
    notify.error("Cannot write picture file " + out);
    return 1;
  }
  return 0;
}

}  // namespace zephyrim
