// The HTTP side of `orv serve`: the live page, the embedded chart library
// and a small JSON interface over the live instruments (described in
// docs/orv-command.md).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "serve/live_instrument.h"

namespace orvcli {

// Who may use the page besides loopback names, and the run's token ("": none).
struct PageAccess {
    std::vector<std::string> extra_hosts;
    std::string token;
};

class PageServer {
public:
    PageServer(std::vector<std::unique_ptr<LiveInstrument>> &instruments, PageAccess access);
    ~PageServer();
    PageServer(const PageServer &) = delete;
    PageServer &operator=(const PageServer &) = delete;

    // Binds to address:port (port 0: any free port) and returns the port; an
    // output Failure when that is not possible.
    int bind(const std::string &address, int port);
    // Serves until stop() is called (from another thread).
    void serve();
    void stop();

private:
    struct Routes;
    std::unique_ptr<Routes> routes_;
};

}  // namespace orvcli
