#include <gtest/gtest.h>

#include "text.h"

using velmar::SdkError;
using velmar::text_from_buffer;
using velmar::trim_white_space;

TEST(TextFromBuffer, StopsAtTheFirstNulOrTakesTheWholeField) {
    const char terminated[8] = {'A', 'B', '\0', 'C', 'D', '\0', '\0', '\0'};
    EXPECT_EQ(text_from_buffer(terminated, sizeof terminated).value(), "AB");

    char full[32];
    std::fill(std::begin(full), std::end(full), 'x');
    EXPECT_EQ(text_from_buffer(full, sizeof full).value(), std::string(32, 'x'));

    const char empty[4] = {};
    EXPECT_EQ(text_from_buffer(empty, sizeof empty).value(), "");
}

TEST(TextFromBuffer, KeepsSurroundingSpaceAndMultiByteCharacters) {
    const char text[] =
        "  M\xC3\xBC"
        "ller \xE2\x82\xAC ";
    EXPECT_EQ(text_from_buffer(text, sizeof text).value(), "  M\xC3\xBCller \xE2\x82\xAC ");
}

TEST(TextFromBuffer, RejectsBytesThatAreNotUtf8) {
    for (std::string bad : {"\xFF", "A\x80", "\xC0\x80", "\xE2\x82", "\xED\xA0\x80",
                            "\xF4\x90\x80\x80", "\xC3\xBC\xC3"}) {
        auto text = text_from_buffer(bad.data(), bad.size());
        ASSERT_FALSE(text) << "accepted " << testing::PrintToString(bad);
        EXPECT_EQ(text.error(), SdkError::TransportError);
    }
    // Only the bytes before the terminator are checked.
    const char after_nul[] = {'O', 'K', '\0', '\xFF'};
    EXPECT_EQ(text_from_buffer(after_nul, sizeof after_nul).value(), "OK");
}

TEST(TrimWhiteSpace, RemovesUnicodeWhiteSpaceAtBothEndsOnly) {
    EXPECT_EQ(trim_white_space(" \t\n\v\f\r M 1 \r\n"), "M 1");
    // U+0085, U+00A0, U+1680, U+2000, U+200A, U+2028, U+2029, U+202F, U+205F, U+3000
    EXPECT_EQ(trim_white_space(
                  "\xC2\x85\xC2\xA0\xE1\x9A\x80\xE2\x80\x80X\xE2\x80\x8A\xE2\x80\xA8\xE2\x80\xA9"
                  "\xE2\x80\xAF\xE2\x81\x9F\xE3\x80\x80"),
              "X");
    EXPECT_EQ(trim_white_space(" \xC2\xA0 \xE3\x80\x80"), "");
}

TEST(TrimWhiteSpace, KeepsCharactersOutsideTheWhiteSpaceSet) {
    // Zero-width space U+200B, Mongolian vowel separator U+180E, NUL and a
    // trailing multi-byte letter are not white space.
    EXPECT_EQ(trim_white_space("\xE2\x80\x8B"
                               "A"
                               "\xE1\xA0\x8E"),
              "\xE2\x80\x8B"
              "A"
              "\xE1\xA0\x8E");
    EXPECT_EQ(trim_white_space(std::string_view("\0A", 2)), std::string_view("\0A", 2));
    EXPECT_EQ(trim_white_space(" \xC3\xBC "), "\xC3\xBC");
}

TEST(EqualsIgnoreAsciiCase, FoldsAsciiLettersOnly) {
    EXPECT_TRUE(velmar::equals_ignore_ascii_case("ft12ab", "FT12AB"));
    EXPECT_FALSE(velmar::equals_ignore_ascii_case("FT12AB", "FT12AB "));
    EXPECT_FALSE(velmar::equals_ignore_ascii_case("\xC3\xBC", "\xC3\x9C"));  // ü vs Ü
    EXPECT_FALSE(velmar::equals_ignore_ascii_case("[", "{"));                // 5Bh vs 7Bh
}
