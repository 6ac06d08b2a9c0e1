// POSIX implementation of the platform layer.
#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

namespace orv::platform {

double monotonic_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void sleep_ms(unsigned ms) {
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    timespec rem{};
    while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

bool env_exists(const char *name) { return std::getenv(name) != nullptr; }

std::optional<std::string> env_value(const char *name) {
    const char *value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

namespace {

// The folder liborv itself was loaded from, with a trailing '/', or "".
std::string own_folder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&own_folder), &info) == 0 || info.dli_fname == nullptr)
        return {};
    const std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

library_handle load_library(const char *file, std::string &why) {
    // RTLD_LOCAL: the provider's symbols serve liborv only, never the program.
    void *library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *reason = dlerror();
        why = reason != nullptr ? reason : "the loader gave no reason";
        // A bare name is searched with liborv's RUNPATH ($ORIGIN) as well. A
        // program whose dlopen is intercepted (sanitizer runtimes) makes the
        // interceptor the caller, and liborv's RUNPATH is then not searched:
        // liborv's own folder is tried as that RUNPATH would have been.
        if (std::strchr(file, '/') == nullptr) {
            const std::string folder = own_folder();
            if (!folder.empty()) library = dlopen((folder + file).c_str(), RTLD_NOW | RTLD_LOCAL);
        }
    }
    return library;
}

library_function find_function(library_handle library, const char *name) {
    // POSIX guarantees that dlsym's data pointer converts to a function pointer.
    return reinterpret_cast<library_function>(dlsym(library, name));
}

std::string file_of_function(library_function function) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(function), &info) == 0 || info.dli_fname == nullptr)
        return {};
    return info.dli_fname;
}

void unload_library(library_handle library) { (void)dlclose(library); }

}  // namespace orv::platform
