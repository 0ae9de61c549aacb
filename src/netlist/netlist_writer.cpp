#include "netlist/netlist_writer.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <map>
#include <optional>

#include "common/eng_number.h"
#include "common/file_io.h"
#include "common/text_format.h"
#include "netlist/map_file.h"
#include "netlist/netlist_template.h"
#include "netlist/source_statement.h"
#include "schematic/schematic_file.h"

namespace zephyrim {

namespace {

constexpr size_t kMaxRailNames = 32;
constexpr size_t kHeaderWrap = 70;

bool has_blank(const std::string& s) {
  return s.find(' ') != std::string::npos;
}

// ".INC name", the name in quotes when it holds a blank.
std::string inc_statement(const std::string& name) {
  return has_blank(name) ? ".INC \"" + name + "\"" : ".INC " + name;
}

// An include of the writer's own: a line of its own after a blank line.
std::string include_line(const std::string& name) {
  return "\n" + inc_statement(name) + "\n";
}

bool owned_by(const BlockRecord* owner, const BlockRecord* scope, const Page& page) {
  return owner == scope || (owner == nullptr && scope == page.top());
}

bool is_kind(const PartRecord& p, int kind) {
  return p.symbol && p.symbol->kind == kind;
}

// A rail's value: its source specification's DC text when it has one in use,
// else its value text.
std::string rail_value(const PartRecord& p) {
  if (source_in_use(p) && !source_dc_text(p).empty()) return source_dc_text(p);
  return p.value.str();
}

std::string rail_name(const PartRecord& p) {
  return p.reference.str();
}

std::string io_pin_name(const PartRecord& p) {
  return p.value.empty() ? p.reference.str() : p.value.str();
}

// Rails of one name must agree on their voltage wherever they are.
bool rails_agree(const Schematic& s, Notify& notify) {
  std::vector<std::pair<std::string, std::optional<double>>> seen;
  for (const auto& page : s.pages)
    for (const auto& p : page->parts) {
      if (!is_kind(*p, kSymbolPowerRail) || !owned_by(p->owner, page->top(), *page)) continue;
      std::string text = p->value.str();
      double v = 0;
      std::optional<double> value;
      if (parse_eng(text, v) > 0 && has_value(v)) value = v;
      const std::string name = rail_name(*p);
      auto it = std::find_if(seen.begin(), seen.end(), [&](const auto& e) { return iequals(e.first, name); });
      if (it == seen.end()) {
        if (seen.size() < kMaxRailNames) seen.emplace_back(name, value);
      } else if (!it->second) {
        it->second = value;
      } else if (value && *value != *it->second) {
        notify.error("Multiple voltage values not allowed for power rail " + rail_name(*p));
        return false;
      }
    }
  return true;
}

std::string link_line(const LibraryLink& l) {
  const std::string text = l.file().value_or("");
  switch (l.kind) {
    case kLinkInc:
      return inc_statement(text) + "\n";
    case kLinkMdb:
      return ".INC/MDB " + text + "\n";
    default: {
      if (text.find_first_of("\"'") != std::string::npos || !has_blank(text)) return ".LIB " + text + "\n";
      // A file name followed by a section name is written as it stands.
      const std::string head = ascii_upper(text.substr(0, text.find(' ')));
      if (head.find(".LIB") != std::string::npos) return ".LIB " + text + "\n";
      return ".LIB \"" + text + "\"\n";
    }
  }
}

// The top-circuit rails of every sheet by name: the first value found and the
// node name of the first rail.
struct Rail {
  std::string name, node, value;
};

// The subcircuit each block's symbol stands for, over every page: a part of
// such a symbol is an instance of that block wherever it is placed.
std::map<const SymbolRecord*, std::string> block_symbols(const Schematic& s) {
  std::map<const SymbolRecord*, std::string> out;
  for (const auto& page : s.pages)
    for (const auto& b : page->blocks)
      if (b.get() != page->top() && b->symbol) out.emplace(b->symbol, b->name.str());
  return out;
}

class Writer {
 public:
  Writer(Notify& notify, Connectivity& c, const Schematic& s)
      : notify_(notify), c_(c), block_symbols_(block_symbols(s)) {}

  std::string out;
  std::string map = map_file_header();
  int statements = 0;          // part statements written, rails included
  bool analysis_seen = false;  // a "." text line, a .MIS file or commands with analyses

