// The HTTP side of `orv serve`: the live page, the embedded chart library
// and a small JSON interface over the live instruments (described in
// docs/orv-command.md).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "live_instrument.h"

namespace orvcli {

class PageServer {
public:
    explicit PageServer(std::vector<std::unique_ptr<LiveInstrument>> &instruments);
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
