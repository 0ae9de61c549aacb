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
    "stdout or FILE.txt. Exit status: 0 loaded, 1 partly loaded, 2 not loaded.\n";

// A partly read schematic is still listed, but scripts must be able to tell it
// from a clean one.
int load_status(const SchematicLoad& load) {
  if (!load.schematic) return 2;
  return load.code == 0 ? 0 : 1;
}

SchematicLoad load(const std::string& path) {
  // The load's questions are answered "yes" so that it goes on as far as it can.
  BatchNotify notify(kSchematicTitle, 1);
  return schematic_load(path, notify, true);
}

int bad_arguments(const char* usage) {
  std::fputs(usage, stderr);
  return 2;
}

}  // namespace

int batch_check(const Args& a) {
  if (a.size() == 1 && a[0] == "--help") {
    std::fputs(kCheckUsage, stdout);
    return 0;
  }
  if (a.size() != 1 || a[0].empty() || a[0][0] == '-') return bad_arguments(kCheckUsage);

  const SchematicLoad r = load(a[0]);
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

int batch_dump(const Args& a) {
  if (a.size() == 1 && a[0] == "--help") {
    std::fputs(kDumpUsage, stdout);
    return 0;
  }
  std::string path, out;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == "-o") {
      if (i + 1 >= a.size() || !out.empty()) return bad_arguments(kDumpUsage);
      out = a[++i];
    } else if (a[i].empty() || a[i][0] == '-' || !path.empty()) {
      return bad_arguments(kDumpUsage);
    } else {
      path = a[i];
    }
  }
  if (path.empty()) return bad_arguments(kDumpUsage);

  const SchematicLoad r = load(path);
  if (!r.schematic) return 2;
  const std::string text = schematic_dump(*r.schematic);
  if (out.empty()) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
      std::fputs("zephyrim dump: cannot write to standard output\n", stderr);
      return 2;
    }
  } else if (!write_file_atomic(out, text)) {
    BatchNotify notify(kSchematicTitle);
    notify.error("Cannot write file " + out);
    return 2;
  }
  return load_status(r);
}

}  // namespace zephyrim
