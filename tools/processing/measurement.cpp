#include "measurement.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "fast_log10.h"

// The loops that decide the time of process() are compiled more than once
// where the system can pick the version at load time (g++ on Linux: the
// ifunc of the dynamic loader): for processors with AVX-512 and with AVX2
// and FMA, and for any x86-64. The results of every version are within the
// accuracy fast_log10 states (FastPath.* in tests/processing holds the
// machine's version to it; the windows and sanitize presets run the baseline).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define ORV_VECTOR_VERSIONS \
    __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define ORV_VECTOR_VERSIONS
#endif
// A body that must be compiled into each version of its caller.
#if defined(__GNUC__)
#define ORV_INLINE inline __attribute__((always_inline))
#else
#define ORV_INLINE inline
#endif

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

// The first i where a[i] != b[i] (a NaN differs from everything), or n. The
// blocks are compared without a branch per element, which vectorizes; only a
// block with a difference is searched.
// The loops work in blocks of this many pixels where they keep something per
// pixel on the stack or stop early.
constexpr std::size_t kBlock = 256;

ORV_VECTOR_VERSIONS std::size_t first_difference(const double *a, const double *b, std::size_t n) {
    for (std::size_t start = 0; start < n; start += kBlock) {
        const std::size_t end = std::min(n, start + kBlock);
        std::int64_t differ = 0;
        for (std::size_t i = start; i < end; ++i)
            differ += static_cast<std::int64_t>(a[i] != b[i] ? 1.0 : 0.0);
        if (differ != 0)
            for (std::size_t i = start;; ++i)
                if (a[i] != b[i]) return i;
    }
    return n;
}

// Whether a[i] == b[i] and a[i] == c[i] for all i, each array read once.
ORV_VECTOR_VERSIONS bool all_equal(const double *a, const double *b, const double *c,
                                   std::size_t n) {
    std::int64_t differ = 0;
    for (std::size_t i = 0; i < n; ++i)
        differ += static_cast<std::int64_t>(((a[i] != b[i]) | (a[i] != c[i])) ? 1.0 : 0.0);
    return differ == 0;
}

[[noreturn]] void differ(std::string_view what, const std::string &property,
                         const std::string &stored, const std::string &sample) {
    throw MeasurementError("the " + std::string(what) + " was taken " + property + " " + stored +
                           ", the sample " + property + " " + sample +
                           " (take it again with the sample's settings)");
}

// The pixels of one call of process(): S, D and R with their saturation
// flags (D and R null when the mode does not use them), all of n.
struct Pixels {
    const double *sample;
    const double *dark;
    const double *reference;
    const std::uint8_t *sample_saturated;
    const std::uint8_t *dark_saturated;
    const std::uint8_t *reference_saturated;
    // The ratio modes compare the wavelengths of the three while they
    // compute (the loop waits on each pixel's chain of operations, and has
    // room for it): null where process() compared them before.
    const double *sample_nm;
    const double *dark_nm;
    const double *reference_nm;
    std::size_t n;
};

