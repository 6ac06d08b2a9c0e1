// What an acquisition produces and what is said about it: the instrument's
// identity, the settings in force, and each spectrum with its UTC time.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "measurement.h"
#include "units.h"

namespace orvcli {

struct InstrumentIdentity {
    std::string chip_serial;
    std::string description;  // of the bridge, from the D2XX list
    std::string protocol;     // "UVVIS_ORV", "NIR_LEGACY"
    std::string model;
    std::string serial;
    std::string hardware_version;
    bool simulated = false;  // a simulated instrument: "SIMULATED" or "SIM-" in its texts
};

// True for the texts of the simulated provider's bridges and instruments.
bool looks_simulated(const std::string &description, const std::string &model);

struct AcquisitionSettings {
    std::uint32_t integration_us = 0;
    unsigned average = 1;
    std::optional<WavelengthRange> range;  // nm; none: the whole table
};

// One line: "integration 10 ms, average 1, range 400:700 nm".
std::string describe_settings(const AcquisitionSettings &settings);

// Reads describe_settings' text back; nothing for any other text.
std::optional<AcquisitionSettings> parse_settings(const std::string &text);

// One line: "SIM-UV2048 serial UV2048-0001 (ORVSIM01, SIMULATED)".
std::string describe_instrument(const InstrumentIdentity &identity);

// An instrument of a series, with the settings its spectra were taken with.
struct SeriesSource {
    InstrumentIdentity identity;
    AcquisitionSettings settings;
};

struct Spectrum {
    Spectrum() = default;
    // A spectrum as read: counts only.
    Spectrum(std::string instrument_, unsigned number_, std::chrono::system_clock::time_point time_,
             std::shared_ptr<const std::vector<double>> wavelengths_nm_,
             std::vector<std::uint16_t> counts_)
        : instrument(std::move(instrument_)),
          number(number_),
          time(time_),
          wavelengths_nm(std::move(wavelengths_nm_)),
          counts(std::move(counts_)) {}

    std::string instrument;                      // chip serial of the source
    unsigned number = 1;                         // 1, 2, ... within the instrument's series
    std::chrono::system_clock::time_point time;  // when the read finished
    std::shared_ptr<const std::vector<double>> wavelengths_nm;  // shared by a series
    std::vector<std::uint16_t> counts;                          // one per wavelength
    // Processed values of a measurement mode (orv read --mode), one per
    // wavelength, NaN where undefined; empty for plain counts.
    std::vector<double> values;
    orvproc::Undefined undefined;  // how many values are NaN, by cause
};

// "2024-05-01T12:00:00.123Z"
std::string format_utc(std::chrono::system_clock::time_point time);
// Reads format_utc's text back; nothing for any other text.
std::optional<std::chrono::system_clock::time_point> parse_utc(const std::string &text);

}  // namespace orvcli
