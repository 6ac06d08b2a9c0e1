// The one list of D2XX calls (ORV_D2XX_CALLS of ftd2xx.h) against what else
// names the calls: the header's declarations and the capture format.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "ftd2xx.h"

namespace {

std::vector<std::string> listed_calls() {
#define ORV_TEST_NAME(name) #name,
    return {ORV_D2XX_CALLS(ORV_TEST_NAME)};
#undef ORV_TEST_NAME
}

TEST(D2xxCallList, NamesEveryDeclaredCallInTheHeadersOrder) {
    std::ifstream header(ORV_FTD2XX_HEADER);
    ASSERT_TRUE(header) << ORV_FTD2XX_HEADER;
    const std::string text{std::istreambuf_iterator<char>(header), {}};
    static const std::regex declaration(R"(FTD2XX_API\s+FT_STATUS\s+FTD2XX_CALL\s+(\w+)\s*\()");
    std::vector<std::string> declared;
    for (std::sregex_iterator it(text.begin(), text.end(), declaration), end; it != end; ++it)
        declared.push_back((*it)[1]);
    EXPECT_EQ(declared, listed_calls());
}

TEST(D2xxCallList, EveryCallHasOneDistinctNameInTheCaptureFormat) {
    std::set<orvcapture::Call> seen;
    for (const std::string &name : listed_calls()) {
        const std::optional<orvcapture::Call> call = orvcapture::call_from_name(name);
        ASSERT_TRUE(call) << name << " cannot be recorded";
        EXPECT_EQ(orvcapture::call_name(*call), name);
        EXPECT_TRUE(seen.insert(*call).second) << name << " shares its capture value";
    }
    // And the capture format names no call beyond the list.
    EXPECT_FALSE(orvcapture::call_from_name("FT_GetStatus"));
    EXPECT_EQ(seen.size(), static_cast<size_t>(orvcapture::Call::SetUSBParameters) + 1);
}

}  // namespace
