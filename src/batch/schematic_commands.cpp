// zephyrim check / zephyrim dump: load a schematic as the editor does, with its
// notices on stderr, then summarise it or list it whole.
#include <cstdio>

#include "batch/batch.h"
#include "common/file_io.h"
#include "common/notify.h"
#include "schematic/schematic_dump.h"
#include "schematic/schematic_file.h"

namespace zephyrim {

namespace {

constexpr const char* kCheckUsage =
    "usage: zephyrim check FILE.sch\n"
    "Loads a schematic, running the integrity check on every page, and prints what each\n"
    "page holds. Exit status: 0 loaded, 1 partly loaded, 2 not loaded.\n";

constexpr const char* kDumpUsage =
    "usage: zephyrim dump FILE.sch [-o FILE.txt]\n"
    "Loads a schematic and lists everything it holds as text, one object per line, to\n"
    "stdout or FILE.txt (-o or --output). Exit status: 0 loaded, 1 partly loaded, 2 not loaded.\n";

// A partly read schematic is still listed, but scripts must be able to tell it
// from a clean one.
int load_status(const SchematicLoad& load) {
  if (!load.schematic) return 2;
  return load.code == 0 ? 0 : 1;
}

SchematicLoad load(const Arguments& a) {
  // The load's questions take the command line's answer, by default "yes" so
  // that it goes on as far as it can.
  BatchNotify notify(kSchematicTitle, a.answer);
  return schematic_load(a.positionals[0], notify, true);
}

constexpr const char* kCheckSummary = "load a schematic, checking every page, and summarise it";
int check(const Arguments& a) {
  const SchematicLoad r = load(a);
  if (!r.schematic) return 2;
  const Schematic& s = *r.schematic;
  for (size_t n = 0; n < s.pages.size(); ++n) {
    const Page& p = *s.pages[n];
    std::printf("page %zu: %zu blocks, %zu parts, %zu wires, %zu junctions, %zu labels, %zu texts\n", n + 1,
                p.blocks.size(), p.parts.size(), p.wires.size(), p.junctions.size(), p.labels.size(),
                p.texts.size());
  }
  size_t symbols = 0;
  for (const auto& e : s.symbols.entries)
    if (e.definition) ++symbols;
  std::printf("symbols: %zu\n", symbols);
  return load_status(r);
}

constexpr const char* kDumpSummary = "list everything a schematic holds as text";
int dump(const Arguments& a) {
  const SchematicLoad r = load(a);
  if (!r.schematic) return 2;
  const std::string text = schematic_dump(*r.schematic);
  const std::string out = a.text("--output");
  if (out.empty()) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
      std::fputs("zephyrim dump: cannot write to standard output\n", stderr);
      return 2;
    }
  } else if (!write_file_atomic(out, text)) {
    BatchNotify notify(kSchematicTitle, a.answer);
    notify.error("Cannot write file " + out);
    return 2;
  }
  return load_status(r);
}

}  // namespace

std::vector<Verb> schematic_verbs() {
  return {{"check", kCheckSummary, kCheckUsage, {"FILE.sch"}, {}, check},
          {"dump", kDumpSummary, kDumpUsage, {"FILE.sch"}, {kOutputOption}, dump}};
}

}  // namespace zephyrim
