// How a run of orv ends when it does not succeed: one line of text and the
// exit status of its kind. Every command throws a Failure; main prints it as
// "orv: <message>" and returns its status.
#pragma once

#include <stdexcept>
#include <string>

namespace orvcli {

// Exit statuses, one per kind of failure (documented in docs/orv-command.md).
enum class ExitStatus : int {
    ok = 0,
    usage = 1,         // bad command line, malformed or out-of-range value, unreadable input
    device = 2,        // no such device, none attached, or more than one and none chosen
    instrument = 3,    // liborv or the instrument failed
    output = 4,        // the output file cannot be created or written
    interrupted = 130  // Ctrl-C ended a series (what was complete is written)
};

class Failure : public std::runtime_error {
public:
    Failure(ExitStatus status, const std::string &message)
        : std::runtime_error(message), status_(status) {}
    ExitStatus status() const { return status_; }

private:
    ExitStatus status_;
};

}  // namespace orvcli
