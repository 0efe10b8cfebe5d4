// Helpers shared by the request engine tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_server.h"
#include "text/text.h"

namespace melodrin::testing {

inline TestServer& server() { return TestServer::shared(); }

inline std::string as_string(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A loopback port nobody listens on: connections to it are refused.
std::uint16_t closed_port();

// The last request that reached path; fails the test when there is none.
RecordedRequest last_request_to(const std::string& path);

// Points every proxy variable libcurl reads at a dead port while it lives:
// a request that still gets through ignored them.
class DeadProxyEnvironment {
 public:
  DeadProxyEnvironment();
  ~DeadProxyEnvironment();
  DeadProxyEnvironment(const DeadProxyEnvironment&) = delete;
  DeadProxyEnvironment& operator=(const DeadProxyEnvironment&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// A route that sets a cookie and sends the client on to /echo.
void add_cookie_redirect_route();

// Answers every connection on its own loopback port with reply, byte for
// byte, once the request head has arrived, then closes it: for answers no
// HTTP server would give.
class RawServer {
 public:
  explicit RawServer(std::string reply);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  std::string url() const;  // http://127.0.0.1:P/

 private:
  void serve();

  std::string m_reply;
  int m_fd = -1;
  std::uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

}  // namespace melodrin::testing
