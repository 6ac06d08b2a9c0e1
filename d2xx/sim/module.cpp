// Counts the loaded copies of the provider in the process environment
// (ORVSIM_LOADED_MODULES), where the count outlives an unloaded module, so a
// test can tell whether a program released the provider it loaded.
#include <cstdlib>
#include <string>

#include "platform.h"

namespace {

void add_to_count(int delta) {
    auto value = orvsim::platform::env_get("ORVSIM_LOADED_MODULES");
    int count = value ? std::atoi(value->c_str()) : 0;
    orvsim::platform::env_set("ORVSIM_LOADED_MODULES", std::to_string(count + delta));
}

struct ModuleCounter {
    ModuleCounter() { add_to_count(+1); }
    ~ModuleCounter() { add_to_count(-1); }
};

const ModuleCounter counter;

}  // namespace
