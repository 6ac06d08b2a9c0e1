// Who may use the live page of `orv serve`: the Host a request names, the
// origin it comes from and the run's secret token (docs/orv-command.md,
// "Who can reach the live page"). Plain functions of the request's texts, so
// they are tested without a server.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvcli {

// How many random bytes a run's token has (it is written as hex).
inline constexpr std::size_t kTokenBytes = 24;

struct AccessPolicy {
    std::vector<std::string> hosts;  // accepted Host values, lower case, with port
    std::string token;               // "" with --no-token
    std::string cookie_name;         // the cookie that carries the token
};

// The policy of a server on bind_address:port, with the names of --allow-host.
AccessPolicy make_access_policy(const std::string &bind_address, int port,
                                const std::vector<std::string> &extra_hosts, std::string token);

// 127.0.0.0/8, ::1 and localhost.
bool is_loopback_address(const std::string &address);

// What the checks look at; absent headers are "".
struct RequestFacts {
    std::string method;
    std::string host;
    std::string origin;
    std::string sec_fetch_site;
    std::string referer;
    std::string content_type;
    std::string cookie;         // the whole Cookie header
    std::string authorization;  // the whole Authorization header
    std::string token_param;    // ?token=
};

// status 0: allowed; else the HTTP status and the one-line reason.
struct AccessDecision {
    int status = 0;
    std::string reason;
};

// In this order: the Host (421), the origin of anything that is not a GET or
// HEAD and of every request that names a foreign Origin (403), a JSON body for
// every change (415), the token (401 without one, 403 with a wrong one).
AccessDecision check_access(const AccessPolicy &policy, const RequestFacts &request);

// Whether `offered` is the token, in a time that does not depend on where
// they differ.
bool token_matches(std::string_view token, std::string_view offered);

// A new token from the system's random source (hex); a Failure when the source fails.
std::string new_token();

// The token of --token-file: the file's first line, 16 to 256 characters of
// A-Z a-z 0-9 . _ ~ -; a usage Failure for anything else.
std::string read_token_file(const std::string &path);

// The value of cookie `name` in a Cookie header, "" when absent.
std::string cookie_value(std::string_view header, std::string_view name);

}  // namespace orvcli
