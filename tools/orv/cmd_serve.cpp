// orv serve: a live view of one or more instruments in the browser, on
// loopback by default, until Ctrl-C.
#include <fmt/format.h>

#include <cstdio>
#include <thread>

#include "acquisition_options.h"
#include "commands.h"
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
    command->add_option("-d,--device", options->device, "Index, chip serial, or all.")
        ->capture_default_str();
    command->add_option("--integration", options->integration,
                        "Integration time to start with: 10ms, 250us, 1.5s.");
    command->add_option("--average", options->average, "Averages to start with, 1 to 255.")
        ->check(CLI::Range(1u, 255u));
    command->add_option("--port", options->port, "TCP port; 0 picks a free one.")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
    command
        ->add_option("--bind", options->address,
                     "Address to listen on; other than loopback lets other machines control "
                     "the instruments.")
        ->capture_default_str();
    command->callback([&action, options] { action = [options] { serve(*options); }; });
}

}  // namespace orvcli
