// The control interface of orvsim.h: scenario loading and what the simulated
// instruments saw, for tests and benchmarks.
#include <algorithm>
#include <cstring>

#include "orvsim.h"
#include "platform.h"
#include "scenario.h"
#include "simulator.h"

using orvsim::Bridge;
using orvsim::Simulator;

namespace {

// Runs `load` (which returns a Scenario or throws) and installs the result;
// on failure the old scenario stays and the error is kept.
template <typename Load>
int install_or_keep(const std::string &source, Load load) {
    Simulator &sim = orvsim::simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    try {
        sim.install(load());
        return 0;
    } catch (const std::exception &e) {
        sim.last_error = "scenario " + source + ": " + e.what();
        return -1;
    }
}

// Runs `read` on the bridge at a list position under its lock; `fallback`
// for a position with no bridge.
template <typename T, typename Read>
T with_bridge_at(int index, T fallback, Read read) {
    Simulator &sim = orvsim::simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    sim.ready();
    Bridge *b = sim.at(index);
    if (!b) return fallback;
    std::lock_guard<std::mutex> bridge_lock(b->mutex);
    return read(*b);
}

}  // namespace

extern "C" {

FTD2XX_API int orvsim_load_scenario_json(const char *json_text) {
    if (!json_text)
        return install_or_keep(
            "JSON text", []() -> orvsim::Scenario { throw orvsim::ScenarioError("null text"); });
    return install_or_keep("JSON text",
                           [&] { return orvsim::parse_scenario(json_text, "JSON text"); });
}

FTD2XX_API int orvsim_load_scenario_file(const char *path) {
    const std::string name = path ? path : "(null)";
    return install_or_keep(name, [&]() -> orvsim::Scenario {
        if (!path) throw orvsim::ScenarioError("null path");
        return orvsim::load_scenario_file(path);
    });
}

FTD2XX_API int orvsim_load_default_scenario(void) {
    Simulator &sim = orvsim::simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    return sim.load_from_environment() ? 0 : -1;
}

FTD2XX_API const char *orvsim_last_error(void) {
    // A copy per thread: the text stays valid while other threads load scenarios.
    thread_local std::string copy;
    Simulator &sim = orvsim::simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    copy = sim.last_error;
    return copy.c_str();
}

FTD2XX_API int orvsim_open_handle_count(void) {
    Simulator &sim = orvsim::simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    return static_cast<int>(std::count_if(sim.bridges.begin(), sim.bridges.end(),
                                          [](const auto &b) { return b->open(); }));
}

FTD2XX_API int orvsim_write_count(int bridge_index) {
    return with_bridge_at(bridge_index, -1, [](Bridge &b) { return b.write_count; });
}

FTD2XX_API int orvsim_last_write(int bridge_index, uint8_t *buf, int cap) {
    return with_bridge_at(bridge_index, -1, [=](Bridge &b) {
        if (buf && cap > 0) {
            std::memcpy(buf, b.last_write.data(),
                        std::min<size_t>(static_cast<size_t>(cap), b.last_write.size()));
        }
        return static_cast<int>(b.last_write.size());
    });
}

FTD2XX_API void orvsim_reset_counters(void) {
    Simulator &sim = orvsim::simulator();
    std::lock_guard<std::mutex> lock(sim.mutex);
    for (auto &b : sim.bridges) {
        std::lock_guard<std::mutex> bridge_lock(b->mutex);
        b->write_count = 0;
        b->last_write.clear();
        b->last_reply_ms = -1;
    }
}

FTD2XX_API double orvsim_last_modeled_reply_ms(int bridge_index) {
    return with_bridge_at(bridge_index, -1.0, [](Bridge &b) { return b.last_reply_ms; });
}

FTD2XX_API int orvsim_set_light_path(int bridge_index, int lamp_on, int sample_in) {
    const orvsim::LightPath path{lamp_on != 0, sample_in != 0};
    return with_bridge_at(bridge_index, -1, [&](Bridge &b) {
        return b.instrument && b.instrument->set_light_path(path) ? 0 : -1;
    });
}

FTD2XX_API int orvsim_loaded_module_count(void) {
    auto value = orvsim::platform::env_get("ORVSIM_LOADED_MODULES");
    return value ? std::atoi(value->c_str()) : 0;
}

}  // extern "C"
