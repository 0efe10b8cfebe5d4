#include "tests/support/test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <linux/sockios.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <thread>

#include "tests/support/self_signed_certificate.h"

namespace melodrin::testing {
namespace {

constexpr std::size_t kMaxHeadSize = 1 << 20;
constexpr std::uint64_t kMaxBodySize = std::uint64_t{1} << 30;
constexpr std::size_t kDefaultPiece = 64 * 1024;
constexpr std::size_t kPatternPeriod = 251;

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]);
    const unsigned char y = static_cast<unsigned char>(b[i]);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

bool icontains(std::string_view hay, std::string_view needle) {
  if (needle.size() > hay.size()) return false;
  for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i)
    if (iequals(hay.substr(i, needle.size()), needle)) return true;
  return false;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

const std::string* find_header(const std::vector<std::pair<std::string, std::string>>& headers,
                               std::string_view name) {
  for (const auto& [n, v] : headers)
    if (iequals(n, name)) return &v;
  return nullptr;
}

bool parse_number(std::string_view text, std::uint64_t& out, int base = 10) {
  text = trim(text);
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  return ec == std::errc() && end == text.data() + text.size();
}

// Value of name=value in a query, "" when absent.
std::string query_value(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    std::string_view item = query.substr(0, amp);
    const std::size_t eq = item.find('=');
    if (item.substr(0, eq) == name)
      return eq == std::string_view::npos ? std::string() : std::string(item.substr(eq + 1));
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return {};
}

std::uint64_t query_number(std::string_view query, std::string_view name) {
  std::uint64_t n = 0;
  return parse_number(query_value(query, name), n) ? n : 0;
}

void block_sigpipe() {
  // Writes to a peer that went away must fail with EPIPE, not kill the test.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// One accepted socket, plain or TLS.
struct Stream {
  int fd = -1;
  SSL* ssl = nullptr;

  std::size_t read_some(char* buffer, std::size_t size) {
    if (ssl != nullptr) {
      std::size_t got = 0;
      return SSL_read_ex(ssl, buffer, size, &got) == 1 ? got : 0;
    }
    for (;;) {
      const ssize_t n = ::recv(fd, buffer, size, 0);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) return 0;
    }
  }

  bool write_all(const char* data, std::size_t size) {
    while (size > 0) {
      if (ssl != nullptr) {
        std::size_t put = 0;
        if (SSL_write_ex(ssl, data, size, &put) != 1) return false;
        data += put;
        size -= put;
        continue;
      }
      const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }
  bool write_all(std::string_view s) { return write_all(s.data(), s.size()); }
};

// Buffered reading of requests from a stream.
struct Reader {
  Stream& stream;
  std::string buffer;
  std::size_t pos = 0;

  bool fill() {
    if (pos > 0 && pos == buffer.size()) {
      buffer.clear();
      pos = 0;
    } else if (pos > 65536) {
      buffer.erase(0, pos);
      pos = 0;
    }
    char chunk[16384];
    const std::size_t n = stream.read_some(chunk, sizeof chunk);
    if (n == 0) return false;
    buffer.append(chunk, n);
    return true;
  }

  // Up to, not including, the next CR LF.
  bool read_line(std::string& line) {
    std::size_t scan = pos;
    for (;;) {
      const std::size_t end = buffer.find("\r\n", scan);
      if (end != std::string::npos) {
        line.assign(buffer, pos, end - pos);
        pos = end + 2;
        return true;
      }
      if (buffer.size() - pos > kMaxHeadSize) return false;
      scan = buffer.size() > pos ? buffer.size() - 1 : pos;
      const std::size_t before = pos;
      if (!fill()) return false;
      scan -= before - pos;  // fill may have moved the data
    }
  }

  bool read_exact(std::uint64_t size, std::string& out) {
    const std::size_t have = std::min<std::size_t>(buffer.size() - pos, size);
    out.append(buffer, pos, have);
    pos += have;
    std::uint64_t left = size - have;
    while (left > 0) {
      const std::size_t old = out.size();
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, 1 << 20));
      out.resize(old + want);
      const std::size_t n = stream.read_some(out.data() + old, want);
      out.resize(old + n);
      if (n == 0) return false;
      left -= n;
    }
    return true;
  }
};

enum class ReadResult { ok, closed, bad };

