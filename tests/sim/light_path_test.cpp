// The light path: lamp off gives the dark level, a blank holder the lamp, a
// sample the lamp times 10^-A, switched through the control interface.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "orvsim.h"
#include "sim_support.h"

namespace {

using namespace simtest;

// Noise-free, so every count is the model's value rounded; a 1024-pixel
// instrument on a 1 nm grid from 200 nm. Bridge 1 has no sample.
const char *kLightPathScenario = R"({
  "time_scale": 0.01,
  "bridges": [
    { "serial": "UV1", "description": "SIMULATED UV-VIS Spectrometer",
      "instrument": { "model": "SIM-UV1024", "noise_counts": 0, "dark_counts": 500,
                      "wavelengths": { "polynomial": [200, 1] }, "order": "ascending",
                      "peak_counts": 40000, "lines": [],
                      "sample": { "baseline": 0.2,
                                  "bands": [ { "nm": 500, "absorbance": 1.0, "width_nm": 30 } ] },
                      "light_path": { "lamp": "off" } } },
    { "serial": "UV2", "description": "SIMULATED UV-VIS Spectrometer",
      "instrument": { "model": "SIM-UV1024", "noise_counts": 0 } }
  ]
})";

std::vector<double> spectrum(Port &port) {
    Packet p = read_reg(port, 0xC6, 0, 1024);
    std::vector<double> s;
    // 1024 pixels, then the filler of the 2048-pixel frame
    for (size_t i = 0; i + 1 < p.data.size() && s.size() < 1024; i += 2)
        s.push_back(p.data[i] << 8 | p.data[i + 1]);
    return s;
}

class SimLightPath : public ::testing::Test {
protected:
    void SetUp() override { load(kLightPathScenario); }
};

TEST_F(SimLightPath, DarkBlankAndSampleFollowBeerLambert) {
    Port port(0);
    const std::vector<double> dark = spectrum(port);  // the scenario starts with the lamp off
    for (double v : dark) ASSERT_EQ(v, 500);

    ASSERT_EQ(orvsim_set_light_path(0, 1, 0), 0);
    const std::vector<double> blank = spectrum(port);
    ASSERT_EQ(orvsim_set_light_path(0, 1, 1), 0);
    const std::vector<double> sample = spectrum(port);
    ASSERT_EQ(blank.size(), 1024u);
    ASSERT_EQ(sample.size(), 1024u);

    // Where the lamp gives enough light that rounding is small, the
    // absorbance from the counts is the scenario's: 0.2 + a band at 500 nm.
    int checked = 0;
    for (size_t i = 0; i < 1024; ++i) {
        const double lamp = blank[i] - 500, through = sample[i] - 500;
        if (lamp < 5000) continue;
        const double nm = 200.0 + static_cast<double>(i);
        const double t = (nm - 500) / 30;
        const double expected = 0.2 + std::exp(-0.5 * t * t);
        EXPECT_NEAR(-std::log10(through / lamp), expected, 0.01) << "at " << nm << " nm";
        ++checked;
    }
    EXPECT_GT(checked, 300);
    // The lamp off is dark again whatever the holder holds.
    ASSERT_EQ(orvsim_set_light_path(0, 0, 1), 0);
    EXPECT_EQ(spectrum(port), dark);
}

TEST_F(SimLightPath, RefusalsLeaveThePathAsItWas) {
    Port without(1);
    const std::vector<double> lamp = spectrum(without);
    EXPECT_EQ(orvsim_set_light_path(1, 1, 1), -1);  // no sample in that scenario
    EXPECT_EQ(orvsim_set_light_path(2, 1, 0), -1);  // no such bridge
    EXPECT_EQ(orvsim_set_light_path(-1, 0, 0), -1);
    EXPECT_EQ(spectrum(without), lamp);  // noise-free: unchanged

    // A switched path lasts until the scenario is loaded again.
    ASSERT_EQ(orvsim_set_light_path(0, 1, 0), 0);
    load(kLightPathScenario);
    Port again(0);
    for (double v : spectrum(again)) ASSERT_EQ(v, 500);
}

TEST(SimLightPathScenario, BadLightPathsAreRefusedByName) {
    const struct {
        const char *instrument;
        const char *message;
    } cases[] = {
        {R"("light_path": { "holder": "sample" })", "light_path.holder: holds a sample"},
        {R"("light_path": { "lamp": "dim" })", "light_path.lamp: must be on or off"},
        {R"("light_path": { "holder": "cuvette" })", "must be blank or sample"},
        {R"("sample": { "bands": {} })", "sample.bands: must be an array"},
        {R"("sample": { "bands": [ { "nm": 500, "absorbance": 11 } ] })", "bands[0].absorbance"},
        {R"("sample": { "thickness": 1 })", "thickness"},
    };
    for (const auto &c : cases) {
        const std::string json = std::string(R"({ "bridges": [ { "serial": "X", "instrument": {
            "model": "SIM-UV1024", )") +
                                 c.instrument + "} } ] }";
        SCOPED_TRACE(json);
        EXPECT_EQ(orvsim_load_scenario_json(json.c_str()), -1);
        EXPECT_NE(std::string(orvsim_last_error()).find(c.message), std::string::npos)
            << orvsim_last_error();
    }
    orvsim_load_default_scenario();
}

}  // namespace
