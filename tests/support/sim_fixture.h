// Shared set-up of the device tests: scenarios for the simulated provider,
// and a library state that every test starts from (nothing open, automatic
// detection, settings at their load values).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "env.h"
#include "orv.h"
#include "orvsim.h"

namespace devtest {

using orvtest::set_env;

// One bridge "DEV1" with the given instrument object (JSON), time scaled
// down so modelled transfers cost next to nothing.
inline std::string one_instrument(const std::string &instrument) {
    return R"({"time_scale": 0.01, "bridges": [{"serial": "DEV1", "description": "SIMULATED test",
               "instrument": )" +
           instrument + "}]}";
}

inline std::string uvvis_with_faults(const std::string &faults) {
    return one_instrument(R"({"model": "SIM-UV2048", "faults": [)" + faults + "]}");
}

inline std::string nir_with_faults(const std::string &faults) {
    return one_instrument(R"({"model": "SIM-NIR256", "faults": [)" + faults + "]}");
}

inline void load_scenario(const std::string &json) {
    ASSERT_EQ(orvsim_load_scenario_json(json.c_str()), 0) << orvsim_last_error() << "\n" << json;
}

// Wall-clock milliseconds a callable takes.
template <typename F>
double elapsed_ms(F &&f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { reset_library(); }
    void TearDown() override {
        reset_library();
        orvsim_load_default_scenario();
    }
    static void reset_library() {
        orv_close_device();
        orv_set_protocol_preference(ORV_PREFER_AUTO);
    }
    // Loads the scenario and opens its first bridge with the given preference.
    static void open_with(const std::string &json, int preference) {
        orv_close_device();
        load_scenario(json);
        ASSERT_EQ(orv_set_protocol_preference(preference), ORV_OK);
        ASSERT_EQ(orv_open_device(0), ORV_OK);
        orvsim_reset_counters();
    }
};

}  // namespace devtest