ReadResult read_request(Reader& reader, RecordedRequest& req, bool& expect_continue) {
  // Tolerate stray CR LF between requests.
  for (;;) {
    while (reader.pos < reader.buffer.size() &&
           (reader.buffer[reader.pos] == '\r' || reader.buffer[reader.pos] == '\n'))
      ++reader.pos;
    if (reader.pos < reader.buffer.size()) break;
    if (!reader.fill()) return ReadResult::closed;
  }
  std::size_t scan = reader.pos;
  std::size_t end;
  for (;;) {
    end = reader.buffer.find("\r\n\r\n", scan);
    if (end != std::string::npos) break;
    if (reader.buffer.size() - reader.pos > kMaxHeadSize) return ReadResult::bad;
    scan = reader.buffer.size() >= 3 ? std::max(reader.pos, reader.buffer.size() - 3) : reader.pos;
    const std::size_t before = reader.pos;
    if (!reader.fill()) return ReadResult::closed;
    scan -= before - reader.pos;
  }
  std::string_view head(reader.buffer.data() + reader.pos, end - reader.pos);
  const std::size_t line_end = head.find("\r\n");
  req.request_line = std::string(head.substr(0, line_end));
  req.header_block = line_end == std::string_view::npos ? std::string()
                                                        : std::string(head.substr(line_end + 2));
  reader.pos = end + 4;

  const std::string& line = req.request_line;
  const std::size_t sp1 = line.find(' ');
  const std::size_t sp2 = sp1 == std::string::npos ? sp1 : line.find(' ', sp1 + 1);
  if (sp2 == std::string::npos || sp1 == 0 || sp2 == sp1 + 1) return ReadResult::bad;
  req.method = line.substr(0, sp1);
  req.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  req.version = line.substr(sp2 + 1);

  std::string_view path = req.target;
  // Absolute form, as sent to a proxy.
  for (std::string_view scheme : {"http://", "https://"}) {
    if (path.size() > scheme.size() && iequals(path.substr(0, scheme.size()), scheme)) {
      path.remove_prefix(scheme.size());
      const std::size_t slash = path.find_first_of("/?");
      path = slash == std::string_view::npos ? std::string_view("/") : path.substr(slash);
      break;
    }
  }
  const std::size_t q = path.find('?');
  req.path = std::string(path.substr(0, q));
  if (q != std::string_view::npos) req.query = std::string(path.substr(q + 1));
  if (req.path.empty()) req.path = "/";

  std::string_view block = req.header_block;
  while (!block.empty()) {
    const std::size_t eol = block.find("\r\n");
    std::string_view h = block.substr(0, eol);
    block = eol == std::string_view::npos ? std::string_view() : block.substr(eol + 2);
    if (!h.empty() && (h.front() == ' ' || h.front() == '\t')) {
      if (!req.headers.empty()) {
        req.headers.back().second += ' ';
        req.headers.back().second += trim(h);
      }
      continue;
    }
    const std::size_t colon = h.find(':');
    if (colon == std::string_view::npos) continue;
    req.headers.emplace_back(std::string(trim(h.substr(0, colon))),
                             std::string(trim(h.substr(colon + 1))));
  }

  const std::string* te = find_header(req.headers, "Transfer-Encoding");
  const std::string* cl = find_header(req.headers, "Content-Length");
  const std::string* expect = find_header(req.headers, "Expect");
  expect_continue = expect != nullptr && iequals(trim(*expect), "100-continue");
  if (te != nullptr && icontains(*te, "chunked")) {
    return ReadResult::ok;  // the caller reads the chunks (after 100 Continue)
  }
  if (cl != nullptr) {
    std::uint64_t size = 0;
    if (!parse_number(*cl, size) || size > kMaxBodySize) return ReadResult::bad;
  } else {
    expect_continue = false;
  }
  return ReadResult::ok;
}

