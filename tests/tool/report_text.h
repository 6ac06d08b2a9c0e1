// Helpers for comparing benchmark reports whose timing figures vary.
#pragma once

#include <regex>
#include <string>

namespace report_text {

// Replaces the three timing figures of every case line by "#", after checking
// that each has the two-decimal form; a malformed figure is left visible.
inline std::string mask_timings(const std::string &report) {
    static const std::regex timings(R"(avg_ms=\d+\.\d\d min_ms=\d+\.\d\d max_ms=\d+\.\d\d\n)");
    return std::regex_replace(report, timings, "avg_ms=# min_ms=# max_ms=#\n");
}

}  // namespace report_text
