// The OS calls of the device server (Linux only, like the server).
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "provider_choice.h"

namespace orv_tango {

namespace {
constexpr const char *PROVIDER_VARIABLE = "ORV_D2XX_LIBRARY";
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

}  // namespace orv_tango
