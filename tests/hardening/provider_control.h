// The simulated provider's control interface, reached through a module
// handle of the test's own, so that the test need not link the provider:
// the provider is loaded by liborv (and the scan), and a test can watch it
// being unloaded again.
#pragma once

#include <memory>
#include <string>

#include "sdk.h"

namespace hardening {

class ProviderControl {
public:
    ProviderControl();  // loads the provider of the bin folder (one more reference)
    int load_scenario_file(const std::string &path) const;
    int open_handles() const;

private:
    std::unique_ptr<velmar::SystemLibrary> module_;
};

// Copies of the provider loaded in this process, as the provider keeps
// count in the process environment (0 when none was ever loaded).
int loaded_provider_modules();

}  // namespace hardening
