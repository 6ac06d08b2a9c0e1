#include "measurement.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace orvproc {
namespace {

constexpr ModeInfo kModes[] = {
    {Mode::counts, "counts", "counts", "counts", "Counts", false, false},
    {Mode::dark_corrected, "dark-corrected", "counts", "dark_corrected_counts",
     "Dark-corrected counts", true, false},
    {Mode::transmittance, "transmittance", "%", "transmittance_percent", "Transmittance (%)", true,
     true},
    {Mode::reflectance, "reflectance", "%", "reflectance_percent", "Reflectance (%)", true, true},
    {Mode::absorbance, "absorbance", "AU", "absorbance_au", "Absorbance (AU)", true, true},
};

// The shortest text that reads back to the same double.
std::string number(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

[[noreturn]] void differ(std::string_view what, const std::string &property,
                         const std::string &stored, const std::string &sample) {
    throw MeasurementError("the " + std::string(what) + " was taken " + property + " " + stored +
                           ", the sample " + property + " " + sample +
                           " (take it again with the sample's settings)");
}

}  // namespace

const ModeInfo &mode_info(Mode mode) {
    for (const ModeInfo &info : kModes)
        if (info.mode == mode) return info;
    return kModes[0];
}

std::optional<Mode> mode_named(std::string_view name) {
    for (const ModeInfo &info : kModes)
        if (info.name == name) return info.mode;
    return std::nullopt;
}

std::optional<Mode> mode_of_column(std::string_view column) {
    for (const ModeInfo &info : kModes)
        if (info.column == column) return info.mode;
    return std::nullopt;
}

std::string mode_names() {
    std::string text;
    const std::size_t n = std::size(kModes);
    for (std::size_t i = 0; i < n; ++i)
        text += std::string(i == 0 ? "" : i + 1 == n ? " or " : ", ") + std::string(kModes[i].name);
    return text;
}

void check_same_conditions(const Conditions &sample, const Conditions &stored,
                           std::string_view what) {
    if (stored.instrument != sample.instrument)
        differ(what, "on", stored.instrument, sample.instrument);
    if (stored.integration_us != sample.integration_us)
        differ(what, "with integration", std::to_string(stored.integration_us) + " us",
               std::to_string(sample.integration_us) + " us");
    if (stored.average != sample.average)
        differ(what, "with average", std::to_string(stored.average),
               std::to_string(sample.average));
    if (stored.wavelengths_nm.size() != sample.wavelengths_nm.size())
        differ(what, "with wavelength count", std::to_string(stored.wavelengths_nm.size()),
               std::to_string(sample.wavelengths_nm.size()));
    for (std::size_t i = 0; i < sample.wavelengths_nm.size(); ++i)
        if (stored.wavelengths_nm[i] != sample.wavelengths_nm[i])
            differ(what, "with wavelength " + std::to_string(i),
                   number(stored.wavelengths_nm[i]) + " nm",
                   number(sample.wavelengths_nm[i]) + " nm");
}

Capture capture_of(Conditions conditions, const std::vector<std::uint16_t> &counts,
                   double full_scale) {
    Capture capture{std::move(conditions), {}, {}, 1};
    capture.counts.assign(counts.begin(), counts.end());
    capture.saturated.resize(counts.size());
    for (std::size_t i = 0; i < counts.size(); ++i) capture.saturated[i] = counts[i] >= full_scale;
    return capture;
}

Capture host_average(const std::vector<Capture> &captures) {
    if (captures.empty()) throw MeasurementError("no spectra to average");
    Capture mean = captures.front();
    for (std::size_t k = 1; k < captures.size(); ++k) {
        const Capture &next = captures[k];
        check_same_conditions(mean.conditions, next.conditions,
                              "spectrum " + std::to_string(k + 1));
        if (next.counts.size() != mean.counts.size())
            throw MeasurementError("spectrum " + std::to_string(k + 1) + " has " +
                                   std::to_string(next.counts.size()) + " samples, the first " +
                                   std::to_string(mean.counts.size()));
        for (std::size_t i = 0; i < mean.counts.size(); ++i) {
            mean.counts[i] += next.counts[i];
            mean.saturated[i] = mean.saturated[i] || next.saturated[i];
        }
        mean.scans += next.scans;
    }
    const double n = static_cast<double>(captures.size());
    for (double &value : mean.counts) value /= n;
    return mean;
}

void check_boxcar_width(unsigned width) {
    if (width == 0 || width % 2 == 0 || width > kMaxBoxcar)
        throw MeasurementError("boxcar width " + std::to_string(width) +
                               " is not an odd number of pixels from 1 to " +
                               std::to_string(kMaxBoxcar));
}

Capture boxcar(const Capture &capture, unsigned width) {
    check_boxcar_width(width);
    Capture smoothed = capture;
    const std::size_t n = capture.counts.size();
    const std::size_t half = width / 2;
    // Running sums: each window is a difference of two prefix sums.
    std::vector<double> sum(n + 1, 0.0);
    std::vector<std::size_t> saturated(n + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        sum[i + 1] = sum[i] + capture.counts[i];
        saturated[i + 1] = saturated[i] + (capture.saturated[i] ? 1 : 0);
    }
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t h = std::min({half, i, n - 1 - i});
        const std::size_t first = i - h, end = i + h + 1;
        smoothed.counts[i] =
            h == 0 ? capture.counts[i] : (sum[end] - sum[first]) / static_cast<double>(end - first);
        smoothed.saturated[i] = saturated[end] != saturated[first];
    }
    return smoothed;
}

