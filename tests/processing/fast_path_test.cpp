// process() (loops without a branch per pixel, blocks, the version of the
// processor, fast_log10) against the rules written out pixel by pixel, on
// random spectra with every kind of undefined pixel and lengths around the
// block and vector sizes; its reuse of a result's storage; and the refusals of
// its one-pass wavelength comparison, which must name the same difference as
// check_same_conditions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "measurement.h"

namespace orvproc {
namespace {

constexpr Mode kModes[] = {Mode::counts, Mode::dark_corrected, Mode::transmittance,
                           Mode::reflectance, Mode::absorbance};

// The rules of measurement.h, one pixel at a time.
Processed straightforward(Mode mode, const Capture &sample, const Capture &dark,
                          const Capture &reference) {
    const ModeInfo &info = mode_info(mode);
    Processed result;
    for (std::size_t i = 0; i < sample.counts.size(); ++i) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        if (sample.saturated[i] || (info.needs_dark && dark.saturated[i]) ||
            (info.needs_reference && reference.saturated[i])) {
            ++result.undefined.saturated;
            result.values.push_back(nan);
        } else if (!info.needs_dark) {
            result.values.push_back(sample.counts[i]);
        } else if (!info.needs_reference) {
            result.values.push_back(sample.counts[i] - dark.counts[i]);
        } else if (!(reference.counts[i] - dark.counts[i] > 0)) {
            ++result.undefined.reference_not_above;
            result.values.push_back(nan);
        } else if (!(sample.counts[i] - dark.counts[i] > 0)) {
            ++result.undefined.sample_not_above;
            result.values.push_back(nan);
        } else {
            const double ratio =
                (sample.counts[i] - dark.counts[i]) / (reference.counts[i] - dark.counts[i]);
            result.values.push_back(mode == Mode::absorbance ? static_cast<double>(-std::log10(
                                                                   static_cast<long double>(ratio)))
                                                             : 100 * ratio);
        }
    }
    return result;
}

Conditions sweep_conditions(std::size_t pixels) {
    Conditions c{"SIM-UV2048 serial UV-1 (ORVSIM01)", {}, 10000, 1, ""};
    for (std::size_t i = 0; i < pixels; ++i) c.wavelengths_nm.push_back(190 + 0.4 * i);
    return c;
}

// A lamp profile with noise, a tenth of the pixels made undefined in one of
// the ways there are (saturated S, D or R; R <= D; S <= D) and averaged over
// `scans` so that the counts are not whole numbers.
struct Spectra {
    Capture sample, dark, reference;
};

Spectra random_spectra(std::size_t pixels, unsigned seed, unsigned scans) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-30, 30), cause(0, 49), lamp(200, 60000);
    std::vector<Capture> samples, darks, references;
    std::vector<int> bright(pixels), kind(pixels);
    for (std::size_t i = 0; i < pixels; ++i) bright[i] = lamp(random), kind[i] = cause(random);
    for (unsigned scan = 0; scan < scans; ++scan) {
        std::vector<std::uint16_t> s(pixels), d(pixels), r(pixels);
        for (std::size_t i = 0; i < pixels; ++i) {
            d[i] = static_cast<std::uint16_t>(1000 + noise(random));
            r[i] = static_cast<std::uint16_t>(1000 + bright[i] + noise(random));
            s[i] = static_cast<std::uint16_t>(1000 + bright[i] / (1 + i % 50) + noise(random));
            switch (kind[i]) {
            case 0: s[i] = 65535; break;
            case 1: d[i] = 65535; break;
            case 2: r[i] = 65535; break;
            case 3: r[i] = d[i]; break;
            case 4: r[i] = static_cast<std::uint16_t>(d[i] - 5); break;
            case 5: s[i] = d[i]; break;
            case 6: s[i] = static_cast<std::uint16_t>(d[i] - 5); break;
            default: break;
            }
        }
        samples.push_back(capture_of(sweep_conditions(pixels), s));
        darks.push_back(capture_of(sweep_conditions(pixels), d));
        references.push_back(capture_of(sweep_conditions(pixels), r));
    }
    return {host_average(samples), host_average(darks), host_average(references)};
}

