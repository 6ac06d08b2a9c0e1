#include "provider_control.h"

#include <cstdlib>

#include "env.h"
#include "paths.h"
#include "program_runs.h"

namespace hardening {

ProviderControl::ProviderControl() {
    auto opened =
        velmar::SystemLibrary::open(velmar::join_path(bin_directory(), driver_file_name()));
    if (opened) module_ = std::move(opened.value());
}

int ProviderControl::load_scenario_file(const std::string &path) const {
    if (!module_) return -1;
    auto load = module_->function<int (*)(const char *)>("orvsim_load_scenario_file");
    return load ? load.value()(path.c_str()) : -1;
}

int ProviderControl::open_handles() const {
    if (!module_) return -1;
    auto count = module_->function<int (*)()>("orvsim_open_handle_count");
    return count ? count.value()() : -1;
}

int loaded_provider_modules() {
    const std::string value = orvtest::get_env("ORVSIM_LOADED_MODULES");
    return value.empty() ? 0 : std::atoi(value.c_str());
}

}  // namespace hardening
