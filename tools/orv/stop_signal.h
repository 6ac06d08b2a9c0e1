// A request to stop, shared between threads: Ctrl-C, a failure on another
// instrument, the end of a server. Waits end early when it is requested.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace orvcli {

class StopSignal {
public:
    void request() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requested_ = true;
        }
        changed_.notify_all();
    }

    bool requested() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requested_;
    }

    // Waits for the stop request, however long that takes: for a thread whose
    // whole job is to act on it.
    void wait() const {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return requested_; });
    }

    // Waits until the deadline or a stop request; true when stop was requested.
    bool wait_until(std::chrono::steady_clock::time_point deadline) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_until(lock, deadline, [this] { return requested_; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool requested_ = false;
};

}  // namespace orvcli
