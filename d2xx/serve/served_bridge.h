// One bridge of the scenario on a pseudo-terminal: the requests the host
// writes to the tty go to the bridge's instrument, its answers are handed
// back when the link model says they arrive, and the bridge can be pulled
// out (the tty hangs up).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "bytes.h"
#include "clock.h"
#include "config.h"
#include "instrument.h"
#include "link.h"
#include "serve_platform.h"
#include "transcript.h"

namespace orvserve {

class ServedBridge {
public:
    ServedBridge(const orvsim::BridgeConfig &config, int index, platform::Pty pty,
                 orvsim::Transcript &transcript);

    int index() const { return index_; }
    const std::string &node() const { return pty_.node; }
    int master() const { return pty_.master.get(); }
    bool plugged() const { return static_cast<bool>(pty_.master); }
    // The instrument asked to be pulled out (see unplug()).
    bool unplug_requested() const { return unplug_requested_; }
    // Answer bytes are waiting for room in the tty.
    bool wants_write() const { return !pending_.empty(); }

    // Takes what the host wrote; false when the tty failed.
    bool take_requests(orvsim::Clock::time_point now);
    // Writes the answer bytes due by `now`; false when the tty failed.
    bool send_due(orvsim::Clock::time_point now);
    std::optional<orvsim::Clock::time_point> next_wake(orvsim::Clock::time_point now) const;

    // Another opener of the tty (or one fewer). The first opener starts a
    // session: what had arrived for the host is gone, as when a bridge's
    // receive buffer is reset on open; an answer still on its way arrives
    // later.
    void opened(orvsim::Clock::time_point now);
    void closed();
    void forget_openers() { openers_ = 0; }

    // The lamp and sample holder of the instrument; false without one.
    bool set_light_path(const orvsim::LightPath &path) {
        return instrument_ && instrument_->set_light_path(path);
    }

    // Closes both sides of the pseudo-terminal: the host's descriptor hangs up.
    void unplug();

private:
    void handle(const uint8_t *data, size_t len, orvsim::Clock::time_point now);

    const int index_;
    const orvsim::LinkTiming timing_;
    platform::Pty pty_;
    orvsim::Transcript &transcript_;
    std::unique_ptr<orvsim::Instrument> instrument_;  // null: nothing behind the bridge
    orvsim::Link link_;
    orvsim::Bytes pending_;  // due, but the tty had no room yet
    int openers_ = 0;
    bool unplug_requested_ = false;
};

}  // namespace orvserve
