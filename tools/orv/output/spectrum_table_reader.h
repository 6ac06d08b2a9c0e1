// Reads back the CSV, TSV or JSON that `orv read` writes: the instruments
// and their settings, the measurement mode if any, and the spectra.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "plot/plot_figure.h"

namespace orvcli {

struct SpectrumTable {
    std::vector<PlotSource> sources;  // in the order first named
    std::vector<Spectrum> spectra;    // in the order of the table
    // The mode of processed values (in Spectrum::values); none: plain counts.
    std::optional<orvproc::Mode> mode;
};

// A usage Failure naming `name` and the line for anything else than such a
// table (wrong columns, a value that is not a number or out of range).
SpectrumTable read_spectrum_table(std::istream &in, const std::string &name);

// The same for JSON (a usage Failure for anything else than orv read's).
SpectrumTable read_spectrum_json(std::istream &in, const std::string &name);

// A file in any of the formats of orv read, told apart by its first
// character; a usage Failure naming `what` ("--input") when it cannot be read.
SpectrumTable read_spectrum_file(const std::string &path, const std::string &what);

// The fields of one CSV or TSV line, quotes as RFC 4180 says; false when a
// quoted field does not end on the line.
bool split_table_line(const std::string &line, char delimiter, std::vector<std::string> &fields);

}  // namespace orvcli
