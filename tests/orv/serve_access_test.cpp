// Who may use the live page: Host, origin, content type and token checks of
// serve_access.h, one table per check.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "failure.h"
#include "serve/serve_access.h"

namespace orvcli {
namespace {

const std::string kToken = "0123456789abcdef0123456789abcdef";

AccessPolicy loopback_policy() { return make_access_policy("127.0.0.1", 8642, {}, kToken); }

RequestFacts get(const std::string &host, const std::string &cookie = "orv_token_8642=" + kToken) {
    RequestFacts request;
    request.method = "GET";
    request.host = host;
    request.cookie = cookie;
    return request;
}

RequestFacts post(const std::string &content_type = "application/json") {
    RequestFacts request = get("127.0.0.1:8642");
    request.method = "POST";
    request.content_type = content_type;
    return request;
}

TEST(ServeAccess, HostMustBeALoopbackNameTheBoundAddressOrAnAllowedOneWithThePort) {
    const AccessPolicy loopback = loopback_policy();
    for (const char *host : {"127.0.0.1:8642", "localhost:8642", "LocalHost:8642", "[::1]:8642"})
        EXPECT_EQ(check_access(loopback, get(host)).status, 0) << host;
    for (const char *host : {"evil.example:8642", "evil.example", "127.0.0.1", "127.0.0.1:80",
                             "localhost:86420", "", "127.0.0.1:8642.evil.example"})
        EXPECT_EQ(check_access(loopback, get(host)).status, 421) << host;

    const AccessPolicy lan = make_access_policy("0.0.0.0", 8642, {"Lab-PC"}, kToken);
    EXPECT_EQ(check_access(lan, get("lab-pc:8642")).status, 0);
    EXPECT_EQ(check_access(lan, get("0.0.0.0:8642")).status, 421);
    EXPECT_EQ(check_access(lan, get("192.168.1.5:8642")).status, 421);
    const AccessPolicy bound = make_access_policy("192.168.1.5", 80, {}, kToken);
    EXPECT_EQ(check_access(bound, get("192.168.1.5", "orv_token_80=" + kToken)).status, 0);
    const AccessPolicy six = make_access_policy("::1", 9000, {}, kToken);
    EXPECT_EQ(check_access(six, get("[::1]:9000", "orv_token_9000=" + kToken)).status, 0);
}

TEST(ServeAccess, ChangesComeOnlyFromThePagesOwnOriginAsJson) {
    const AccessPolicy policy = loopback_policy();
    struct Case {
        const char *origin, *fetch_site, *referer;
        int status;
    };
    for (const Case &row :
         {Case{"http://127.0.0.1:8642", "", "", 0},
          Case{"", "", "", 0},  // no browser: the token decides
          Case{"http://evil.example", "", "", 403}, Case{"http://127.0.0.1:8643", "", "", 403},
          Case{"null", "", "", 403}, Case{"", "cross-site", "", 403},
          Case{"", "same-site", "", 403}, Case{"", "same-origin", "", 0},
          Case{"", "", "http://evil.example/x", 403},
          Case{"", "", "http://127.0.0.1:8642.evil.example/", 403},
          Case{"", "", "http://127.0.0.1:8642/", 0}}) {
        RequestFacts request = post();
        request.origin = row.origin;
        request.sec_fetch_site = row.fetch_site;
        request.referer = row.referer;
        EXPECT_EQ(check_access(policy, request).status, row.status)
            << row.origin << " " << row.fetch_site << " " << row.referer;
    }
    // What a plain form can send is never a change.
    for (const char *type :
         {"application/x-www-form-urlencoded", "multipart/form-data; boundary=x", "text/plain", ""})
        EXPECT_EQ(check_access(policy, post(type)).status, 415) << type;
    EXPECT_EQ(check_access(policy, post("Application/JSON; charset=utf-8")).status, 0);
    // A read from a foreign origin is refused too; one without Origin is not.
    RequestFacts read = get("127.0.0.1:8642");
    EXPECT_EQ(check_access(policy, read).status, 0);
    read.origin = "http://evil.example";
    EXPECT_EQ(check_access(policy, read).status, 403);
}

TEST(ServeAccess, EveryRequestNeedsTheTokenFromCookieHeaderOrAddress) {
    const AccessPolicy policy = loopback_policy();
    struct Case {
        std::string cookie, authorization, param;
        int status;
    };
    for (const Case &row : {
             Case{"orv_token_8642=" + kToken, "", "", 0},
             Case{"a=b; orv_token_8642=" + kToken + "; c=d", "", "", 0},
             Case{"", "Bearer " + kToken, "", 0},
             Case{"", "bearer  " + kToken + " ", "", 0},
             Case{"", "", kToken, 0},
             Case{"", "", "", 401},
             Case{"orv_token_8643=" + kToken, "", "", 401},  // another run's port
             Case{"orv_token_8642=" + kToken.substr(1), "", "", 403},
             Case{"orv_token_8642=" + kToken + "0", "", "", 403},
             Case{"", "Basic " + kToken, "", 401},
             Case{"", "", "1123456789abcdef0123456789abcdef", 403},
         }) {
        RequestFacts request = get("127.0.0.1:8642", row.cookie);
        request.authorization = row.authorization;
        request.token_param = row.param;
        EXPECT_EQ(check_access(policy, request).status, row.status)
            << row.cookie << "|" << row.authorization << "|" << row.param;
    }
    const AccessPolicy open = make_access_policy("127.0.0.1", 8642, {}, "");
    EXPECT_EQ(check_access(open, get("127.0.0.1:8642", "")).status, 0);
    EXPECT_EQ(check_access(open, get("evil.example:8642", "")).status, 421);
}

TEST(ServeAccess, TokensCompareWholeAndNewOnesAreRandomHex) {
    EXPECT_TRUE(token_matches(kToken, kToken));
    EXPECT_FALSE(token_matches(kToken, ""));
    EXPECT_FALSE(token_matches("", ""));
    EXPECT_FALSE(token_matches(kToken, kToken + kToken));
    std::string last = kToken;
    last.back() = 'e';
    EXPECT_FALSE(token_matches(kToken, last));

    const std::string first = new_token();
    EXPECT_EQ(first.size(), 2 * kTokenBytes);
    EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(first, new_token());
}

TEST(ServeAccess, TokenFileGivesItsFirstLineOrAUsageFailure) {
    const std::string path = ::testing::TempDir() + "orv_token_file.txt";
    const auto written = [&](const std::string &text) {
        std::ofstream(path, std::ios::binary) << text;
        return path;
    };
    EXPECT_EQ(read_token_file(written(kToken + "\r\nsecond line")), kToken);
    EXPECT_EQ(read_token_file(written("A-z_0.9~" + kToken)), "A-z_0.9~" + kToken);
    for (const std::string &bad : {std::string("short"), kToken + " space", "<" + kToken + ">",
                                   std::string(257, 'a'), std::string()}) {
        try {
            read_token_file(written(bad));
            ADD_FAILURE() << "accepted: " << bad;
        } catch (const Failure &failure) {
            EXPECT_EQ(failure.status(), ExitStatus::usage);
            EXPECT_EQ(std::string(failure.what()).find(bad.empty() ? "\x01" : bad),
                      std::string::npos);  // the message never repeats the file's text
        }
    }
    std::remove(path.c_str());
    EXPECT_THROW(read_token_file(path), Failure);
}

TEST(ServeAccess, CookieValuesAreFoundByExactName) {
    EXPECT_EQ(cookie_value("a=1; orv_token_1=x; b=2", "orv_token_1"), "x");
    EXPECT_EQ(cookie_value("xorv_token_1=y;orv_token_1 = z", "orv_token_1"), "z");
    EXPECT_EQ(cookie_value("orv_token_10=y", "orv_token_1"), "");
    EXPECT_EQ(cookie_value("", "orv_token_1"), "");
    EXPECT_EQ(cookie_value(";;=;", "orv_token_1"), "");
}

}  // namespace
}  // namespace orvcli
