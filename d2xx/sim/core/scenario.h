// Reading scenarios: JSON text to a validated Scenario.
#pragma once

#include <string>

#include "config.h"
#include "scenario_error.h"

namespace orvsim {

// Parses and validates a scenario; throws ScenarioError with a
// message naming the JSON path of the problem. A capture the scenario
// replays is named relative to `base_folder` (the current folder when empty).
Scenario parse_scenario(const std::string &json_text, const std::string &source,
                        const std::string &base_folder = "");

// Reads a scenario file; throws ScenarioError for unreadable files too, for
// a directory and for anything larger than 16 MiB.
Scenario load_scenario_file(const std::string &path);

// The built-in default scenario.
Scenario default_scenario();

}  // namespace orvsim
