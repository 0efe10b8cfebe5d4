#include "winhttp/curl_easy.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "text/codepage.h"

namespace melodrin {

namespace {

constexpr long kReceiveBuffer = 256 * 1024;
constexpr long kMaxRedirects = 10;

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool blank(std::string_view text) {
  return text.find_first_not_of(" \t") == std::string_view::npos;
}

long parse_status(std::string_view status_line) {
  // "HTTP/1.1 200 OK": the three digits after the first space.
  const std::size_t space = status_line.find(' ');
  if (space == std::string_view::npos) return 0;
  long code = 0;
  for (std::size_t i = space + 1; i < status_line.size() && i < space + 4; ++i) {
    const char c = status_line[i];
    if (c < '0' || c > '9') return 0;
    code = code * 10 + (c - '0');
  }
  return code;
}

// Before any other libcurl call on any thread, and once: threads that come
// together wait here until it is done.
bool init_library_once() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

}  // namespace

bool library_speaks_http() {
  static const bool speaks = [] {
    if (!init_library_once()) return false;
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info == nullptr || info->protocols == nullptr) return false;
    bool http = false;
    bool https = false;
    for (const char* const* p = info->protocols; *p != nullptr; ++p) {
      http = http || std::string_view(*p) == "http";
      https = https || std::string_view(*p) == "https";
    }
    return http && https;
  }();
  return speaks;
}

std::string curl_url(bool https, const std::string& host, long port, const std::string& object) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = https ? "https://" : "http://";
  url += gbk_to_utf8(host);
  if (port > 0) url += ":" + std::to_string(port);
  for (const char c : gbk_to_utf8(object)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 0x0F];
    } else {
      url += c;
    }
  }
  return url;
}

CurlEasy::CurlEasy() noexcept {
  if (!init_library_once()) return;
  m_curl = curl_easy_init();
  if (m_curl == nullptr) return;
  const bool ready =
      set(CURLOPT_ERRORBUFFER, m_error) && set(CURLOPT_NOSIGNAL, 1L) &&
      set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) &&
      set(CURLOPT_PROTOCOLS_STR, "http,https") && set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https") &&
      // An empty proxy is a direct connection, whatever the environment says.
      set(CURLOPT_PROXY, "") && set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) &&
      set(CURLOPT_BUFFERSIZE, kReceiveBuffer) && set(CURLOPT_HEADERFUNCTION, &CurlEasy::on_header) &&
      set(CURLOPT_HEADERDATA, this) && set(CURLOPT_WRITEFUNCTION, &CurlEasy::on_body) &&
      set(CURLOPT_WRITEDATA, this) && set(CURLOPT_XFERINFOFUNCTION, &CurlEasy::on_progress) &&
      set(CURLOPT_XFERINFODATA, this) && set(CURLOPT_NOPROGRESS, 0L) &&
      set(CURLOPT_PREREQFUNCTION, &CurlEasy::on_request_ready) && set(CURLOPT_PREREQDATA, this) &&
      set(CURLOPT_FOLLOWLOCATION, 0L);
  if (!ready) {
    curl_easy_cleanup(m_curl);
    m_curl = nullptr;
  }
}

CurlEasy::~CurlEasy() {
  if (m_curl != nullptr) curl_easy_cleanup(m_curl);
  curl_slist_free_all(m_headers);
}

bool CurlEasy::append_header(const std::string& line) {
  curl_slist* grown = curl_slist_append(m_headers, line.c_str());
  if (grown == nullptr) return false;
  m_headers = grown;
  return true;
}