ReadResult read_body(Reader& reader, RecordedRequest& req) {
  const std::string* te = find_header(req.headers, "Transfer-Encoding");
  if (te != nullptr && icontains(*te, "chunked")) {
    std::string line;
    for (;;) {
      if (!reader.read_line(line)) return ReadResult::closed;
      std::string_view size_text(line);
      size_text = size_text.substr(0, size_text.find(';'));
      std::uint64_t size = 0;
      if (!parse_number(size_text, size, 16) || req.body.size() + size > kMaxBodySize)
        return ReadResult::bad;
      if (size == 0) break;
      if (!reader.read_exact(size, req.body)) return ReadResult::closed;
      if (!reader.read_line(line)) return ReadResult::closed;
      if (!line.empty()) return ReadResult::bad;
    }
    do {  // trailers
      if (!reader.read_line(line)) return ReadResult::closed;
    } while (!line.empty());
    return ReadResult::ok;
  }
  const std::string* cl = find_header(req.headers, "Content-Length");
  std::uint64_t size = 0;
  if (cl != nullptr && parse_number(*cl, size) && size > 0) {
    req.body.reserve(static_cast<std::size_t>(size));
    if (!reader.read_exact(size, req.body)) return ReadResult::closed;
  }
  return ReadResult::ok;
}

bool wants_close(const RecordedRequest& req) {
  const std::string* c = find_header(req.headers, "Connection");
  if (c != nullptr && icontains(*c, "close")) return true;
  if (req.version == "HTTP/1.0") return c == nullptr || !icontains(*c, "keep-alive");
  return false;
}

Response text_response(int status, std::string reason, std::string body,
                       std::string type = "text/plain") {
  Response r;
  r.status = status;
  r.reason = std::move(reason);
  r.headers = {{"Content-Type", std::move(type)}};
  r.body = std::move(body);
  return r;
}

const std::string& byte_pattern() {
  // Long enough that any piece starting at offset % period is one memcpy.
  static const std::string pattern = [] {
    std::string p(kDefaultPiece + kPatternPeriod, '\0');
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<char>(i % kPatternPeriod);
    return p;
  }();
  return pattern;
}

void fill_pattern(std::uint64_t offset, char* buffer, std::size_t size) {
  const std::string& p = byte_pattern();
  const std::size_t span = p.size() - kPatternPeriod;
  while (size > 0) {
    const std::size_t n = std::min(size, span);
    std::memcpy(buffer, p.data() + offset % kPatternPeriod, n);
    buffer += n;
    offset += n;
    size -= n;
  }
}

std::string charset_page(std::string_view declaration, std::string_view text) {
  std::string page = "<html><head>";
  page += declaration;
  page += "</head><body><p>";
  page += text;
  page += "</p></body></html>";
  return page;
}

}  // namespace

std::string RecordedRequest::header(std::string_view name) const {
  const std::string* v = find_header(headers, name);
  return v != nullptr ? *v : std::string();
}

bool RecordedRequest::has_header(std::string_view name) const {
  return find_header(headers, name) != nullptr;
}

struct TestServer::Impl {
  struct Connection {
    int fd = -1;  // guarded by Impl::m_connections_mutex
    std::thread thread;
    std::atomic<bool> done{false};
  };

  struct Listener {
    int fd = -1;
    std::atomic<std::uint16_t> port{0};
    bool https = false;
    std::thread thread;
  };

  enum class Ending { keep, close, reset };

  mutable std::mutex m_routes_mutex;
  std::map<std::string, Handler, std::less<>> m_routes;

  mutable std::mutex m_requests_mutex;
  mutable std::condition_variable m_requests_cv;
  std::vector<RecordedRequest> m_requests;

  std::mutex m_state_mutex;  // start/stop
  bool m_running = false;
  Listener m_http;
  Listener m_https;
  SSL_CTX* m_ssl = nullptr;
  std::string m_pem;

  std::mutex m_stop_mutex;
  std::condition_variable m_stop_cv;
  std::atomic<bool> m_stopping{false};

  std::mutex m_connections_mutex;
  std::list<std::shared_ptr<Connection>> m_connections;

  // Sleeps unless stop() comes first; false when stopping.
  bool pause(std::chrono::milliseconds duration) {
    std::unique_lock lock(m_stop_mutex);
    return !m_stop_cv.wait_for(lock, duration, [this] { return m_stopping.load(); });
  }

  void set_route(std::string path, Handler handler) {
    std::lock_guard lock(m_routes_mutex);
    m_routes[std::move(path)] = std::move(handler);
  }

  void install_named_routes();
  bool open_listener(Listener& l, bool https);
  void accept_loop(Listener& l);
  void serve(const std::shared_ptr<Connection>& conn, bool https);
  Response dispatch(const RecordedRequest& req);
  Ending send_response(Stream& s, const RecordedRequest& req, const Response& resp);
  void finish(const std::shared_ptr<Connection>& conn, Stream& s, bool reset);
  void record(const RecordedRequest& req) {
    {
      std::lock_guard lock(m_requests_mutex);
      m_requests.push_back(req);
    }
    m_requests_cv.notify_all();
  }
};

