#include "winhttp/winhttp_request.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <optional>

#include "regexp/reg_exp.h"
#include "text/search.h"
#include "winhttp/cookie_text.h"
#include "winhttp/curl_easy.h"
#include "winhttp/header_block.h"
#include "winhttp/pending_events.h"
#include "winhttp/response_text.h"

namespace melodrin {

namespace {

const char* const kMethods[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};

const char kNoPlatform[] = "700 当前系统不支持WinHttp服务!";
const char kBadAddress[] = "701 解析URL地址失败!";
const char kNoSession[] = "702 创建WinHttp会话失败!";
const char kNoConnection[] = "703 创建WinHttp连接失败!";
const char kNoRequest[] = "704 创建WinHttp请求失败!";
const char kTimeoutsRefused[] = "705 设置超时时间失败!";
const char kCredentialsRefused[] = "707 设置代理凭证失败!";
const char kCertificateOptionRefused[] = "忽略错误/证书错误  失败！";
const char kCookieOptionRefused[] = "708 禁止自动设置Cookies失败!";
const char kRedirectOptionRefused[] = "709 重定向设置失败!";
const char kHeadersRefused[] = "710 设置协议头失败!";
const char kSendFailed[] = "711 发送请求失败!";
const char kNoResponse[] = "712 服务器未响应!";
const char kReadFailed[] = "713 读取数据失败!";

constexpr long kDefaultTimeoutMs = 30000;

struct CrackedUrl {
  bool https = false;
  Text host;
  long port = 0;
  Text object;  // path and query, "/" when the path is empty
};

// Splits scheme://[user@]host[:port][path][?query][#fragment]. Only http and
// https are accepted; the fragment is never sent.
std::optional<CrackedUrl> crack_url(const Text& url) {
  const std::size_t scheme_end = url.find("://");
  if (scheme_end == Text::npos || scheme_end == 0) return std::nullopt;
  CrackedUrl cracked;
  const Text scheme = to_lower(url.substr(0, scheme_end));
  if (scheme != "http" && scheme != "https") return std::nullopt;
  cracked.https = scheme == "https";

  const Text rest = url.substr(scheme_end + 3);
  const std::size_t authority_end = std::min(rest.find_first_of("/?#"), rest.size());
  Text authority = rest.substr(0, authority_end);
  if (const std::size_t at = authority.rfind('@'); at != Text::npos) authority.erase(0, at + 1);

  Text port_text;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == Text::npos) return std::nullopt;
    cracked.host = authority.substr(0, close + 1);
    const Text after = authority.substr(close + 1);
    if (!after.empty() && after.front() != ':') return std::nullopt;
    if (!after.empty()) port_text = after.substr(1);
  } else {
    const std::size_t colon = authority.find(':');
    cracked.host = authority.substr(0, colon);
    if (colon != Text::npos) port_text = authority.substr(colon + 1);
  }
  if (cracked.host.empty()) return std::nullopt;

  cracked.port = cracked.https ? 443 : 80;
  if (!port_text.empty()) {
    if (port_text.size() > 5 || port_text.find_first_not_of("0123456789") != Text::npos) {
      return std::nullopt;
    }
    cracked.port = std::stol(port_text);
    if (cracked.port < 1 || cracked.port > 65535) return std::nullopt;
  }

  Text tail = rest.substr(authority_end);
  tail = tail.substr(0, tail.find('#'));
  const std::size_t query = tail.find('?');
  const Text path = tail.substr(0, query);
  // An empty path is requested as "/", then without the query.
  cracked.object = path.empty() ? Text{"/"} : tail;
  return cracked;
}

long timeout_ms(int timeout_seconds) {
  if (timeout_seconds < 1) return kDefaultTimeoutMs;
  return static_cast<long>(std::min<long long>(timeout_seconds * 1000LL, INT_MAX));
}

// The options naming one side's credentials: the server's or the proxy's.
struct CredentialOptions {
  CURLoption scheme;
  CURLoption user;
  CURLoption password;
};

// Basic credentials, when both parts are given; false when the library
// refuses them.
bool set_basic_credentials(CurlEasy& easy, const Text& user, const Text& password,
                           const CredentialOptions& options) {
  if (user.empty() || password.empty()) return true;
  return easy.set(options.scheme, static_cast<long>(CURLAUTH_BASIC)) &&
         easy.set(options.user, user.c_str()) && easy.set(options.password, password.c_str());
}

}  // namespace

int clamp_method(int method) { return method < 0 || method > 7 ? 0 : method; }

const char* method_name(int method) { return kMethods[clamp_method(method)]; }

