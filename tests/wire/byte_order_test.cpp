// Byte-order codecs, the bounded text copy and the spectrum read timeout.
#include <gtest/gtest.h>

#include <cstring>

#include "link/device_state.h"
#include "link/uvvis_exchange.h"

TEST(Codecs, BigEndianIntegersRoundTripMostSignificantFirst) {
    uint8_t b[4] = {};
    set_be32(b, 0x12345678u);
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ(b[3], 0x78);
    EXPECT_EQ(be32(b), 0x12345678u);
    set_be32(b, 0xFEDCBA98u);
    EXPECT_EQ(be32(b), 0xFEDCBA98u);  // no sign extension from the top byte

    set_be16(b, 0x1ABCDu);  // only the low 16 bits are stored
    EXPECT_EQ(b[0], 0xAB);
    EXPECT_EQ(b[1], 0xCD);
    EXPECT_EQ(be16(b), 0xABCD);
}

TEST(Codecs, FloatingPointDecoding) {
    // 1.5 as a double is 3FF8000000000000h, sent most significant byte first.
    const uint8_t dbl[8] = {0x3F, 0xF8, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(be64_to_double(dbl), 1.5);
    const uint8_t neg[8] = {0xC0, 0x8F, 0x40, 0, 0, 0, 0, 0};
    EXPECT_EQ(be64_to_double(neg), -1000.0);

    // Wavelength singles travel least significant byte first: 200.5f is 43488000h.
    const uint8_t single[4] = {0x00, 0x80, 0x48, 0x43};
    EXPECT_EQ(le32_to_float(single), 200.5f);
    EXPECT_EQ(be32_to_float(single), 200.5f);
}

TEST(CopyTextField, CutsToBufferAndAlwaysTerminates) {
    const uint8_t text[] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    copy_text_field(buf, 5, text, 8);
    EXPECT_STREQ(buf, "ABCD");
    EXPECT_EQ(buf[5], 'x');  // nothing beyond the given size

    copy_text_field(buf, 8, text, 3);
    EXPECT_STREQ(buf, "ABC");

    copy_text_field(buf, 1, text, 8);
    EXPECT_EQ(buf[0], '\0');

    // Bytes after an embedded zero are copied too; the text ends at the first zero.
    const uint8_t padded[] = {'N', 'I', 0, 'R'};
    std::memset(buf, 'x', sizeof buf);
    copy_text_field(buf, 8, padded, 4);
    EXPECT_STREQ(buf, "NI");
    EXPECT_EQ(buf[3], 'R');
    EXPECT_EQ(buf[4], '\0');
}

class SpectrumTimeout : public ::testing::Test {
protected:
    void TearDown() override {
        g_current_integration_us = 10000;
        g_current_average_number = 1;
    }
    static uint64_t timeout_for(uint32_t integration_us, uint8_t averages) {
        g_current_integration_us = integration_us;
        g_current_average_number = averages;
        return spectrum_read_timeout_ms();
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
