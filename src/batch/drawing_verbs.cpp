// The verbs that draw (symbols, symbol, render) as the tool lists and parses
// them. Their work is in batch/draw/, built into the drawing program, so that
// `zephyrim` itself starts without Qt; the help and the usage errors stay here.
#include <limits>

#include "batch/batch.h"

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
    "Draws page N (from 1, default 1) of a schematic with its grid, border and title block\n"
    "as the page settings say. --scale gives pixels per schematic unit for PNG and SVG\n"
    "(default 1). Exit status: 0 drawn, 1 drawn from a partly loaded schematic, 2 failed.\n";
constexpr const char* kRenderSummary = "draw one page of a schematic to PNG, SVG or PDF";

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
  const std::vector<OptionSpec> options{
      kRequiredOutputOption, {.name = "--page", .kind = ValueKind::integer}, scale};
  return {{"render", kRenderSummary, kRenderUsage, {"FILE.sch"}, options, nullptr, true}};
}

}  // namespace zephyrim
