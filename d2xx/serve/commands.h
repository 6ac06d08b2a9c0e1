// orvsim-serve's commands on standard input (with --commands): one per line,
// one answer line each. Today one command:
//
//   light BRIDGE on|off blank|sample
//
// switches the lamp and the sample holder of the instrument behind bridge
// BRIDGE (its position in the scenario). The answer is "ok light ..." or
// "error: <why>".
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "config.h"

namespace orvserve {

// Longest command line taken; a longer one is answered with an error and
// dropped up to its end.
constexpr size_t kMaxCommandLine = 256;

// Switches bridge n's light path; false when it cannot (no instrument, no sample).
using SetLightPath = std::function<bool(size_t bridge, const orvsim::LightPath &path)>;

// Carries out one command line (without its newline) on `bridges` bridges.
std::string run_command(const std::string &line, size_t bridges, const SetLightPath &set);

// Splits what arrives on standard input into command lines, bounded.
class CommandLines {
public:
    // Adds bytes; calls `take` for every complete line, with `overlong`
    // set (and the line cut) when it was longer than kMaxCommandLine.
    void add(const char *data, size_t len,
             const std::function<void(const std::string &line, bool overlong)> &take);

private:
    std::string partial_;
    bool overlong_ = false;
};

}  // namespace orvserve
