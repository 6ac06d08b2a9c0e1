// Calls the C99 translation unit that uses orv.h against the shared library.
#include <gtest/gtest.h>

#include "orv.h"

extern "C" {
int c_layout_matches(void);
unsigned long c_crc32_of_digits(void);
int c_parse_response_rejects_short_input(void);
const char *c_reply_name(uint8_t code);
int c_null_handle_is_not_open(void);
const char *c_result_name(int code);
const char *c_library_version(void);
}

TEST(CInterface, HeaderCompilesAsC99AndReachesTheExports) {
    EXPECT_EQ(c_layout_matches(), 1);
    EXPECT_EQ(c_crc32_of_digits(), 0xCBF43926ul);
    EXPECT_EQ(c_parse_response_rejects_short_input(), 1);
    EXPECT_STREQ(c_reply_name(ORV_REPLY_CRC_MISMATCH), "CRC Mismatch");
    EXPECT_EQ(c_null_handle_is_not_open(), 1);
    EXPECT_STREQ(c_result_name(ORV_ERR_NOT_OPEN), "ORV_ERR_NOT_OPEN");
    EXPECT_STREQ(c_library_version(), ORV_VERSION);
}
