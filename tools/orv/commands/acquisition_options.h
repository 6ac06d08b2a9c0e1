// The acquisition options `orv read` and `orv plot` share, and the steps
// from them to a running series: values checked, devices chosen, instruments
// opened and set up, spectra delivered.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

#include "device/device_choice.h"
#include "device/series.h"

namespace orvcli {

struct AcquisitionOptions {
    std::string device;
    std::string integration;  // "" keeps the instrument's
    unsigned average = 0;     // 0 keeps the instrument's
    std::string range;        // "" reads the whole table
    unsigned count = 1;
    std::string interval = "0s";
};

void add_acquisition_options(CLI::App &command, AcquisitionOptions &options);

// Everything checked before an instrument is opened.
struct AcquisitionRequest {
    std::vector<Bridge> bridges;
    AcquisitionSettings settings;  // integration_us 0 / average 0: keep
    SeriesPlan plan;
};
AcquisitionRequest check_acquisition(const AcquisitionOptions &options);

// The chosen instruments, open, with the settings applied and read back.
struct OpenSeries {
    std::vector<std::unique_ptr<Instrument>> instruments;
    std::vector<SeriesSource> sources;  // identity and settings, in the same order

    std::vector<Instrument *> pointers() const;
};
OpenSeries open_series(const AcquisitionRequest &request);

// How long the series should take at the settings in force (for the progress bar).
std::chrono::milliseconds expected_duration(const OpenSeries &series, const SeriesPlan &plan);

}  // namespace orvcli
