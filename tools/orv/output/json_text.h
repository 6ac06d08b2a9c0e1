// JSON as text. Texts from instruments and the D2XX list are not always
// UTF-8; invalid bytes become U+FFFD instead of failing the output.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "device/spectrum.h"

namespace orvcli {

// Settings and an instrument (identity and settings) as every JSON document
// of orv shows them (defined in json_format.cpp).
nlohmann::json settings_json(const AcquisitionSettings &settings);
nlohmann::json source_json(const SeriesSource &source);

inline std::string json_text(const nlohmann::json &json, int indent = -1) {
    return json.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace orvcli
