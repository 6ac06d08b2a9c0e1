// The recording provider's operating-system calls on Windows.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform.h"

namespace orvrecord::platform {
namespace {

std::string last_error_text() { return "Windows error " + std::to_string(GetLastError()); }

}  // namespace

// GetEnvironmentVariable, not getenv: the C runtime keeps its own copy of
// the environment, which a program's later changes may not reach.
std::optional<std::string> env_get(const char *name) {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return std::nullopt;
    std::vector<char> value(size);
    const DWORD length = GetEnvironmentVariableA(name, value.data(), size);
    if (length == 0 || length >= size) return std::nullopt;
    return std::string(value.data(), length);
}

// The system folder's driver by its full path: the bare name would find
// this recorder, which is loaded under the same module name.
const char *default_provider_name() {
    static const std::string path = [] {
        char folder[MAX_PATH];
        const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return std::string("FTD2XX.dll");
        return std::string(folder, length) + "\\FTD2XX.dll";
    }();
    return path.c_str();
}

void *load_library(const std::string &name, std::string &error) {
    HMODULE library = LoadLibraryA(name.c_str());
    if (!library) error = last_error_text();
    return reinterpret_cast<void *>(library);
}

library_function find_function(void *library, const char *name) {
    return reinterpret_cast<library_function>(
        reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name)));
}

void unload_library(void *library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::string file_of(library_function function) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(reinterpret_cast<void *>(function)), &module))
        return "";
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "";
    return std::string(path, length);
}

const void *module_of(library_function function) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(reinterpret_cast<void *>(function)), &module))
        return nullptr;
    return module;
}

void keep_loaded() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(reinterpret_cast<void *>(&keep_loaded)), &self);
}

std::FILE *open_capture(const std::string &path, std::string &error) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) error = "cannot be created";
    return file;
}

}  // namespace orvrecord::platform
