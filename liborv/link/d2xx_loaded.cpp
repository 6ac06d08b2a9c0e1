// The D2XX calls of a provider loaded at run time (see d2xx_calls.h).
//
// The provider is loaded at the first D2XX call: the library ORV_D2XX_LIBRARY
// names when it is set and not empty, else libftd2xx.so through the loader's
// search. A provider must have all eleven calls. A successful load is kept
// for the life of the process (handles and the table point into it); a failed
// one is tried again at the next D2XX call, so a variable set or a driver
// installed later works without a restart. ORV_DEBUG (anything but empty or
// "0") reports on stderr which library was loaded, or why none could be.
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "link/d2xx_calls.h"
#include "platform/platform.h"

namespace {

namespace platform = orv::platform;

constexpr const char *LIBRARY_VARIABLE = "ORV_D2XX_LIBRARY";
constexpr const char *DEBUG_VARIABLE = "ORV_DEBUG";
constexpr const char *DEFAULT_LIBRARY = "libftd2xx.so";

// Every call while there is no provider: a driver that finds no device.
template <class Call>
struct without_provider;
template <class... Args>
struct without_provider<FT_STATUS (*)(Args...)> {
    static FT_STATUS call(Args...) { return FT_DEVICE_NOT_FOUND; }
};

#define ORV_D2XX_REFUSED(name) &without_provider<decltype(&::name)>::call,
const d2xx_calls NO_PROVIDER{ORV_D2XX_CALLS(ORV_D2XX_REFUSED)};
#undef ORV_D2XX_REFUSED

std::mutex g_load_lock;                             // held by a load attempt
d2xx_calls g_table{};                               // written under the lock before it is published
std::atomic<const d2xx_calls *> g_loaded{nullptr};  // &g_table once a load succeeded
std::string g_reported_failure;                     // the last failure told (under the lock)
std::string g_last_failure;                         // why the last load failed (under the lock)
std::string g_loaded_file;  // the provider's file, written before publishing

bool debugging() {
    const auto value = platform::env_value(DEBUG_VARIABLE);
    return value && !value->empty() && *value != "0";
}

// Fills `table` from `library`; the name of the first call it lacks, or null.
const char *resolve(platform::library_handle library, d2xx_calls &table) {
#define ORV_D2XX_RESOLVE(name)                                                                    \
    table.name = reinterpret_cast<decltype(table.name)>(platform::find_function(library, #name)); \
    if (table.name == nullptr) return #name;
    ORV_D2XX_CALLS(ORV_D2XX_RESOLVE)
#undef ORV_D2XX_RESOLVE
    return nullptr;
}

// Loads the provider into g_table and its file name into g_loaded_file.
// `report` says which library that is, or why there is none.
bool load_provider(std::string &report) {
    const auto named = platform::env_value(LIBRARY_VARIABLE);
    const bool by_variable = named && !named->empty();
    const std::string file = by_variable ? *named : DEFAULT_LIBRARY;
    const std::string origin =
        by_variable ? std::string("named by ") + LIBRARY_VARIABLE : "the loader's search";
    std::string why;
    platform::library_handle library = platform::load_library(file.c_str(), why);
    if (library == nullptr) {
        report = "cannot load " + file + " (" + origin + "): " + why;
        return false;
    }
    if (const char *missing = resolve(library, g_table)) {
        platform::unload_library(library);
        report = file + " (" + origin + ") is not a D2XX provider: it lacks " + missing;
        return false;
    }
    const std::string loaded =
        platform::file_of_function(reinterpret_cast<platform::library_function>(g_table.FT_Open));
    g_loaded_file = loaded.empty() ? file : loaded;
    report = g_loaded_file + " (" + origin + ")";
    return true;
}

// The debug line of a load attempt; a failure only when it differs from the
// last one, so that retries do not repeat it.
void tell(bool loaded, const std::string &report) {
    if (!debugging()) return;
    if (loaded) {
        std::fprintf(stderr, "orv: D2XX provider %s\n", report.c_str());
    } else if (report != g_reported_failure) {
        std::fprintf(stderr,
                     "orv: no D2XX provider: %s; no device is listed and opening fails until one "
                     "loads\n",
                     report.c_str());
        g_reported_failure = report;
    }
}

}  // namespace

const d2xx_calls &d2xx() noexcept {
    if (const d2xx_calls *calls = g_loaded.load(std::memory_order_acquire)) return *calls;
    try {
        std::lock_guard<std::mutex> hold(g_load_lock);
        // Another thread may have loaded it while this one waited.
        if (const d2xx_calls *calls = g_loaded.load(std::memory_order_relaxed)) return *calls;
        std::string report;
        const bool loaded = load_provider(report);
        tell(loaded, report);
        if (!loaded) {
            g_last_failure = report;
            return NO_PROVIDER;
        }
        g_loaded.store(&g_table, std::memory_order_release);
        return g_table;
    } catch (...) {
        // A lock or the memory for a file name that cannot be had: no provider this time.
        return NO_PROVIDER;
    }
}

bool d2xx_provider(std::string &text) noexcept {
    try {
        if (&d2xx() == &NO_PROVIDER) {
            std::lock_guard<std::mutex> hold(g_load_lock);
            if (g_loaded.load(std::memory_order_acquire) == nullptr) {
                text = g_last_failure;
                return false;
            }
        }
        text = g_loaded_file;  // written once, before the table was published
        return true;
    } catch (...) {
        text.clear();  // no memory for the text: the caller says so
        return false;
    }
}