void TestServer::Impl::install_named_routes() {
  auto add = [this](std::string path, Handler h) {
    std::lock_guard lock(m_routes_mutex);
    m_routes.try_emplace(std::move(path), std::move(h));  // routes set before start win
  };
  add("/hello", [](const RecordedRequest&) { return text_response(200, "OK", "hello"); });
  add("/echo", [](const RecordedRequest& req) {
    return text_response(200, "OK",
                         req.request_line + "\r\n" + req.header_block + "\r\n\r\n" + req.body);
  });
  add("/redirect", [](const RecordedRequest&) {
    Response r = text_response(302, "Found", "moved");
    r.headers.emplace_back("Location", "/hello");
    return r;
  });
  add("/cookies", [](const RecordedRequest&) {
    Response r = text_response(200, "OK", "cookies");
    r.headers.emplace_back("Set-Cookie", "sid=abc; Path=/; Max-Age=60");
    r.headers.emplace_back("Set-Cookie", "b=2");
    return r;
  });
  add("/404", [](const RecordedRequest&) { return text_response(404, "Not Found", "not found"); });
  add("/head", [](const RecordedRequest&) { return text_response(200, "OK", "hello"); });
  add("/post", [](const RecordedRequest& req) {
    return text_response(200, "OK", req.body, "application/octet-stream");
  });
  add("/slow", [](const RecordedRequest& req) {
    Response r = text_response(200, "OK", "slow");
    r.delay_before_headers = std::chrono::milliseconds(query_number(req.query, "ms"));
    return r;
  });
  add("/drip", [](const RecordedRequest& req) {
    const std::uint64_t n = std::min<std::uint64_t>(query_number(req.query, "n"), 1 << 20);
    Response r = text_response(200, "OK", std::string(static_cast<std::size_t>(n), 'x'));
    r.chunk_size = 1;
    r.delay_between_chunks = std::chrono::milliseconds(query_number(req.query, "ms"));
    return r;
  });
  add("/reset", [](const RecordedRequest&) {
    Response r;
    r.headers = {{"Content-Type", "application/octet-stream"}, {"Content-Length", "100000"}};
    r.body.resize(1000);
    fill_pattern(0, r.body.data(), r.body.size());
    r.reset_after_body_bytes = 1000;
    return r;
  });
  add("/big-headers", [](const RecordedRequest&) {
    Response r = text_response(200, "OK", "big");
    for (int i = 0; i < 60; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "X-Filler-%02d", i);
      r.headers.emplace_back(name, std::string(100, static_cast<char>('a' + i % 26)));
    }
    return r;
  });
  struct Charset {
    const char* path;
    const char* declaration;
    const char* text;
  };
  // "中文测试" in each encoding; Big5 has no simplified forms, so its page
  // carries the traditional "中文測試".
  static const Charset kCharsets[] = {
      {"/charset/utf-8", "<meta charset=\"utf-8\">",
       "\xE4\xB8\xAD\xE6\x96\x87\xE6\xB5\x8B\xE8\xAF\x95"},
      {"/charset/big5", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">",
       "\xA4\xA4\xA4\xE5\xB4\xFA\xB8\xD5"},
      {"/charset/gb2312", "<meta charset=\"gb2312\">", "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4"},
      {"/charset/GB2312", "<meta charset=\"GB2312\">", "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4"},
      {"/charset/gbk", "<meta charset=\"gbk\">", "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4"},
  };
  for (const Charset& c : kCharsets) {
    std::string page = charset_page(c.declaration, c.text);
    add(c.path, [page](const RecordedRequest&) {
      return text_response(200, "OK", page, "text/html");
    });
  }
  add("/bytes", [](const RecordedRequest& req) {
    Response r;
    r.headers = {{"Content-Type", "application/octet-stream"}};
    r.body_size = query_number(req.query, "n");
    r.generate = fill_pattern;
    return r;
  });
}

