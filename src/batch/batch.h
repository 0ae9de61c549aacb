#pragma once
// The zephyrim batch tool: what the programs do to files, from the command line.
// Each verb prints the system's messages on stderr and returns the exit status:
// 0 done, 1 done with a failed check or partly, 2 failed or a usage error.
// `zephyrim` links no Qt, so that the verbs that draw nothing start at once; the
// verbs that draw run in the drawing program beside it (batch/draw/).
#include <optional>
#include <string>
#include <vector>

#include "batch/arguments.h"

namespace zephyrim {
class DataStore;
struct Graph;
}  // namespace zephyrim

namespace zephyrim {

// The drawing program's file name; it lives in the folder of `zephyrim`.
inline constexpr const char* kDrawingProgram = "zephyrim-draw";

// zephyrim: runs a verb that draws nothing itself, and replaces itself with the
// drawing program, the command line unchanged, for one that draws.
int batch_main(int argc, char** argv);

// Every verb of the tool in the order its help lists them. The drawing verbs
// (Verb::draws) come without their work, which only the drawing program has.
std::vector<Verb> batch_verbs();

// Parses argv (program name first) against verbs. Prints the help or the usage
// error and returns its exit status; otherwise fills arguments and returns nothing.
std::optional<int> batch_parse(int argc, char** argv, const std::vector<Verb>& verbs, Arguments& arguments);

// The locale a verb runs in: the user's, except that numbers and dates follow
// the C library's, as the number parser and the file writers expect.
void batch_locale();

// --simulator 0|1|2|3: the engine a run uses; 0, the default one, saves with .PROBE.
inline constexpr OptionSpec kSimulatorOption{
    .name = "--simulator", .kind = ValueKind::integer, .min = 0, .max = 3};

// Reads a simulation data file into a fresh store; false when nothing was read.
bool load_data_file(DataStore& store, const std::string& path);

// What the viewer shows first for the data file of a command line (its first
// positional; --script and --kind as `zephyrim autoplot` takes them): the file
// opened, the script run, the autoplot set up and the axes computed. Returns 0,
// or the exit status of the failure (1 nothing to show, 2 not read).
int batch_autoplot_graph(const Arguments& a, DataStore& store, Graph& graph);

// The data file of a command line drawn with a saved plot format (--format FILE,
// --slot N for a slot of FILE's project) instead of the autoplot: the file
// opened, the script run, the format loaded and the axes computed. --kind
// refuses a format of another analysis. Returns 0, or the exit status of the
// failure (1 the format not loaded, 2 not read).
int batch_format_graph(const Arguments& a, DataStore& store, Graph& graph);

// An analysis kind as a user types it: tran, ac, dc, noise, op, four, pz, other
// (any case) or its number; -1 for neither.
int analysis_kind(const std::string& text);

// A number as the rest of the system types it (2m, 1.5K, 10MEG); letters after
// it are units (2ms, 1kHz); absent for anything else.
std::optional<double> eng_word(const std::string& text);

// The folder of this program, ending in '/'; empty when it cannot be told.
std::string program_folder();
// The statistics file the analysis commands include, as the editor's default:
// STATSDEFAULT.TXT beside the program (or in its installed share folder) when it is there.
std::string default_statistics_file();

// The verbs of each file of this folder.
std::vector<Verb> symbol_verbs();     // symbols, symbol (drawing_verbs.cpp)
std::vector<Verb> schematic_verbs();  // check, dump
std::vector<Verb> render_verbs();     // render (drawing_verbs.cpp)
std::vector<Verb> map_verbs();        // map
std::vector<Verb> setup_verbs();      // setup, commands
std::vector<Verb> netlist_verbs();    // netlist
std::vector<Verb> data_verbs();       // data, values, calc
std::vector<Verb> message_verbs();    // listen, post
std::vector<Verb> measure_verbs();    // measure, script
std::vector<Verb> fft_verbs();        // fft
std::vector<Verb> histogram_verbs();  // histogram
std::vector<Verb> export_verbs();     // export
std::vector<Verb> plot_verbs();       // autoplot, formats
std::vector<Verb> modeldb_verbs();    // modeldb
std::vector<Verb> gensym_verbs();     // gensym
std::vector<Verb> tune_verbs();       // tune

}  // namespace zephyrim
