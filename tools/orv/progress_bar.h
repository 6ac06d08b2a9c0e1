// A one-line progress bar on standard error for long series, redrawn in
// place; shown only when standard error is a terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

namespace orvcli {

class ProgressBar {
public:
    // Shown when enabled and the series is expected to take longer than a few seconds.
    ProgressBar(std::size_t total, std::chrono::milliseconds expected, bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar &) = delete;
    ProgressBar &operator=(const ProgressBar &) = delete;

    bool shown() const { return shown_; }
    // One more spectrum done. Safe from several threads.
    void advance();

private:
    void draw(bool final);

    std::size_t total_;
    std::size_t done_ = 0;
    bool shown_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point last_draw_{};
    std::mutex mutex_;
};

// The bar's text for `done` of `total` after `elapsed`: "[####    ] 12/100, 8 s left".
std::string progress_text(std::size_t done, std::size_t total, std::chrono::milliseconds elapsed);

}  // namespace orvcli
