#include "header_declarations.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace orvtest {
namespace {

std::string header_text() {
    std::ifstream in(ORV_HEADER_PATH);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::vector<std::pair<std::string, int>> header_result_codes() {
    static const std::regex define(R"(#define (ORV_OK|ORV_ERR_\w+) +\(?(-?\d+)\)?)");
    std::vector<std::pair<std::string, int>> codes;
    const std::string text = header_text();
    for (std::sregex_iterator m(text.begin(), text.end(), define), end; m != end; ++m)
        codes.emplace_back((*m)[1].str(), std::stoi((*m)[2].str()));
    return codes;
}

std::vector<std::string> header_twin_names() {
    static const std::regex twin(R"(ORV_API int orv_device_(\w+)\(orv_device \*device)");
    std::vector<std::string> names;
    const std::string text = header_text();
    for (std::sregex_iterator m(text.begin(), text.end(), twin), end; m != end; ++m)
        names.push_back((*m)[1].str());
    return names;
}

}  // namespace orvtest
