#pragma once
// zephyrim-draw, the drawing program of the batch tool: the verbs that draw
// (symbols, symbol, render), with Qt loaded. `zephyrim` hands them over with its
// command line unchanged; the other verbs run here too, as in `zephyrim`.
#include <vector>

#include "batch/batch.h"

namespace zephyrim {

int draw_main(int argc, char** argv);

// The tool's verbs with the drawing verbs' work filled in.
std::vector<Verb> drawing_program_verbs();

// The work of each drawing verb.
int symbols_command(const Arguments& a);
int symbol_command(const Arguments& a);
int render_command(const Arguments& a);

}  // namespace zephyrim