void expect_same(const Processed &got, const Processed &want, Mode mode, const std::string &what) {
    EXPECT_EQ(got.undefined.saturated, want.undefined.saturated) << what;
    EXPECT_EQ(got.undefined.reference_not_above, want.undefined.reference_not_above) << what;
    EXPECT_EQ(got.undefined.sample_not_above, want.undefined.sample_not_above) << what;
    ASSERT_EQ(got.values.size(), want.values.size()) << what;
    std::size_t differ = 0;
    for (std::size_t i = 0; i < want.values.size(); ++i) {
        const double g = got.values[i], w = want.values[i];
        bool same = std::isnan(g) == std::isnan(w);
        if (same && !std::isnan(w)) {
            // Bit for bit but the logarithm: within 1 ulp of the exact one.
            const double ulp = std::nextafter(std::fabs(w), HUGE_VAL) - std::fabs(w);
            same = mode == Mode::absorbance ? std::fabs(g - w) <= ulp : g == w;
        }
        if (!same && ++differ <= 5)
            ADD_FAILURE() << what << " pixel " << i << ": " << g << ", rules give " << w;
    }
}

TEST(FastPath, EveryModeEqualsThePixelByPixelRules) {
    unsigned seed = 1;
    // Lengths around the 256-pixel blocks and the vectors of 2 to 8 doubles.
    for (std::size_t pixels : {0u, 1u, 3u, 7u, 9u, 255u, 256u, 257u, 2048u, 3001u})
        for (unsigned scans : {1u, 3u}) {
            const Spectra spectra = random_spectra(pixels, ++seed, scans);
            for (Mode mode : kModes)
                expect_same(process(mode, spectra.sample, &spectra.dark, &spectra.reference),
                            straightforward(mode, spectra.sample, spectra.dark, spectra.reference),
                            mode,
                            std::string(mode_info(mode).name) + " of " + std::to_string(pixels) +
                                " pixels, " + std::to_string(scans) + " scans");
        }
}

TEST(FastPath, AllDefinedAndAllUndefinedSpectra) {
    // Without an undefined pixel the causes are never looked for; with only
    // undefined ones no value is left.
    Spectra spectra = random_spectra(600, 99, 1);
    for (std::size_t i = 0; i < 600; ++i) {
        spectra.sample.saturated[i] = spectra.dark.saturated[i] = spectra.reference.saturated[i] =
            0;
        spectra.dark.counts[i] = 100;
        spectra.reference.counts[i] = 50000;
        spectra.sample.counts[i] = 101 + static_cast<double>(i) * 40;
    }
    const Processed defined =
        process(Mode::absorbance, spectra.sample, &spectra.dark, &spectra.reference);
    EXPECT_EQ(defined.undefined.total(), 0u);
    expect_same(defined,
                straightforward(Mode::absorbance, spectra.sample, spectra.dark, spectra.reference),
                Mode::absorbance, "all defined");
    spectra.reference.counts.assign(600, 100);
    spectra.sample.saturated[7] = 1;
    const Processed undefined =
        process(Mode::transmittance, spectra.sample, &spectra.dark, &spectra.reference);
    EXPECT_EQ(undefined.undefined.saturated, 1u);
    EXPECT_EQ(undefined.undefined.reference_not_above, 599u);
    for (double value : undefined.values) EXPECT_TRUE(std::isnan(value));
}

TEST(FastPath, ResultStorageIsReusedAndFullyRewritten) {
    const Spectra big = random_spectra(2048, 5, 1), small = random_spectra(100, 6, 2);
    Processed into;
    process(Mode::absorbance, big.sample, &big.dark, &big.reference, into);
    const double *storage = into.values.data();
    // Another mode, then a shorter spectrum: nothing of the previous call stays.
    process(Mode::transmittance, big.sample, &big.dark, &big.reference, into);
    EXPECT_EQ(into.values.data(), storage);
    expect_same(into, straightforward(Mode::transmittance, big.sample, big.dark, big.reference),
                Mode::transmittance, "reused, another mode");
    process(Mode::dark_corrected, small.sample, &small.dark, &small.reference, into);
    EXPECT_EQ(into.values.data(), storage);
    expect_same(into,
                straightforward(Mode::dark_corrected, small.sample, small.dark, small.reference),
                Mode::dark_corrected, "reused, shorter");
    // A refusal leaves what the last call wrote.
    Capture other = small.dark;
    other.conditions.integration_us = 1;
    EXPECT_THROW(process(Mode::absorbance, small.sample, &other, &small.reference, into),
                 MeasurementError);
    EXPECT_EQ(into.values.size(), 100u);
}

