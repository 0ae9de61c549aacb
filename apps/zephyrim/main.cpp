// zephyrim, the batch tool: what the programs do to files, from the command line.
#include "batch/batch.h"

int main(int argc, char** argv) {
  return zephyrim::batch_main(argc, argv);
}
