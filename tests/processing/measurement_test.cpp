// The measurement modes against values computed by hand, the undefined-value
// rules (zero, negative, saturated), the refusals of a dark or reference
// taken under other conditions, host averaging and the boxcar's edges.
#include <gtest/gtest.h>

#include <cmath>

#include "measurement.h"

namespace orvproc {
namespace {

Conditions conditions(std::size_t pixels) {
    Conditions c{"SIM-UV2048 serial UV-1 (ORVSIM01)", {}, 10000, 2, "2026-12-10T12:00:00.000Z"};
    for (std::size_t i = 0; i < pixels; ++i) c.wavelengths_nm.push_back(400 + 0.5 * i);
    return c;
}

Capture capture(std::vector<std::uint16_t> counts) {
    return capture_of(conditions(counts.size()), counts);
}

// Pixel by pixel: 900 of 1000, 400 of 1000, S = D, S < D, S saturated, R = D.
const Capture kSample = capture({1000, 500, 100, 50, 65535, 900});
const Capture kDark = capture({100, 100, 100, 100, 100, 100});
const Capture kReference = capture({1100, 1100, 1100, 1100, 1100, 100});

void expect_values(const std::vector<double> &actual, const std::vector<double> &expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (std::isnan(expected[i]))
            EXPECT_TRUE(std::isnan(actual[i])) << "pixel " << i << " is " << actual[i];
        else
            EXPECT_NEAR(actual[i], expected[i], 1e-12) << "pixel " << i;
    }
}

const double kNaN = std::nan("");

TEST(MeasurementModes, EachModeEqualsTheHandComputedValues) {
    expect_values(process(Mode::counts, kSample, nullptr, nullptr).values,
                  {1000, 500, 100, 50, kNaN, 900});
    expect_values(process(Mode::dark_corrected, kSample, &kDark, nullptr).values,
                  {900, 400, 0, -50, kNaN, 800});
    expect_values(process(Mode::transmittance, kSample, &kDark, &kReference).values,
                  {90, 40, kNaN, kNaN, kNaN, kNaN});
    expect_values(process(Mode::reflectance, kSample, &kDark, &kReference).values,
                  {90, 40, kNaN, kNaN, kNaN, kNaN});
    // -log10(0.9) and -log10(0.4).
    expect_values(process(Mode::absorbance, kSample, &kDark, &kReference).values,
                  {0.045757490560675115, 0.3979400086720376, kNaN, kNaN, kNaN, kNaN});
}

TEST(MeasurementModes, UndefinedPixelsAreNaNNeverInfiniteAndCountedByCause) {
    for (Mode mode : {Mode::transmittance, Mode::reflectance, Mode::absorbance}) {
        const Processed result = process(mode, kSample, &kDark, &kReference);
        for (double value : result.values) EXPECT_FALSE(std::isinf(value));
        EXPECT_EQ(result.undefined.saturated, 1u);
        EXPECT_EQ(result.undefined.reference_not_above, 1u);
        EXPECT_EQ(result.undefined.sample_not_above, 2u);
        EXPECT_EQ(result.undefined.total(), 4u);
    }
    // A saturated dark or reference pixel is undefined too, in every mode that uses it.
    const Capture dark = capture({65535, 100, 100, 100, 100, 100});
    const Capture reference = capture({1100, 65535, 1100, 1100, 1100, 1100});
    const Processed corrected = process(Mode::dark_corrected, kSample, &dark, nullptr);
    EXPECT_TRUE(std::isnan(corrected.values[0]));
    EXPECT_EQ(corrected.undefined.saturated, 2u);
    const Processed absorbance = process(Mode::absorbance, kSample, &dark, &reference);
    EXPECT_TRUE(std::isnan(absorbance.values[0]));
    EXPECT_TRUE(std::isnan(absorbance.values[1]));
    EXPECT_EQ(absorbance.undefined.saturated, 3u);
    // A lower full scale saturates lower counts.
    Conditions c = conditions(2);
    const Capture low = capture_of(c, {4000, 4095}, 4095);
    EXPECT_EQ(low.saturated, (std::vector<std::uint8_t>{0, 1}));
}

TEST(MeasurementModes, ModeNamesColumnsAndUnits) {
    EXPECT_EQ(mode_named("absorbance"), Mode::absorbance);
    EXPECT_EQ(mode_named("dark-corrected"), Mode::dark_corrected);
    EXPECT_EQ(mode_named("Absorbance"), std::nullopt);
    EXPECT_EQ(mode_of_column("transmittance_percent"), Mode::transmittance);
    EXPECT_EQ(mode_of_column("counts"), Mode::counts);
    EXPECT_EQ(mode_info(Mode::absorbance).unit, "AU");
    EXPECT_EQ(mode_info(Mode::reflectance).unit, "%");
    EXPECT_EQ(mode_names(), "counts, dark-corrected, transmittance, reflectance or absorbance");
}

// The message of the refusal when `stored` is used with the sample's conditions.
std::string refusal(const Conditions &stored, Mode mode = Mode::absorbance) {
    Capture dark = kDark;
    dark.conditions = stored;
    try {
        process(mode, kSample, &dark, &kReference);
    } catch (const MeasurementError &error) {
        return error.what();
    }
    return "accepted";
}

TEST(MeasurementMismatch, DarkOrReferenceOfOtherConditionsIsRefusedNamingTheDifference) {
    Conditions other = conditions(6);
    other.instrument = "SIM-UV2048 serial UV-2 (ORVSIM02)";
    EXPECT_EQ(refusal(other),
              "the dark was taken on SIM-UV2048 serial UV-2 (ORVSIM02), the sample on SIM-UV2048 "
              "serial UV-1 (ORVSIM01) (take it again with the sample's settings)");
    other = conditions(6);
    other.integration_us = 20000;
    EXPECT_NE(refusal(other).find("integration 20000 us, the sample with integration 10000 us"),
              std::string::npos);
    other = conditions(6);
    other.average = 5;
    EXPECT_NE(refusal(other).find("average 5, the sample with average 2"), std::string::npos);
    other = conditions(6);
    other.wavelengths_nm[3] = 401.25;
    EXPECT_NE(refusal(other).find("wavelength 3 401.25 nm, the sample with wavelength 3 401.5 nm"),
              std::string::npos);
    other = conditions(5);
    EXPECT_NE(refusal(other).find("wavelength count 5, the sample with wavelength count 6"),
              std::string::npos);
    // The time it was taken is a record, not a condition.
    other = conditions(6);
    other.taken_utc = "2020-01-01T00:00:00.000Z";
    EXPECT_EQ(refusal(other), "accepted");
    // A reference is checked as well; a missing one is refused by name.
    Capture reference = kReference;
    reference.conditions.integration_us = 1;
    EXPECT_THROW(process(Mode::transmittance, kSample, &kDark, &reference), MeasurementError);
    try {
        process(Mode::absorbance, kSample, &kDark, nullptr);
        FAIL();
    } catch (const MeasurementError &error) {
        EXPECT_STREQ(error.what(), "absorbance needs a reference");
    }
    // Counts uses neither, dark-corrected no reference: they are not checked.
    EXPECT_NO_THROW(process(Mode::dark_corrected, kSample, &kDark, &reference));
}

TEST(HostAverage, MeanOfEqualConditionsWithSaturationOfAny) {
    const Capture mean =
        host_average({capture({100, 200, 65535}), capture({300, 201, 1000}), capture({200, 0, 0})});
    expect_values(mean.counts, {200, 401.0 / 3, (65535.0 + 1000) / 3});
    EXPECT_EQ(mean.saturated, (std::vector<std::uint8_t>{0, 0, 1}));
    EXPECT_EQ(mean.scans, 3u);
    Capture other = capture({1, 2, 3});
    other.conditions.integration_us = 1;
    EXPECT_THROW(host_average({capture({1, 2, 3}), other}), MeasurementError);
    EXPECT_THROW(host_average({}), MeasurementError);
}

TEST(Boxcar, WindowShrinksSymmetricallyAtTheEnds) {
    const Capture ramp = capture({0, 3, 6, 9, 30});
    expect_values(boxcar(ramp, 1).counts, {0, 3, 6, 9, 30});
    expect_values(boxcar(ramp, 3).counts, {0, 3, 6, 15, 30});
    expect_values(boxcar(ramp, 5).counts, {0, 3, 9.6, 15, 30});
    // Wider than the spectrum: each pixel takes what there is around it.
    expect_values(boxcar(ramp, 101).counts, {0, 3, 9.6, 15, 30});
    // A saturated pixel marks every window it falls in.
    const Capture peak = capture({10, 10, 65535, 10, 10, 10});
    EXPECT_EQ(boxcar(peak, 3).saturated, (std::vector<std::uint8_t>{0, 1, 1, 1, 0, 0}));
    for (unsigned width : {0u, 2u, kMaxBoxcar + 2})
        EXPECT_THROW(boxcar(ramp, width), MeasurementError) << width;
}

}  // namespace
}  // namespace orvproc