Undefined &Undefined::operator+=(const Undefined &other) {
    saturated += other.saturated;
    reference_not_above += other.reference_not_above;
    sample_not_above += other.sample_not_above;
    return *this;
}

std::string describe(const Undefined &undefined) {
    return std::to_string(undefined.saturated) + " saturated, " +
           std::to_string(undefined.reference_not_above) + " reference not above dark, " +
           std::to_string(undefined.sample_not_above) + " sample not above dark";
}

Processed process(Mode mode, const Capture &sample, const Capture *dark, const Capture *reference) {
    const ModeInfo &info = mode_info(mode);
    const std::size_t n = sample.counts.size();
    const auto check = [&](const Capture *stored, std::string_view what) {
        if (!stored)
            throw MeasurementError(std::string(info.name) + " needs a " + std::string(what));
        check_same_conditions(sample.conditions, stored->conditions, what);
        if (stored->counts.size() != n)
            throw MeasurementError("the " + std::string(what) + " has " +
                                   std::to_string(stored->counts.size()) + " samples, the sample " +
                                   std::to_string(n));
    };
    if (info.needs_dark) check(dark, "dark");
    if (info.needs_reference) check(reference, "reference");

    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    Processed result;
    result.values.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const bool saturated = sample.saturated[i] || (info.needs_dark && dark->saturated[i]) ||
                               (info.needs_reference && reference->saturated[i]);
        if (saturated) {
            ++result.undefined.saturated;
            result.values[i] = kNaN;
            continue;
        }
        if (!info.needs_dark) {
            result.values[i] = sample.counts[i];
            continue;
        }
        const double signal = sample.counts[i] - dark->counts[i];
        if (!info.needs_reference) {
            result.values[i] = signal;
            continue;
        }
        const double full = reference->counts[i] - dark->counts[i];
        if (!(full > 0)) {
            ++result.undefined.reference_not_above;
            result.values[i] = kNaN;
        } else if (!(signal > 0)) {
            ++result.undefined.sample_not_above;
            result.values[i] = kNaN;
        } else {
            const double ratio = signal / full;
            result.values[i] = mode == Mode::absorbance ? -std::log10(ratio) : 100 * ratio;
        }
    }
    return result;
}

}  // namespace orvproc
