// Running the benchmark program (the real executable) from tests: where the
// build put it and its libraries, scratch folders, and one run with a
// simulator scenario.
#pragma once

#include <string>

#include "process_runner.h"

namespace hardening {

// The build's bin folder (where this test, the program and liborv live).
std::string bin_directory();
// File names in the bin folder.
std::string program_file_name();
std::string sdk_file_name();     // liborv as the program looks for it
std::string driver_file_name();  // the D2XX library as the program looks for it

// A fresh empty folder for one test, removed when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string &name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const;

private:
    std::string path_;
};

// Path of a scenario file of this folder's scenarios/.
std::string scenario(const std::string &name);

// Runs `program` (default: the built one) in its folder with the scenario
// and extra environment; timing trace off.
e2e::ProcessResult run_program(const std::string &scenario_path,
                               const e2e::EnvironmentChanges &extra = {},
                               const std::string &program = "");

// Counts the occurrences of `needle` in `text`.
int count_of(const std::string &text, const std::string &needle);

}  // namespace hardening
