#include <fmt/format.h>

#include <cstdio>
#include <exception>

#include "commands/commands.h"
#include "failure.h"
#include "platform.h"
#include "version.h"

namespace orvcli {
namespace {

constexpr const char *kExitStatuses =
    "Exit status: 0 done, 1 bad command line or value, 2 no such device (or none, or more than "
    "one and none chosen), 3 instrument or liborv failure, 4 output file failure, 130 "
    "interrupted (what was complete is written).";

#ifdef _WIN32
constexpr const char *kProviderHelp =
    "Not available in the Windows build: liborv.dll uses the FTD2XX.dll next to it, else the "
    "one in the system folder.";
#else
constexpr const char *kProviderHelp =
    "D2XX provider library (path) for liborv and the device list; sets ORV_D2XX_LIBRARY.";
#endif

#ifdef _WIN32
constexpr const char *kRecordHelp =
    "Not available in the Windows build: copy lib\\orv\\record\\FTD2XX.dll beside the program "
    "(docs/capture.md).";
#else
constexpr const char *kRecordHelp =
    "Record every D2XX call of the subcommand to a capture file (docs/capture.md): liborv loads "
    "the recording provider, which forwards to the provider it would have used.";
#endif

std::string missing_commands() {
    std::string text;
#ifndef ORV_CLI_HAS_SERVE
    text += " serve is not part of this build (it needs cpp-httplib).";
#endif
    return text;
}

void use_provider(const std::string &path) {
    if (path.empty()) return;
    if (!platform::kProviderPathSupported)
        throw Failure(ExitStatus::usage, fmt::format("--provider: {}", kProviderHelp));
    platform::set_environment("ORV_D2XX_LIBRARY", path);
}

// Puts the recorder in front of the provider liborv would load: what
// ORV_D2XX_LIBRARY names (--provider included), else the default one, which
// the recorder finds by the same search.
void use_recorder(const std::string &capture) {
    if (capture.empty()) return;
    if (!platform::kProviderPathSupported)
        throw Failure(ExitStatus::usage, fmt::format("--record: {}", kRecordHelp));
    const std::string recorder = platform::recorder_path();
    if (recorder.empty())
        throw Failure(ExitStatus::usage, "--record: the recording provider is not installed");
    const std::string provider = platform::environment_value("ORV_D2XX_LIBRARY");
    platform::set_environment("ORV_RECORD_PROVIDER", provider);
    platform::set_environment("ORV_RECORD_FILE", capture);
    platform::set_environment("ORV_D2XX_LIBRARY", recorder);
}

}  // namespace

int run_program(int argc, char **argv) {
    platform::prepare_standard_streams();
    CLI::App app{fmt::format("orv {}: list, inspect, configure and read spectrometers through "
                             "liborv.",
                             kVersion),
                 "orv"};
    app.set_version_flag("--version", fmt::format("orv {}", kVersion));
    app.footer(std::string(kExitStatuses) + missing_commands());
    app.require_subcommand(1);
    std::string provider;
    app.add_option("--provider", provider, kProviderHelp)->option_text("PATH");
    std::string record;
    app.add_option("--record", record, kRecordHelp)->option_text("FILE");

    Action action;
    add_list_command(app, action);
    add_info_command(app, action);
    add_get_set_commands(app, action);
    add_read_command(app, action);
    add_capture_command(app, action);
    add_plot_command(app, action);
#ifdef ORV_CLI_HAS_SERVE
    add_serve_command(app, action);
#endif

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        // --help and --version end parsing too; CLI11 prints them.
        if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success))
            return app.exit(error);
        fmt::print(stderr, "orv: {} (see --help)\n", error.what());
        return static_cast<int>(ExitStatus::usage);
    }
    try {
        use_provider(provider);
        use_recorder(record);
        if (action) action();
        return 0;
    } catch (const Failure &failure) {
        std::fflush(stdout);
        fmt::print(stderr, "orv: {}\n", failure.what());
        return static_cast<int>(failure.status());
    } catch (const std::exception &error) {
        std::fflush(stdout);
        fmt::print(stderr, "orv: {}\n", error.what());
        return static_cast<int>(ExitStatus::instrument);
    }
}

}  // namespace orvcli
