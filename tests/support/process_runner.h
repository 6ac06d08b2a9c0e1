// Runs a program to completion and captures what it writes, for tests that
// check a whole program run. One implementation file per system.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct ProcessResult {
    int exit_code = -1;
    bool timed_out = false;
    std::string out;  // standard output, byte for byte
    std::string err;  // standard error, byte for byte
};

// Environment changes for the child: a value sets the variable, nothing
// removes it; the rest of the environment is inherited.
using EnvironmentChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

// Runs `program` without arguments in `working_directory`, waiting at most
// `timeout_seconds`; a program still running then is killed.
ProcessResult run_process(const std::string &program, const std::string &working_directory,
                          const EnvironmentChanges &environment, int timeout_seconds);

}  // namespace e2e
