#include "commands/acquisition_options.h"

#include <fmt/format.h>

#include <algorithm>
#include <thread>

#include "common_options.h"
#include "failure.h"

namespace orvcli {

void add_acquisition_options(CLI::App &command, AcquisitionOptions &options) {
    add_device_option(command, options.device, AllowAll::yes);
    add_settings_options(command, options.integration, options.average);
    command
        .add_option("--range", options.range,
                    "Wavelength range in nm, START:END (default: the whole table).")
        ->option_text("START:END");
    command.add_option("--count", options.count, "Spectra per instrument, 1 to 1000000.")
        ->check(CLI::Range(1u, 1000000u))
        ->option_text("N=" + std::to_string(options.count));
    command
        .add_option("--interval", options.interval,
                    "Time from the start of one spectrum to the next: 0s, 500ms, 2s.")
        ->option_text("DURATION=0s");
}

AcquisitionRequest check_acquisition(const AcquisitionOptions &options) {
    AcquisitionRequest request;
    if (!options.integration.empty())
        request.settings.integration_us =
            parse_integration_us(options.integration, "--integration");
    request.settings.average = options.average;
    if (!options.range.empty())
        request.settings.range = parse_wavelength_range(options.range, "--range");
    request.plan.count = options.count;
    request.plan.interval = parse_duration(options.interval, "--interval");
    request.bridges = choose_bridges(list_bridges(), options.device, AllowAll::yes);
    return request;
}

std::vector<Instrument *> OpenSeries::pointers() const {
    std::vector<Instrument *> list;
    for (const auto &instrument : instruments) list.push_back(instrument.get());
    return list;
}

OpenSeries open_series(const AcquisitionRequest &request) {
    // One thread per instrument: opening detects the protocol, which takes
    // a while on each.
    std::vector<std::unique_ptr<Instrument>> opened(request.bridges.size());
    std::vector<SeriesSource> sources(request.bridges.size());
    std::vector<std::exception_ptr> failures(request.bridges.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < request.bridges.size(); ++i)
        threads.emplace_back([&, i] {
            try {
                opened[i] = std::make_unique<Instrument>(request.bridges[i]);
                opened[i]->apply(request.settings);
                sources[i] = {opened[i]->identity(), opened[i]->settings()};
            } catch (...) {
                failures[i] = std::current_exception();
            }
        });
    for (std::thread &thread : threads) thread.join();
    for (const std::exception_ptr &failure : failures)
        if (failure) std::rethrow_exception(failure);
    return {std::move(opened), std::move(sources)};
}

std::chrono::milliseconds expected_duration(const OpenSeries &series, const SeriesPlan &plan) {
    Microseconds longest{0};
    for (const SeriesSource &source : series.sources)
        longest = std::max(longest,
                           Microseconds(static_cast<std::int64_t>(source.settings.integration_us) *
                                        std::max(1u, source.settings.average)));
    const Microseconds each = std::max(longest, plan.interval);
    return std::chrono::duration_cast<std::chrono::milliseconds>(each * plan.count);
}

}  // namespace orvcli