bool CurlEasy::set_header_block(const std::string& block, bool has_body) {
  if (m_curl == nullptr) return false;
  bool has_accept = false;
  bool has_expect = false;
  bool has_content_type = false;
  bool has_proxy_connection = false;
  std::size_t from = 0;
  while (from < block.size()) {
    std::size_t end = block.find("\r\n", from);
    if (end == std::string::npos) end = block.size();
    std::string line = block.substr(from, end - from);
    from = end + 2;
    if (line.empty()) continue;
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) return false;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    const std::string_view name(line.data(), colon);
    has_accept = has_accept || same_name(name, "Accept");
    has_expect = has_expect || same_name(name, "Expect");
    has_content_type = has_content_type || same_name(name, "Content-Type");
    has_proxy_connection = has_proxy_connection || same_name(name, "Proxy-Connection");
    // libcurl reads "Name:" as "leave Name out"; "Name;" sends it empty.
    if (blank(std::string_view(line).substr(colon + 1))) line = std::string(name) + ";";
    if (!append_header(line)) return false;
  }
  if (!has_accept && !append_header("Accept:")) return false;
  if (!has_expect && !append_header("Expect:")) return false;
  if (has_body && !has_content_type && !append_header("Content-Type:")) return false;
  // Sent through a proxy, libcurl would add this obsolete line of its own.
  if (!has_proxy_connection && !append_header("Proxy-Connection:")) return false;
  return set(CURLOPT_HTTPHEADER, m_headers);
}

bool CurlEasy::set_inactivity_limit(std::chrono::milliseconds limit) {
  m_idle_limit = limit;
  return set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limit.count()));
}

bool CurlEasy::set_follows_redirects(bool follow) {
  m_follow = follow;
  return set(CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L) && set(CURLOPT_MAXREDIRS, kMaxRedirects);
}

bool CurlEasy::ignore_certificate_errors() {
  return set(CURLOPT_SSL_VERIFYPEER, 0L) && set(CURLOPT_SSL_VERIFYHOST, 0L) &&
         set(CURLOPT_PROXY_SSL_VERIFYPEER, 0L) && set(CURLOPT_PROXY_SSL_VERIFYHOST, 0L);
}

bool CurlEasy::set_proxy(const std::string& proxy) {
  return set(CURLOPT_PROXY, proxy.c_str()) && set(CURLOPT_PROXYPORT, 80L) && set(CURLOPT_NOPROXY, "");
}

bool CurlEasy::set_request(const std::string& verb, const char* data, std::size_t size) {
  if (verb == "HEAD") return set(CURLOPT_NOBODY, 1L);
  m_sends_body = size > 0 || verb == "POST" || verb == "PUT";
  if (!m_sends_body) return verb == "GET" ? set(CURLOPT_HTTPGET, 1L) : set(CURLOPT_CUSTOMREQUEST, verb.c_str());
  static const char kNothing[] = "";
  // POST without a custom verb, so that a 301/302/303 turns it into a GET.
  return set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(size)) &&
         set(CURLOPT_POSTFIELDS, size > 0 ? data : kNothing) &&
         (verb == "POST" || set(CURLOPT_CUSTOMREQUEST, verb.c_str()));
}

CURLcode CurlEasy::perform() {
  if (m_curl == nullptr) return CURLE_FAILED_INIT;
  m_last_activity = Clock::now();
  return curl_easy_perform(m_curl);
}

// The one place where libcurl's outcome becomes a stage of the exchange.
TransferStage CurlEasy::stage(CURLcode code) const {
  if (code == CURLE_OK) return TransferStage::done;
  // Malformed address or a scheme other than http(s), before anything went
  // out; the same codes later mean an answer that is no HTTP response.
  if ((code == CURLE_URL_MALFORMAT || code == CURLE_UNSUPPORTED_PROTOCOL) &&
      m_phase == Phase::connecting && m_responses == 0) {
    return TransferStage::address;
  }
  // Headers in, then a reset, a silence, a short body, or a stop asked for.
  if (m_phase == Phase::body) return TransferStage::body;
  // The request could not be written out whole.
  if (code == CURLE_SEND_ERROR) return TransferStage::connect;
  // The request went out: nothing, a close, garbage or a silence came back,
  // or a followed redirect led nowhere (too many, unreachable target).
  if (m_phase == Phase::awaiting_headers || m_responses > 0) return TransferStage::response;
  // Resolving, connecting, the proxy tunnel or the TLS handshake failed.
  return TransferStage::connect;
}

