// Reading the instrument object of a bridge: its model, optics, identity,
// settings and faults.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "config.h"
#include "json_reader.h"

namespace orvsim {

// The instrument's own keys over those of the model it names (`models` is
// the model table by name).
nlohmann::json merge_with_model(const nlohmann::json &instrument, const nlohmann::json &models,
                                const std::string &path);

// A merged instrument object to its configuration; throws ScenarioError.
InstrumentConfig parse_instrument(const nlohmann::json &merged, const std::string &path);

// The optical model: pixels, wavelength table and its order, the lamp, the
// lines and the noise.
OpticalConfig parse_optics(ObjectReader &r);

}  // namespace orvsim