bool TestServer::Impl::open_listener(Listener& l, bool https) {
  l.https = https;
  l.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (l.fd < 0) return false;
  const int one = 1;
  ::setsockopt(l.fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(l.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(l.fd, SOMAXCONN) != 0 ||
      ::getsockname(l.fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(l.fd);
    l.fd = -1;
    return false;
  }
  l.port = ntohs(addr.sin_port);
  return true;
}

void TestServer::Impl::accept_loop(Listener& l) {
  block_sigpipe();
  while (!m_stopping) {
    const int fd = ::accept4(l.fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (m_stopping) break;
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        pause(std::chrono::milliseconds(10));
        continue;
      }
      break;
    }
    std::lock_guard lock(m_connections_mutex);
    if (m_stopping) {
      ::close(fd);
      break;
    }
    for (auto it = m_connections.begin(); it != m_connections.end();) {
      if ((*it)->done) {
        (*it)->thread.join();
        it = m_connections.erase(it);
      } else {
        ++it;
      }
    }
    auto conn = std::make_shared<Connection>();
    conn->fd = fd;
    const bool https = l.https;
    conn->thread = std::thread([this, conn, https] { serve(conn, https); });
    m_connections.push_back(std::move(conn));
  }
}

Response TestServer::Impl::dispatch(const RecordedRequest& req) {
  Handler handler;
  {
    std::lock_guard lock(m_routes_mutex);
    auto it = m_routes.find(req.path);
    if (it != m_routes.end()) handler = it->second;
  }
  if (!handler) return text_response(404, "Not Found", "not found");
  try {
    return handler(req);
  } catch (...) {
    return text_response(500, "Internal Server Error", "handler failed");
  }
}

TestServer::Impl::Ending TestServer::Impl::send_response(Stream& s, const RecordedRequest& req,
                                                         const Response& resp) {
  if (resp.close_without_response) return Ending::close;
  if (resp.delay_before_headers.count() > 0 && !pause(resp.delay_before_headers))
    return Ending::close;

  const bool no_body_status =
      (resp.status >= 100 && resp.status < 200) || resp.status == 204 || resp.status == 304;
  const bool head_only = no_body_status || req.method == "HEAD";
  const bool streamed = static_cast<bool>(resp.generate);
  const std::uint64_t total = streamed ? resp.body_size : resp.body.size();
  const std::string* cl = find_header(resp.headers, "Content-Length");
  const std::string* te = find_header(resp.headers, "Transfer-Encoding");
  const bool chunked = te != nullptr && icontains(*te, "chunked");

  std::string head = "HTTP/1.1 " + std::to_string(resp.status) + " " + resp.reason + "\r\n";
  for (const auto& [name, value] : resp.headers) {
    head += name;
    head += ": ";
    head += value;
    head += "\r\n";
  }
  if (cl == nullptr && te == nullptr && !no_body_status)
    head += "Content-Length: " + std::to_string(total) + "\r\n";
  head += "\r\n";

  Ending ending = wants_close(req) ? Ending::close : Ending::keep;
  if (const std::string* c = find_header(resp.headers, "Connection"); c && icontains(*c, "close"))
    ending = Ending::close;
  if (!head_only) {
    std::uint64_t declared = 0;
    // A body that does not match its framing leaves the stream unusable.
    if (cl != nullptr && (!parse_number(*cl, declared) || declared != total))
      ending = Ending::close;
    if (cl == nullptr && te != nullptr && !chunked) ending = Ending::close;
  }

  if (resp.reset_after_headers) {
    s.write_all(head);
    return Ending::reset;
  }
  const bool plain = !streamed && !chunked && resp.reset_after_body_bytes == 0 &&
                     resp.delay_between_chunks.count() == 0 && resp.chunk_size == 0;
  if (head_only || (plain && total <= (1 << 20))) {
    if (!head_only) head += resp.body;
    return s.write_all(head) ? ending : Ending::close;
  }
  if (!s.write_all(head)) return Ending::close;

  const std::uint64_t limit =
      resp.reset_after_body_bytes > 0 ? std::min<std::uint64_t>(total, resp.reset_after_body_bytes)
                                      : total;
  const std::size_t piece = resp.chunk_size > 0 ? resp.chunk_size : kDefaultPiece;
  std::string buffer;
  if (streamed) buffer.resize(std::min<std::uint64_t>(piece, std::max<std::uint64_t>(limit, 1)));
  std::uint64_t sent = 0;
  while (sent < limit) {
    if (sent > 0 && resp.delay_between_chunks.count() > 0 && !pause(resp.delay_between_chunks))
      return Ending::close;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(piece, limit - sent));
    const char* data;
    if (streamed) {
      resp.generate(sent, buffer.data(), n);
      data = buffer.data();
    } else {
      data = resp.body.data() + sent;
    }
    if (chunked) {
      char size_line[32];
      const int len = std::snprintf(size_line, sizeof size_line, "%zx\r\n", n);
      if (!s.write_all(size_line, static_cast<std::size_t>(len)) || !s.write_all(data, n) ||
          !s.write_all("\r\n", 2))
        return Ending::close;
    } else if (!s.write_all(data, n)) {
      return Ending::close;
    }
    sent += n;
  }
  if (resp.reset_after_body_bytes > 0) return Ending::reset;
  if (chunked && !s.write_all("0\r\n\r\n", 5)) return Ending::close;
  return ending;
}

