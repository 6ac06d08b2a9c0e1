// The OS calls of the device server (Linux only, like the server).
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "instrument.h"
#include "provider_choice.h"
#include "utc_time.h"

namespace orv_tango {

namespace {
constexpr const char *PROVIDER_VARIABLE = "ORV_D2XX_LIBRARY";
constexpr const char *PROFILE_VARIABLE = "ORV_TANGO_PROFILE";
std::mutex g_choice_lock;  // devices initialise one after the other, but Init may come any time
}  // namespace

std::string choose_provider(const std::string &path) {
    if (path.empty()) return {};
    if (access(path.c_str(), R_OK) != 0)
        return "property Provider " + path + " cannot be read: " + std::strerror(errno);
    std::lock_guard guard(g_choice_lock);
    const char *chosen = std::getenv(PROVIDER_VARIABLE);
    if (chosen != nullptr && *chosen != '\0') {
        if (path == chosen) return {};
        return "property Provider " + path + " differs from the provider " + chosen +
               " this process already uses (one provider per server process)";
    }
    if (setenv(PROVIDER_VARIABLE, path.c_str(), 1) != 0)
        return "property Provider " + path + " cannot be set: " + std::strerror(errno);
    return {};
}

bool profile_requested() {
    std::lock_guard guard(g_choice_lock);  // no setenv of choose_provider meanwhile
    const char *value = std::getenv(PROFILE_VARIABLE);
    return value != nullptr && *value != '\0';
}

std::string utc_text(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr) return {};
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

}  // namespace orv_tango
