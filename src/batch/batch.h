#pragma once
// The zephyrim batch tool: what the programs do to files, from the command line.
// Each command prints the system's messages on stderr and returns the exit status.
#include <string>
#include <vector>

namespace zephyrim {

using Args = std::vector<std::string>;

int batch_main(int argc, char** argv);

// zephyrim symbols LIB.sym [--sheet FILE.png|.svg]
int batch_symbols(const Args& args);
// zephyrim symbol LIB.sym NAME -o FILE.png|.svg [--scale 1|2] [--steps STEPS]
int batch_symbol(const Args& args);
// zephyrim check FILE.sch
int batch_check(const Args& args);
// zephyrim dump FILE.sch [-o FILE.txt]
int batch_dump(const Args& args);
// zephyrim render FILE.sch [--page N] [--scale F] -o FILE.png|.svg|.pdf
int batch_render(const Args& args);
// zephyrim map FILE.sch [-o OUT.map]
int batch_map(const Args& args);
// zephyrim setup FILE.sim
int batch_setup(const Args& args);
// zephyrim commands FILE.sch [--simulator N] [-o FILE.CMD]
int batch_commands(const Args& args);
// zephyrim netlist FILE.sch [-o FILE.cir] | --model FILE.lib [--append] [--block NAME]
int batch_netlist(const Args& args);
// zephyrim data FILE
int batch_data(const Args& args);
// zephyrim values FILE VECTOR [--run N]
int batch_values(const Args& args);
// zephyrim listen [--count N] [--timeout SECONDS]
int batch_listen(const Args& args);
// zephyrim post NAME [FIRST [SECOND]]
int batch_post(const Args& args);

}  // namespace zephyrim
