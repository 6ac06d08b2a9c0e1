#include "plot/plot_figure.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace orvcli {

PlotFigure figure_of(const std::vector<PlotSource> &sources, const std::vector<Spectrum> &spectra,
                     std::optional<orvproc::Mode> mode) {
    PlotFigure figure;
    if (mode) figure.y_label = std::string(orvproc::mode_info(*mode).label);
    std::map<std::string, std::size_t> source_of;
    for (const PlotSource &source : sources) {
        source_of.emplace(source.chip_serial, source_of.size());
        figure.title.push_back(source.settings.empty()
                                   ? source.description
                                   : fmt::format("{}: {}", source.description, source.settings));
    }
    std::vector<const Spectrum *> ordered;
    for (const Spectrum &spectrum : spectra) ordered.push_back(&spectrum);
    const auto rank = [&](const Spectrum *spectrum) {
        const auto found = source_of.find(spectrum->instrument);
        return std::make_pair(found == source_of.end() ? sources.size() : found->second,
                              spectrum->number);
    };
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](const Spectrum *a, const Spectrum *b) { return rank(a) < rank(b); });
    std::map<std::string, std::size_t> count_of;
    for (const Spectrum *spectrum : ordered) ++count_of[spectrum->instrument];
    figure.subtitle = fmt::format("{} spectr{} from {} instrument{}", spectra.size(),
                                  spectra.size() == 1 ? "um" : "a", count_of.size(),
                                  count_of.size() == 1 ? "" : "s");

    const bool by_instrument = count_of.size() > 1;
    std::string previous;
    for (const Spectrum *spectrum : ordered) {
        PlotLine line;
        if (by_instrument) {
            line.color = rank(spectrum).first;
            const std::size_t count = count_of[spectrum->instrument];
            if (spectrum->instrument != previous)
                line.label = count > 1 ? fmt::format("{} ({} spectra)", spectrum->instrument, count)
                                       : spectrum->instrument;
        } else {
            line.color = figure.lines.size();
            line.label = fmt::format("{} #{}", spectrum->instrument, spectrum->number);
        }
        previous = spectrum->instrument;
        const std::size_t n = std::min(mode ? spectrum->values.size() : spectrum->counts.size(),
                                       spectrum->wavelengths_nm->size());
        line.x.assign(spectrum->wavelengths_nm->begin(), spectrum->wavelengths_nm->begin() + n);
        for (std::size_t i = 0; i < n; ++i)
            line.y.push_back(mode ? spectrum->values[i] : spectrum->counts[i]);
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
