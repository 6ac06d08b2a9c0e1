// CRC-32 and CRC-16 against the catalogue check values and the edge inputs.
#include <gtest/gtest.h>

#include <cstring>

#include "orv.h"

namespace {

const uint8_t *bytes(const char *s) { return reinterpret_cast<const uint8_t *>(s); }
int len(const char *s) { return static_cast<int>(std::strlen(s)); }

TEST(Crc32, MatchesCatalogueValues) {
    EXPECT_EQ(static_cast<uint32_t>(orv_crc32(bytes("123456789"), 9)), 0xCBF43926u);
    const char *fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(static_cast<uint32_t>(orv_crc32(bytes(fox), len(fox))), 0x414FA339u);
    const uint8_t zero = 0;
    EXPECT_EQ(static_cast<uint32_t>(orv_crc32(&zero, 1)), 0xD202EF8Du);
}

TEST(Crc32, EmptyNegativeOrNullInputGivesZero) {
    EXPECT_EQ(orv_crc32(bytes("123"), 0), 0);
    EXPECT_EQ(orv_crc32(bytes("123"), -5), 0);
    EXPECT_EQ(orv_crc32(nullptr, 16), 0);
}

TEST(Crc16Legacy, MatchesModbusCheckValue) {
    EXPECT_EQ(orv_crc16_legacy(bytes("123456789"), 9), 0x4B37);
}

TEST(Crc16Legacy, EmptyNegativeOrNullInputGivesInitialValue) {
    EXPECT_EQ(orv_crc16_legacy(bytes("1"), 0), 0xFFFF);
    EXPECT_EQ(orv_crc16_legacy(bytes("1"), -1), 0xFFFF);
    EXPECT_EQ(orv_crc16_legacy(nullptr, 4), 0xFFFF);
}

}  // namespace
