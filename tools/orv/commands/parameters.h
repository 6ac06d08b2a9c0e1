// The settings `orv get` and `orv set` know, one table: name, what a value
// looks like, how to read it and how to send a checked value. Values are
// parsed and checked completely before an instrument is opened.
#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/instrument.h"

namespace orvcli {

struct ParameterValue {
    std::string text;     // "10 ms", "100,200"
    nlohmann::json json;  // microseconds for durations, numbers, arrays of numbers
};

// Sends a value that was checked already.
using ParameterSetter = std::function<void(const Instrument &)>;

struct Parameter {
    std::string name;     // "integration", "stored-average"
    std::string summary;  // one line for --help
    std::string syntax;   // "DURATION (10ms, 250us, 1.5s)", "1..255"
    // The value; nothing when the instrument's protocol has no such setting.
    std::function<std::optional<ParameterValue>(const Instrument &)> get;
    // Parses and checks a value (usage Failure) and returns what sends it.
    std::function<ParameterSetter(std::string_view value)> prepare;
};

// Every parameter, live settings first, then the stored defaults.
const std::vector<Parameter> &parameters();

// The parameter of that name; a usage Failure listing the names otherwise.
const Parameter &find_parameter(std::string_view name);

}  // namespace orvcli
