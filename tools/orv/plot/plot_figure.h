// What a plot shows, independent of how it is drawn: title lines, axis
// labels and one line per spectrum; and the axes' ranges and tick marks.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device/spectrum.h"

namespace orvcli {

struct PlotLine {
    std::string label;      // "" for a line that shares the legend entry before it
    std::size_t color = 0;  // index into the drawing's palette
    std::vector<double> x;
    std::vector<double> y;
};

struct PlotFigure {
    std::vector<std::string> title;  // one line per instrument
    std::string subtitle;
    std::string x_label = "Wavelength (nm)";
    std::string y_label = "Counts";
    std::vector<PlotLine> lines;
};

// An instrument of the figure as its texts: "SIM-UV2048 serial ... (ORVSIM01,
// SIMULATED)" and "integration 10 ms, average 1".
struct PlotSource {
    std::string chip_serial;
    std::string description;
    std::string settings;
};

// One line per spectrum, in the order of the sources and then by number. With
// several instruments each has one colour and one legend entry; with one,
// each spectrum has its own. The title has a line per instrument with its
// settings, the subtitle says how many spectra there are. With a mode the
// lines are the spectra's values (NaN leaves a gap) and the y axis is
// labelled by the mode: "Absorbance (AU)".
PlotFigure figure_of(const std::vector<PlotSource> &sources, const std::vector<Spectrum> &spectra,
                     std::optional<orvproc::Mode> mode = std::nullopt);

// An axis from min to max whose ends and ticks are round numbers (1, 2 or 5
// times a power of ten apart), covering [low, high].
struct PlotAxis {
    double min = 0;
    double max = 1;
    double step = 1;
    std::vector<double> ticks;
};
PlotAxis nice_axis(double low, double high, int wanted_ticks);

// A tick's text with no more decimals than the step needs: "400", "0.25".
std::string tick_label(double value, double step);

}  // namespace orvcli
