// zephyrim-draw, the drawing verbs of the batch tool; `zephyrim` starts it.
#include "batch/draw/draw_program.h"

int main(int argc, char** argv) {
  return zephyrim::draw_main(argc, argv);
}
