// The spectrum read timeout, from the integration time and average number a
// device remembers.
#include <gtest/gtest.h>

#include "commands/request_patterns.h"
#include "link/device_state.h"

class SpectrumTimeout : public ::testing::Test {
protected:
    static uint64_t timeout_for(uint32_t integration_us, uint8_t averages) {
        orv_device device;
        device.current_integration_us = integration_us;
        device.current_average_number = averages;
        return spectrum_read_timeout_ms(device);
    }
};

TEST_F(SpectrumTimeout, IntegrationTimesAveragesPlusOneSecondCappedAtTwoMinutes) {
    EXPECT_EQ(timeout_for(10000, 1), 1010u);  // the values at load
    EXPECT_EQ(timeout_for(250000, 10), 3500u);
    EXPECT_EQ(timeout_for(1, 1), 1001u);  // whole milliseconds, rounded up
    EXPECT_EQ(timeout_for(1001, 1), 1002u);
    EXPECT_EQ(timeout_for(50000, 0), 1050u);  // average 0 counts as 1
    EXPECT_EQ(timeout_for(100000000, 5), 120000u);
    EXPECT_EQ(timeout_for(0xFFFFFFFFu, 255), 120000u);  // no overflow before the cap
}