void TestServer::Impl::finish(const std::shared_ptr<Connection>& conn, Stream& s, bool reset) {
  if (reset) {
    // Let the peer's kernel take what was written, so the reset comes after it.
    for (int i = 0; i < 200 && !m_stopping; ++i) {
      int unacked = 0;
      if (::ioctl(s.fd, SIOCOUTQ, &unacked) != 0 || unacked == 0) break;
      pause(std::chrono::milliseconds(1));
    }
    const linger lg{1, 0};
    ::setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
  } else if (s.ssl != nullptr && !m_stopping && SSL_is_init_finished(s.ssl)) {
    SSL_shutdown(s.ssl);
  }
  if (s.ssl != nullptr) SSL_free(s.ssl);
  s.ssl = nullptr;
  {
    std::lock_guard lock(m_connections_mutex);
    ::close(conn->fd);
    conn->fd = -1;
  }
  ERR_clear_error();
  conn->done = true;
}

void TestServer::Impl::serve(const std::shared_ptr<Connection>& conn, bool https) {
  block_sigpipe();
  Stream s;
  s.fd = conn->fd;  // stays open until finish()
  const int one = 1;
  ::setsockopt(s.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  auto start_tls = [&] {
    s.ssl = SSL_new(m_ssl);
    return s.ssl != nullptr && SSL_set_fd(s.ssl, s.fd) == 1 && SSL_accept(s.ssl) == 1;
  };
  if (https && !start_tls()) return finish(conn, s, false);

  Reader reader{s, {}, 0};
  bool reset = false;
  while (!m_stopping) {
    RecordedRequest req;
    req.https = https;
    bool expect_continue = false;
    ReadResult r = read_request(reader, req, expect_continue);
    if (r == ReadResult::ok && expect_continue) {
      if (!s.write_all("HTTP/1.1 100 Continue\r\n\r\n")) break;
    }
    if (r == ReadResult::ok) r = read_body(reader, req);
    if (r == ReadResult::closed) break;
    if (r == ReadResult::bad) {
      s.write_all("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
      break;
    }
    // A proxy tunnel to ourselves: answer the CONNECT, then speak TLS.
    if (!https && req.method == "CONNECT" && !req.target.empty() && req.target.front() != '/') {
      req.path.clear();
      record(req);
      if (!s.write_all("HTTP/1.1 200 Connection established\r\n\r\n")) break;
      if (reader.pos != reader.buffer.size()) break;  // TLS bytes already buffered: give up
      https = true;
      if (!start_tls()) break;
      reader.buffer.clear();
      reader.pos = 0;
      continue;
    }
    record(req);
    const Response resp = dispatch(req);
    const Ending ending = send_response(s, req, resp);
    if (ending == Ending::reset) reset = true;
    if (ending != Ending::keep) break;
  }
  finish(conn, s, reset);
}

TestServer::TestServer() : m_impl(std::make_unique<Impl>()) {
  // Initialise OpenSSL now so that its exit handlers run after our destructor.
  OPENSSL_init_ssl(0, nullptr);
}

TestServer::~TestServer() { stop(); }

bool TestServer::start() {
  Impl& d = *m_impl;
  std::lock_guard state(d.m_state_mutex);
  if (d.m_running) return true;
  d.m_stopping = false;
  d.install_named_routes();
  d.m_ssl = make_server_context(d.m_pem);
  if (d.m_ssl == nullptr || !d.open_listener(d.m_http, false) ||
      !d.open_listener(d.m_https, true)) {
    for (Impl::Listener* l : {&d.m_http, &d.m_https}) {
      if (l->fd >= 0) ::close(l->fd);
      l->fd = -1;
      l->port = 0;
    }
    if (d.m_ssl != nullptr) SSL_CTX_free(d.m_ssl);
    d.m_ssl = nullptr;
    d.m_pem.clear();
    ERR_clear_error();
    return false;
  }
  d.m_http.thread = std::thread([&d] { d.accept_loop(d.m_http); });
  d.m_https.thread = std::thread([&d] { d.accept_loop(d.m_https); });
  d.m_running = true;
  return true;
}

void TestServer::stop() {
  Impl& d = *m_impl;
  std::lock_guard state(d.m_state_mutex);
  if (!d.m_running) return;
  {
    std::lock_guard lock(d.m_stop_mutex);
    d.m_stopping = true;
  }
  d.m_stop_cv.notify_all();
  for (Impl::Listener* l : {&d.m_http, &d.m_https}) {
    ::shutdown(l->fd, SHUT_RDWR);  // wakes accept()
    l->thread.join();
    ::close(l->fd);
    l->fd = -1;
    l->port = 0;
  }
  std::list<std::shared_ptr<Impl::Connection>> connections;
  {
    std::lock_guard lock(d.m_connections_mutex);
    for (const auto& c : d.m_connections)
      if (c->fd >= 0) ::shutdown(c->fd, SHUT_RDWR);
    connections.swap(d.m_connections);
  }
  for (const auto& c : connections) c->thread.join();
  SSL_CTX_free(d.m_ssl);
  d.m_ssl = nullptr;
  d.m_pem.clear();
  d.m_running = false;
  d.m_stopping = false;
}

std::uint16_t TestServer::http_port() const { return m_impl->m_http.port; }
std::uint16_t TestServer::https_port() const { return m_impl->m_https.port; }

std::string TestServer::http_authority() const {
  return "127.0.0.1:" + std::to_string(http_port());
}
std::string TestServer::https_authority() const {
  return "127.0.0.1:" + std::to_string(https_port());
}

std::string TestServer::http_url(std::string_view target) const {
  std::string url = "http://" + http_authority();
  if (target.empty() || target.front() != '/') url += '/';
  url += target;
  return url;
}

std::string TestServer::https_url(std::string_view target) const {
  std::string url = "https://" + https_authority();
  if (target.empty() || target.front() != '/') url += '/';
  url += target;
  return url;
}

std::string TestServer::certificate_pem() const {
  std::lock_guard state(m_impl->m_state_mutex);
  return m_impl->m_pem;
}

void TestServer::route(std::string path, Handler handler) {
  m_impl->set_route(std::move(path), std::move(handler));
}

void TestServer::serve(std::string path, std::string content_type, std::string body) {
  Response r = text_response(200, "OK", std::move(body), std::move(content_type));
  m_impl->set_route(std::move(path), [r](const RecordedRequest&) { return r; });
}

std::vector<RecordedRequest> TestServer::requests() const {
  std::lock_guard lock(m_impl->m_requests_mutex);
  return m_impl->m_requests;
}

std::vector<RecordedRequest> TestServer::requests_to(std::string_view path) const {
  std::lock_guard lock(m_impl->m_requests_mutex);
  std::vector<RecordedRequest> out;
  for (const auto& r : m_impl->m_requests)
    if (r.path == path) out.push_back(r);
  return out;
}

void TestServer::clear_requests() {
  std::lock_guard lock(m_impl->m_requests_mutex);
  m_impl->m_requests.clear();
}

bool TestServer::wait_for_requests(std::string_view path, std::size_t count,
                                   std::chrono::milliseconds timeout) const {
  std::unique_lock lock(m_impl->m_requests_mutex);
  return m_impl->m_requests_cv.wait_for(lock, timeout, [&] {
    return static_cast<std::size_t>(
               std::count_if(m_impl->m_requests.begin(), m_impl->m_requests.end(),
                             [&](const RecordedRequest& r) { return r.path == path; })) >= count;
  });
}

TestServer& TestServer::shared() {
  static TestServer server;
  return server;
}

void TestServerEnvironment::SetUp() {
  ASSERT_TRUE(TestServer::shared().start()) << "the loopback test server did not start";
}

void TestServerEnvironment::TearDown() { TestServer::shared().stop(); }

}  // namespace melodrin::testing
