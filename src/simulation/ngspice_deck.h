#pragma once
// The netlist as ngspice reads it. Our netlists and command files are written
// for the system's own simulator; ngspice stops on some of their statements
// and reads others differently, so the engine hands it a prepared copy:
//   - "#" statement lines (#AUTOPLOT and friends) are the viewer's; they are
//     kept aside for the listing;
//   - .NOISE and .DISTO take the sweep of the .AC statement before them;
//   - .FOUR becomes ngspice's fourier command after the run;
//   - .PROBE and .SAVE become ngspice's save requests;
//   - .TEMP with its values is taken out: every temperature is a run of its own;
//   - .OPTION SAVEOPB asks the engine for the bias file and is taken out;
//   - PWL sources with keyword values get ngspice's point list;
//   - .STEP, .MC and .WC are kept aside: the engine makes runs of them;
//   - .TOL statements (the statistics file's) are kept aside for .MC and .WC;
//   - included files are prepared in their place;
//   - a model database link ".INC/MDB NAME" gives way to the models of that
//     library, each model once in the whole deck.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zephyrim {

struct NgspiceDeck {
  std::vector<std::string> lines;        // the deck, without a .TEMP
  std::vector<std::string> hash_lines;   // "#" statements, in order
  std::vector<std::string> unsupported;  // statements left out, as written
  std::vector<double> temperatures;      // of the .TEMP statements; empty: ngspice's default
  std::vector<std::string> after_run;    // control commands that follow the run
  std::vector<std::string> sweeps;       // .STEP, .MC and .WC statements, in order
  std::vector<std::string> tolerances;   // .TOL statements, in order
  bool save_bias = false;                // .OPTION SAVEOPB was given
  std::vector<std::string> warnings;     // for the listing: models given once of several links
  std::vector<std::string> errors;       // links that could not be resolved: the deck must not run
};

// Reads the file an .INC statement names; absent when it cannot be read.
using IncludeReader = std::function<std::optional<std::string>(const std::string& name)>;

// The models of one library of the model database, each model's SPICE text
// apart (as ModelDatabase::write_model_text gives it); absent when the
// library cannot be found or read.
using ModelLibraryReader = std::function<std::optional<std::vector<std::string>>(const std::string& library)>;

// Where ".INC/MDB NAME" statements find their models.
struct ModelDatabaseLinks {
  std::string folder;       // the database, as the error of a library not found names it
  ModelLibraryReader read;  // empty: no library can be found
};

// The error of a link whose library cannot be found or read.
std::string model_library_error(const std::string& library, const std::string& folder);

// Prepares the text of a netlist (CR LF or LF lines; "+" lines continue the
// statement before them, across comment and blank lines, as ngspice reads
// them). The first line is the title and is kept as it is. Files named by .INC
// statements that read_include can read are prepared in their place; the
// others stay included. ".INC/MDB NAME" (any case) is replaced by the models
// of library NAME that links.read gives; a model of a name (.MODEL or .SUBCKT)
// that an earlier link gave is left out with a line in warnings, so that the
// first one wins. A library that cannot be read is left out with its error in
// errors.
NgspiceDeck prepare_ngspice_deck(const std::string& netlist, const IncludeReader& read_include = {},
                                 const ModelDatabaseLinks& links = {});

// The text for one run: the deck with, in front of its .END, ".TEMP t" of
// temperature `run` (none when there are no temperatures) and a control block
// that runs the analyses, then the deck's own commands, then `control`.
std::string ngspice_deck_text(const NgspiceDeck& deck, int run = 0,
                              const std::vector<std::string>& control = {});

// The same for lines of the deck that a run changed, at the given temperature
// (none: ngspice's default).
std::string ngspice_deck_text(const NgspiceDeck& deck, const std::vector<std::string>& lines,
                              std::optional<double> temperature, const std::vector<std::string>& control);

}  // namespace zephyrim
