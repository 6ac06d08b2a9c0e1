// The recording provider's operating-system calls on POSIX systems.
#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform.h"

namespace orvrecord::platform {

std::optional<std::string> env_get(const char *name) {
    const char *value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

const char *default_provider_name() { return "libftd2xx.so"; }

void *load_library(const std::string &name, std::string &error) {
    void *library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char *why = dlerror();
        error = why ? why : "cannot be loaded";
    }
    return library;
}

library_function find_function(void *library, const char *name) {
    // POSIX guarantees that dlsym's data pointer converts to a function pointer.
    return reinterpret_cast<library_function>(dlsym(library, name));
}

void unload_library(void *library) { dlclose(library); }

std::string file_of(library_function function) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(function), &info) == 0 || !info.dli_fname) return "";
    return info.dli_fname;
}

const void *module_of(library_function function) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(function), &info) == 0) return nullptr;
    return info.dli_fbase;
}

void keep_loaded() {}

std::FILE *open_capture(const std::string &path, std::string &error) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) error = std::strerror(errno);
    return file;
}

}  // namespace orvrecord::platform
