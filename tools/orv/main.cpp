// orv: the command-line program over liborv.
#include "commands/commands.h"

int main(int argc, char **argv) { return orvcli::run_program(argc, argv); }
