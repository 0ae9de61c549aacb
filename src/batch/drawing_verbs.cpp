// The verbs that draw (symbols, symbol, render, plot) as the tool lists and parses
// them. Their work is in batch/draw/, built into the drawing program, so that
// `zephyrim` itself starts without Qt; the help and the usage errors stay here.
#include <limits>

#include "batch/batch.h"
#include "viewer/plot/format_file.h"

namespace zephyrim {

namespace {

constexpr const char* kSymbolsUsage =
    "usage: zephyrim symbols LIB.sym [--sheet FILE.png|FILE.svg]\n"
    "Lists the symbols of a library (name, default value, description), building its\n"
    "index when needed; with --sheet draws every symbol on one labelled sheet.\n";
constexpr const char* kSymbolsSummary = "list a symbol library, or draw all its symbols on a sheet";

constexpr const char* kSymbolUsage =
    "usage: zephyrim symbol LIB.sym NAME -o FILE.png|FILE.svg [--scale 1|2] [--steps rmf]\n"
    "Draws one symbol; --steps applies orientation steps (r rotate, m mirror, f flip).\n";
constexpr const char* kSymbolSummary = "draw one symbol of a library to PNG or SVG";

constexpr const char* kRenderUsage =
    "usage: zephyrim render FILE.sch [--page N] [--scale F] -o OUT.png|OUT.svg|OUT.pdf|OUT.bmp\n"
    "       zephyrim render FILE.sch --all-pages -o OUT.pdf\n"
    "Draws page N (from 1, default 1) of a schematic with its grid, border and title block\n"
    "as the page settings say. --scale gives pixels per schematic unit for PNG and SVG\n"
    "(default 1). --all-pages draws every page into one PDF, each PDF page as large as\n"
    "--page gives it for that page. Exit status: 0 drawn, 1 drawn from a partly loaded\n"
    "schematic, 2 failed.\n";
constexpr const char* kRenderSummary = "draw one page of a schematic to PNG, SVG or PDF";

constexpr const char* kPlotUsage =
    "usage: zephyrim plot DATAFILE [--script SCRIPT.qsc] [--kind KIND] [--size WxH]\n"
    "                     [--format FILE [--slot N]] [--chart smith|polar]\n"
    "                     [--eye PERIOD [--eye-delay D]] -o OUT.png|OUT.svg|OUT.pdf|OUT.bmp\n"
    "Draws the graph the viewer shows first for a data file (see `zephyrim autoplot`):\n"
    "the header texts, each plot with its grid, ticks, labels and legend, and the traces.\n"
    "With --format the graph is the saved plot format FILE recalled on the data (its\n"
    "traces looked up again by name or computed from their expressions); --slot N\n"
    "takes slot N (0..99) of FILE's project instead (see `zephyrim formats`).\n"
    "--chart shows the graph's AC traces on a Smith chart (impedances, names starting\n"
    "with Z or V(..)/I(..), as reflection coefficients on 50 ohms) or a polar chart, as\n"
    "the Plot menu does; --eye folds the transient traces into periods of PERIOD\n"
    "seconds (engineering notation: 1u), the period starting at -(D + PERIOD/2).\n"
    "--size gives the picture in pixels (default 1200x800; a PDF page is as large at\n"
    "96 pixels an inch). Exit status: 0 drawn, 1 nothing to show (the reason on\n"
    "stderr, or the format not loaded), 2 the data file not read or the picture not\n"
    "written.\n";
constexpr const char* kPlotSummary = "draw the first graph of a data file to PNG, SVG or PDF";

}  // namespace

std::vector<Verb> symbol_verbs() {
  const OptionSpec sheet{.name = "--sheet", .needs = "a file name"};
  const std::vector<OptionSpec> options{kRequiredOutputOption, {.name = "--scale"}, {.name = "--steps"}};
  return {{"symbols", kSymbolsSummary, kSymbolsUsage, {"LIB.sym"}, {sheet}, nullptr, true},
          {"symbol", kSymbolSummary, kSymbolUsage, {"LIB.sym", "NAME"}, options, nullptr, true}};
}

std::vector<Verb> render_verbs() {
  // Pictures beyond this scale are a mistyped scale rather than a wish.
  const OptionSpec scale{.name = "--scale",
                         .kind = ValueKind::number,
                         .min = std::numeric_limits<double>::denorm_min(),
                         .max = 16,
                         .needs = "a number above 0, at most 16"};
  const std::vector<OptionSpec> options{kRequiredOutputOption,
                                        {.name = "--page", .kind = ValueKind::integer},
                                        scale,
                                        {.name = "--all-pages", .kind = ValueKind::flag}};
  const std::vector<OptionSpec> plot_options{kRequiredOutputOption,
                                             {.name = "--script", .needs = "a script file"},
                                             {.name = "--kind", .needs = "an analysis kind"},
                                             {.name = "--size", .needs = "WIDTHxHEIGHT"},
                                             {.name = "--format", .needs = "a plot format file"},
                                             {.name = "--slot",
                                              .kind = ValueKind::integer,
                                              .min = 0,
                                              .max = kFormatSlots - 1,
                                              .needs = "a slot number, 0 to 99"},
                                             {.name = "--chart", .needs = "smith or polar"},
                                             {.name = "--eye", .needs = "a period"},
                                             {.name = "--eye-delay", .needs = "a delay"}};
  return {{"render", kRenderSummary, kRenderUsage, {"FILE.sch"}, options, nullptr, true},
          {"plot", kPlotSummary, kPlotUsage, {"DATAFILE"}, plot_options, nullptr, true}};
}

}  // namespace zephyrim