Text winhttp_request(const WinHttpArgs& args) {
  RegExp reg_exp;
  const auto fail = [&args](const char* message) {
    if (args.status_text != nullptr) *args.status_text = message;
    return Text{};
  };

  if (!library_speaks_http()) return fail(kNoPlatform);
  dispatch_pending_events();

  const std::optional<CrackedUrl> cracked = crack_url(args.url);
  if (!cracked) return fail(kBadAddress);
  dispatch_pending_events();

  CurlEasy easy;
  if (!easy.valid()) return fail(kNoSession);
  if (!args.proxy.empty() && !easy.set_proxy(args.proxy)) return fail(kNoSession);
  dispatch_pending_events();

  if (!easy.set_inactivity_limit(std::chrono::milliseconds(timeout_ms(args.timeout_seconds)))) {
    return fail(kTimeoutsRefused);
  }
  dispatch_pending_events();

  const std::string address = curl_url(cracked->https, cracked->host, cracked->port, cracked->object);
  if (!easy.set(CURLOPT_URL, address.c_str())) return fail(kNoConnection);
  dispatch_pending_events();

  const int method = clamp_method(args.method);
  // Every verb, GET included, carries the body when there is one.
  const Bytes body = args.post_bytes.empty() ? text_to_bytes(args.post_text) : args.post_bytes;
  if (!easy.set_request(method_name(method), body.data(), body.size())) return fail(kNoRequest);
  dispatch_pending_events();

  if (!set_basic_credentials(easy, args.user_name, args.password,
                             {CURLOPT_HTTPAUTH, CURLOPT_USERNAME, CURLOPT_PASSWORD})) {
    return fail(kCredentialsRefused);
  }
  dispatch_pending_events();
  if (!set_basic_credentials(easy, args.proxy_user, args.proxy_password,
                             {CURLOPT_PROXYAUTH, CURLOPT_PROXYUSERNAME, CURLOPT_PROXYPASSWORD})) {
    return fail(kCredentialsRefused);
  }
  dispatch_pending_events();

  if (!easy.ignore_certificate_errors()) return fail(kCertificateOptionRefused);
  dispatch_pending_events();

  const Text cookies = args.cookies != nullptr ? *args.cookies : Text{};
  // Without cookies the library neither stores nor sends any. With cookies
  // it keeps those that redirects within this call set; nothing outlives it.
  if (!cookies.empty() && !easy.set(CURLOPT_COOKIEFILE, "")) return fail(kCookieOptionRefused);
  dispatch_pending_events();

  if (!easy.set_follows_redirects(!args.no_redirect)) return fail(kRedirectOptionRefused);
  dispatch_pending_events();

  const Text block = assemble_request_headers(args.headers, method, cookies, args.complete_headers,
                                              args.normalize_headers);
  if (!easy.set_header_block(block, easy.sends_body())) return fail(kHeadersRefused);
  dispatch_pending_events();

  Bytes received;
  easy.collect_body(received);
  const CURLcode code = easy.perform();
  switch (easy.stage(code)) {
    case TransferStage::address:
      return fail(kBadAddress);
    case TransferStage::connect:
      return fail(kSendFailed);
    case TransferStage::response:
      return fail(kNoResponse);
    case TransferStage::body:
      // Kept with what arrived; the status below replaces the message.
      if (args.status_text != nullptr) *args.status_text = kReadFailed;
      break;
    case TransferStage::done:
      break;
  }
  dispatch_pending_events();

  const Text& response_block = easy.header_block();
  if (response_block.empty()) return {};

  if (args.returned_headers != nullptr) *args.returned_headers = response_block;
  const TextArray lines = split(response_block, "\r\n");
  if (args.status_text != nullptr) *args.status_text = lines.empty() ? Text{} : mid(lines[0], 10, length(lines[0]));

  Text own_returned_cookies;
  Text& returned_cookies = args.returned_cookies != nullptr ? *args.returned_cookies : own_returned_cookies;
  collect_set_cookies(lines, returned_cookies);
  for (const Text& line : lines) {
    if (compare(left(line, 10), "Location: ", false) == 0 && args.location != nullptr) {
      *args.location = mid(line, 11, length(line));
    }
    dispatch_pending_events();
  }
  if (args.merge_cookies && args.cookies != nullptr && !args.cookies->empty()) {
    returned_cookies = merge_cookie_text(*args.cookies, returned_cookies);
  }

  if (args.response_bytes != nullptr) *args.response_bytes = received;
  return decode_response_text(received, reg_exp);
}

}  // namespace melodrin
