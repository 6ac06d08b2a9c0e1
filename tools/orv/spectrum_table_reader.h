// Reads back the CSV or TSV that `orv read` writes: the instruments and
// settings named in its comment lines and the spectra of its table.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "plot_figure.h"

namespace orvcli {

struct SpectrumTable {
    std::vector<PlotSource> sources;  // in the order first named
    std::vector<Spectrum> spectra;    // in the order of the table
};

// A usage Failure naming `name` and the line for anything else than such a
// table (wrong columns, a value that is not a number or out of range).
SpectrumTable read_spectrum_table(std::istream &in, const std::string &name);

// The fields of one CSV or TSV line, quotes as RFC 4180 says; false when a
// quoted field does not end on the line.
bool split_table_line(const std::string &line, char delimiter, std::vector<std::string> &fields);

}  // namespace orvcli
