// cpp-httplib's server with bounds on what one client can take: connections
// served at once (more are closed at once), bytes and time per request, time
// an idle connection is kept. httplib's own socket loop has no total bound on
// a request's size or duration; this one reads through a stream that has.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>

namespace orvcli {

struct ConnectionLimits {
    std::size_t max_connections = 160;        // served at once, a thread each
    std::size_t max_request_bytes = 16384;    // request line, headers and body together
    std::chrono::milliseconds idle{3000};     // waiting for a connection's next request
    std::chrono::milliseconds request{5000};  // reading one request once it began
    std::chrono::milliseconds write{5000};    // writing one answer
    std::size_t requests_per_connection = 100;
};

class GuardedServer : public httplib::Server {
public:
    explicit GuardedServer(const ConnectionLimits &limits);

    // The connection of the request being handled closes after its answer
    // (for a refusal whose body was not read). Called from a handler.
    static void close_after_answer();

private:
    bool process_and_close_socket(socket_t sock) override;

    ConnectionLimits limits_;
};

}  // namespace orvcli
