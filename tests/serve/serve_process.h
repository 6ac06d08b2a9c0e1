// orvsim-serve run in the background by a test: started with arguments, its
// ready line read with a deadline, stopped by a signal.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "process_runner.h"

namespace servetest {

class ServeProcess {
public:
    // Starts `program` with `args`; standard output is read through a pipe,
    // standard error goes to a file.
    ServeProcess(const std::string &program, const std::vector<std::string> &args);
    // Kills the process if it still runs.
    ~ServeProcess();
    ServeProcess(const ServeProcess &) = delete;
    ServeProcess &operator=(const ServeProcess &) = delete;

    // The first line of standard output (without its end); nullopt when none
    // came within `wait` or the output ended.
    std::optional<std::string> ready_line(std::chrono::milliseconds wait);
    void signal(int number);
    // The exit status; nullopt when it did not end within `wait` (or ended
    // by a signal).
    std::optional<int> wait_exit(std::chrono::milliseconds wait);
    // What it wrote on standard error so far.
    std::string error_text() const;

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string err_path_;
    std::string out_text_;
};

// The NAME=value pairs of a ready line.
std::vector<std::pair<std::string, std::string>> variables_of(const std::string &line);

}  // namespace servetest

namespace servetest {

// A new folder below /tmp, removed with everything in it when the object goes.
class TempFolder {
public:
    TempFolder();  // throws std::runtime_error
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    const std::string &path() const { return path_; }
    // Writes `text` to a file in the folder and returns its path.
    std::string write(const std::string &name, const std::string &text) const;

private:
    std::string path_;
};

}  // namespace servetest

namespace servetest {

// orvsim-serve on a scenario (its text) in a folder of its own, and the
// environment that points a child process's tty provider at it (the
// simulated provider's ORVSIM_SCENARIO removed).
class Served {
public:
    // Throws std::runtime_error when the server gives no ready line.
    Served(const std::string &program, const std::string &scenario_text);
    const e2e::EnvironmentChanges &environment() const { return environment_; }
    std::string errors() const { return server_->error_text(); }

private:
    TempFolder folder_;
    std::unique_ptr<ServeProcess> server_;
    e2e::EnvironmentChanges environment_;
};

}  // namespace servetest
