// The instrument's side of a pty: the provider opens the pty's terminal
// side as if it were /dev/ttyUSB<n>, the test sends and receives on the
// master side, by hand or from a scripted thread.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace ttytest {

class PtyPeer {
public:
    PtyPeer();  // throws std::runtime_error when no pty can be had
    ~PtyPeer();
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    // The terminal side, e.g. /dev/pts/3.
    const std::string &tty_path() const { return tty_path_; }
    void send(const std::string &bytes);
    // What arrives within `wait` (at most `max` bytes).
    std::string receive(size_t max, std::chrono::milliseconds wait);
    // Closes the master side: the terminal side reads EIO from then on, as
    // the tty of an unplugged bridge does.
    void hang_up();

private:
    int master_ = -1;
    std::string tty_path_;
};

// Steps a thread plays on a peer: after a pause, send bytes or hang up.
struct PeerStep {
    std::chrono::milliseconds pause;
    std::string bytes;
    bool hang_up = false;
};

class ScriptedPeer {
public:
    ScriptedPeer(PtyPeer &peer, std::vector<PeerStep> steps);
    ~ScriptedPeer();  // waits for the script to end

private:
    std::thread thread_;
};

}  // namespace ttytest
