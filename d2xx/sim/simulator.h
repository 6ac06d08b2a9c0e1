// The provider's state: the loaded scenario as live bridges, the open
// handles, and the locks that guard them.
//
// Two levels of locks. The provider lock (Simulator::mutex) guards the
// bridge list, the handle numbers and the scenario state; it is held only
// for short look-ups and changes, never while a call waits or an
// instrument works. Each bridge has its own lock for its link, instrument,
// settings and counters, so calls on different handles run side by side.
// Lock order: the provider lock before a bridge lock, never the other way.
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
    Bridge(BridgeConfig bridge_config, int list_index);

    const BridgeConfig config;
    const int index;  // list position

    // Guarded by the provider lock.
    uint32_t open_attempts = 0;

    // Changed only under both locks, so either lock suffices to read it.
    uintptr_t handle = 0;  // 0: not open

    // The rest is guarded by `mutex`.
    std::mutex mutex;
    std::condition_variable changed;         // link contents or the handle changed
    std::unique_ptr<Instrument> instrument;  // null: nothing behind the bridge
    Link link;
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

    bool open() const { return handle != 0; }
    // Starts a session with the driver's defaults after FT_Open.
    void start_session(uintptr_t new_handle, Clock::time_point now);
    // Ends the session (FT_Close, or the scenario replaced): queued bytes and
    // a partial request are dropped and a waiting FT_Read wakes up.
    void end_session(Clock::time_point now);
};

class Simulator {
public:
    std::mutex mutex;  // the provider lock

    // The remaining members are guarded by `mutex`.

    // Loads the scenario the environment selects on first use. False while
    // that scenario is broken.
    bool ready();
    // Replaces the bridges (every handle is closed). Reopens the transcript.
    void install(Scenario scenario);
    // Loads the environment's scenario; on failure the provider is left
    // without bridges, its list calls fail, and one line goes to stderr.
    bool load_from_environment();

    std::shared_ptr<Bridge> find(void *handle) const;
    Bridge *at(int index);
    uintptr_t new_handle();

    std::vector<std::shared_ptr<Bridge>> bridges;
    uint32_t create_list_status = 0;
    uint32_t get_list_status = 0;
    bool loaded = false;
    bool broken = false;
    std::string last_error;
    Transcript transcript;  // has a lock of its own

private:
    void retire_bridges();
    uintptr_t next_handle_ = 0x51D0;
};

Simulator &simulator();

// The bridge behind an open handle, locked for the length of one call and
// kept alive even when the scenario is replaced meanwhile. Empty when the
// handle is not open. Takes the provider lock only for the look-up.
class LockedBridge {
public:
    LockedBridge(Simulator &sim, void *handle);
    explicit operator bool() const { return bridge_ != nullptr; }
    Bridge *operator->() const { return bridge_.get(); }
    Bridge &operator*() const { return *bridge_; }
    std::unique_lock<std::mutex> &lock() { return lock_; }
    // After a wait: false when the handle was closed meanwhile.
    bool still_open() const { return bridge_->handle == handle_; }

private:
    uintptr_t handle_;
    std::shared_ptr<Bridge> bridge_;
    std::unique_lock<std::mutex> lock_;
};

}  // namespace orvsim