  // The text lines of one scope: those beginning ".", "#" or "*".
  void text_lines(const Page& page, const BlockRecord* scope) {
    for (const auto& t : page.texts) {
      if (t->disabled || !t->text || t->text->empty() || !owned_by(t->owner, scope, page)) continue;
      const char c = (*t->text)[0];
      if (c != '.' && c != '#' && c != '*') continue;
      out += *t->text;
      out += '\n';
      if (c == '.') analysis_seen = true;
    }
  }

  void header(const Page& page, const BlockRecord* scope, const std::string& name,
              const std::string& description) {
    std::string line = ".SUBCKT " + name + " ";
    out += "\n";
    for (const auto& p : page.parts) {
      if (!is_kind(*p, kSymbolIoPin) || !owned_by(p->owner, scope, page)) continue;
      const NodeTable* t = c_.table(scope);
      std::string node = t ? node_name(*t, part_pin_node(*p, 0)) : std::string();
      if (node.empty()) node = io_pin_name(*p);
      line += " " + node;
      if (line.size() >= kHeaderWrap) {
        out += line + "\n";
        line = "+ ";
      }
    }
    if (line.size() > 2) out += line + "\n";
    if (!description.empty()) out += "* " + description + "\n";
    if (scope != page.top() && !scope->pins.empty()) {
      out += "+ PARAMS:\n";
      for (const BlockPin& p : scope->pins) {
        out += strprintf("+  %s = %G", p.name.str().c_str(),
                         static_cast<double>(std::bit_cast<float>(p.word16)));
        out += p.text && !p.text->empty() ? "  ; " + *p.text + "\n" : "\n";
      }
      out += "\n";
    }
  }

  static bool has_io_pins(const Page& page, const BlockRecord* scope) {
    return std::any_of(page.parts.begin(), page.parts.end(), [&](const auto& p) {
      return is_kind(*p, kSymbolIoPin) && owned_by(p->owner, scope, page);
    });
  }

  // The parts of one scope. Top-circuit rails are gathered for the rail sources.
  void parts(const Page& page, const BlockRecord* scope) {
    const NodeTable* table = c_.table(scope);
    if (!table) return;
    const bool top = scope == page.top();
    std::vector<std::string> block_rails;
    std::string statement;
    for (const auto& p : page.parts) {
      if (p->disabled || !p->symbol || !owned_by(p->owner, scope, page)) continue;
      const int kind = p->symbol->kind;
      if (kind == kSymbolPowerRail) {
        const std::string node = node_name(*table, part_pin_node(*p, 0));
        if (top) {
          gather_rail(*p, node);
          continue;
        }
        const std::string name = ascii_upper(rail_name(*p)), value = rail_value(*p);
        if (value.empty() || std::find(block_rails.begin(), block_rails.end(), name) != block_rails.end())
          continue;
        block_rails.push_back(name);
        std::string line = rail_name(*p) + " " + node + " 0 " + value;
        line[0] = 'V';
        out += line + "\n";
        ++statements;
      } else if (kind == kSymbolPart) {
        const PartRecord* part = p.get();
        // A block's generated symbol carries no value or template: without one
        // of the part's own it is an X instance of the block's subcircuit.
        PartRecord instance;
        if (!p->template_text && p->value.empty())
          if (auto it = block_symbols_.find(p->symbol); it != block_symbols_.end()) {
            instance = *p;
            instance.device.assign("X");
            instance.value.assign(it->second);
            part = &instance;
          }
        if (write_source_statement(out, *part, *table)) {
          ++statements;
        } else if (expand_template(*part, *table, statement, notify_)) {
          out += statement;
          out += '\n';
          ++statements;
        } else {
          notify_.warning("Cannot create SPICE statement for object: " + p->symbol->name.str());
        }
      }
    }
  }

  void gather_rail(const PartRecord& p, const std::string& node) {
    const std::string name = rail_name(p);
    auto it =
        std::find_if(rails_.begin(), rails_.end(), [&](const Rail& r) { return iequals(r.name, name); });
    if (it == rails_.end()) {
      rails_.push_back({rail_name(p), node, rail_value(p)});
    } else if (it->value.empty()) {
      it->value = rail_value(p);
    }
  }

  void rail_sources() {
    out += "\n* Power rail voltage sources\n";
    for (const Rail& r : rails_) {
      if (r.value.empty()) continue;
      const std::string line = r.name + " " + r.node + " 0 " + r.value;
      out += (line[0] == 'V' || line[0] == 'v' ? "" : "V") + line + "\n";
      ++statements;
    }
  }

