#include "winhttp/winhttp_request.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/http/engine_test_support.h"

namespace melodrin {
namespace {

using testing::RecordedRequest;
using testing::Response;
using testing::as_string;
using testing::last_request_to;
using testing::server;

const std::string kDefaultLines =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
    "Accept: text/html, application/xhtml+xml, */*\r\n"
    "Accept-Encoding: gbk, GB2312\r\n"
    "Accept-Language: zh-cn\r\n"
    "Cache-Control: no-cache";

class WinHttpRequest : public ::testing::Test {
 protected:
  void SetUp() override { server().clear_requests(); }
};

// The worker's call: url and method 0 only.
TEST_F(WinHttpRequest, DefaultCallSendsExactlyTheDefaultBlock) {
  testing::DeadProxyEnvironment proxies;
  for (const bool https : {false, true}) {
    SCOPED_TRACE(https ? "https" : "http");
    server().clear_requests();
    const std::string url = https ? server().https_url("/echo") : server().http_url("/echo");
    Text status = "untouched";
    Text headers;
    const Text body = winhttp_request({.url = url, .method = 0, .returned_headers = &headers,
                                       .status_text = &status});
    const RecordedRequest request = last_request_to("/echo");
    EXPECT_EQ(request.request_line, "GET /echo HTTP/1.1");
    const std::string authority = https ? server().https_authority() : server().http_authority();
    EXPECT_EQ(request.header_block, "Host: " + authority + "\r\n" + kDefaultLines);
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(body, "GET /echo HTTP/1.1\r\nHost: " + authority + "\r\n" + kDefaultLines + "\r\n\r\n");
    EXPECT_EQ(status, "200 OK");
    EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << headers;
    EXPECT_EQ(headers.substr(headers.size() - 4), "\r\n\r\n");
  }
}

TEST_F(WinHttpRequest, ObjectNameIsPathAndQueryOrSlash) {
  struct Case {
    const char* after_authority;
    const char* target;
  };
  static const Case kCases[] = {
      {"", "/"},
      {"/echo?q=1", "/echo?q=1"},
      {"?q=1", "/"},  // an empty path goes alone
      {"/echo#part", "/echo"},
      {"/echo?a b", "/echo?a%20b"},
      {"/echo?k=\xD6\xD0\xCE\xC4", "/echo?k=%E4%B8%AD%E6%96%87"},  // GBK text, sent as UTF-8
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.after_authority);
    server().clear_requests();
    Text status;
    winhttp_request({.url = "http://" + server().http_authority() + c.after_authority,
                     .status_text = &status});
    const std::vector<RecordedRequest> requests = server().requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, c.target);
  }
}

TEST_F(WinHttpRequest, MethodsAndBodies) {
  struct Case {
    int method;
    const char* post_text;
    const char* post_bytes;
    const char* verb;
    const char* body;
    const char* content_type;    // "" when none may be sent
    const char* content_length;  // "" when none may be sent
  };
  static const Case kCases[] = {
      {-1, "", "", "GET", "", "", ""},
      {8, "", "", "GET", "", "", ""},
      {0, "a=1", "", "GET", "a=1", "", "3"},  // a GET carries a body too
      {1, "a=1", "", "POST", "a=1", "application/x-www-form-urlencoded", "3"},
      {1, "a=1", "xyz", "POST", "xyz", "application/x-www-form-urlencoded", "3"},
      {1, "", "", "POST", "", "application/x-www-form-urlencoded", "0"},
      {3, "p", "", "PUT", "p", "", "1"},
      {4, "", "", "OPTIONS", "", "", ""},
      {5, "", "", "DELETE", "", "", ""},
      {6, "", "", "TRACE", "", "", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.method);
    server().clear_requests();
    const std::string bytes = c.post_bytes;
    Text status;
    winhttp_request({.url = server().http_url("/echo"), .method = c.method, .post_text = c.post_text,
                     .status_text = &status, .post_bytes = Bytes(bytes.begin(), bytes.end())});
    const RecordedRequest request = last_request_to("/echo");
    EXPECT_EQ(request.method, c.verb);
    EXPECT_EQ(request.body, c.body);
    EXPECT_EQ(request.header("Content-Type"), c.content_type);
    EXPECT_EQ(request.has_header("Content-Type"), *c.content_type != '\0');
    EXPECT_EQ(request.header("Content-Length"), c.content_length);
    EXPECT_FALSE(request.has_header("Expect"));
    EXPECT_FALSE(request.has_header("Transfer-Encoding"));
    EXPECT_EQ(status, "200 OK");
  }
}

