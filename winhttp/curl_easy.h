// One libcurl easy handle with its header list and error buffer, set up for
// one HTTP/1.1 exchange that sends only the header lines it is handed and
// keeps the raw header block of the last response.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <curl/curl.h>

namespace melodrin {

// How far a transfer got before it ended, whatever libcurl calls the failure.
enum class TransferStage {
  done,      // the whole response arrived
  address,   // the address was refused before anything was sent
  connect,   // resolving, connecting, the TLS handshake or sending failed
  response,  // the request went out but no response headers came back
  body,      // the headers arrived, then the body broke off
};

// Whether the library can fetch both http and https addresses.
bool library_speaks_http();

// The address libcurl fetches: host as UTF-8, the object path with spaces,
// control bytes and non-ASCII characters (as UTF-8) percent-encoded.
std::string curl_url(bool https, const std::string& host, long port, const std::string& object);

class CurlEasy {
 public:
  using BodySink = std::function<bool(const char* data, std::size_t size)>;
  using Progress =
      std::function<bool(std::uint64_t received, std::optional<std::uint64_t> total)>;

  CurlEasy() noexcept;
  ~CurlEasy();
  CurlEasy(const CurlEasy&) = delete;
  CurlEasy& operator=(const CurlEasy&) = delete;

  bool valid() const noexcept { return m_curl != nullptr; }

  template <typename T>
  bool set(CURLoption option, T value) noexcept {
    return m_curl != nullptr && curl_easy_setopt(m_curl, option, value) == CURLE_OK;
  }

  // Hands over a CR LF separated block; empty lines are skipped. False for a
  // line that no request can carry (no name, no ":", a stray CR, LF or NUL
  // that would split the request). libcurl's own Accept, Expect,
  // Proxy-Connection and, for a body, Content-Type lines are kept out.
  bool set_header_block(const std::string& block, bool has_body);

  // Bounds connecting, and every silence after it, by limit (0: no bound).
  // Never a bound on the whole transfer: a body that keeps flowing is not cut.
  bool set_inactivity_limit(std::chrono::milliseconds limit);

  bool set_follows_redirects(bool follow);

  // Neither the server's nor a proxy's certificate is checked.
  bool ignore_certificate_errors();

  // Every request through proxy ("host:port", port 80 when left out),
  // whatever the environment says about proxies.
  bool set_proxy(const std::string& proxy);

  // The verb and the body to send (data must outlive perform). HEAD never
  // sends a body: its answer has none to wait for. POST and PUT send an
  // empty body as "Content-Length: 0"; other verbs send none.
  bool set_request(const std::string& verb, const char* data, std::size_t size);
  // Whether the request carries a body, so its Content-Type matters.
  bool sends_body() const { return m_sends_body; }

  // The final response's body goes here piece by piece; returning false
  // stops the transfer. Without a sink the body is dropped.
  void set_body_sink(BodySink sink) { m_sink = std::move(sink); }
  // The sink that appends the body to into.
  void collect_body(std::vector<char>& into) {
    m_sink = [&into](const char* data, std::size_t size) {
      into.insert(into.end(), data, data + size);
      return true;
    };
  }

  // Called while the transfer runs, also while it waits; false cancels.
  void set_progress(Progress progress) { m_progress = std::move(progress); }

  CURLcode perform();
  TransferStage stage(CURLcode code) const;

  // The last response's block: status line, header lines and the closing
  // empty line, each ended by CR LF; "" before any response.
  const std::string& header_block() const { return m_header_block; }
  long status() const { return m_status; }
  bool cancelled() const { return m_cancelled; }
  bool sink_failed() const { return m_sink_failed; }
  std::string error_text(CURLcode code) const;

 private:
  enum class Phase { connecting, awaiting_headers, body };
  using Clock = std::chrono::steady_clock;

  static std::size_t on_header(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t on_body(char* data, std::size_t size, std::size_t count, void* self);
  static int on_progress(void* self, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up);
  static int on_request_ready(void* self, char*, char*, int, int);
  void end_of_headers();
  bool append_header(const std::string& line);

  CURL* m_curl = nullptr;
  curl_slist* m_headers = nullptr;
  char m_error[CURL_ERROR_SIZE] = {};

  BodySink m_sink;
  Progress m_progress;
  bool m_follow = false;
  bool m_sends_body = false;
  std::chrono::milliseconds m_idle_limit{0};

  Phase m_phase = Phase::connecting;
  std::string m_header_block;
  bool m_block_has_location = false;
  long m_status = 0;
  int m_responses = 0;
  std::uint64_t m_received = 0;
  std::optional<std::uint64_t> m_total;
  Clock::time_point m_last_activity{};
  curl_off_t m_seen_down = 0;
  curl_off_t m_seen_up = 0;
  bool m_stalled = false;
  bool m_cancelled = false;
  bool m_sink_failed = false;
};

}  // namespace melodrin
