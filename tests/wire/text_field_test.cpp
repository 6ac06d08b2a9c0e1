// The bounded copy of fixed-width text fields.
#include <gtest/gtest.h>

#include <cstring>

#include "wire/text_field.h"

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

    copy_text(buf, 3, "NIR");
    EXPECT_STREQ(buf, "NI");
}
