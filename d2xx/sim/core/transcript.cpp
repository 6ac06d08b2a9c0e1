#include "transcript.h"

#include <charconv>

#include "clock.h"
#include "platform.h"

namespace orvsim {

void Transcript::open_from_environment() {
    std::optional<std::string> path = platform::env_get("ORVSIM_TRANSCRIPT");
    std::lock_guard<std::mutex> lock(mutex_);
    if (path && !path->empty() && *path == path_ && file_) return;
    close_locked();
    if (!path || path->empty()) return;
    file_ = std::fopen(path->c_str(), "ab");
    active_ = file_ != nullptr;
    if (file_) {
        path_ = *path;
        unwritable_.clear();
    } else if (*path != unwritable_) {  // said once, not at every scenario load
        unwritable_ = *path;
        std::fprintf(stderr, "orvsim: transcript %s: cannot be opened for writing\n",
                     path->c_str());
    }
}

void Transcript::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    close_locked();
}

void Transcript::close_locked() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    active_ = false;
    path_.clear();
}

void Transcript::line(const char *call, unsigned status, const std::string &fields) {
    if (!active()) return;
    std::string rest = " ";
    rest += call;
    rest += " status=" + std::to_string(status);
    if (!fields.empty()) rest += ' ' + fields;
    rest += '\n';
    // The time is taken under the lock, so the lines of many threads stay in
    // time order. Milliseconds of the monotonic clock with microsecond
    // digits, formatted with to_chars so the text is the same on every C
    // runtime.
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_) return;
    char stamp[32];
    const double ms = to_ms(Clock::now().time_since_epoch());
    auto res = std::to_chars(stamp, stamp + sizeof stamp, ms, std::chars_format::fixed, 3);
    std::fwrite(stamp, 1, static_cast<size_t>(res.ptr - stamp), file_);
    std::fwrite(rest.data(), 1, rest.size(), file_);
    std::fflush(file_);
}

}  // namespace orvsim
