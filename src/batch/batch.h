#pragma once
// The zephyrim batch tool: what the programs do to files, from the command line.
// Each verb prints the system's messages on stderr and returns the exit status:
// 0 done, 1 done with a failed check or partly, 2 failed or a usage error.
#include <vector>

#include "batch/arguments.h"

namespace zephyrim {

int batch_main(int argc, char** argv);

// Every verb of the tool in the order its help lists them.
std::vector<Verb> batch_verbs();

// --simulator 0|1|2|3: the engine a run uses; 0, the default one, saves with .PROBE.
inline constexpr OptionSpec kSimulatorOption{
    .name = "--simulator", .kind = ValueKind::integer, .min = 0, .max = 3};

// The verbs of each file of this folder.
std::vector<Verb> symbol_verbs();     // symbols, symbol
std::vector<Verb> schematic_verbs();  // check, dump
std::vector<Verb> render_verbs();     // render
std::vector<Verb> map_verbs();        // map
std::vector<Verb> setup_verbs();      // setup, commands
std::vector<Verb> netlist_verbs();    // netlist
std::vector<Verb> data_verbs();       // data, values
std::vector<Verb> message_verbs();    // listen, post

}  // namespace zephyrim
