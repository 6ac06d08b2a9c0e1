// Reading the fault list of an instrument.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config.h"

namespace orvsim {

std::vector<FaultSpec> parse_faults(const nlohmann::json &list, const std::string &path,
                                    Protocol protocol);

}  // namespace orvsim
