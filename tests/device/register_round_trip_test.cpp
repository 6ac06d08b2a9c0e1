// Register reads of the built-in scenario's instruments through the exchange.
#include <gtest/gtest.h>

#include <string>

#include "orv_device/state.h"
#include "orv_device/transport.h"
#include "sim_fixture.h"

using namespace devtest;

namespace {

constexpr uint32_t kModelAddr = 0x46;
constexpr uint32_t kWavelengthCountAddr = 0x0B;
constexpr uint32_t kIntegrationAddr = 0x00;

class DefaultInstruments : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ASSERT_EQ(orvsim_load_default_scenario(), 0) << orvsim_last_error();
    }
    static uint32_t read_word(uint8_t reg, uint32_t addr) {
        uint8_t word[4] = {};
        int len = 0;
        EXPECT_EQ(send_and_recv(reg, addr, nullptr, 1, word, sizeof word, &len, 1), ORV_OK);
        EXPECT_EQ(len, 4);
        return be32(word);
    }
};

}  // namespace

TEST_F(DefaultInstruments, RegisterReadsRoundTrip) {
    struct Expected {
        const char *serial;
        const char *model;
        uint32_t pixels;
    };
    for (const Expected &e :
         {Expected{"ORVSIM01", "SIM-UV2048", 2048}, Expected{"ORVSIM02", "SIM-UV1024", 1024}}) {
        SCOPED_TRACE(e.serial);
        ASSERT_EQ(orv_open_device_by_chip_serial(e.serial), ORV_OK);
        uint8_t model[17] = {};
        int len = 0;
        ASSERT_EQ(send_and_recv(ORV_REG_PARAMS, kModelAddr, nullptr, 4, model, 16, &len, 1),
                  ORV_OK);
        EXPECT_EQ(len, 16);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(model)), e.model);
        EXPECT_EQ(read_word(ORV_REG_STORED, kWavelengthCountAddr), e.pixels);

        uint8_t value[4];
        set_be32(value, 123000);
        ASSERT_EQ(send_and_recv(ORV_REG_PARAMS, kIntegrationAddr, value, 4, nullptr, 0, nullptr, 0),
                  ORV_OK);
        EXPECT_EQ(read_word(ORV_REG_PARAMS, kIntegrationAddr), 123000u);
    }
}
