// orv read --mode MODE --dark FILE --reference FILE --boxcar N: measurement
// values instead of counts. A dark or reference is a file orv read wrote
// (CSV, TSV or JSON) with the instrument's identity and settings; its
// spectra of one instrument are averaged into that instrument's dark or
// reference. They are used only with a sample of the same instrument,
// integration time, averaging and wavelengths: anything else is refused with
// a usage Failure naming the difference. The arithmetic is orvproc's.
#pragma once

#include <CLI/CLI.hpp>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "commands/acquisition_options.h"
#include "measurement.h"
#include "output/spectrum_table_reader.h"
#include "output/spectrum_writer.h"

namespace orvcli {

struct MeasurementOptions {
    std::string mode;  // "": counts as read, no processing
    std::string dark;
    std::string reference;
    unsigned boxcar = 1;
};

void add_measurement_options(CLI::App &command, MeasurementOptions &options);

class SeriesMeasurement {
public:
    // Nothing without --mode. Checks the options and reads the files (usage
    // Failures) before any instrument is opened.
    static std::optional<SeriesMeasurement> prepare(const MeasurementOptions &options);

    // Takes each open instrument's dark and reference from the files and
    // checks them against its identity, settings and wavelengths.
    void match(const OpenSeries &series);

    const MeasurementHeader &header() const { return header_; }

    // Fills the spectrum's values (and its undefined counts) from its counts.
    void apply(Spectrum &spectrum) const;

private:
    struct Stored {
        std::string file;
        SpectrumTable table;
    };
    struct Source {
        orvproc::Conditions conditions;
        std::optional<orvproc::Capture> dark;
        std::optional<orvproc::Capture> reference;
    };

    orvproc::Mode mode_ = orvproc::Mode::counts;
    unsigned boxcar_ = 1;
    std::optional<Stored> dark_;
    std::optional<Stored> reference_;
    std::map<std::string, Source> sources_;  // by chip serial
    MeasurementHeader header_;
};

// What a spectrum was taken with: the instrument's one-line description,
// its wavelengths and its settings.
orvproc::Conditions conditions_of(const std::string &instrument,
                                  const AcquisitionSettings &settings,
                                  std::vector<double> wavelengths_nm, const std::string &taken_utc);

}  // namespace orvcli
