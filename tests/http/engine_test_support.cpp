#include "tests/http/engine_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace melodrin::testing {

std::uint16_t closed_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  std::uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

RecordedRequest last_request_to(const std::string& path) {
  const std::vector<RecordedRequest> requests = server().requests_to(path);
  EXPECT_FALSE(requests.empty()) << "nothing reached " << path;
  return requests.empty() ? RecordedRequest{} : requests.back();
}

DeadProxyEnvironment::DeadProxyEnvironment() {
  const std::string dead = "http://127.0.0.1:" + std::to_string(closed_port());
  for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    const char* old = std::getenv(name);
    m_saved.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    ::setenv(name, dead.c_str(), 1);
  }
}

DeadProxyEnvironment::~DeadProxyEnvironment() {
  for (const auto& [name, value] : m_saved) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
}

void add_cookie_redirect_route() {
  server().route("/cookie-redirect", [](const RecordedRequest&) {
    Response response;
    response.status = 302;
    response.reason = "Found";
    response.headers = {{"Set-Cookie", "r=1; Path=/"}, {"Location", "/echo"}};
    response.body = "moved";
    return response;
  });
}

}  // namespace melodrin::testing
