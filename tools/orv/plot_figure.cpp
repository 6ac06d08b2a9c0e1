#include "plot_figure.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace orvcli {

PlotFigure figure_of(const std::vector<PlotSource> &sources, const std::vector<Spectrum> &spectra) {
    PlotFigure figure;
    std::map<std::string, int> spectra_per_instrument;
    for (const Spectrum &spectrum : spectra) ++spectra_per_instrument[spectrum.instrument];
    for (const PlotSource &source : sources) {
        figure.title += fmt::format("{}{}", figure.title.empty() ? "" : "; ", source.description);
        figure.subtitle +=
            fmt::format("{}{}{}", figure.subtitle.empty() ? "" : "; ",
                        sources.size() > 1 ? source.chip_serial + ": " : "", source.settings);
    }
    if (spectra.size() > 1) figure.subtitle += fmt::format(" ({} spectra)", spectra.size());
    for (const Spectrum &spectrum : spectra) {
        PlotLine line;
        line.label = spectra_per_instrument[spectrum.instrument] > 1
                         ? fmt::format("{} #{}", spectrum.instrument, spectrum.number)
                         : spectrum.instrument;
        const std::size_t n = std::min(spectrum.counts.size(), spectrum.wavelengths_nm->size());
        line.x.assign(spectrum.wavelengths_nm->begin(), spectrum.wavelengths_nm->begin() + n);
        for (std::size_t i = 0; i < n; ++i) line.y.push_back(spectrum.counts[i]);
        figure.lines.push_back(std::move(line));
    }
    return figure;
}

PlotAxis nice_axis(double low, double high, int wanted_ticks) {
    if (!std::isfinite(low) || !std::isfinite(high)) low = 0, high = 1;
    if (high < low) std::swap(low, high);
    if (high - low < 1e-9 * std::max(1.0, std::fabs(high))) low -= 0.5, high += 0.5;
    const double rough = (high - low) / std::max(1, wanted_ticks);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    // The round step nearest the rough one: about wanted_ticks ticks.
    const double mantissa = rough / power;
    const double step = power * (mantissa < 1.5 ? 1 : mantissa < 3 ? 2 : mantissa < 7 ? 5 : 10);
    PlotAxis axis;
    axis.step = step;
    axis.min = std::floor(low / step) * step;
    axis.max = std::ceil(high / step) * step;
    for (double tick = axis.min; tick <= axis.max + step * 1e-6; tick += step)
        axis.ticks.push_back(std::fabs(tick) < step * 1e-9 ? 0.0 : tick);
    return axis;
}

std::string tick_label(double value, double step) {
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    return fmt::format("{:.{}f}", value, decimals);
}

}  // namespace orvcli
