#include "tests/http/engine_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
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

RawServer::RawServer(std::string reply) : m_reply(std::move(reply)) {
  m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::listen(m_fd, 8) == 0 &&
      ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
  }
  EXPECT_NE(m_port, 0) << "no raw listener";
}

RawServer::~RawServer() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_fd >= 0) ::close(m_fd);
}

std::string RawServer::url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

void RawServer::serve() {
  while (!m_stop) {
    pollfd listener{m_fd, POLLIN, 0};
    if (::poll(&listener, 1, 50) != 1) continue;
    const int client = ::accept(m_fd, nullptr, nullptr);
    if (client < 0) continue;
    std::string head;
    char buffer[4096];
    while (!m_stop && head.find("\r\n\r\n") == std::string::npos) {
      pollfd peer{client, POLLIN, 0};
      if (::poll(&peer, 1, 50) != 1) continue;
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      head.append(buffer, static_cast<std::size_t>(n));
    }
    for (std::size_t sent = 0; sent < m_reply.size();) {
      const ssize_t n = ::send(client, m_reply.data() + sent, m_reply.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    ::close(client);
  }
}

}  // namespace melodrin::testing
