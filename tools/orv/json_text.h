// JSON as text. Texts from instruments and the D2XX list are not always
// UTF-8; invalid bytes become U+FFFD instead of failing the output.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace orvcli {

inline std::string json_text(const nlohmann::json &json, int indent = -1) {
    return json.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace orvcli