std::string CurlEasy::error_text(CURLcode code) const {
  if (code == CURLE_OK) return {};
  if (m_stalled) return "no data for " + std::to_string(m_idle_limit.count()) + " ms";
  if (m_cancelled) return "cancelled";
  if (m_sink_failed) return "the body could not be stored";
  if (m_error[0] != '\0') return m_error;
  return curl_easy_strerror(code);
}

void CurlEasy::end_of_headers() {
  ++m_responses;
  if (m_status >= 100 && m_status < 200) {
    m_phase = Phase::awaiting_headers;  // an interim answer; the real one follows
  } else if (m_follow && m_status >= 300 && m_status < 400 && m_block_has_location) {
    // libcurl reads this body unseen, then goes on to the Location: still
    // waiting for the response, and a silence here counts as one.
    m_phase = Phase::awaiting_headers;
  } else {
    m_phase = Phase::body;
    curl_off_t size = -1;
    if (curl_easy_getinfo(m_curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) == CURLE_OK &&
        size >= 0) {
      m_total = static_cast<std::uint64_t>(size);
    }
  }
}

std::size_t CurlEasy::on_header(char* data, std::size_t size, std::size_t count, void* user) {
  auto* self = static_cast<CurlEasy*>(user);
  const std::size_t n = size * count;
  self->m_last_activity = Clock::now();
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  try {
    if (line.substr(0, 5) == "HTTP/") {
      // A new response: only the last one's block counts.
      self->m_header_block.clear();
      self->m_block_has_location = false;
      self->m_status = parse_status(line);
      self->m_total.reset();
      self->m_received = 0;
      self->m_phase = Phase::awaiting_headers;
    } else if (self->m_phase == Phase::body) {
      return n;  // trailers after a chunked body are no part of the block
    }
    self->m_header_block.append(line);
    self->m_header_block.append("\r\n");
    if (line.empty()) {
      self->end_of_headers();
    } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos &&
                                                         same_name(line.substr(0, colon), "Location") &&
                                                         !blank(line.substr(colon + 1))) {
      self->m_block_has_location = true;
    }
  } catch (...) {
    return 0;
  }
  return n;
}

std::size_t CurlEasy::on_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto* self = static_cast<CurlEasy*>(user);
  const std::size_t n = size * count;
  self->m_last_activity = Clock::now();
  // libcurl skips the bodies of redirects it follows, so bytes here belong to
  // the final response even when the guess above said otherwise.
  self->m_phase = Phase::body;
  try {
    if (self->m_sink && !self->m_sink(data, n)) {
      self->m_sink_failed = true;
      return 0;
    }
  } catch (...) {
    self->m_sink_failed = true;
    return 0;
  }
  self->m_received += n;
  return n;
}

int CurlEasy::on_progress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
  auto* self = static_cast<CurlEasy*>(user);
  const Clock::time_point now = Clock::now();
  if (down != self->m_seen_down || up != self->m_seen_up) {
    self->m_seen_down = down;
    self->m_seen_up = up;
    self->m_last_activity = now;
  }
  // Connecting has libcurl's own limit; from the request on, silence counts.
  if (self->m_phase != Phase::connecting && self->m_idle_limit.count() > 0 &&
      now - self->m_last_activity >= self->m_idle_limit) {
    self->m_stalled = true;
    return 1;
  }
  if (self->m_progress) {
    try {
      if (!self->m_progress(self->m_received, self->m_total)) {
        self->m_cancelled = true;
        return 1;
      }
    } catch (...) {
      self->m_cancelled = true;
      return 1;
    }
  }
  return 0;
}

int CurlEasy::on_request_ready(void* user, char*, char*, int, int) {
  auto* self = static_cast<CurlEasy*>(user);
  self->m_phase = Phase::awaiting_headers;
  self->m_last_activity = Clock::now();
  return CURL_PREREQFUNC_OK;
}

}  // namespace melodrin
