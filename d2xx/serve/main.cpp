// orvsim-serve: the simulator's instruments on pseudo-terminals, listed in a
// fake sysfs tree, so that the tty D2XX provider reaches them as it would
// reach instruments behind ftdi_sio ttys.
//
//   orvsim-serve [--scenario FILE] --root DIR
//
// Prints one line when ready (the two variables that point the provider at
// DIR), serves until SIGINT or SIGTERM, then removes what it created. Exit
// status: 0 after a stop signal, 2 for bad arguments or a scenario it cannot
// serve, 1 when serving fails.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "scenario.h"
#include "server.h"
#include "tty_layout.h"

namespace fs = std::filesystem;

namespace {

constexpr int kBadInput = 2;
constexpr int kFailed = 1;

void say(const std::string &text) { std::fprintf(stderr, "orvsim-serve: %s\n", text.c_str()); }

// A value as a POSIX shell reads it back, quoted only when it needs to be.
std::string shell_word(const std::string &text) {
    const bool plain = !text.empty() && text.find_first_not_of(
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                            "0123456789/._-+:,@%") == std::string::npos;
    if (plain) return text;
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The scenario, or a message for the user; nullopt after saying why.
std::optional<orvsim::Scenario> load(const std::string &path) {
    const std::string source = path.empty() ? "built-in default" : path;
    try {
        orvsim::Scenario scenario =
            path.empty() ? orvsim::default_scenario() : orvsim::load_scenario_file(path);
        const std::vector<std::string> problems = orvserve::unservable(scenario);
        for (const std::string &p : problems) say("scenario " + source + ": " + p);
        if (problems.empty()) return scenario;
    } catch (const std::exception &e) {
        say("scenario " + source + ": " + e.what());
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char **argv) {
    CLI::App app{
        "Serves the simulated instruments of a scenario on pseudo-terminals and writes "
        "the fake sysfs tree that lists them for the tty D2XX provider.",
        "orvsim-serve"};
    std::string scenario_path;
    std::string root_arg;
    bool commands = false;
    app.add_option("--scenario", scenario_path,
                   "scenario file (JSON, as for the simulated provider); the built-in default "
                   "scenario when not given");
    app.add_option("--root", root_arg,
                   "folder for the tree (sys/, dev/); must not exist or be empty, and is removed "
                   "(or emptied) at the end")
        ->required();
    app.add_flag("--commands", commands,
                 "carry out the command lines of standard input (light BRIDGE on|off "
                 "blank|sample), one answer line each on standard output");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e) == 0 ? 0 : kBadInput;
    }

    try {
        // Before anything else, so no thread of the process takes the signals.
        orvserve::platform::StopSignals stop;
        const std::optional<orvsim::Scenario> scenario = load(scenario_path);
        if (!scenario) return kBadInput;

        const fs::path root = fs::absolute(root_arg);
        std::error_code error;
        const bool existed = fs::exists(root, error);
        if (existed && !(fs::is_directory(root, error) && fs::is_empty(root, error))) {
            say("--root " + root.string() + ": exists and is not an empty folder");
            return kBadInput;
        }
        if (!fs::is_directory(root.parent_path(), error)) {
            say("--root " + root.string() + ": the folder above it does not exist");
            return kBadInput;
        }
        {
            orvserve::platform::precise_timers();
            orvserve::Server server(*scenario, root);
            std::string line;
            for (const auto &[name, value] : server.environment())
                line += (line.empty() ? "" : " ") + name + "=" + shell_word(value);
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
            server.run(stop, commands);
        }
        if (existed) fs::create_directory(root, error);  // it was there, empty, before
        return 0;
    } catch (const std::exception &e) {
        say(e.what());
        return kFailed;
    }
}
