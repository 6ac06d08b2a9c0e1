#include "simulator.h"

#include <cstdio>

#include "platform.h"
#include "scenario.h"

namespace orvsim {

Bridge::Bridge(BridgeConfig bridge_config, int list_index)
    : config(std::move(bridge_config)), index(list_index) {
    if (config.has_instrument) instrument = make_instrument(config.instrument);
}

void Bridge::start_session(uintptr_t new_handle, Clock::time_point now) {
    handle = new_handle;
    read_timeout_ms = 0;
    write_timeout_ms = 0;
    latency_timer_ms = 16;
    in_transfer_size = 4096;
    fail_next_read = false;
    unplugged = false;
    link.clear(now);
    if (instrument) instrument->clear_input();
}

void Bridge::end_session(Clock::time_point now) {
    handle = 0;
    fail_next_read = false;
    unplugged = false;
    link.clear(now);
    if (instrument) instrument->clear_input();
    changed.notify_all();
}

Simulator &simulator() {
    static Simulator instance;
    return instance;
}

bool Simulator::ready() {
    if (!loaded) load_from_environment();
    return !broken;
}

// Closes every handle of the current bridges; calls still using one of
// them keep it alive until they return.
void Simulator::retire_bridges() {
    for (auto &b : bridges) {
        std::lock_guard<std::mutex> lock(b->mutex);
        b->end_session(Clock::now());
    }
    bridges.clear();
}

void Simulator::install(Scenario scenario) {
    retire_bridges();
    for (BridgeConfig &config : scenario.bridges) {
        bridges.push_back(
            std::make_shared<Bridge>(std::move(config), static_cast<int>(bridges.size())));
    }
    create_list_status = scenario.create_list_status;
    get_list_status = scenario.get_list_status;
    loaded = true;
    broken = false;
    last_error.clear();
    transcript.open_from_environment();
}

bool Simulator::load_from_environment() {
    std::optional<std::string> path = platform::env_get("ORVSIM_SCENARIO");
    const bool from_file = path && !path->empty();
    try {
        install(from_file ? load_scenario_file(*path) : default_scenario());
        return true;
    } catch (const std::exception &e) {
        retire_bridges();
        loaded = true;
        broken = true;
        last_error =
            std::string("scenario ") + (from_file ? *path : "built-in default") + ": " + e.what();
        std::fprintf(stderr, "orvsim: %s\n", last_error.c_str());
        transcript.open_from_environment();
        return false;
    }
}

std::shared_ptr<Bridge> Simulator::find(void *handle) const {
    const auto value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0) return nullptr;
    for (const auto &b : bridges) {
        if (b->handle == value) return b;
    }
    return nullptr;
}

Bridge *Simulator::at(int index) {
    if (index < 0 || static_cast<size_t>(index) >= bridges.size()) return nullptr;
    return bridges[static_cast<size_t>(index)].get();
}

uintptr_t Simulator::new_handle() {
    const uintptr_t h = next_handle_;
    next_handle_ += 0x10;
    return h;
}

LockedBridge::LockedBridge(Simulator &sim, void *handle)
    : handle_(reinterpret_cast<uintptr_t>(handle)) {
    {
        std::lock_guard<std::mutex> provider_lock(sim.mutex);
        bridge_ = sim.find(handle);
    }
    if (!bridge_) return;
    lock_ = std::unique_lock<std::mutex>(bridge_->mutex);
    if (!still_open()) {  // closed between the look-up and the lock
        lock_.unlock();
        bridge_.reset();
    }
}

}  // namespace orvsim
