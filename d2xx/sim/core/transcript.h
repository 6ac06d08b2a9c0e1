// The transcript: when ORVSIM_TRANSCRIPT names a file, one line per D2XX call
// is appended to it (format in docs/simulator.md). Safe to use from many
// threads: each line is written whole.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

namespace orvsim {

class Transcript {
public:
    Transcript() = default;
    Transcript(const Transcript &) = delete;
    Transcript &operator=(const Transcript &) = delete;
    ~Transcript() { close(); }

    // Follows the environment variable: opens its file (append) or stops
    // writing when it is unset. A file that cannot be opened is reported by
    // one line on standard error (once for the same name).
    void open_from_environment();
    void close();
    // Whether lines are written; lets a caller skip building one.
    bool active() const { return active_.load(std::memory_order_relaxed); }
    // Writes "<ms> <call> status=<n> <fields>" as one line.
    void line(const char *call, unsigned status, const std::string &fields);

private:
    void close_locked();

    std::mutex mutex_;
    std::atomic<bool> active_{false};
    std::FILE *file_ = nullptr;  // guarded by mutex_
    std::string path_;
    std::string unwritable_;  // the name last reported as unwritable
};

}  // namespace orvsim
