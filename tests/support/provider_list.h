// The D2XX list as the provider a test links gives it, through its own two
// list calls (checked to succeed).
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "ftd2xx.h"

namespace orvtest {

inline std::vector<FT_DEVICE_LIST_INFO_NODE> provider_list() {
    DWORD count = 0;
    EXPECT_EQ(FT_CreateDeviceInfoList(&count), FT_STATUS{FT_OK});
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    EXPECT_EQ(FT_GetDeviceInfoList(nodes.data(), &count), FT_STATUS{FT_OK});
    nodes.resize(count);
    return nodes;
}

}  // namespace orvtest
