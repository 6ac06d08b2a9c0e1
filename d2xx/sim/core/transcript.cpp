#include "transcript.h"

#include <charconv>

#include "clock.h"
#include "platform.h"

namespace orvsim {

void Transcript::open_from_environment() {
    std::optional<std::string> path = platform::env_get("ORVSIM_TRANSCRIPT");
    if (path && !path->empty() && *path == path_ && file_) return;
    close();
    if (!path || path->empty()) return;
    file_ = std::fopen(path->c_str(), "ab");
    if (file_) path_ = *path;
}

void Transcript::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    path_.clear();
}

void Transcript::line(const char *call, unsigned status, const std::string &fields) {
    if (!file_) return;
    // Milliseconds of the monotonic clock with microsecond digits; formatted
    // with to_chars so the text is the same on every C runtime.
    char stamp[32];
    const double ms = to_ms(Clock::now().time_since_epoch());
    auto res = std::to_chars(stamp, stamp + sizeof stamp, ms, std::chars_format::fixed, 3);
    std::string text(stamp, res.ptr);
    text += ' ';
    text += call;
    text += " status=" + std::to_string(status);
    if (!fields.empty()) text += ' ' + fields;
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
}

}  // namespace orvsim
