// The options several subcommands share, defined once: which device, the
// acquisition settings to start with, and the output format.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "device/device_choice.h"

namespace orvcli {

// -d,--device DEVICE; its help names the default (the only instrument when
// `device` is empty, else its value).
CLI::Option *add_device_option(CLI::App &command, std::string &device, AllowAll allow_all);

// --integration DURATION and --average N; empty and 0 keep the instrument's.
void add_settings_options(CLI::App &command, std::string &integration, unsigned &average);

// --format FORMAT, one of `choices` ("csv, tsv or json"); a preset value is
// shown as the default.
CLI::Option *add_format_option(CLI::App &command, std::string &format, const char *choices);

}  // namespace orvcli