struct Computed {
    Undefined undefined;
    bool wavelengths_differ = false;
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The loops below have no branch per pixel, so that they vectorize: each
// pixel's value is computed whether or not it is defined (from harmless
// operands where it is not) and then selected, and the causes are counted
// as sums of 0 and 1. Where the condition is a comparison of doubles, it is
// made a double 0 or 1 first and that converted: g++ vectorizes neither a
// mask of doubles counted in integers directly nor a sum of doubles (whose
// order it must keep).

ORV_VECTOR_VERSIONS Undefined counts_values(const Pixels &in, double *out) {
    std::size_t saturated = 0;
    for (std::size_t i = 0; i < in.n; ++i) {
        const double value = in.sample[i];
        const bool flagged = in.sample_saturated[i] != 0;
        saturated += flagged ? 1 : 0;
        out[i] = flagged ? kNaN : value;
    }
    return {saturated, 0, 0};
}

ORV_VECTOR_VERSIONS Undefined dark_corrected_values(const Pixels &in, double *out) {
    std::size_t saturated = 0;
    for (std::size_t i = 0; i < in.n; ++i) {
        const double value = in.sample[i] - in.dark[i];
        const bool flagged = (in.sample_saturated[i] | in.dark_saturated[i]) != 0;
        saturated += flagged ? 1 : 0;
        out[i] = flagged ? kNaN : value;
    }
    return {saturated, 0, 0};
}

// The ratio modes work block by block: the flags of S, D and R into one
// double per pixel (1 where any is saturated), then the arithmetic on doubles
// only.
ORV_INLINE void combined_flags(const Pixels &in, std::size_t start, std::size_t count,
                               double *flags) {
    const std::uint8_t *sample = in.sample_saturated + start;
    const std::uint8_t *dark = in.dark_saturated + start;
    const std::uint8_t *reference = in.reference_saturated + start;
    for (std::size_t j = 0; j < count; ++j)
        flags[j] = (sample[j] | dark[j] | reference[j]) != 0 ? 1.0 : 0.0;
}

// The undefined pixels of a ratio mode by cause: a pass of its own, made only
// when a spectrum has undefined pixels, so that the pass that computes the
// values counts nothing but the defined ones.
ORV_VECTOR_VERSIONS Undefined ratio_causes(const Pixels &in) {
    double flags[kBlock];
    std::int64_t saturated = 0, reference_not_above = 0, sample_not_above = 0;
    for (std::size_t start = 0; start < in.n; start += kBlock) {
        const std::size_t count = std::min(kBlock, in.n - start);
        combined_flags(in, start, count, flags);
        for (std::size_t j = 0; j < count; ++j) {
            const std::size_t i = start + j;
            const double clear = 1 - flags[j];
            const double reference_above = in.reference[i] - in.dark[i] > 0 ? 1.0 : 0.0;
            const double sample_above = in.sample[i] - in.dark[i] > 0 ? 1.0 : 0.0;
            saturated += static_cast<std::int64_t>(flags[j]);
            reference_not_above += static_cast<std::int64_t>(clear * (1 - reference_above));
            sample_not_above +=
                static_cast<std::int64_t>(clear * reference_above * (1 - sample_above));
        }
    }
    return {static_cast<std::size_t>(saturated), static_cast<std::size_t>(reference_not_above),
            static_cast<std::size_t>(sample_not_above)};
}

// `value` of (S - D) / (R - D) where the pixel is defined, NaN elsewhere.
template <bool kCompare, typename Value>
ORV_INLINE Computed ratio_values(const Pixels &in, double *out, Value value) {
    double flags[kBlock];
    std::int64_t defined_pixels = 0, wavelengths_differ = 0;
    for (std::size_t start = 0; start < in.n; start += kBlock) {
        const std::size_t count = std::min(kBlock, in.n - start);
        combined_flags(in, start, count, flags);
        const double *sample = in.sample + start;
        const double *dark = in.dark + start;
        const double *reference = in.reference + start;
        double *values = out + start;
        const double *sample_nm = in.sample_nm + (kCompare ? start : 0);
        const double *dark_nm = in.dark_nm + (kCompare ? start : 0);
        const double *reference_nm = in.reference_nm + (kCompare ? start : 0);
        for (std::size_t j = 0; j < count; ++j) {
            if constexpr (kCompare)
                wavelengths_differ += static_cast<std::int64_t>(
                    ((sample_nm[j] != dark_nm[j]) | (sample_nm[j] != reference_nm[j])) ? 1.0 : 0.0);
            const double signal = sample[j] - dark[j];
            const double full = reference[j] - dark[j];
            const bool defined = (flags[j] == 0) & (full > 0) & (signal > 0);
            defined_pixels += static_cast<std::int64_t>(defined ? 1.0 : 0.0);
            // An undefined pixel computes value(1): no division by zero, no
            // logarithm outside its domain.
            const double ratio = (defined ? signal : 1.0) / (defined ? full : 1.0);
            const double result = value(ratio);
            values[j] = defined ? result : kNaN;
        }
    }
    Computed computed;
    computed.wavelengths_differ = wavelengths_differ != 0;
    if (static_cast<std::size_t>(defined_pixels) != in.n) computed.undefined = ratio_causes(in);
    return computed;
}

ORV_VECTOR_VERSIONS Computed percent_values(const Pixels &in, double *out) {
    const auto percent = [](double ratio) { return 100 * ratio; };
    return in.sample_nm ? ratio_values<true>(in, out, percent)
                        : ratio_values<false>(in, out, percent);
}

ORV_VECTOR_VERSIONS Computed absorbance_values(const Pixels &in, double *out) {
    const auto absorbance = [](double ratio) { return -fast_log10(ratio); };
    return in.sample_nm ? ratio_values<true>(in, out, absorbance)
                        : ratio_values<false>(in, out, absorbance);
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

namespace {

// check_same_conditions(), the wavelengths compared only when
// `compare_wavelengths`: process() compares those of all three spectra in
// one pass (before or while it computes) and asks for them only to name a
// difference.
void check_conditions(const Conditions &sample, const Conditions &stored, std::string_view what,
                      bool compare_wavelengths) {
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
    if (!compare_wavelengths) return;
    const std::size_t i = first_difference(
        stored.wavelengths_nm.data(), sample.wavelengths_nm.data(), sample.wavelengths_nm.size());
    if (i != sample.wavelengths_nm.size())
        differ(what, "with wavelength " + std::to_string(i),
               number(stored.wavelengths_nm[i]) + " nm", number(sample.wavelengths_nm[i]) + " nm");
}

}  // namespace

void check_same_conditions(const Conditions &sample, const Conditions &stored,
                           std::string_view what) {
    check_conditions(sample, stored, what, true);
}

Capture capture_of(Conditions conditions, const std::vector<std::uint16_t> &counts,
                   double full_scale) {
    Capture capture{std::move(conditions), {}, {}, 1};
    capture.counts.assign(counts.begin(), counts.end());
    capture.saturated.resize(counts.size());
    for (std::size_t i = 0; i < counts.size(); ++i)
        capture.saturated[i] = counts[i] >= full_scale ? 1 : 0;
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
            mean.saturated[i] = (mean.saturated[i] | next.saturated[i]) != 0 ? 1 : 0;
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
        saturated[i + 1] = saturated[i] + (capture.saturated[i] != 0 ? 1 : 0);
    }
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t h = std::min({half, i, n - 1 - i});
        const std::size_t first = i - h, end = i + h + 1;
        smoothed.counts[i] =
            h == 0 ? capture.counts[i] : (sum[end] - sum[first]) / static_cast<double>(end - first);
        smoothed.saturated[i] = saturated[end] != saturated[first] ? 1 : 0;
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

void process(Mode mode, const Capture &sample, const Capture *dark, const Capture *reference,
             Processed &result) {
    const ModeInfo &info = mode_info(mode);
    const std::size_t n = sample.counts.size();
    const std::vector<double> &wavelengths = sample.conditions.wavelengths_nm;
    const auto same_size = [&](const Capture *stored) {
        return stored && stored->conditions.wavelengths_nm.size() == wavelengths.size();
    };
    // The wavelengths, which nearly always agree, are compared in one pass
    // over all three: by the ratio modes while they compute (where there is
    // one per pixel), by the others before. Only where that finds a
    // difference are they compared one spectrum after the other, which names
    // the first difference of the first spectrum that has one.
    const bool during =
        info.needs_reference && same_size(dark) && same_size(reference) && wavelengths.size() == n;
    const Capture *first = info.needs_dark ? dark : nullptr;
    const Capture *second = info.needs_reference ? reference : first;
    const bool equal_before = !during && same_size(first) && same_size(second) &&
                              all_equal(wavelengths.data(), first->conditions.wavelengths_nm.data(),
                                        second->conditions.wavelengths_nm.data(), n);
    const auto check = [&](bool compare_wavelengths) {
        const auto one = [&](const Capture *stored, std::string_view what) {
            if (!stored)
                throw MeasurementError(std::string(info.name) + " needs a " + std::string(what));
            check_conditions(sample.conditions, stored->conditions, what, compare_wavelengths);
            if (stored->counts.size() != n)
                throw MeasurementError("the " + std::string(what) + " has " +
                                       std::to_string(stored->counts.size()) +
                                       " samples, the sample " + std::to_string(n));
        };
        if (info.needs_dark) one(dark, "dark");
        if (info.needs_reference) one(reference, "reference");
        const auto fits = [n](const Capture &capture) {
            if (capture.saturated.size() != n)
                throw MeasurementError("a spectrum of " + std::to_string(n) + " samples has " +
                                       std::to_string(capture.saturated.size()) +
                                       " saturation flags");
        };
        fits(sample);
        if (info.needs_dark) fits(*dark);
        if (info.needs_reference) fits(*reference);
    };
    if (!during) {
        check(!equal_before);
    } else {
        try {
            check(false);
        } catch (const MeasurementError &) {
            check(true);  // the refusal as if the wavelengths had been compared first
            throw;
        }
    }

    result.values.resize(n);
    const Pixels in{sample.counts.data(),
                    info.needs_dark ? dark->counts.data() : nullptr,
                    info.needs_reference ? reference->counts.data() : nullptr,
                    sample.saturated.data(),
                    info.needs_dark ? dark->saturated.data() : nullptr,
                    info.needs_reference ? reference->saturated.data() : nullptr,
                    during ? wavelengths.data() : nullptr,
                    during ? dark->conditions.wavelengths_nm.data() : nullptr,
                    during ? reference->conditions.wavelengths_nm.data() : nullptr,
                    n};
    double *out = result.values.data();
    Computed computed;
    switch (mode) {
    case Mode::counts: computed.undefined = counts_values(in, out); break;
    case Mode::dark_corrected: computed.undefined = dark_corrected_values(in, out); break;
    case Mode::transmittance:
    case Mode::reflectance: computed = percent_values(in, out); break;
    case Mode::absorbance: computed = absorbance_values(in, out); break;
    }
    if (computed.wavelengths_differ) {
        check(true);  // throws, naming the difference
        throw MeasurementError("the wavelengths of the dark or the reference differ");
    }
    result.undefined = computed.undefined;
}

Processed process(Mode mode, const Capture &sample, const Capture *dark, const Capture *reference) {
    Processed result;
    process(mode, sample, dark, reference, result);
    return result;
}

}  // namespace orvproc
