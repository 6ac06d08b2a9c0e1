// The byte-order vocabulary of the wire.
#include <gtest/gtest.h>

#include "wire/byte_order.h"

TEST(ByteOrder, BigEndianIntegersRoundTripMostSignificantFirst) {
    uint8_t b[8] = {};
    put_be32(b, 0x12345678u);
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ(b[3], 0x78);
    EXPECT_EQ(get_be32(b), 0x12345678u);
    EXPECT_EQ(get_be24(b + 1), 0x345678u);
    put_be32(b, 0xFEDCBA98u);
    EXPECT_EQ(get_be32(b), 0xFEDCBA98u);  // no sign extension from the top byte

    put_be16(b, 0x1ABCDu);  // only the low 16 bits are stored
    EXPECT_EQ(b[0], 0xAB);
    EXPECT_EQ(b[1], 0xCD);
    EXPECT_EQ(get_be16(b), 0xABCD);

    put_be32(b, 0x80000001u);
    put_be32(b + 4, 0x00000002u);
    EXPECT_EQ(get_be64(b), 0x8000000100000002ull);  // neither half sign-extended
}

TEST(ByteOrder, FloatingPointDecoding) {
    // 1.5 as a double is 3FF8000000000000h, sent most significant byte first.
    const uint8_t dbl[8] = {0x3F, 0xF8, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(get_be_double(dbl), 1.5);
    const uint8_t neg[8] = {0xC0, 0x8F, 0x40, 0, 0, 0, 0, 0};
    EXPECT_EQ(get_be_double(neg), -1000.0);

    // Wavelength singles travel least significant byte first: 200.5f is 43488000h.
    const uint8_t single[4] = {0x00, 0x80, 0x48, 0x43};
    EXPECT_EQ(get_le_float(single), 200.5f);
}
