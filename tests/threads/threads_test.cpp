// liborv from several threads at once: calls on one device, the built-in one
// or a handle, wait for each other and never mix their exchanges; handles on
// different instruments keep their own settings and data and wait for their
// instruments in parallel. Label: threads (the tsan preset runs these).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "device_interface.h"
#include "orv.h"
#include "orvsim.h"

namespace {

// `count` UVVIS_ORV instruments, chip serials THREADS0, THREADS1, ...; the
// even ones have 2048 pixels, the odd ones 1024, and every one its own
// wavelength table.
std::string instruments(int count, double time_scale) {
    std::string bridges;
    for (int i = 0; i < count; ++i) {
        if (i > 0) bridges += ",";
        bridges += R"({"serial": "THREADS)" + std::to_string(i) +
                   R"(", "description": "SIMULATED", "instrument": {"model": ")" +
                   (i % 2 == 0 ? "SIM-UV2048" : "SIM-UV1024") +
                   R"(", "wavelengths": {"polynomial": [)" + std::to_string(300 + 10 * i) +
                   ", 0.25]}}}";
    }
    return R"({"time_scale": )" + std::to_string(time_scale) + R"(, "bridges": [)" + bridges + "]}";
}

uint16_t pixels_of(int bridge) { return bridge % 2 == 0 ? 2048 : 1024; }

// One device as a worker thread uses it: the built-in device (handle null,
// through_handle false) or a handle.
struct Device {
    bool through_handle = false;
    orv_device *handle = nullptr;
};

// What a worker learnt before the threads start: its table.
struct Expected {
    uint16_t pixels = 0;
    std::vector<double> table;
};

Expected expected_of(const Device &d) {
    Expected e;
    EXPECT_EQ(CALL_THROUGH(d.through_handle, d.handle, get_wavelength_count, &e.pixels), ORV_OK);
    e.table.resize(e.pixels);
    EXPECT_EQ(CALL_THROUGH(d.through_handle, d.handle, get_full_wavelength_data, e.table.data(),
                           e.pixels),
              ORV_OK);
    return e;
}

// A worker's round: its own integration time set and read back, its count,
// its table, a full spectrum. Every answer must be its own device's.
void round_on(const Device &d, const Expected &e, uint32_t integration_us, int round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const uint32_t us_set = integration_us + static_cast<uint32_t>(round);
    ASSERT_EQ(CALL_THROUGH(d.through_handle, d.handle, set_integration_time, us_set), ORV_OK);
    uint32_t us = 0;
    ASSERT_EQ(CALL_THROUGH(d.through_handle, d.handle, get_integration_time, &us), ORV_OK);
    EXPECT_EQ(us, us_set);
    uint16_t count = 0;
    ASSERT_EQ(CALL_THROUGH(d.through_handle, d.handle, get_wavelength_count, &count), ORV_OK);
    EXPECT_EQ(count, e.pixels);
    std::vector<double> table(e.pixels);
    ASSERT_EQ(
        CALL_THROUGH(d.through_handle, d.handle, get_full_wavelength_data, table.data(), e.pixels),
        ORV_OK);
    EXPECT_EQ(table, e.table);
    std::vector<uint16_t> samples(e.pixels);
    ASSERT_EQ(
        CALL_THROUGH(d.through_handle, d.handle, get_full_spectrum_data, samples.data(), e.pixels),
        ORV_OK);
}

// Runs the workers on threads of their own and waits for all of them.
void run_together(const std::vector<std::function<void()>> &workers) {
    std::vector<std::thread> threads;
    for (const auto &work : workers) threads.emplace_back(work);
    for (std::thread &t : threads) t.join();
}

class Threads : public ::testing::Test {
protected:
    void TearDown() override {
        orv_close_device();
        for (orv_device *h : handles_) orv_device_close(h);
        orvsim_load_default_scenario();
    }
    static void load(const std::string &scenario) {
        ASSERT_EQ(orvsim_load_scenario_json(scenario.c_str()), 0) << orvsim_last_error();
        ASSERT_EQ(orv_set_protocol_preference(ORV_PREFER_UVVIS), ORV_OK);
    }
    Device open_handle(int bridge) {
        orv_device *h = nullptr;
        EXPECT_EQ(orv_device_open(bridge, &h), ORV_OK);
        handles_.push_back(h);
        return {true, h};
    }

    std::vector<orv_device *> handles_;
};

TEST_F(Threads, ProcessWideCallsFromTwoThreadsNeverMix) {
    // One thread reads spectra while the other asks for settings and the
    // table: each call holds the process-wide lock, so no reply goes astray.
    load(instruments(1, 0.1));
    ASSERT_EQ(orv_open_device(0), ORV_OK);
    const Device builtin;
    ASSERT_EQ(orv_set_integration_time(1000), ORV_OK);
    const Expected e = expected_of(builtin);
    constexpr int kRounds = 40;
    run_together({
        [&] {
            std::vector<uint16_t> samples(e.pixels);
            for (int i = 0; i < kRounds; ++i)
                EXPECT_EQ(orv_get_full_spectrum_data(samples.data(), e.pixels), ORV_OK) << i;
        },
        [&] {
            for (int i = 0; i < kRounds; ++i) {
                uint32_t us = 0;
                EXPECT_EQ(orv_get_integration_time(&us), ORV_OK) << i;
                EXPECT_EQ(us, 1000u) << i;
                std::vector<double> table(e.pixels);
                EXPECT_EQ(orv_get_full_wavelength_data(table.data(), e.pixels), ORV_OK) << i;
                EXPECT_EQ(table, e.table) << i;
            }
        },
    });
}

TEST_F(Threads, TwoHandlesAndTheBuiltInDeviceEachKeepTheirOwn) {
    load(instruments(3, 0.05));
    const Device devices[] = {open_handle(0), open_handle(1), Device{}};
    ASSERT_EQ(orv_open_device(2), ORV_OK);
    Expected expected[3];
    for (int i = 0; i < 3; ++i) {
        expected[i] = expected_of(devices[i]);
        ASSERT_EQ(expected[i].pixels, pixels_of(i));
    }
    ASSERT_NE(expected[0].table, expected[2].table);  // the same model, another table

    std::vector<std::function<void()>> workers;
    for (int i = 0; i < 3; ++i) {
        workers.push_back([&, i] {
            for (int round = 0; round < 15; ++round)
                round_on(devices[i], expected[i], 1000 * static_cast<uint32_t>(i + 1), round);
        });
    }
    run_together(workers);
}

TEST_F(Threads, EightThreadsOpenReadAndCloseEightInstruments) {
    constexpr int kInstruments = 8;
    load(instruments(kInstruments, 0.05));
    std::atomic<int> opened{0};
    std::vector<std::function<void()>> workers;
    for (int i = 0; i < kInstruments; ++i) {
        workers.push_back([&, i] {
            // Every thread lists and opens at the same time as the others.
            orv_device *h = nullptr;
            const std::string serial = "THREADS" + std::to_string(i);
            ASSERT_EQ(orv_device_open_by_chip_serial(serial.c_str(), &h), ORV_OK);
            ++opened;
            const Device d{true, h};
            const Expected e = expected_of(d);
            EXPECT_EQ(e.pixels, pixels_of(i));
            for (int round = 0; round < 10; ++round)
                round_on(d, e, 500 * static_cast<uint32_t>(i + 1), round);
            orv_device_close(h);
        });
    }
    run_together(workers);
    EXPECT_EQ(opened.load(), kInstruments);
    EXPECT_EQ(orvsim_open_handle_count(), 0);
}

TEST_F(Threads, HandlesWaitForTheirInstrumentsInParallel) {
    // 50 ms of integration, real time: one after another, 4 instruments x 4
    // spectra would take 16 x 55 ms; side by side they take about 4 x 55 ms.
    constexpr int kInstruments = 4;
    constexpr int kSpectra = 4;
    load(instruments(kInstruments, 1.0));
    std::vector<Device> devices;
    for (int i = 0; i < kInstruments; ++i) {
        devices.push_back(open_handle(i));
        ASSERT_EQ(orv_device_set_integration_time(devices.back().handle, 50000), ORV_OK);
        uint16_t count = 0;
        ASSERT_EQ(orv_device_get_wavelength_count(devices.back().handle, &count), ORV_OK);
    }
    std::vector<std::function<void()>> workers;
    for (int i = 0; i < kInstruments; ++i) {
        workers.push_back([&, i] {
            std::vector<uint16_t> samples(pixels_of(i));
            for (int n = 0; n < kSpectra; ++n) {
                EXPECT_EQ(orv_device_get_full_spectrum_data(devices[i].handle, samples.data(),
                                                            pixels_of(i)),
                          ORV_OK);
            }
        });
    }
    const auto start = std::chrono::steady_clock::now();
    run_together(workers);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double one_after_another_ms = kInstruments * kSpectra * 50.0;
    EXPECT_LT(ms, one_after_another_ms / 2) << "the instruments were waited for one at a time";
}

}  // namespace
