#include <gtest/gtest.h>

#include <cstring>

#include "crc.h"

namespace {

const uint8_t kDigits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST(SimCrc, CatalogueCheckValues) {
    EXPECT_EQ(orvsim::crc32(kDigits, sizeof kDigits), 0xCBF43926u);
    EXPECT_EQ(orvsim::crc16_modbus(kDigits, sizeof kDigits), 0x4B37u);
}

TEST(SimCrc, EmptyInputGivesTheInitialState) {
    EXPECT_EQ(orvsim::crc32(nullptr, 0), 0u);
    EXPECT_EQ(orvsim::crc16_modbus(nullptr, 0), 0xFFFFu);
}

}  // namespace
