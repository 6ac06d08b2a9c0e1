// Writers of a series of spectra, streamed as they come: CSV, TSV and JSON,
// and JCAMP-DX for a single spectrum. Whatever is written after end() is a
// complete, well-formed document; the layouts are described in
// docs/orv-command.md.
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "device/spectrum.h"

namespace orvcli {

enum class OutputFormat { csv, tsv, json, jcamp, hdf5 };

inline constexpr const char *kOutputFormatNames = "csv, tsv, json, jcamp or hdf5";

// A format written straight to a file (hdf5_format.h), not to a stream.
inline bool writes_a_file(OutputFormat format) { return format == OutputFormat::hdf5; }

// Formats that hold one spectrum, not a series.
inline bool holds_one_spectrum(OutputFormat format) { return format == OutputFormat::jcamp; }

// Where the dark or reference of one instrument came from.
struct StoredSpectrum {
    std::string chip_serial;  // of the instrument it is used for
    std::string file;
    std::string taken_utc;  // when its (first) spectrum was read
    unsigned spectra = 1;   // averaged on the host into it
};

// What a measurement mode (orv read --mode) adds to the header. Its spectra
// carry their values in Spectrum::values, written in the mode's column.
struct MeasurementHeader {
    orvproc::Mode mode = orvproc::Mode::counts;
    std::vector<StoredSpectrum> darks;
    std::vector<StoredSpectrum> references;
    unsigned boxcar = 1;  // pixels; 1: none
    double full_scale = orvproc::kFullScale;
};

// "csv", "tsv", "json", "jcamp", "hdf5"; a usage Failure for anything else
// (and for "hdf5" in a build without libhdf5).
OutputFormat parse_output_format(std::string_view text);

class SpectrumWriter {
public:
    virtual ~SpectrumWriter() = default;
    // The header: every instrument of the series with its settings.
    virtual void begin(const std::vector<SeriesSource> &sources,
                       std::chrono::system_clock::time_point started) = 0;
    virtual void write(const Spectrum &spectrum) = 0;
    virtual void end() = 0;
};

// Without a measurement the spectra's counts are written. Not for a format
// that writes_a_file().
std::unique_ptr<SpectrumWriter> make_writer(OutputFormat format, std::ostream &out,
                                            const MeasurementHeader *measurement = nullptr);

// The column names of the CSV and TSV tables; a measurement's column
// (orvproc::ModeInfo::column) takes the place of the last one.
inline constexpr std::string_view kTableColumns[] = {"instrument", "spectrum", "time_utc",
                                                     "wavelength_nm", "counts"};

// "# mode: absorbance (AU)", the comment line of a measurement in a table.
inline constexpr std::string_view kModeComment = "# mode: ";

}  // namespace orvcli
