// The subcommands. Each add_*_command registers its options on the program
// and, when it is the one chosen, sets `action` to what runs after the whole
// command line was parsed (and --provider applied).
#pragma once

#include <CLI/CLI.hpp>
#include <functional>

namespace orvcli {

using Action = std::function<void()>;

void add_list_command(CLI::App &app, Action &action);
void add_info_command(CLI::App &app, Action &action);
void add_get_set_commands(CLI::App &app, Action &action);
void add_read_command(CLI::App &app, Action &action);
void add_capture_command(CLI::App &app, Action &action);
void add_plot_command(CLI::App &app, Action &action);
#ifdef ORV_CLI_HAS_SERVE
void add_serve_command(CLI::App &app, Action &action);
#endif

// The whole program: parses the command line, runs the chosen command and
// returns the exit status; failures are printed as one line "orv: ...".
int run_program(int argc, char **argv);

}  // namespace orvcli
