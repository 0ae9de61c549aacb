// zephyrim gensym: writes a generated symbol into a symbol library, the symbol
// of a U logic element or of a subcircuit block, as the editor's U Logic
// Element Symbol and subcircuit symbol commands make them.
#include <cstdio>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "common/text_format.h"
#include "schematic/schematic.h"
#include "schematic/schematic_file.h"
#include "symbols/generated_symbol.h"
#include "symbols/symbol_library.h"

namespace zephyrim {

namespace {

constexpr const char* kGensymUsage =
    "usage: zephyrim gensym --logic FUNC [--option1 N] [--option2 N] [--library LIB.sym] -o FILE.sym\n"
    "       zephyrim gensym --block NAME FILE.sch -o FILE.sym\n"
    "Generates a symbol and saves it into the library FILE.sym (created when missing;\n"
    "a symbol of the same name there is replaced after the question, which --answer\n"
    "no turns into appending a second one).\n"
    "  --logic FUNC   the symbol of a U logic element, one of ADD AND BUF BUF3 CLOCK\n"
    "                 COMP COUNT DATA DEC DELAY DFF DIVN DLATCH INV JKFF MUX NAND NOR\n"
    "                 OR PARITY PENC PSREG PULSE RAM ROM RSFF SREG SREGP XNOR XOR (any\n"
    "                 case), named UFUNC, UFUNC(N) or UFUNC(N,M) when an option differs\n"
    "                 from its default\n"
    "  --option1 N    the function's first option (#inputs, #gates, bits, lines,\n"
    "  --option2 N    count, #outputs) and second (COUNT bits, RAM and ROM #address);\n"
    "                 0 or less the default. Bounded so that every symbol stays a sane\n"
    "                 size: bits, gates and outputs at most 64, gate inputs 31, DEC\n"
    "                 and PENC lines 6, addresses 32, counts 65535\n"
    "  --library LIB  the library that CLOCK, DATA, DFF, DIVN, DLATCH, JKFF, PULSE and\n"
    "                 RSFF come from; a symbol of the same name there is taken as is\n"
    "  --block NAME   the symbol of the subcircuit block NAME (any case) of FILE.sch:\n"
    "                 from the shape and pins stored with the block, or else a\n"
    "                 Rectangle with one pin per I/O pin of the block (PINOUT pins on\n"
    "                 the right, the others on the left), named X + NAME\n"
    "Prints the symbol's name, pin count and region; the system's notices (pins\n"
    "moved, the name changed) go to stderr.\n"
    "Exit status: 0 written, 1 nothing generated (the reason on stderr), 2 the\n"
    "schematic or library could not be read or written, or the command line is wrong.\n";

constexpr const char* kGensymSummary = "generate a logic element or block symbol into a library";

int fail(int status, const std::string& why) {
  std::fprintf(stderr, "zephyrim gensym: %s\n", why.c_str());
  return status;
}

std::string function_list() {
  std::string s;
  for (const auto& f : logic_functions()) s += (s.empty() ? "" : " ") + std::string(f.name);
  return s;
}

// The symbol a block's subcircuit symbol command makes with the dialog left as it opens.
std::optional<SymbolRecord> block_symbol(const Arguments& a, BatchNotify& notify, int& status) {
  const std::string path = a.positionals.empty() ? std::string() : a.positionals[0];
  if (path.empty()) {
    status = usage_error(a, "--block needs the schematic FILE.sch");
    return std::nullopt;
  }
  SchematicLoad load = schematic_load(path, notify);
  if (!load.schematic) {
    status = fail(2, "cannot read " + path);
    return std::nullopt;
  }
  const std::string wanted = a.text("--block");
  for (const auto& page : load.schematic->pages)
    for (size_t b = 1; b < page->blocks.size(); ++b) {
      const BlockRecord& block = *page->blocks[b];
      if (!iequals(block.name.str(), wanted)) continue;
      SymbolSpec spec;
      if (block.symbol_spec) {
        spec = *block.symbol_spec;
      } else {
        std::vector<BlockIoPin> io;
        for (const auto& part : page->parts)
          if (part->owner == &block && part->symbol && part->symbol->kind == kSymbolIoPin)
            io.push_back({part->value.str(), part->symbol->name.str()});
        spec = symbol_spec_new("X" + block.name.str(), kShapeRectangle, 0);
        spec_pins_from_block(spec, io, static_cast<int>(io.size()));
      }
      spec.name.assign(subckt_symbol_name(spec.name.str(), notify));
      auto symbol = block_symbol_generate(spec, notify);
      if (!symbol) status = 1;
      return symbol;
    }
  status = fail(1, "no subcircuit block " + wanted + " in " + path);
  return std::nullopt;
}

std::optional<SymbolRecord> logic_symbol(const Arguments& a, BatchNotify& notify, int& status) {
  const int function = logic_function_find(a.text("--logic"));
  if (function < 0) {
    status = usage_error(a, "--logic needs one of " + function_list() + ", not " + a.text("--logic"));
    return std::nullopt;
  }
  if (!a.positionals.empty()) {
    status = usage_error(a, "--logic takes no schematic");
    return std::nullopt;
  }
  SymbolLibrary library;
  const bool has_library = a.has("--library");
  if (has_library && library_open(library, a.text("--library"), notify) != 1) {
    status = fail(2, "cannot read the library " + a.text("--library"));
    return std::nullopt;
  }
  // Options beyond int are cut by the parser's range; the functions bound them further.
  const int o1 = static_cast<int>(a.integer("--option1", 0)),
            o2 = static_cast<int>(a.integer("--option2", 0));
  const std::string name = logic_symbol_name(function, o1, o2);
  auto symbol = logic_symbol_get(function, o1, o2, name, has_library ? &library : nullptr, notify);
  if (!symbol) status = 1;
  return symbol;
}

int run_gensym(const Arguments& a) {
  if (a.has("--logic") == a.has("--block")) return usage_error(a, "give one of --logic and --block");
  BatchNotify notify(kSchematicTitle, a.answer);
  int status = 0;
  const auto symbol = a.has("--logic") ? logic_symbol(a, notify, status) : block_symbol(a, notify, status);
  if (!symbol) return status;
  const std::string out = a.text("--output");
  const int saved = symbol_save(out, *symbol, "", notify);
  if (saved == -1) return 0;  // the question was cancelled: nothing to do
  if (saved != 1) return 2;
  std::printf("%s\t%d pins\tregion %d,%d,%d,%d\n", symbol->name.str().c_str(), symbol->pin_count(),
              symbol->region.x1, symbol->region.y1, symbol->region.x2, symbol->region.y2);
  return 0;
}

}  // namespace

std::vector<Verb> gensym_verbs() {
  const double most = 2147483647.0;
  const std::vector<OptionSpec> options{
      kRequiredOutputOption,
      {.name = "--logic", .needs = "a logic function name"},
      {.name = "--option1", .kind = ValueKind::integer, .min = -most, .max = most},
      {.name = "--option2", .kind = ValueKind::integer, .min = -most, .max = most},
      {.name = "--library", .needs = "a symbol library file"},
      {.name = "--block", .needs = "a block name"},
  };
  return {{"gensym", kGensymSummary, kGensymUsage, {"[FILE.sch]"}, options, run_gensym}};
}

}  // namespace zephyrim
