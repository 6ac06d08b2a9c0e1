// One line of the simulated provider's transcript (ORVSIM_TRANSCRIPT):
// "<ms> <call> status=<s> [key=value ...]".
#pragma once

#include <map>
#include <sstream>
#include <string>

namespace orvtest {

struct TranscriptLine {
    std::string call;
    std::map<std::string, std::string> fields;
};

inline TranscriptLine parse_transcript_line(const std::string &line) {
    std::istringstream words(line);
    std::string time;
    TranscriptLine parsed;
    words >> time >> parsed.call;
    for (std::string field; words >> field;) {
        const auto equals = field.find('=');
        if (equals != std::string::npos)
            parsed.fields[field.substr(0, equals)] = field.substr(equals + 1);
    }
    return parsed;
}

}  // namespace orvtest
