// An in-process HTTP and HTTPS server on loopback for tests and benchmarks.
//
// Both listeners share one table of routes; every request that arrives is
// recorded (request line and header block exactly as they came over the
// wire, and the body) so tests can assert what a client sent.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace melodrin::testing {

struct RecordedRequest {
  bool https = false;
  std::string method;       // "GET"
  std::string target;       // "/echo?a=1", as sent
  std::string path;         // "/echo"
  std::string query;        // "a=1" (without "?")
  std::string version;      // "HTTP/1.1"
  std::string request_line; // "GET /echo?a=1 HTTP/1.1"
  // Everything after the request line up to (not including) the empty line,
  // CR LF separated, byte for byte as received.
  std::string header_block;
  std::vector<std::pair<std::string, std::string>> headers;  // in order
  std::string body;

  // Value of the first header with this name, letter case ignored; "" if none.
  std::string header(std::string_view name) const;
  bool has_header(std::string_view name) const;
};

struct Response {
  int status = 200;
  std::string reason = "OK";
  // Sent in order exactly as given; Content-Length is added unless a header
  // of that name is given or the body is streamed without length.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // A body too large to hold: produce body_size bytes by calling generate
  // with (offset, buffer, size) for successive pieces.
  std::uint64_t body_size = 0;
  std::function<void(std::uint64_t offset, char* buffer, std::size_t size)> generate;
  // Size of the body pieces written (and paced by delay_between_chunks);
  // 0 means 64 KiB.
  std::size_t chunk_size = 0;

  // Misbehaviour for failure tests.
  std::chrono::milliseconds delay_before_headers{0};  // silence before any byte
  std::chrono::milliseconds delay_between_chunks{0};  // between body pieces
  bool reset_after_headers = false;  // send headers, then reset the connection
  std::size_t reset_after_body_bytes = 0;  // >0: reset after this many body bytes
  bool close_without_response = false;     // close the connection at once
};

using Handler = std::function<Response(const RecordedRequest&)>;

class TestServer {
 public:
  TestServer();
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // Starts both listeners on 127.0.0.1 with ephemeral ports and a
  // self-signed certificate made at start. False when that failed.
  bool start();
  void stop();

  std::uint16_t http_port() const;
  std::uint16_t https_port() const;
  std::string http_url(std::string_view target = "/") const;   // http://127.0.0.1:P/...
  std::string https_url(std::string_view target = "/") const;  // https://127.0.0.1:P/...
  std::string http_authority() const;   // "127.0.0.1:P"
  std::string https_authority() const;  // "127.0.0.1:P"
  // The self-signed certificate made at start, PEM encoded; "" when stopped.
  std::string certificate_pem() const;

  // Exact path match (query ignored). A later route for the same path
  // replaces the earlier one. Thread-safe.
  void route(std::string path, Handler handler);
  // Serve a fixed body with a content type at path.
  void serve(std::string path, std::string content_type, std::string body);

  std::vector<RecordedRequest> requests() const;
  std::vector<RecordedRequest> requests_to(std::string_view path) const;
  void clear_requests();
  // Waits until at least count requests to path arrived; false on timeout.
  bool wait_for_requests(std::string_view path, std::size_t count,
                         std::chrono::milliseconds timeout) const;

  // The process-wide server that TestServerEnvironment starts.
  static TestServer& shared();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// Named routes installed on every server at start:
//   /hello           200 "hello"
//   /echo            200, body: request line, CR LF, header block, CR LF CR LF, body
//   /redirect        302 Found, Location: /hello, body "moved"
//   /cookies         200, Set-Cookie: sid=abc; Path=/; Max-Age=60 and Set-Cookie: b=2
//   /404             404 Not Found, body "not found"
//   /head            200 with Content-Length 5 and a body "hello" (HEAD gets headers only)
//   /post            200, body: the request body as received
//   /slow?ms=N       waits N ms before the response headers, then "slow"
//   /drip?ms=N&n=K   K body bytes, one every N ms (inactivity vs total time)
//   /reset           headers with Content-Length 100000, 1000 bytes, then a reset
//   /big-headers     200 with a response header block of about 6 KiB
//   /charset/utf-8, /charset/big5, /charset/gb2312, /charset/GB2312, /charset/gbk
//                    HTML pages declaring that charset in a meta tag, body encoded in
//                    it; the text is "中文测试" inside <p>...</p>
//   /bytes?n=N       N bytes of a repeating pattern (byte i is i % 251), streamed
// Tests add their own routes with route() or serve().

class TestServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;
};

}  // namespace melodrin::testing
