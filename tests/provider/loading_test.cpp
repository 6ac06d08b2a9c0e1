// liborv's provider loading inside one process that links liborv alone: a
// failed load is tried again at the next call, a successful one is kept, and
// threads whose first calls meet all get the one provider.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "env.h"
#include "orv.h"

namespace fs = std::filesystem;

namespace {

std::string simulator() {
    return (fs::read_symlink("/proc/self/exe").parent_path() / "libftd2xx.so").string();
}

class ProviderLoading : public testing::Test {
protected:
    void SetUp() override { orvtest::set_env("ORVSIM_SCENARIO", nullptr); }
    void TearDown() override { orvtest::set_env("ORV_D2XX_LIBRARY", nullptr); }
};

TEST_F(ProviderLoading, FailedLoadIsRetriedAndASuccessfulOneKept) {
    orvtest::set_env("ORV_D2XX_LIBRARY", "/nonexistent/libftd2xx.so");
    EXPECT_EQ(orv_scan_devices(), 0);
    EXPECT_EQ(orv_open_device(0), ORV_ERR_OPEN_FAILED);

    orvtest::set_env("ORV_D2XX_LIBRARY", simulator().c_str());
    EXPECT_EQ(orv_scan_devices(), 4);

    // Kept: the variable is not read again.
    orvtest::set_env("ORV_D2XX_LIBRARY", "/nonexistent/libftd2xx.so");
    EXPECT_EQ(orv_scan_devices(), 4);
    orv_device *device = nullptr;
    ASSERT_EQ(orv_device_open(1, &device), ORV_OK);
    orv_device_close(device);
}

TEST_F(ProviderLoading, ThreadsWhoseFirstCallsMeetShareOneProvider) {
    orvtest::set_env("ORV_D2XX_LIBRARY", simulator().c_str());
    constexpr int kBridges = 3;  // the default scenario's instruments
    std::vector<orv_device *> devices(kBridges, nullptr);
    std::vector<int> opened(kBridges, -1000);
    std::vector<int> serials(kBridges, -1000);
    std::vector<std::thread> threads;
    for (int i = 0; i < kBridges; ++i) {
        threads.emplace_back([&, i] { opened[i] = orv_device_open(i, &devices[i]); });
        threads.emplace_back([&, i] {
            char serial[32];
            serials[i] = orv_get_chip_serial_by_index(i, serial, sizeof serial);
        });
    }
    for (std::thread &t : threads) t.join();
    for (int i = 0; i < kBridges; ++i) {
        EXPECT_EQ(opened[i], ORV_OK) << "bridge " << i;
        EXPECT_EQ(serials[i], ORV_OK) << "bridge " << i;
        orv_device_close(devices[i]);
    }
}

}  // namespace
