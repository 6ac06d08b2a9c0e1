#include "progress_bar.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace orvcli {
namespace {

constexpr std::chrono::seconds kShowAbove{3};
constexpr std::chrono::milliseconds kRedrawEvery{100};
constexpr std::size_t kBarWidth = 30;

}  // namespace

std::string progress_text(std::size_t done, std::size_t total, std::chrono::milliseconds elapsed) {
    const std::size_t filled = total == 0 ? kBarWidth : std::min(done, total) * kBarWidth / total;
    std::string text =
        fmt::format("[{:#<{}}{:<{}}] {}/{}", "", filled, "", kBarWidth - filled, done, total);
    if (done > 0 && done < total) {
        const auto left =
            elapsed * static_cast<long long>(total - done) / static_cast<long long>(done);
        text += fmt::format(", {} s left", std::chrono::ceil<std::chrono::seconds>(left).count());
    }
    return text;
}

ProgressBar::ProgressBar(std::size_t total, std::chrono::milliseconds expected, bool enabled)
    : total_(total),
      shown_(enabled && expected > kShowAbove),
      started_(std::chrono::steady_clock::now()) {
    if (shown_) draw(false);
}

ProgressBar::~ProgressBar() {
    if (!shown_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    draw(true);
}

void ProgressBar::advance() {
    if (!shown_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    if (std::chrono::steady_clock::now() - last_draw_ >= kRedrawEvery || done_ == total_)
        draw(false);
}

void ProgressBar::draw(bool final) {
    last_draw_ = std::chrono::steady_clock::now();
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(last_draw_ - started_);
    // \r and clearing to the end of the line keep the bar on one terminal line.
    fmt::print(stderr, "\r{}\x1b[K{}", progress_text(done_, total_, elapsed), final ? "\n" : "");
    std::fflush(stderr);
}

}  // namespace orvcli