// The message process() gives for a dark and a reference, or "" if none.
std::string refusal(const Capture &sample, const Capture &dark, const Capture &reference) {
    try {
        process(Mode::absorbance, sample, &dark, &reference);
    } catch (const MeasurementError &e) {
        return e.what();
    }
    return "";
}

std::string difference(const Conditions &sample, const Conditions &stored, const char *what) {
    try {
        check_same_conditions(sample, stored, what);
    } catch (const MeasurementError &e) {
        return e.what();
    }
    return "";
}

TEST(FastPath, WavelengthRefusalsNameTheFirstDifferenceDarkFirst) {
    const Spectra spectra = random_spectra(3001, 11, 1);
    for (std::size_t at : {0u, 255u, 256u, 1999u, 3000u}) {
        Capture dark = spectra.dark, reference = spectra.reference;
        reference.conditions.wavelengths_nm[at] += 0.01;
        const std::string only_reference = refusal(spectra.sample, dark, reference);
        EXPECT_EQ(only_reference,
                  difference(spectra.sample.conditions, reference.conditions, "reference"));
        EXPECT_NE(only_reference.find("wavelength " + std::to_string(at) + " "), std::string::npos)
            << only_reference;
        // A dark that differs too, later on: the dark is named, at its pixel.
        dark.conditions.wavelengths_nm[3000 - at / 2] = -1;
        EXPECT_EQ(refusal(spectra.sample, dark, reference),
                  difference(spectra.sample.conditions, dark.conditions, "dark"));
    }
    // A dark's instrument is named before a reference's wavelength.
    Capture dark = spectra.dark, reference = spectra.reference;
    dark.conditions.instrument = "another";
    reference.conditions.wavelengths_nm[5] = 0;
    EXPECT_NE(refusal(spectra.sample, dark, reference).find("the dark was taken on another"),
              std::string::npos);
    // A dark's wavelength is named before anything about the reference, in
    // every mode that uses both (they compare wavelengths while computing).
    dark = spectra.dark;
    reference = spectra.reference;
    dark.conditions.wavelengths_nm[2000] = 1;
    reference.conditions.instrument = "another";
    for (Mode mode : {Mode::transmittance, Mode::absorbance}) {
        std::string message;
        try {
            process(mode, spectra.sample, &dark, &reference);
        } catch (const MeasurementError &e) {
            message = e.what();
        }
        EXPECT_EQ(message, difference(spectra.sample.conditions, dark.conditions, "dark"));
    }
    // Wavelength tables shorter than the spectra (compared before computing).
    Capture short_sample = spectra.sample;
    dark = spectra.dark;
    reference = spectra.reference;
    for (Capture *capture : {&short_sample, &dark, &reference})
        capture->conditions.wavelengths_nm.resize(10);
    EXPECT_EQ(refusal(short_sample, dark, reference), "");
    reference.conditions.wavelengths_nm[3] = 0;
    EXPECT_EQ(refusal(short_sample, dark, reference),
              difference(short_sample.conditions, reference.conditions, "reference"));
    // Equal as numbers is equal (-0 and 0); NaN equals nothing.
    Capture sample = spectra.sample;
    sample.conditions.wavelengths_nm[9] = 0.0;
    dark = spectra.dark;
    reference = spectra.reference;
    dark.conditions.wavelengths_nm[9] = -0.0;
    reference.conditions.wavelengths_nm[9] = 0.0;
    EXPECT_EQ(refusal(sample, dark, reference), "");
    sample.conditions.wavelengths_nm[9] = dark.conditions.wavelengths_nm[9] =
        reference.conditions.wavelengths_nm[9] = std::nan("");
    EXPECT_NE(refusal(sample, dark, reference).find("the dark was taken with wavelength 9 nan nm"),
              std::string::npos);
}

TEST(FastPath, FlagsThatDoNotCoverTheCountsAreRefused) {
    Spectra spectra = random_spectra(300, 12, 1);
    spectra.reference.saturated.pop_back();
    EXPECT_THROW(process(Mode::absorbance, spectra.sample, &spectra.dark, &spectra.reference),
                 MeasurementError);
    // A mode that does not use the reference does not look at it.
    EXPECT_NO_THROW(
        process(Mode::dark_corrected, spectra.sample, &spectra.dark, &spectra.reference));
}

}  // namespace
}  // namespace orvproc
