// The fixture of every test that drives liborv against the simulated D2XX
// provider: scenarios of one bridge, a library state each test starts and
// ends in (nothing open, automatic detection; afterwards the built-in
// scenario again), and what the instrument saw (write count, last request).
// It opens the built-in device or, in the run that drives handles, a handle
// (device_interface.h). It uses only the exports, so it serves the static
// and the shared library.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "device_interface.h"
#include "orv.h"
#include "orvsim.h"

// Instruments of the built-in model table.
inline const std::string UV2048 = R"("model": "SIM-UV2048")";
inline const std::string UV1024 = R"("model": "SIM-UV1024")";
inline const std::string NIR256 = R"("model": "SIM-NIR256")";

// An 8-pixel instrument with an explicit table 400, 410, ... 470 nm.
inline std::string small_instrument(const std::string &base,
                                    const std::string &order = "ascending") {
    return base + R"(, "pixels": 8, "order": ")" + order +
           R"(", "wavelengths": {"list": [400, 410, 420, 430, 440, 450, 460, 470]})";
}

// A scenario of one bridge; `instrument` holds the members of its instrument
// object (empty: nothing behind the bridge). Time is scaled down by default,
// so modelled transfers cost next to nothing.
inline std::string one_bridge(const std::string &instrument, double time_scale = 0.01) {
    std::string bridge = R"({"serial": "ORVTEST1", "description": "SIMULATED test bridge")";
    if (!instrument.empty()) bridge += R"(, "instrument": {)" + instrument + "}";
    return R"({"time_scale": )" + std::to_string(time_scale) + R"(, "bridges": [)" + bridge + "}]}";
}

// `instrument` plus a fault list.
inline std::string with_faults(const std::string &instrument, const std::string &faults) {
    return instrument + R"(, "faults": [)" + faults + "]";
}

// Wall-clock milliseconds a callable takes.
template <typename F>
double elapsed_ms(F &&f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

class SimSession : public ::testing::Test {
protected:
    void SetUp() override { reset_library(); }
    void TearDown() override {
        reset_library();
        orvsim_load_default_scenario();
    }
    static void reset_library() {
        close_device();
        orv_set_protocol_preference(ORV_PREFER_AUTO);
    }

    // Closes the device of the session's interface (and the built-in one).
    static void close_device() {
        orv_close_device();
        orv_device_close(orvtest::session_handle);
        orvtest::session_handle = nullptr;
    }

    // Opens bridge `index` through the session's interface.
    static int open_device(int index) {
        close_device();
        if (!orvtest::via_handle()) return orv_open_device(index);
        return orv_device_open(index, &orvtest::session_handle);
    }

    static void load_scenario(const std::string &scenario) {
        ASSERT_EQ(orvsim_load_scenario_json(scenario.c_str()), 0) << orvsim_last_error() << "\n"
                                                                  << scenario;
    }

    // Loads the scenario, opens bridge `index` with the preference and clears
    // the write counters.
    static void open(const std::string &scenario, int index = 0, int preference = ORV_PREFER_AUTO) {
        close_device();
        load_scenario(scenario);
        ASSERT_EQ(orv_set_protocol_preference(preference), ORV_OK);
        ASSERT_EQ(open_device(index), ORV_OK);
        // A handle run leaves the built-in device alone.
        if (orvtest::via_handle()) {
            ASSERT_EQ(orv_is_open(), 0);
        }
        orvsim_reset_counters();
    }
    static void open_instrument(const std::string &instrument) { open(one_bridge(instrument)); }

    static int writes() { return orvsim_write_count(0); }

    // Data bytes of the last UVVIS_ORV request (after its 28-byte header).
    static std::vector<uint8_t> last_request_data() {
        std::vector<uint8_t> packet(2048);
        const int n = orvsim_last_write(0, packet.data(), static_cast<int>(packet.size()));
        if (n < ORV_PACKET_MIN_SIZE) return {};
        return {packet.begin() + ORV_PACKET_HEADER_SIZE, packet.begin() + n - 4};
    }
};
