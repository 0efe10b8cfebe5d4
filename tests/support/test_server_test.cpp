#include "tests/support/test_server.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace melodrin::testing {
namespace {

::testing::Environment* const kServerEnvironment =
    ::testing::AddGlobalTestEnvironment(new TestServerEnvironment);

TestServer& server() { return TestServer::shared(); }

struct Fetched {
  CURLcode code = CURLE_FAILED_INIT;
  long status = 0;
  std::string body;
  std::string headers;
};

std::size_t append(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// verify: trust only the server's own certificate and check the host name.
Fetched fetch(const std::string& url, bool verify = false, bool head = false) {
  Fetched f;
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &f.body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, append);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &f.headers);
  if (head) curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  const std::string pem = server().certificate_pem();
  if (verify) {
    curl_blob blob{const_cast<char*>(pem.data()), pem.size(), CURL_BLOB_COPY};
    curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob);
  } else {
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  }
  f.code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &f.status);
  curl_easy_cleanup(curl);
  return f;
}

// A raw client socket, for exact bytes and broken connections.
class RawClient {
 public:
  explicit RawClient(std::uint16_t port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawClient() { ::close(m_fd); }
  bool connected() const { return m_connected; }

  void send(std::string_view data) {
    ASSERT_EQ(::send(m_fd, data.data(), data.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(data.size()));
  }

  // Reads until the peer closes; error receives errno of a failed read.
  std::string read_all(int& error) {
    std::string out;
    char buffer[4096];
    error = 0;
    for (;;) {
      const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) error = errno;
      if (n <= 0) return out;
      out.append(buffer, static_cast<std::size_t>(n));
    }
  }

  // Reads one response whose body length is given by Content-Length.
  std::string read_response() {
    std::string out;
    char buffer[4096];
    for (;;) {
      const std::size_t end = out.find("\r\n\r\n");
      if (end != std::string::npos) {
        const std::size_t cl = out.find("Content-Length: ");
        const std::size_t length = cl < end ? std::stoul(out.substr(cl + 16)) : 0;
        if (out.size() >= end + 4 + length) return out;
      }
      const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
      if (n <= 0) return out;
      out.append(buffer, static_cast<std::size_t>(n));
    }
  }

 private:
  int m_fd;
  bool m_connected = false;
};

std::string body_of(const std::string& response) {
  const std::size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : response.substr(end + 4);
}

class TestServerTest : public ::testing::Test {
 protected:
  void SetUp() override { server().clear_requests(); }
};

TEST_F(TestServerTest, ServesHelloOverHttpAndHttpsWithAValidCertificate) {
  struct Case {
    bool https;
    bool verify;
  };
  static const Case kCases[] = {{false, false}, {true, false}, {true, true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.https ? (c.verify ? "https verified" : "https") : "http");
    server().clear_requests();
    const Fetched f = fetch(c.https ? server().https_url("/hello?x=1") : server().http_url("hello"),
                            c.verify);
    ASSERT_EQ(f.code, CURLE_OK) << curl_easy_strerror(f.code);
    EXPECT_EQ(f.status, 200);
    EXPECT_EQ(f.body, "hello");
    EXPECT_NE(f.headers.find("\r\nContent-Length: 5\r\n"), std::string::npos) << f.headers;
    const auto recorded = server().requests_to("/hello");
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].https, c.https);
    EXPECT_EQ(recorded[0].method, "GET");
    EXPECT_EQ(recorded[0].query, c.https ? "x=1" : "");
    EXPECT_EQ(recorded[0].version, "HTTP/1.1");
  }
}

TEST_F(TestServerTest, EchoReflectsTheHeaderBlockByteForByteOnAKeptConnection) {
  RawClient client(server().http_port());
  ASSERT_TRUE(client.connected());
  const std::string block = "Host: 127.0.0.1\r\nx-odd:  spaced value \r\nContent-Length: 3";
  client.send("POST /echo?a=1 HTTP/1.1\r\n" + block + "\r\n\r\nabc");
  EXPECT_EQ(body_of(client.read_response()),
            "POST /echo?a=1 HTTP/1.1\r\n" + block + "\r\n\r\nabc");

  // Same connection, chunked body.
  client.send("POST /post HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
              "4\r\nwiki\r\n5;ext=1\r\npedia\r\n0\r\n\r\n");
  EXPECT_EQ(body_of(client.read_response()), "wikipedia");

  const auto recorded = server().requests();
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_EQ(recorded[0].request_line, "POST /echo?a=1 HTTP/1.1");
  EXPECT_EQ(recorded[0].header_block, block);
  EXPECT_EQ(recorded[0].path, "/echo");
  EXPECT_EQ(recorded[0].query, "a=1");
  ASSERT_EQ(recorded[0].headers.size(), 3u);
  EXPECT_EQ(recorded[0].headers[1].first, "x-odd");
  EXPECT_EQ(recorded[0].header("X-ODD"), "spaced value");
  EXPECT_EQ(recorded[0].body, "abc");
  EXPECT_EQ(recorded[1].body, "wikipedia");
}

