// Writers of a series of spectra, streamed as they come: CSV, TSV and JSON.
// Whatever is written after end() is a complete, well-formed document; the
// layouts are described in docs/orv-command.md.
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "spectrum.h"

namespace orvcli {

enum class OutputFormat { csv, tsv, json };

// "csv", "tsv", "json"; a usage Failure for anything else.
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

std::unique_ptr<SpectrumWriter> make_writer(OutputFormat format, std::ostream &out);

// The column names of the CSV and TSV tables.
inline constexpr std::string_view kTableColumns[] = {"instrument", "spectrum", "time_utc",
                                                     "wavelength_nm", "counts"};

}  // namespace orvcli