TEST_F(WinHttpRequest, HeadFillsHeadersButNoBody) {
  Text status;
  Text headers;
  Bytes bytes = {'x'};
  const Text body = winhttp_request({.url = server().http_url("/head"), .method = 2,
                                     .returned_headers = &headers, .status_text = &status,
                                     .response_bytes = &bytes});
  EXPECT_EQ(body, "");
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(status, "200 OK");
  EXPECT_NE(headers.find("Content-Length: 5\r\n"), std::string::npos) << headers;
  EXPECT_EQ(last_request_to("/head").method, "HEAD");
}

TEST_F(WinHttpRequest, CallerHeadersReachTheWireAsAssembled) {
  Text status;
  winhttp_request({.url = server().http_url("/echo"),
                   .headers = "x-requested-with: XMLHttpRequest\r\nreferer: http://page/\r\n"
                              "Connection: keep-alive\r\naccept: */*\r\nX-Empty:",
                   .status_text = &status});
  EXPECT_EQ(last_request_to("/echo").header_block,
            "Host: " + server().http_authority() +
                "\r\nX-Requested-With: XMLHttpRequest\r\nReferer: http://page/\r\nAccept: */*\r\n"
                "X-Empty:\r\n"
                "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
                "Accept-Encoding: gbk, GB2312\r\nAccept-Language: zh-cn\r\nCache-Control: no-cache");
}

TEST_F(WinHttpRequest, FailuresAreNamedAndLeaveOtherOutputsAlone) {
  server().route("/close", [](const RecordedRequest&) {
    Response response;
    response.close_without_response = true;
    return response;
  });
  // A followed redirect whose own body stalls: the silence counts as waiting
  // for the response.
  server().route("/stalled-redirect", [](const RecordedRequest&) {
    Response response;
    response.status = 302;
    response.reason = "Found";
    response.headers = {{"Location", "/hello"}};
    response.body = "ab";
    response.chunk_size = 1;
    response.delay_between_chunks = std::chrono::milliseconds(4000);
    return response;
  });
  const testing::RawServer garbage("hello\r\n\r\n");
  const std::string refused = "http://127.0.0.1:" + std::to_string(testing::closed_port()) + "/";
  struct Case {
    std::string url;
    std::string headers;
    int timeout_seconds;
    const char* message;
  };
  const Case kCases[] = {
      {"", "", 0, "701 解析URL地址失败!"},
      {"ftp://127.0.0.1/x", "", 0, "701 解析URL地址失败!"},
      {server().http_authority() + "/echo", "", 0, "701 解析URL地址失败!"},  // no scheme
      {"http:///echo", "", 0, "701 解析URL地址失败!"},
      {"http://127.0.0.1:99999/", "", 0, "701 解析URL地址失败!"},
      {server().http_url("/echo"), "X-Bad: a\nInjected: b", 0, "710 设置协议头失败!"},
      {server().http_url("/echo"), "no colon here", 0, "710 设置协议头失败!"},
      {refused, "", 0, "711 发送请求失败!"},
      {"https://" + server().http_authority() + "/echo", "", 1, "711 发送请求失败!"},  // no TLS there
      {server().http_url("/close"), "", 0, "712 服务器未响应!"},
      {garbage.url(), "", 0, "712 服务器未响应!"},  // no status line: no response
      {server().http_url("/stalled-redirect"), "", 1, "712 服务器未响应!"},
      {server().http_url("/slow?ms=4000"), "", 1, "712 服务器未响应!"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.url + " " + c.message);
    Text cookies = "c=1";
    Text returned_cookies = "rc";
    Text headers = "rh";
    Text location = "loc";
    Text status = "before";
    Bytes bytes = {'b'};
    const Text body = winhttp_request(
        {.url = c.url, .cookies = &cookies, .returned_cookies = &returned_cookies,
         .headers = c.headers, .returned_headers = &headers, .timeout_seconds = c.timeout_seconds,
         .location = &location, .status_text = &status, .response_bytes = &bytes,
         .normalize_headers = false});
    EXPECT_EQ(body, "");
    EXPECT_EQ(status, c.message);
    EXPECT_EQ(cookies, "c=1");
    EXPECT_EQ(returned_cookies, "rc");
    EXPECT_EQ(headers, "rh");
    EXPECT_EQ(location, "loc");
    EXPECT_EQ(bytes, Bytes{'b'});
  }
}

TEST_F(WinHttpRequest, BrokenBodyKeepsWhatArrivedAndReportsTheStatus) {
  Text status;
  Bytes bytes;
  const Text body = winhttp_request({.url = server().http_url("/reset"), .status_text = &status,
                                     .response_bytes = &bytes});
  EXPECT_EQ(bytes.size(), 1000u);
  EXPECT_EQ(body, text_from_bytes(bytes));
  EXPECT_EQ(status, "200 OK");
}

