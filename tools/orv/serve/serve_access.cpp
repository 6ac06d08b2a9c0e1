#include "serve/serve_access.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <fstream>

#include "failure.h"
#include "platform.h"

namespace orvcli {
namespace {

constexpr std::size_t kMinTokenLength = 16;
constexpr std::size_t kMaxTokenLength = 256;

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool token_character(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '~' || c == '-';
}

// The token a request offers: the cookie, else "Authorization: Bearer", else ?token=.
std::string offered_token(const AccessPolicy &policy, const RequestFacts &request) {
    std::string cookie = cookie_value(request.cookie, policy.cookie_name);
    if (!cookie.empty()) return cookie;
    const std::string_view authorization = trim(request.authorization);
    constexpr std::string_view kBearer = "bearer ";
    if (authorization.size() > kBearer.size() &&
        lower(authorization.substr(0, kBearer.size())) == kBearer)
        return std::string(trim(authorization.substr(kBearer.size())));
    return request.token_param;
}

bool changes_something(const std::string &method) { return method != "GET" && method != "HEAD"; }

}  // namespace

bool is_loopback_address(const std::string &address) {
    const std::string name = lower(address);
    return name == "localhost" || name == "::1" || name == "[::1]" || name.rfind("127.", 0) == 0;
}

AccessPolicy make_access_policy(const std::string &bind_address, int port,
                                const std::vector<std::string> &extra_hosts, std::string token) {
    std::vector<std::string> names = {"localhost", "127.0.0.1", "[::1]"};
    const std::string bound = lower(bind_address);
    // A wildcard address is no name a client can use; --allow-host names those.
    if (bound != "0.0.0.0" && bound != "::" && bound != "[::]")
        names.push_back(bound.find(':') != std::string::npos && bound.front() != '['
                            ? "[" + bound + "]"
                            : bound);
    for (const std::string &extra : extra_hosts) names.push_back(lower(extra));
    AccessPolicy policy;
    for (const std::string &name : names) {
        policy.hosts.push_back(fmt::format("{}:{}", name, port));
        if (port == 80) policy.hosts.push_back(name);
    }
    policy.token = std::move(token);
    policy.cookie_name = fmt::format("orv_token_{}", port);
    return policy;
}

AccessDecision check_access(const AccessPolicy &policy, const RequestFacts &request) {
    const std::string host = lower(request.host);
    if (std::find(policy.hosts.begin(), policy.hosts.end(), host) == policy.hosts.end())
        return {421, "this server does not answer for that host name"};
    const std::string own_origin = "http://" + host;
    if (!request.origin.empty() && lower(request.origin) != own_origin)
        return {403, "requests from other origins are refused"};
    if (changes_something(request.method) && request.origin.empty()) {
        // Browsers that send no Origin still say where a request comes from.
        if (!request.sec_fetch_site.empty() && lower(request.sec_fetch_site) != "same-origin")
            return {403, "requests from other origins are refused"};
        if (!request.referer.empty() && lower(request.referer).rfind(own_origin + "/", 0) != 0)
            return {403, "requests from other origins are refused"};
    }
    if (changes_something(request.method)) {
        const std::string type =
            lower(request.content_type.substr(0, request.content_type.find(';')));
        if (trim(type) != "application/json") return {415, "changes take a JSON body"};
    }
    if (policy.token.empty()) return {};
    const std::string offered = offered_token(policy, request);
    if (offered.empty())
        return {401, "the token is missing: open the address orv serve printed at its start"};
    if (!token_matches(policy.token, offered)) return {403, "wrong token"};
    return {};
}

bool token_matches(std::string_view token, std::string_view offered) {
    // Every byte of the offered text is looked at whatever the token is, and
    // the difference is gathered without an early exit.
    unsigned difference = token.size() == offered.size() ? 0u : 1u;
    for (std::size_t i = 0; i < offered.size(); ++i) {
        const unsigned char expected =
            token.empty() ? 0 : static_cast<unsigned char>(token[i % token.size()]);
        difference |= expected ^ static_cast<unsigned char>(offered[i]);
    }
    return difference == 0 && !token.empty();
}

std::string new_token() {
    std::array<unsigned char, kTokenBytes> bytes{};
    if (!platform::random_bytes(bytes.data(), bytes.size()))
        throw Failure(ExitStatus::output, "serve: the system's random source failed");
    std::string token;
    for (unsigned char byte : bytes) token += fmt::format("{:02x}", byte);
    return token;
}

std::string read_token_file(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw Failure(ExitStatus::usage, fmt::format("--token-file {}: cannot be read", path));
    // At most one line of the longest token and its line end is looked at.
    std::string text(kMaxTokenLength + 3, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    const std::string token(text.substr(0, text.find_first_of("\r\n")));
    const bool valid = token.size() >= kMinTokenLength && token.size() <= kMaxTokenLength &&
                       std::all_of(token.begin(), token.end(), token_character);
    if (!valid)
        throw Failure(ExitStatus::usage,
                      fmt::format("--token-file {}: the first line must be {} to {} characters "
                                  "of A-Z a-z 0-9 . _ ~ -",
                                  path, kMinTokenLength, kMaxTokenLength));
    return token;
}

std::string cookie_value(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const auto end = header.find(';');
        const std::string_view pair = trim(header.substr(0, end));
        const auto equals = pair.find('=');
        if (equals != std::string_view::npos && trim(pair.substr(0, equals)) == name)
            return std::string(trim(pair.substr(equals + 1)));
        if (end == std::string_view::npos) break;
        header.remove_prefix(end + 1);
    }
    return {};
}

}  // namespace orvcli
