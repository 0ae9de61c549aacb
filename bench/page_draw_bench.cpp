// Redrawing one page of 1000 parts (a page of the 100,000-part schematic of the
// file benchmark) into a 1280 x 900 window, at 100 % and fitted to the window.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>

#include "common/file_io.h"
#include "render/page_painter.h"
#include "schematic/random_schematic.h"
#include "symbols/symbol_library.h"

namespace zephyrim {
namespace {

const Schematic& big_page() {
  static const std::unique_ptr<Schematic> s = [] {
    return testing_support::random_schematic(7, testing_support::benchmark_sizes(1));
  }();
  return *s;
}

// A page as users draw them: 1000 library parts (resistors, capacitors,
// transistors, sources, grounds) in a 40 x 25 grid on a size E sheet, each
// wired to its neighbour, with short attribute texts.
const Schematic& library_page() {
  static const std::unique_ptr<Schematic> s = [] {
    const std::string path = ZEPHYRIM_SOURCE_DIR "/data/symbols/default.sym";
    RecordingNotify notify;
    SymbolLibrary lib;
    lib.path = path;
    lib.text = read_text_file(path).value_or("");
    lib.index = index_build(lib.text, path, notify);
    auto sch = schematic_new("bench.sch", 1767603600);
    sch->page().settings.sheet_size = 5;
    std::vector<const SymbolRecord*> symbols;
    for (const char* name : {"R", "CV", "Q", "V", "GND", "RV", "C", "D"}) {
      const int at = symtab_add(*sch, name, symbol_load_named(lib, name, notify), kOriginLibrary, notify);
      symbols.push_back(sch->symbols.entries[at].definition.get());
    }
    for (int i = 0; i < 1000; ++i) {
      const int x = 96 + (i % 40) * 160, y = 96 + (i / 40) * 192;
      PartRecord* p = part_place(*sch, symbols[i % symbols.size()], x, y);
      p->reference.assign("P" + std::to_string(i + 1));
      if (i % 40 != 39) wire_add(*sch, x + 40, y, x + 120, y);
      if (i % 7 == 0) junction_add(*sch, x + 80, y);
    }
    return sch;
  }();
  return *s;
}

void draw(benchmark::State& state, const Schematic& s, bool fit) {
  const Page& page = s.page();
  QImage image(1280, 900, QImage::Format_ARGB32_Premultiplied);
  const PagePalette palette;
  for (auto _ : state) {
    image.fill(Qt::lightGray);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, state.range(0) != 0);
    if (fit) painter.setTransform(fit_transform(page_extent(page), QRectF(image.rect())));
    PageDrawOptions options;
    options.palette = &palette;
    options.show_selection = true;
    options.visible = painter.transform().inverted().mapRect(QRectF(image.rect()));
    draw_page(painter, s, page, options);
  }
  state.counters["parts"] = static_cast<double>(page.parts.size());
  state.counters["wires"] = static_cast<double>(page.wires.size());
}

// The argument turns antialiasing on (1) or off (0).
void BM_DrawRandomPage100Percent(benchmark::State& state) {
  draw(state, big_page(), false);
}
void BM_DrawRandomPageFitToWindow(benchmark::State& state) {
  draw(state, big_page(), true);
}
void BM_DrawLibraryPage100Percent(benchmark::State& state) {
  draw(state, library_page(), false);
}
void BM_DrawLibraryPageFitToWindow(benchmark::State& state) {
  draw(state, library_page(), true);
}
BENCHMARK(BM_DrawRandomPage100Percent)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawRandomPageFitToWindow)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawLibraryPage100Percent)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawLibraryPageFitToWindow)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zephyrim

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
