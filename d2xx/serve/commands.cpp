#include "commands.h"

#include <sstream>
#include <vector>

namespace orvserve {

std::string run_command(const std::string &line, size_t bridges, const SetLightPath &set) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty()) return "error: empty command";
    if (words[0] != "light") return "error: unknown command \"" + words[0] + "\" (known: light)";
    if (words.size() != 4) return "error: usage: light BRIDGE on|off blank|sample";
    const std::string &number = words[1];
    if (number.empty() || number.size() > 6 ||
        number.find_first_not_of("0123456789") != std::string::npos)
        return "error: bridge \"" + number + "\" is not a bridge number";
    const size_t bridge = std::stoul(number);
    if (bridge >= bridges)
        return "error: no bridge " + number + " (the scenario has " + std::to_string(bridges) + ")";
    if (words[2] != "on" && words[2] != "off") return "error: the lamp is on or off";
    if (words[3] != "blank" && words[3] != "sample") return "error: the holder is blank or sample";
    const orvsim::LightPath path{words[2] == "on", words[3] == "sample"};
    if (!set(bridge, path))
        return "error: bridge " + number + " has no " +
               (path.sample_in ? "sample in its scenario or no " : "") + "simulated instrument";
    return "ok light " + number + " " + words[2] + " " + words[3];
}

void CommandLines::add(const char *data, size_t len,
                       const std::function<void(const std::string &, bool)> &take) {
    for (size_t i = 0; i < len; ++i) {
        const char c = data[i];
        if (c == '\n') {
            if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
            take(partial_, overlong_);
            partial_.clear();
            overlong_ = false;
        } else if (partial_.size() < kMaxCommandLine) {
            partial_ += c;
        } else {
            overlong_ = true;
        }
    }
}

}  // namespace orvserve