  // The circuit of the current sheet after a successful pass.
  void sheet_circuit(const Page& page) {
    text_lines(page, page.top());
    for (const auto& b : page.blocks) {
      const BlockRecord* scope = b.get();
      if (!c_.table(scope)) continue;
      if (scope == page.top()) {
        parts(page, scope);
        continue;
      }
      if (!has_io_pins(page, scope)) notify_.warning("Subckt " + scope->name.str() + " has no I/O pins");
      header(page, scope, scope->name.str(), scope->text.value_or(""));
      text_lines(page, scope);
      parts(page, scope);
      out += ".ENDS " + scope->name.str() + "\n";
    }
  }

 private:
  Notify& notify_;
  Connectivity& c_;
  std::map<const SymbolRecord*, std::string> block_symbols_;
  std::vector<Rail> rails_;
};

bool is_model(int mode) {
  return mode == kNetlistModelNew || mode == kNetlistModelAppend;
}

// The netlist (or model) and its map, written as they are made: the text of
// each sheet goes to the temporary files when the sheet is done, so that the
// memory taken does not grow with the schematic. The old files are replaced
// only when the new ones are complete; a model appended to a library starts
// with what the library holds.
class OutputFiles {
 public:
  explicit OutputFiles(const NetlistOptions& o) : map_path_(o.files.map) {
    netlist_.open(o.files.netlist);
    map_.open(o.files.map);
    if (o.mode == kNetlistModelAppend)
      if (auto old = read_text_file(o.files.netlist)) netlist_.write(old->data(), old->size());
  }

  // Moves the text the writer holds into the files.
  void flush(Writer& w) {
    netlist_.write(w.out.data(), w.out.size());
    w.out.clear();
    map_.write(w.map.data(), w.map.size());
    w.map.clear();
  }

  // Puts both files in place. False, with the notice, when the netlist could
  // not be written: the map is then dropped too.
  bool commit(Writer& w, Notify& notify) {
    flush(w);
    if (!netlist_.commit()) {
      notify.error("Cannot write to SPICE file");
      return false;
    }
    if (!map_.commit()) notify.error("Cannot open netlist map file " + map_path_);
    return true;
  }

 private:
  std::string map_path_;
  AtomicFileWriter netlist_, map_;
};

// Whether the file can be written at all, before any work is done for it.
bool can_write(const std::string& path) {
  if (file_exists(path)) return access(path.c_str(), W_OK) == 0;
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.empty()) folder = ".";
  return access(folder.c_str(), W_OK) == 0;
}

// The previous netlist becomes the backup. A new netlist never writes into the
// old file but is renamed over it, so the backup can keep the old file itself
// instead of a copy: a link under a name of its own, renamed over the backup.
// Where a link cannot be made, the file is copied.
void keep_backup(const std::string& from, const std::string& to) {
  const std::filesystem::path target(to);
  const std::string temporary =
      (target.parent_path() / ("." + target.filename().string() + "." + std::to_string(::getpid()))).string();
  ::unlink(temporary.c_str());  // left by a process of the same number that died
  if (::link(from.c_str(), temporary.c_str()) == 0) {
    const bool renamed = ::rename(temporary.c_str(), to.c_str()) == 0;
    // A backup that already is the netlist's file (a run whose netlist could not
    // be written) leaves the new name where it was: rename does nothing then.
    ::unlink(temporary.c_str());
    if (renamed) return;
  }
  copy_file(from, to);
}

}  // namespace

NetlistFiles netlist_files(const std::string& schematic_path) {
  NetlistFiles f;
  f.netlist = with_extension(schematic_path, "CIR");
  f.map = with_extension(schematic_path, "MAP");
  f.backup = with_extension(schematic_path, "BAK");
  const std::filesystem::path p(schematic_path);
  f.folder = p.parent_path().string();
  f.base = p.stem().string();
  return f;
}

