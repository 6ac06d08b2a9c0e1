// A device's dark, reference and mode: which spectra are combined, what a
// missing or unfit dark or reference gives, and that a mode change applies to
// what is stored.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "measurements.h"

namespace {

using orv_tango::Measurements;
using Kind = orv_tango::Measurements::Kind;

const std::vector<double> kWavelengths = {400.0, 500.0, 600.0};

orv_tango::Identity identity(const char *serial = "ORVSIM01") {
    orv_tango::Identity who;
    who.model = "SIM-UV2048";
    who.serial_number = serial;
    return who;
}

std::shared_ptr<const orv_tango::Spectrum> spectrum(std::vector<double> counts,
                                                    std::uint32_t integration_us = 10000,
                                                    std::int64_t counter = 1) {
    auto made = std::make_shared<orv_tango::Spectrum>();
    made->counts = std::move(counts);
    made->integration_us = integration_us;
    made->average = 1;
    made->counter = counter;
    made->ended = std::chrono::system_clock::now();
    return made;
}

TEST(TangoMeasurements, AbsorbanceCombinesTheStoredDarkAndReferenceWithEachNewSpectrum) {
    Measurements measurements;
    ASSERT_EQ(measurements.store(Kind::dark, spectrum({100, 100, 100}), identity(), kWavelengths),
              "");
    ASSERT_EQ(
        measurements.store(Kind::reference, spectrum({1100, 100, 65535}), identity(), kWavelengths),
        "");
    ASSERT_EQ(measurements.set_mode("absorbance"), "");
    auto processed =
        measurements.process(spectrum({200, 150, 300}, 10000, 7), identity(), kWavelengths);
    ASSERT_TRUE(processed);
    EXPECT_EQ(processed->problem, "");
    EXPECT_EQ(processed->counter, 7);
    ASSERT_EQ(processed->values.size(), 3u);
    EXPECT_NEAR(processed->values[0], 1.0, 1e-12);  // -log10(100 / 1000)
    EXPECT_TRUE(std::isnan(processed->values[1]));  // reference not above dark
    EXPECT_TRUE(std::isnan(processed->values[2]));  // reference saturated
    EXPECT_EQ(processed->undefined, 2u);
    EXPECT_NE(processed->status.find("2 pixels undefined"), std::string::npos) << processed->status;
    EXPECT_EQ(measurements.last(), processed);

    ASSERT_EQ(measurements.set_mode("transmittance"), "");
    processed = measurements.process(spectrum({600, 150, 300}), identity(), kWavelengths);
    EXPECT_NEAR(processed->values[0], 50.0, 1e-12);
    ASSERT_EQ(measurements.set_mode("counts"), "");
    processed = measurements.process(spectrum({600, 150, 300}), identity(), kWavelengths);
    EXPECT_EQ(processed->values, (std::vector<double>{600, 150, 300}));
}

TEST(TangoMeasurements, WhatIsMissingOrUnfitIsSaidAndGivesNoValues) {
    Measurements measurements;
    EXPECT_NE(measurements.set_mode("absorbence").find("unknown mode"), std::string::npos);
    EXPECT_EQ(measurements.mode(), orvproc::Mode::counts);
    EXPECT_NE(measurements.store(Kind::dark, nullptr, identity(), kWavelengths).find("acquire"),
              std::string::npos);
    EXPECT_NE(measurements.store(Kind::dark, spectrum({1, 2}), identity(), kWavelengths),
              "");  // two counts against three wavelengths

    ASSERT_EQ(measurements.set_mode("dark-corrected"), "");
    auto processed = measurements.process(spectrum({5, 5, 5}), identity(), kWavelengths);
    EXPECT_TRUE(processed->values.empty());
    EXPECT_NE(processed->problem.find("needs a stored dark"), std::string::npos);

    ASSERT_EQ(measurements.store(Kind::dark, spectrum({1, 1, 1}, 20000), identity(), kWavelengths),
              "");
    processed = measurements.process(spectrum({5, 5, 5}, 10000), identity(), kWavelengths);
    EXPECT_TRUE(processed->values.empty());
    EXPECT_NE(processed->problem.find("integration"), std::string::npos) << processed->problem;
    processed =
        measurements.process(spectrum({5, 5, 5}, 20000), identity("ORVSIM02"), kWavelengths);
    EXPECT_NE(processed->problem.find("ORVSIM"), std::string::npos) << processed->problem;
    processed = measurements.process(spectrum({5, 5, 5}, 20000), identity(), kWavelengths);
    EXPECT_EQ(processed->values, (std::vector<double>{4, 4, 4}));

    ASSERT_EQ(measurements.set_mode("reflectance"), "");
    processed = measurements.process(spectrum({5, 5, 5}, 20000), identity(), kWavelengths);
    EXPECT_NE(processed->problem.find("needs a stored reference"), std::string::npos);
    EXPECT_NE(measurements.stored_text(Kind::dark).find("20000 us"), std::string::npos);
    EXPECT_EQ(measurements.stored_text(Kind::reference), "none");
}

}  // namespace
