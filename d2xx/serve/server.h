// orvsim-serve's state and loop: the scenario's bridges on pseudo-terminals,
// the fake sysfs tree that lists them for the tty provider, and one thread
// that sleeps until a request, an opener, a due answer byte or a stop
// signal needs it.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "config.h"
#include "serve_platform.h"
#include "served_bridge.h"
#include "sysfs_tree.h"
#include "transcript.h"

namespace orvserve {

class Server {
public:
    // Builds the tree in `root` (absent or an empty folder) with a tty per
    // bridge. Throws std::runtime_error; whatever was built is removed then.
    Server(const orvsim::Scenario &scenario, const std::filesystem::path &root);
    // Removes the tree; every tty hangs up.
    ~Server();

    // The variables that point the tty provider here.
    std::vector<std::pair<std::string, std::string>> environment() const {
        return tree_.environment();
    }

    // Serves until SIGINT or SIGTERM arrives through `stop`; returns it.
    // With `commands`, also carries out the command lines of standard input
    // (commands.h) until it ends, answering each on standard output.
    int run(platform::StopSignals &stop, bool commands = false);

private:
    void watch_openers();
    void unplug(ServedBridge &bridge);
    void serve_bridge(ServedBridge &bridge, bool readable, bool failed);
    // Reads standard input; false once it has ended or failed.
    bool take_commands();

    orvsim::Transcript transcript_;
    orvtty::tree::SysfsTree tree_;
    platform::OpenWatch openers_;
    std::vector<std::unique_ptr<ServedBridge>> bridges_;
    std::map<int, ServedBridge *> by_watch_;
    CommandLines command_lines_;
};

}  // namespace orvserve