TEST_F(WinHttpRequest, TimeoutBoundsSilenceNotTheWholeTransfer) {
  // The body of a followed redirect that keeps flowing is no silence either.
  server().route("/flowing-redirect", [](const RecordedRequest&) {
    Response response;
    response.status = 302;
    response.reason = "Found";
    response.headers = {{"Location", "/hello"}};
    response.body = "abcdef";
    response.chunk_size = 1;
    response.delay_between_chunks = std::chrono::milliseconds(300);
    return response;
  });
  struct Case {
    const char* path;
    const char* body;
  };
  static const Case kCases[] = {
      {"/drip?ms=250&n=8", "xxxxxxxx"},
      {"/flowing-redirect", "hello"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    Text status;
    const Text body = winhttp_request({.url = server().http_url(c.path), .timeout_seconds = 1,
                                       .status_text = &status});
    EXPECT_EQ(status, "200 OK");
    EXPECT_EQ(body, c.body);
  }
}

TEST_F(WinHttpRequest, RedirectsFollowedUnlessAskedNotTo) {
  struct Case {
    bool no_redirect;
    const char* body;
    const char* status;
    const char* location;
  };
  static const Case kCases[] = {
      {false, "hello", "200 OK", "unchanged"},
      {true, "moved", "302 Found", "/hello"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.no_redirect);
    Text status;
    Text location = "unchanged";
    Text headers;
    const Text body = winhttp_request({.url = server().http_url("/redirect"),
                                       .returned_headers = &headers, .no_redirect = c.no_redirect,
                                       .location = &location, .status_text = &status});
    EXPECT_EQ(body, c.body);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(location, c.location);
    // Only the last response's block.
    EXPECT_EQ(headers.rfind("HTTP/1.1 " + std::string(c.status) + "\r\n", 0), 0u) << headers;
    EXPECT_EQ(headers.find("HTTP/1.1", 1), std::string::npos) << headers;
  }
}

TEST_F(WinHttpRequest, ErrorStatusBodyComesBack) {
  Text status;
  EXPECT_EQ(winhttp_request({.url = server().http_url("/404"), .status_text = &status}), "not found");
  EXPECT_EQ(status, "404 Not Found");
}

TEST_F(WinHttpRequest, CookiesSentCollectedAndMerged) {
  struct Case {
    const char* name;
    bool supplied;
    const char* cookies;
    const char* returned_before;
    bool merge;
    const char* sent;  // the Cookie header on the wire
    const char* cookies_after;
    const char* returned_after;
  };
  static const Case kCases[] = {
      {"left out", false, "", "p=0", true, "", "", "p=0sid=abc; b=2"},
      {"merged", true, "b=1; x=9", "", true, "b=1; x=9", "sid=abc; b=2; x=9",
       "sid=abc; b=2; x=9"},
      {"not merged", true, "b=1; x=9", "", false, "b=1; x=9", "b=1; x=9",
       "sid=abc; b=2"},
      {"cookie line", true, "Cookie: x=9", "", false, "x=9", "Cookie: x=9",
       "sid=abc; b=2"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    server().clear_requests();
    Text cookies = c.cookies;
    Text returned = c.returned_before;
    Text status;
    winhttp_request({.url = server().http_url("/cookies"),
                     .cookies = c.supplied ? &cookies : nullptr,
                     .returned_cookies = &returned, .status_text = &status,
                     .merge_cookies = c.merge});
    EXPECT_EQ(status, "200 OK");
    EXPECT_EQ(last_request_to("/cookies").header("Cookie"), c.sent);
    EXPECT_EQ(cookies, c.cookies_after);
    EXPECT_EQ(returned, c.returned_after);
  }
}

// The library keeps cookies within one call only when the caller sends some.
TEST_F(WinHttpRequest, LibraryCookiesOnlyAlongsideCallerCookies) {
  testing::add_cookie_redirect_route();
  struct Case {
    const char* cookies;
    const char* cookie_headers_after_redirect;
  };
  static const Case kCases[] = {
      {"", ""},
      {"a=1", "Cookie: r=1\r\nCookie: a=1"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.cookies);
    server().clear_requests();
    Text cookies = c.cookies;
    Text status;
    winhttp_request({.url = server().http_url("/cookie-redirect"), .cookies = &cookies,
                     .status_text = &status, .merge_cookies = false});
    EXPECT_EQ(status, "200 OK");
    std::string cookie_lines;
    for (const auto& [name, value] : last_request_to("/echo").headers) {
      if (name == "Cookie") cookie_lines += (cookie_lines.empty() ? "" : "\r\n") + name + ": " + value;
    }
    EXPECT_EQ(cookie_lines, c.cookie_headers_after_redirect);
  }
}

TEST_F(WinHttpRequest, BasicCredentialsOnlyWhenBothGiven) {
  struct Case {
    const char* user;
    const char* password;
    const char* authorization;
  };
  static const Case kCases[] = {
      {"user", "pass", "Basic dXNlcjpwYXNz"},
      {"user", "", ""},
      {"", "pass", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.user);
    server().clear_requests();
    Text status;
    winhttp_request({.url = server().http_url("/echo"), .user_name = c.user, .password = c.password,
                     .status_text = &status});
    EXPECT_EQ(last_request_to("/echo").header("Authorization"), c.authorization);
  }
}

TEST_F(WinHttpRequest, ProxyCarriesPlainAndTunnelsSecureRequests) {
  const std::string unreachable = "127.0.0.1:" + std::to_string(testing::closed_port());
  struct Case {
    std::string url;
    const char* request_line;
    const char* connect_line;  // "" when no tunnel is expected
  };
  const Case kCases[] = {
      {"http://" + unreachable + "/echo", "GET http://", ""},
      {server().https_url("/echo"), "GET /echo HTTP/1.1", "CONNECT "},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.url);
    server().clear_requests();
    Text status;
    const Text body = winhttp_request({.url = c.url, .proxy = server().http_authority(),
                                       .proxy_user = "pu", .proxy_password = "pp",
                                       .status_text = &status});
    EXPECT_EQ(status, "200 OK");
    const RecordedRequest echo = last_request_to("/echo");
    EXPECT_EQ(echo.request_line.rfind(c.request_line, 0), 0u) << echo.request_line;
    bool tunnelled = false;
    for (const RecordedRequest& r : server().requests()) tunnelled = tunnelled || r.method == "CONNECT";
    EXPECT_EQ(tunnelled, *c.connect_line != '\0');
    if (!tunnelled) {
      EXPECT_EQ(echo.header("Proxy-Authorization"), "Basic cHU6cHA=");
    }
    EXPECT_FALSE(echo.has_header("Proxy-Connection"));
  }
}

TEST_F(WinHttpRequest, BodyNeitherDecompressedNorAskedForInOtherEncodings) {
  const std::string raw = "\x1f\x8b not really gzip";
  server().route("/gzip", [raw](const RecordedRequest&) {
    Response response;
    response.headers = {{"Content-Encoding", "gzip"}};
    response.body = raw;
    return response;
  });
  Text status;
  Bytes bytes;
  winhttp_request({.url = server().http_url("/gzip"), .status_text = &status, .response_bytes = &bytes});
  EXPECT_EQ(status, "200 OK");
  EXPECT_EQ(as_string(bytes), raw);
  EXPECT_EQ(last_request_to("/gzip").header("Accept-Encoding"), "gbk, GB2312");
}

TEST_F(WinHttpRequest, DeclaredCharsetsComeBackAsGbk) {
  struct Case {
    const char* path;
    const char* text;
  };
  static const Case kCases[] = {
      {"/charset/utf-8", "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4"},
      {"/charset/big5", "\xD6\xD0\xCE\xC4\x9C\x79\xD4\x87"},
      {"/charset/GB2312", "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4"},
      {"/charset/gb2312", "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4"},
      {"/charset/gbk", "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    Text status;
    const Text body = winhttp_request({.url = server().http_url(c.path), .status_text = &status});
    EXPECT_NE(body.find(std::string("<p>") + c.text + "</p>"), std::string::npos) << body;
  }
}

TEST_F(WinHttpRequest, LongResponseHeaderBlockComesBackWhole) {
  Text headers;
  Text status;
  winhttp_request({.url = server().http_url("/big-headers"), .returned_headers = &headers,
                   .status_text = &status});
  EXPECT_GT(headers.size(), 6000u);
  EXPECT_NE(headers.find("X-Filler-59: "), std::string::npos);
}

// Between stages the call lets the calling thread's own queued events run.
TEST_F(WinHttpRequest, DispatchesOnlyTheCallingThreadsPendingEvents) {
  int argc = 1;
  char name[] = "http_engine_tests";
  char* argv[] = {name, nullptr};
  QCoreApplication application(argc, argv);
  bool ran = false;
  QMetaObject::invokeMethod(&application, [&ran] { ran = true; }, Qt::QueuedConnection);

  Text worker_status;
  std::thread worker([&worker_status] {
    winhttp_request({.url = server().http_url("/hello"), .status_text = &worker_status});
  });
  worker.join();
  EXPECT_EQ(worker_status, "200 OK");
  EXPECT_FALSE(ran);

  Text status;
  winhttp_request({.url = server().http_url("/hello"), .status_text = &status});
  EXPECT_EQ(status, "200 OK");
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace melodrin
