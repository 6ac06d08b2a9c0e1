// The version in its three places: the project (CMake), orv.h's macros and
// what the shared library reports.
#include <gtest/gtest.h>

#include <string>

#include "orv.h"

TEST(LibraryVersion, HeaderMacrosAgreeWithTheProjectAndEachOther) {
    EXPECT_STREQ(ORV_VERSION, ORV_PROJECT_VERSION);
    const std::string composed = std::to_string(ORV_VERSION_MAJOR) + "." +
                                 std::to_string(ORV_VERSION_MINOR) + "." +
                                 std::to_string(ORV_VERSION_PATCH);
    EXPECT_EQ(composed, ORV_VERSION);
}

TEST(LibraryVersion, LoadedLibraryReportsTheHeadersVersion) {
    const char *reported = orv_version();
    ASSERT_NE(reported, nullptr);
    EXPECT_STREQ(reported, ORV_VERSION);
    EXPECT_EQ(orv_version(), reported) << "one constant string, not a fresh buffer per call";
}
