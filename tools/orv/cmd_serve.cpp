// orv serve: a live view of one or more instruments in the browser, on
// loopback by default, until Ctrl-C.
#include <fmt/format.h>

#include <cstdio>
#include <thread>

#include "acquisition_options.h"
#include "commands.h"
#include "common_options.h"
#include "interrupt.h"
#include "page_server.h"

namespace orvcli {
namespace {

struct ServeOptions {
    std::string device = "all";
    std::string integration;
    unsigned average = 0;
    std::string address = "127.0.0.1";
    int port = 8642;
};

void serve(const ServeOptions &options) {
    StopSignal &stop = interrupt_signal();
    AcquisitionOptions acquisition;
    acquisition.device = options.device;
    acquisition.integration = options.integration;
    acquisition.average = options.average;
    const AcquisitionRequest request = check_acquisition(acquisition);
    OpenSeries series = open_series(request);

    std::vector<std::unique_ptr<LiveInstrument>> live;
    for (std::size_t i = 0; i < series.instruments.size(); ++i)
        live.push_back(
            std::make_unique<LiveInstrument>(std::move(series.instruments[i]), series.sources[i]));
    PageServer server(live);
    const int port = server.bind(options.address, options.port);
    fmt::print("orv: serving {} instrument{} at http://{}:{}/ (Ctrl-C stops)\n", live.size(),
               live.size() == 1 ? "" : "s", options.address, port);
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
    command->callback([&action, options] { action = [options] { serve(*options); }; });
}

}  // namespace orvcli