TEST_F(TestServerTest, CustomRouteAnswersAsGivenAndIsAwaited) {
  server().route("/custom", [](const RecordedRequest& req) {
    Response r;
    r.status = 201;
    r.reason = "Created";
    r.headers = {{"X-B", "2"}, {"X-A", "1"}};
    r.body = "made " + req.query;
    return r;
  });
  std::thread client([] {
    RawClient c(server().http_port());
    c.send("GET /custom?q HTTP/1.1\r\nConnection: close\r\n\r\n");
    int error = 0;
    EXPECT_EQ(c.read_all(error),
              "HTTP/1.1 201 Created\r\nX-B: 2\r\nX-A: 1\r\nContent-Length: 6\r\n\r\nmade q");
  });
  EXPECT_TRUE(server().wait_for_requests("/custom", 1, std::chrono::seconds(10)));
  client.join();
  EXPECT_FALSE(server().wait_for_requests("/custom", 2, std::chrono::milliseconds(20)));
}

TEST_F(TestServerTest, ResetRouteBreaksTheConnectionAfterPartOfTheBody) {
  RawClient client(server().http_port());
  client.send("GET /reset HTTP/1.1\r\n\r\n");
  int error = 0;
  const std::string got = client.read_all(error);
  EXPECT_EQ(error, ECONNRESET);
  EXPECT_NE(got.find("Content-Length: 100000\r\n"), std::string::npos);
  EXPECT_EQ(body_of(got).size(), 1000u);
}

TEST_F(TestServerTest, MisbehavioursAndFramingAsConfigured) {
  struct Case {
    const char* name;
    std::function<void(Response&)> configure;
    std::string expected;  // everything the client receives
    int error;
  };
  const Case kCases[] = {
      {"close without response", [](Response& r) { r.close_without_response = true; }, "", 0},
      {"reset after headers", [](Response& r) { r.reset_after_headers = true; },
       "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n", ECONNRESET},
      {"reset after body bytes", [](Response& r) { r.reset_after_body_bytes = 4; },
       "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nabcd", ECONNRESET},
      {"chunked pieces",
       [](Response& r) {
         r.headers = {{"Transfer-Encoding", "chunked"}};
         r.chunk_size = 4;
       },
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n2\r\nef\r\n0\r\n\r\n", 0},
      {"generated body",
       [](Response& r) {
         r.body.clear();
         r.body_size = 3;
         r.generate = [](std::uint64_t offset, char* buffer, std::size_t size) {
           for (std::size_t i = 0; i < size; ++i) buffer[i] = static_cast<char>('x' + offset + i);
         };
       },
       "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nxyz", 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    server().route("/misbehave", [&c](const RecordedRequest&) {
      Response r;
      r.body = "abcdef";
      c.configure(r);
      return r;
    });
    RawClient client(server().http_port());
    client.send("GET /misbehave HTTP/1.1\r\nConnection: close\r\n\r\n");
    int error = 0;
    EXPECT_EQ(client.read_all(error), c.expected);
    EXPECT_EQ(error, c.error);
  }
}

TEST_F(TestServerTest, BytesStreamsTheLengthAndPatternAsked) {
  for (bool https : {false, true}) {
    SCOPED_TRACE(https ? "https" : "http");
    const std::string target = "/bytes?n=300007";
    const Fetched f = fetch(https ? server().https_url(target) : server().http_url(target));
    ASSERT_EQ(f.code, CURLE_OK) << curl_easy_strerror(f.code);
    ASSERT_EQ(f.body.size(), 300007u);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < f.body.size(); ++i)
      wrong += static_cast<unsigned char>(f.body[i]) != i % 251;
    EXPECT_EQ(wrong, 0u);

    const Fetched head = fetch(https ? server().https_url(target) : server().http_url(target),
                               false, true);
    EXPECT_EQ(head.code, CURLE_OK);
    EXPECT_TRUE(head.body.empty());
    EXPECT_NE(head.headers.find("Content-Length: 300007\r\n"), std::string::npos);
  }
}

TEST(TestServerLifecycle, SurvivesBrokenClientsAndStopsWithIdleConnections) {
  TestServer own;
  ASSERT_TRUE(own.start());
  {
    RawClient half(own.http_port());
    half.send("POST /post HTTP/1.1\r\nContent-Length: 100\r\n\r\nonly part");
  }
  {
    RawClient garbage(own.https_port());
    garbage.send("not a TLS handshake\r\n\r\n");
  }
  RawClient idle(own.http_port());  // left open across stop()
  ASSERT_TRUE(idle.connected());
  RawClient client(own.http_port());
  client.send("GET /404 HTTP/1.1\r\n\r\n");
  const std::string got = client.read_response();
  EXPECT_EQ(got.substr(0, got.find("\r\n")), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(body_of(got), "not found");
  own.stop();
  EXPECT_EQ(own.http_port(), 0);
}

}  // namespace
}  // namespace melodrin::testing
