// The fidelity check measures the benchmark program against the reply time
// the simulator models for each of the program's cases. That reference must
// be the instrument's time and nothing else: latency + integration time x
// averages + reply bytes / throughput, all scaled, for both protocols.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "bench.h"
#include "orv.h"
#include "orvsim.h"

namespace {

constexpr double kScale = 0.01;
constexpr double kLatencyMs = 2.0;
constexpr double kBytesPerSecond = 500000.0;

constexpr const char *kScenario = R"json({
  "time_scale": 0.01, "latency_ms": 2, "throughput_bytes_per_s": 500000,
  "bridges": [
    { "serial": "ORVMODEL1", "instrument": { "model": "SIM-UV2048" } },
    { "serial": "ORVMODEL2", "instrument": { "model": "SIM-NIR256" } }
  ]
})json";

struct Expectation {
    int bridge;
    double reply_bytes;  // a UVVIS_ORV spectrum is 1024 words whatever the pixel count
};

// Test names (and CTest's) show the row, the same in every build.
void PrintTo(const Expectation &e, std::ostream *os) {
    *os << "bridge " << e.bridge << ", " << e.reply_bytes << " reply bytes";
}

class ModeledReply : public ::testing::TestWithParam<Expectation> {
protected:
    void SetUp() override {
        ASSERT_EQ(orvsim_load_scenario_json(kScenario), 0) << orvsim_last_error();
    }
    void TearDown() override { orv_close_device(); }
};

TEST_P(ModeledReply, IsLatencyAcquisitionAndTransferForEveryCase) {
    const Expectation e = GetParam();
    ASSERT_EQ(orv_open_device(e.bridge), ORV_OK);
    uint16_t count = 0;
    ASSERT_EQ(orv_get_wavelength_count(&count), ORV_OK);
    std::vector<uint16_t> samples(count);
    for (const velmar::BenchCase &c : velmar::kBenchCases) {
        ASSERT_EQ(orv_set_integration_time(c.integration_us), ORV_OK);
        ASSERT_EQ(orv_set_average_number(static_cast<uint8_t>(c.average)), ORV_OK);
        ASSERT_EQ(orv_get_full_spectrum_data(samples.data(), count), ORV_OK);
        const double expected = (kLatencyMs + c.integration_us / 1000.0 * c.average +
                                 e.reply_bytes / kBytesPerSecond * 1000.0) *
                                kScale;
        EXPECT_NEAR(orvsim_last_modeled_reply_ms(e.bridge), expected, 1e-6)
            << c.integration_us << " us x " << c.average;
    }
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, ModeledReply,
                         ::testing::Values(Expectation{0, 4128}, Expectation{1, 3 + (256 + 6) * 2}),
                         [](const ::testing::TestParamInfo<Expectation> &param_info) {
                             return std::string(param_info.param.bridge == 0 ? "Uvvis" : "Nir");
                         });

}  // namespace
