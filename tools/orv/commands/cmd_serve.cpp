// orv serve: a live view of one or more instruments in the browser, on
// loopback by default, until Ctrl-C.
#include <fmt/format.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "commands/acquisition_options.h"
#include "commands/commands.h"
#include "common_options.h"
#include "failure.h"
#include "interrupt.h"
#include "serve/page_server.h"
#include "serve/serve_access.h"

namespace orvcli {
namespace {

struct ServeOptions {
    std::string device = "all";
    std::string integration;
    unsigned average = 0;
    std::string address = "127.0.0.1";
    int port = 8642;
    std::vector<std::string> allow_hosts;
    std::string token_file;
    bool no_token = false;
};

// The run's token: from --token-file, else new; "" with --no-token, which
// only loopback allows.
PageAccess page_access(const ServeOptions &options) {
    PageAccess access;
    access.extra_hosts = options.allow_hosts;
    if (options.no_token) {
        if (!is_loopback_address(options.address))
            throw Failure(
                ExitStatus::usage,
                fmt::format("--no-token: only on a loopback address, not {}", options.address));
        fmt::print(stderr,
                   "orv: warning: --no-token: any program of this machine that reaches the "
                   "port controls the instruments\n");
        return access;
    }
    access.token = options.token_file.empty() ? new_token() : read_token_file(options.token_file);
    return access;
}

void serve(const ServeOptions &options) {
    StopSignal &stop = interrupt_signal();
    AcquisitionOptions acquisition;
    acquisition.device = options.device;
    acquisition.integration = options.integration;
    acquisition.average = options.average;
    const AcquisitionRequest request = check_acquisition(acquisition);
    PageAccess access = page_access(options);
    // The token appears on the start line only, and not even there when it
    // came from a file.
    std::string after_address;
    if (!options.token_file.empty())
        after_address = fmt::format(" (token from {})", options.token_file);
    else if (!access.token.empty())
        after_address = "?token=" + access.token;
    OpenSeries series = open_series(request);

    std::vector<std::unique_ptr<LiveInstrument>> live;
    for (std::size_t i = 0; i < series.instruments.size(); ++i)
        live.push_back(
            std::make_unique<LiveInstrument>(std::move(series.instruments[i]), series.sources[i]));
    PageServer server(live, std::move(access));
    const int port = server.bind(options.address, options.port);
    fmt::print("orv: serving {} instrument{} at http://{}:{}/{} (Ctrl-C stops)\n", live.size(),
               live.size() == 1 ? "" : "s", options.address, port, after_address);
    std::fflush(stdout);
    std::thread stopper([&] {
        stop.wait();
        server.stop();
    });
    server.serve();
    stop.request();  // the server ended on its own: end the stopper too
    stopper.join();
}

}  // namespace

void add_serve_command(CLI::App &app, Action &action) {
    auto options = std::make_shared<ServeOptions>();
    CLI::App *command = app.add_subcommand(
        "serve",
        "A live view in the browser: spectra as fast as they come, integration time and "
        "averaging, pause, CSV download. Runs until Ctrl-C (exit status 0).");
    add_device_option(*command, options->device, AllowAll::yes);
    add_settings_options(*command, options->integration, options->average);
    command->add_option("--port", options->port, "TCP port; 0 picks a free one.")
        ->check(CLI::Range(0, 65535))
        ->option_text("PORT=" + std::to_string(options->port));
    command
        ->add_option("--bind", options->address,
                     "Address to listen on; other than loopback lets other machines control "
                     "the instruments.")
        ->option_text("ADDRESS=" + options->address);
    command->add_option("--allow-host", options->allow_hosts,
                        "Another host name (or address) the page may be reached by, e.g. the "
                        "machine's name with --bind; repeatable.");
    CLI::Option *token_file =
        command->add_option("--token-file", options->token_file,
                            "Take the page's token from the first line of this file (16 to 256 "
                            "characters of A-Z a-z 0-9 . _ ~ -) instead of a new random one.");
    token_file->option_text("PATH");
    command
        ->add_flag("--no-token", options->no_token,
                   "No token (loopback only): any program of this machine that reaches the "
                   "port controls the instruments.")
        ->excludes(token_file);
    command->callback([&action, options] { action = [options] { serve(*options); }; });
}

}  // namespace orvcli
