// Text and JSON forms of what list, info and get print: a table with a
// header row, and reports of named values where a value the instrument does
// not have is shown as such ("not supported", JSON null).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "commands/parameters.h"

namespace orvcli {

enum class ReportFormat { text, json };
ReportFormat parse_report_format(const std::string &text);

// Columns padded to their widest cell; control characters become spaces.
std::string render_table(const std::vector<std::vector<std::string>> &rows);

struct ReportField {
    std::string key;                      // "hardware version"
    std::optional<ParameterValue> value;  // nothing: not supported
};
using Report = std::vector<ReportField>;

// "key  value" lines; `unsupported` stands for a missing value.
std::string report_text(const Report &report, const std::string &unsupported);
// An object: keys with '_' for spaces, null for a missing value.
nlohmann::json report_json(const Report &report);

}  // namespace orvcli
