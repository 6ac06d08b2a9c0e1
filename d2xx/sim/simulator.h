// The provider's state: the loaded scenario as live bridges, the open
// handles, and the lock that guards all of it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bytes.h"
#include "config.h"
#include "instrument.h"
#include "link.h"
#include "transcript.h"

namespace orvsim {

struct Bridge {
    BridgeConfig config;
    std::unique_ptr<Instrument> instrument;  // null: nothing behind the bridge
    Link link;
    // open handle
    bool open = false;
    uint32_t open_attempts = 0;
    uintptr_t handle = 0;
    uint32_t read_timeout_ms = 0;
    uint32_t write_timeout_ms = 0;
    uint8_t latency_timer_ms = 16;
    uint32_t in_transfer_size = 4096;
    bool fail_next_read = false;
    bool unplugged = false;
    // what the control interface reports
    int write_count = 0;
    Bytes last_write;
    double last_reply_ms = -1;

    void drop_buffers(Clock::time_point now);
};

class Simulator {
public:
    std::mutex mutex;
    std::condition_variable changed;  // link contents or handles changed

    // The remaining members are guarded by `mutex`.

    // Loads the scenario the environment selects on first use. False while
    // that scenario is broken.
    bool ready();
    // Replaces the bridges (every handle is closed). Reopens the transcript.
    void install(Scenario scenario);
    // Loads the environment's scenario; on failure the provider is left
    // without bridges, its list calls fail, and one line goes to stderr.
    bool load_from_environment();

    Bridge *find(void *handle);
    Bridge *at(int index);
    int index_of(const Bridge *bridge) const;

    std::vector<std::unique_ptr<Bridge>> bridges;
    uint32_t create_list_status = 0;
    uint32_t get_list_status = 0;
    bool loaded = false;
    bool broken = false;
    std::string last_error;
    uintptr_t next_handle = 0x51D0;
    Transcript transcript;
};

Simulator &simulator();

}  // namespace orvsim
