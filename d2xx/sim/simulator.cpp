#include "simulator.h"

#include <cstdio>

#include "platform.h"
#include "scenario.h"

namespace orvsim {

void Bridge::drop_buffers(Clock::time_point now) {
    link.clear(now);
    if (instrument) instrument->clear_input();
}

Simulator &simulator() {
    static Simulator instance;
    return instance;
}

bool Simulator::ready() {
    if (!loaded) load_from_environment();
    return !broken;
}

void Simulator::install(Scenario scenario) {
    bridges.clear();
    for (BridgeConfig &config : scenario.bridges) {
        auto bridge = std::make_unique<Bridge>();
        if (config.has_instrument) bridge->instrument = make_instrument(config.instrument);
        bridge->config = std::move(config);
        bridges.push_back(std::move(bridge));
    }
    create_list_status = scenario.create_list_status;
    get_list_status = scenario.get_list_status;
    loaded = true;
    broken = false;
    last_error.clear();
    transcript.open_from_environment();
    changed.notify_all();  // blocked reads on old handles give up
}

bool Simulator::load_from_environment() {
    std::optional<std::string> path = platform::env_get("ORVSIM_SCENARIO");
    const bool from_file = path && !path->empty();
    try {
        install(from_file ? load_scenario_file(*path) : default_scenario());
        return true;
    } catch (const std::exception &e) {
        bridges.clear();
        loaded = true;
        broken = true;
        last_error =
            std::string("scenario ") + (from_file ? *path : "built-in default") + ": " + e.what();
        std::fprintf(stderr, "orvsim: %s\n", last_error.c_str());
        transcript.open_from_environment();
        changed.notify_all();
        return false;
    }
}

Bridge *Simulator::find(void *handle) {
    const auto value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0) return nullptr;
    for (auto &b : bridges) {
        if (b->open && b->handle == value) return b.get();
    }
    return nullptr;
}

Bridge *Simulator::at(int index) {
    if (index < 0 || static_cast<size_t>(index) >= bridges.size()) return nullptr;
    return bridges[static_cast<size_t>(index)].get();
}

int Simulator::index_of(const Bridge *bridge) const {
    for (size_t i = 0; i < bridges.size(); ++i) {
        if (bridges[i].get() == bridge) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace orvsim
