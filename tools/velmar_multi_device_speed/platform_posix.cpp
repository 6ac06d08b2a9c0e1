// POSIX implementation of the benchmark's platform layer.
#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "platform.h"

namespace velmar::platform {

std::optional<std::string> d2xx_library_override() {
    const char *named = std::getenv("ORV_D2XX_LIBRARY");
    if (named == nullptr || named[0] == '\0') return std::nullopt;
    return std::string(named);
}

std::optional<std::string> executable_path() {
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return std::nullopt;
        if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);  // possibly cut: retry with more room
    }
}

bool path_exists(const std::string &path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

LoaderOutcome<ModuleHandle> load_library(const std::string &path) {
    // dlopen reports failures as text only; there is no numeric code.
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return {module, 0};
}

LoaderOutcome<RawFunction> find_function(ModuleHandle module, const char *name) {
    void *address = dlsym(module, name);
    // POSIX guarantees that a data pointer from dlsym converts to a function pointer.
    return {reinterpret_cast<RawFunction>(address), 0};
}

void unload_library(ModuleHandle module) { (void)dlclose(module); }

ClockReading monotonic_now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return {static_cast<std::int64_t>(now.tv_sec), static_cast<std::int64_t>(now.tv_nsec)};
}

void prepare_standard_streams() {
    // EPIPE then reaches the stream's error state, where the report checks it.
    (void)signal(SIGPIPE, SIG_IGN);
}

}  // namespace velmar::platform
