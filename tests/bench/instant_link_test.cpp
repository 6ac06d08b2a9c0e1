// The overhead benchmarks time reads on instruments whose link takes no
// modelled time. Should the simulator stop modelling (near) zero, for
// example through a larger minimum time scale or a latency floor, they would
// time the model instead of the host; these tests catch that.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "bench_instruments.h"
#include "orv.h"
#include "orvsim.h"

namespace {

using orvbench::Instrument;

class InstantLink : public ::testing::TestWithParam<Instrument> {
protected:
    void SetUp() override { ASSERT_TRUE(orvbench::load_instant_scenario()); }
    void TearDown() override { orv_close_device(); }
};

TEST_P(InstantLink, FullSpectrumArrivesWithoutModelledTime) {
    const Instrument instrument = GetParam();
    ASSERT_EQ(orvbench::open_for_reads(instrument), ORV_OK);
    int32_t protocol = 0;
    ASSERT_EQ(orv_get_device_protocol(&protocol), ORV_OK);
    EXPECT_EQ(protocol,
              instrument == Instrument::uvvis ? ORV_PROTOCOL_UVVIS : ORV_PROTOCOL_NIR_LEGACY);

    std::vector<uint16_t> samples(orvbench::pixels(instrument), 0);
    for (int read = 0; read < 3; ++read) {
        ASSERT_EQ(orv_get_full_spectrum_data(samples.data(), static_cast<int32_t>(samples.size())),
                  ORV_OK);
        EXPECT_LT(orvsim_last_modeled_reply_ms(orvbench::bridge_index(instrument)), 0.001);
    }
    // Every pixel arrived: the dark offset keeps real samples above zero.
    EXPECT_EQ(std::count(samples.begin(), samples.end(), uint16_t{0}), 0);
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, InstantLink,
                         ::testing::Values(Instrument::uvvis, Instrument::nir, Instrument::nir_256),
                         [](const ::testing::TestParamInfo<Instrument> &param_info) {
                             return std::string(param_info.param == Instrument::uvvis ? "Uvvis2048"
                                                : param_info.param == Instrument::nir ? "Nir2048"
                                                                                      : "Nir256");
                         });

}  // namespace