int compile_netlist(Schematic& s, const NetlistOptions& o, Notify& notify) {
  if (!rails_agree(s, notify)) return -1;
  const bool model = is_model(o.mode);
  if (!model && !o.files.backup.empty() && file_exists(o.files.netlist))
    keep_backup(o.files.netlist, o.files.backup);
  if (!can_write(o.files.netlist)) {
    notify.error("Cannot open spice netlist file " + o.files.netlist);
    return 0;
  }
  const std::string mis = o.files.base + ".MIS";
  const bool mis_present = static_cast<bool>(read_text_file(o.files.in_folder(mis), 1 << 20));

  Connectivity own;
  Connectivity& c = o.connectivity ? *o.connectivity : own;
  Writer w(notify, c, s);
  const MapCapture capture(s, c, w.map);
  OutputFiles files(o);
  if (mis_present) w.analysis_seen = true;

  const int current = s.current_page();
  bool failed = false;
  bool any_circuit = false;
  for (int n = 0; n < s.page_count() && n < static_cast<int>(s.pages.size()); ++n) {
    if (!page_select(s, n, notify)) break;
    const Page& page = s.page();
    const TitleBlock& tb = page.title;
    if (n == 0) {
      if (!model) {
        w.out += tb.title1.str() + "\n";
        if (!tb.title2.empty()) w.out += "* " + tb.title2.str() + "\n";
      } else {
        const std::string description = page.top()->text.value_or("");
        w.header(page, page.top(), o.model_name, description);
        if (tb.title1.str() != description) w.out += "* " + tb.title1.str() + "\n";
      }
      if (!tb.revision.empty()) w.out += "\n#REVISION: " + tb.revision.str() + "\n";
      if (mis_present) w.out += include_line(mis);
      links_prune(s);
      if (!s.links.empty()) {
        w.out += "* Project library/model file links:\n";
        for (const auto& l : s.links) w.out += link_line(*l);
        w.out += "* End of library/model file links\n\n";
      }
    } else {
      w.out +=
          strprintf("\n* SHEET %d (%s): %s\n", n + 1, tb.revision.str().c_str(), tb.title1.str().c_str());
      w.map += strprintf("SHEET %d:\n\n", n + 1);
      if (!tb.title2.empty()) w.out += "* " + tb.title2.str() + "\n";
    }
    const int r = build_connectivity(s, c, kConnectivityMap, notify);
    if (r < 0) failed = true;
    if (r > 0) {
      any_circuit = true;
      w.sheet_circuit(page);
    } else {
      w.text_lines(page, page.top());
    }
    // A pass of our own keeps no sheet's tables once the sheet is written, so
    // that a schematic of many sheets does not hold the node tables of all.
    if (&c == &own)
      for (const auto& b : page.blocks) own.tables.erase(b.get());
    files.flush(w);
  }
  page_select(s, current, notify);

  w.rail_sources();
  int commands = 0;
  if (!model && o.setup) {
    const std::string cmd = o.files.base + ".CMD";
    commands = write_analysis_commands(o.setup, o.files.in_folder(cmd), analysis_commands_title(), o.commands,
                                       notify);
    if (commands != 0) w.out += include_line(cmd);
    if (commands == 1 && setup_has_analysis(*o.setup)) w.analysis_seen = true;
    const std::string alt = o.files.base + ".ALT";
    if (setup_switch_on(o.setup->alternate) && file_exists(o.files.in_folder(alt)))
      w.out += include_line(alt);
  }
  w.out += model ? ".ENDS " + o.model_name + "\n" : "\n.END\n";

  if (!files.commit(w, notify)) return 0;
  if (w.statements == 0 && any_circuit) notify.information("Circuit has no parts - netlist empty");
  if (failed) return -1;
  if (o.mode == kNetlistRun && !w.analysis_seen) {
    const char* question = commands == -1 ? "No data output options specified in simulation setup"
                                          : "No analysis commands specified";
    if (notify.question(question, QuestionKind::OkCancel) != 1) return -1;
  }
  return 1;
}

int compile_subcircuit_model(Schematic& s, BlockRecord& block, const NetlistOptions& o,
                             const std::string& date, Notify& notify) {
  if (!can_write(o.files.netlist)) {
    notify.error("Cannot open spice netlist file " + o.files.netlist);
    return 0;
  }
  Connectivity own;
  Connectivity& c = o.connectivity ? *o.connectivity : own;
  Writer w(notify, c, s);
  const MapCapture capture(s, c, w.map);
  OutputFiles files(o);
  const int r = build_connectivity(s, c, kConnectivityMap, notify);
  const Page& page = s.page();
  if (r > 0 && c.table(&block)) {
    w.out +=
        "\n*Source: " + strprintf("Zephyrim Schematic Editor %s  %s", kNetlistProgramVersion, date.c_str());
    if (!Writer::has_io_pins(page, &block)) notify.warning("Subckt " + block.name.str() + " has no I/O pins");
    w.header(page, &block, block.name.str(), block.text.value_or(""));
    w.parts(page, &block);
    w.out += ".ENDS " + block.name.str() + "\n";
  }
  if (!files.commit(w, notify)) return 0;
  if (w.statements == 0) notify.information("Subircuit has no parts -  model netlist empty");
  return r < 0 ? -1 : 1;
}

}  // namespace zephyrim
