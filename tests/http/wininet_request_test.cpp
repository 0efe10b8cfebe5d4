#include "wininet/wininet_request.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/http/engine_test_support.h"

namespace melodrin {
namespace {

using testing::RecordedRequest;
using testing::as_string;
using testing::last_request_to;
using testing::server;

const std::string kAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

class WinInetRequest : public ::testing::Test {
 protected:
  void SetUp() override { server().clear_requests(); }
};

// The download handler's call: url only.
TEST_F(WinInetRequest, DefaultCallSendsExactlyTheDefaultBlock) {
  testing::DeadProxyEnvironment proxies;
  for (const bool https : {false, true}) {
    SCOPED_TRACE(https ? "https" : "http");
    server().clear_requests();
    const std::string url = https ? server().https_url("/echo") : server().http_url("/echo");
    WinInetOutcome outcome;
    const Bytes body = wininet_request({.url = url, .outcome = &outcome});
    const RecordedRequest request = last_request_to("/echo");
    const std::string authority = https ? server().https_authority() : server().http_authority();
    const std::string block = "Host: " + authority + "\r\nUser-Agent: " + kAgent +
                              "\r\nAccept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn";
    EXPECT_EQ(request.request_line, "GET /echo HTTP/1.1");
    EXPECT_EQ(request.header_block, block);
    EXPECT_EQ(as_string(body), "GET /echo HTTP/1.1\r\n" + block + "\r\n\r\n");
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(outcome.status, 200);
    EXPECT_EQ(outcome.error_text, "");
  }
}

TEST_F(WinInetRequest, MethodsBodiesAndPostBytesWrittenBack) {
  struct Case {
    int method;
    const char* post_text;
    const char* verb;
    const char* body;
    const char* content_type;
    const char* post_bytes_after;
  };
  static const Case kCases[] = {
      {0, "a=1", "GET", "", "", ""},  // method 0 passes no body at all
      {-1, "a=1", "GET", "", "", ""},
      {9, "a=1", "GET", "", "", ""},
      {1, "a=1", "POST", "a=1", "application/x-www-form-urlencoded", "a=1"},
      {2, "", "HEAD", "", "", ""},
      {3, "p", "PUT", "p", "", "p"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.method);
    server().clear_requests();
    Bytes post_bytes;
    wininet_request({.url = server().http_url("/echo"), .method = c.method, .post_text = c.post_text,
                     .post_bytes = &post_bytes});
    const RecordedRequest request = last_request_to("/echo");
    EXPECT_EQ(request.method, c.verb);
    EXPECT_EQ(request.body, c.body);
    EXPECT_EQ(request.header("Content-Type"), c.content_type);
    EXPECT_EQ(request.has_header("Content-Type"), *c.content_type != '\0');
    EXPECT_FALSE(request.has_header("Expect"));
    EXPECT_EQ(as_string(post_bytes), c.post_bytes_after);
  }
}

TEST_F(WinInetRequest, AgentAndDefaultLinesFollowTheCallersHeaders) {
  const std::string url = server().http_url("/echo");
  struct Case {
    const char* headers;
    bool normalize;
    std::string block;  // after Host
  };
  const Case kCases[] = {
      {"user-agent:  Mine/1.0  ", true,
       "User-Agent:  Mine/1.0  \r\nAccept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn"},
      // "User-Agent:" inside a value still names the agent.
      {"X-Note: User-Agent: inner", true,
       "User-Agent: inner\r\nX-Note: User-Agent: inner\r\nAccept: */*\r\nReferer: " + url +
           "\r\nAccept-Language: zh-cn"},
      {"accept-language: en", false,
       "User-Agent: " + kAgent + "\r\naccept-language: en\r\nAccept: */*\r\nReferer: " + url},
      {"X-Accept: a\r\nreferer: http://page/", true,
       "User-Agent: " + kAgent + "\r\nX-Accept: a\r\nReferer: http://page/\r\nAccept-Language: zh-cn"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.headers);
    server().clear_requests();
    wininet_request({.url = url, .headers = c.headers, .normalize_headers = c.normalize});
    EXPECT_EQ(last_request_to("/echo").header_block, "Host: " + server().http_authority() + "\r\n" + c.block);
  }
  server().clear_requests();
  wininet_request({.url = url, .complete_headers = false});
  EXPECT_EQ(last_request_to("/echo").header_block,
            "Host: " + server().http_authority() + "\r\nUser-Agent: " + kAgent);
}

TEST_F(WinInetRequest, CookiesSentCollectedAndMerged) {
  struct Case {
    const char* name;
    bool supplied;
    const char* cookies;
    bool merge;
    const char* sent;
    const char* cookies_after;
    const char* returned_after;
  };
  static const Case kCases[] = {
      {"left out", false, "", true, "", "", "sid=abc; b=2"},
      {"supplied empty", true, "", true, "", "sid=abc; b=2", "sid=abc; b=2"},
      {"pairs", true, "b=1; x=9", true, "b=1; x=9", "sid=abc; b=2; x=9", "sid=abc; b=2; x=9"},
      {"cookie line", true, "Cookie: x=9", false, "x=9", "Cookie: x=9", "sid=abc; b=2"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    server().clear_requests();
    Text cookies = c.cookies;
    Text returned = "replaced, not appended to";
    wininet_request({.url = server().http_url("/cookies"), .cookies = c.supplied ? &cookies : nullptr,
                     .returned_cookies = &returned, .merge_cookies = c.merge});
    const RecordedRequest request = last_request_to("/cookies");
    EXPECT_EQ(request.header("Cookie"), c.sent);
    EXPECT_EQ(request.has_header("Cookie"), *c.sent != '\0');
    EXPECT_EQ(cookies, c.cookies_after);
    EXPECT_EQ(returned, c.returned_after);
  }
}

// Cookies the caller does not carry are kept by the library within the call.
TEST_F(WinInetRequest, LibraryCookiesOnlyWhenCookiesLeftOut) {
  testing::add_cookie_redirect_route();
  for (const bool supplied : {false, true}) {
    SCOPED_TRACE(supplied);
    server().clear_requests();
    Text cookies;
    wininet_request({.url = server().http_url("/cookie-redirect"),
                     .cookies = supplied ? &cookies : nullptr});
    EXPECT_EQ(last_request_to("/echo").header("Cookie"), supplied ? "" : "r=1");
  }
}

TEST_F(WinInetRequest, RedirectsFollowedUnlessAskedNotTo) {
  for (const bool no_redirect : {false, true}) {
    SCOPED_TRACE(no_redirect);
    Text headers;
    const Bytes body = wininet_request({.url = server().http_url("/redirect"),
                                        .returned_headers = &headers, .no_redirect = no_redirect});
    EXPECT_EQ(as_string(body), no_redirect ? "moved" : "hello");
    EXPECT_EQ(headers.rfind(no_redirect ? "HTTP/1.1 302 Found\r\n" : "HTTP/1.1 200 OK\r\n", 0), 0u)
        << headers;
    EXPECT_EQ(headers.find("HTTP/1.1", 1), std::string::npos) << headers;
  }
}

// A block past 5000 bytes comes back whole instead of as 5000 spaces.
TEST_F(WinInetRequest, LongResponseHeaderBlockComesBackWhole) {
  Text headers;
  wininet_request({.url = server().http_url("/big-headers"), .returned_headers = &headers});
  EXPECT_GT(headers.size(), 6000u);
  EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(headers.find("X-Filler-59: "), std::string::npos);
  EXPECT_EQ(headers.substr(headers.size() - 4), "\r\n\r\n");
  EXPECT_EQ(headers.find(std::string(100, ' ')), std::string::npos);
}

TEST_F(WinInetRequest, OutcomeTellsStatusTransportCancelAndSinkApart) {
  const std::string refused = "http://127.0.0.1:" + std::to_string(testing::closed_port()) + "/";
  struct Case {
    const char* name;
    std::string url;
    bool cancel;
    bool refuse_sink;
    bool complete;
    long status;
    bool cancelled;
    bool sink_failed;
    bool error_text;
  };
  const Case kCases[] = {
      {"error status", server().http_url("/404"), false, false, true, 404, false, false, false},
      {"refused", refused, false, false, false, 0, false, false, true},
      {"reset mid-body", server().http_url("/reset"), false, false, false, 200, false, false, true},
      {"cancelled", server().http_url("/bytes?n=50000000"), true, false, false, 200, true, false, true},
      {"sink refused", server().http_url("/bytes?n=50000000"), false, true, false, 200, false, true,
       true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    WinInetOutcome outcome;
    std::uint64_t sunk = 0;
    wininet_request({.url = c.url,
                     .progress = [&c](std::uint64_t received, std::optional<std::uint64_t>) {
                       return !(c.cancel && received > 0);
                     },
                     .body_sink = [&c, &sunk](const char*, std::size_t size) {
                       sunk += size;
                       return !c.refuse_sink;
                     },
                     .outcome = &outcome});
    EXPECT_EQ(outcome.complete, c.complete);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.cancelled, c.cancelled);
    EXPECT_EQ(outcome.sink_failed, c.sink_failed);
    EXPECT_EQ(!outcome.error_text.empty(), c.error_text) << outcome.error_text;
    EXPECT_FALSE(outcome.succeeded());
    if (c.cancel || c.refuse_sink) {
      EXPECT_LT(sunk, 50000000u);
    }
  }
}

TEST_F(WinInetRequest, FailedTransferStillWritesHeaderAndCookieOutputs) {
  const std::string refused = "http://127.0.0.1:" + std::to_string(testing::closed_port()) + "/";
  Text headers = "before";
  Text returned = "before";
  Text cookies = " a=1; ";
  const Bytes body = wininet_request({.url = refused, .cookies = &cookies, .returned_cookies = &returned,
                                      .returned_headers = &headers});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(headers, "");
  EXPECT_EQ(returned, "a=1");
  EXPECT_EQ(cookies, "a=1");
}

TEST_F(WinInetRequest, AddressWithoutSchemeIsPlainHttpWithoutHostNoRequest) {
  Text headers = "before";
  WinInetOutcome outcome;
  wininet_request({.url = server().http_authority() + "/echo?Q=Yes"});
  EXPECT_EQ(last_request_to("/echo").target, "/echo?Q=Yes");
  const Bytes body = wininet_request({.url = "http:///x", .returned_headers = &headers,
                                      .outcome = &outcome});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(headers, "before");
  EXPECT_FALSE(outcome.complete);
  EXPECT_NE(outcome.error_text, "");
}

TEST_F(WinInetRequest, BodyStreamsToTheSinkWithProgress) {
  constexpr std::uint64_t kSize = 3'000'000;
  std::string streamed;
  std::uint64_t last_received = 0;
  std::optional<std::uint64_t> last_total;
  bool went_back = false;
  WinInetOutcome outcome;
  const Bytes body = wininet_request(
      {.url = server().https_url("/bytes?n=" + std::to_string(kSize)),
       .progress = [&](std::uint64_t received, std::optional<std::uint64_t> total) {
         went_back = went_back || received < last_received;
         last_received = received;
         last_total = total;
         return true;
       },
       .body_sink = [&streamed](const char* data, std::size_t size) {
         streamed.append(data, size);
         return true;
       },
       .outcome = &outcome});
  EXPECT_TRUE(body.empty());
  EXPECT_TRUE(outcome.succeeded());
  ASSERT_EQ(streamed.size(), kSize);
  for (std::uint64_t i = 0; i < kSize; ++i) {
    if (static_cast<unsigned char>(streamed[i]) != i % 251) {
      ADD_FAILURE() << "byte " << i << " differs";
      break;
    }
  }
  EXPECT_FALSE(went_back);
  EXPECT_EQ(last_total, kSize);
}

TEST_F(WinInetRequest, ProxyCarriesPlainAndTunnelsSecureRequests) {
  const std::string unreachable = "127.0.0.1:" + std::to_string(testing::closed_port());
  for (const std::string& url : {"http://" + unreachable + "/echo", server().https_url("/echo")}) {
    SCOPED_TRACE(url);
    server().clear_requests();
    WinInetOutcome outcome;
    wininet_request({.url = url, .proxy = server().http_authority(), .outcome = &outcome});
    EXPECT_TRUE(outcome.succeeded()) << outcome.error_text;
    const bool secure = url.rfind("https", 0) == 0;
    EXPECT_EQ(last_request_to("/echo").request_line,
              secure ? "GET /echo HTTP/1.1" : "GET " + url + " HTTP/1.1");
  }
}

}  // namespace
}  // namespace melodrin
