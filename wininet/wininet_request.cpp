#include "wininet/wininet_request.h"

#include <chrono>
#include <string_view>

#include "text/search.h"
#include "winhttp/cookie_text.h"
#include "winhttp/curl_easy.h"
#include "winhttp/header_block.h"
#include "winhttp/winhttp_request.h"
#include "wininet/url_split.h"

namespace melodrin {

namespace {

const Text kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// The engine sets no time-outs of its own; these stand for the platform's
// defaults, so that a dead server cannot hold the caller for ever.
constexpr std::chrono::milliseconds kInactivityLimit{60000};

Text session_agent(const Text& block) {
  if (find(block, "User-Agent:", 1, true) == -1) return kDefaultAgent;
  Text agent = trim(text_between(block + "\r\n", "User-Agent:", "\r\n"));
  if (agent.empty()) {
    const long colon = find(block, ":");
    agent = colon == -1 ? Text{} : trim(mid(block, colon + 1, length(block)));
  }
  // An agent cut from the middle of the block must not split the request.
  return agent.substr(0, agent.find_first_of(std::string_view("\r\n\0", 3)));
}

bool has_line_named(const Text& block, std::string_view name) {
  for (const Text& line : split(block, "\r\n")) {
    const long colon = find(line, ":");
    if (colon != -1 && compare(left(line, colon - 1), Text(name), false) == 0) return true;
  }
  return false;
}

Text completed(Text block, const Text& url, int method) {
  if (block.empty()) {
    block = "Accept: */*";
  } else if (find(block, "Accept:", 1, true) == -1) {
    block += "\r\nAccept: */*";
  }
  if (find(block, "Referer:", 1, true) == -1) block += "\r\nReferer: " + url;
  if (find(block, "Accept-Language:", 1, true) == -1) block += "\r\nAccept-Language: zh-cn";
  if (method == 1 && find(block, "Content-Type:", 1, true) == -1) {
    block += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  return block;
}

}  // namespace

Bytes wininet_request(const WinInetArgs& args) {
  WinInetOutcome own_outcome;
  WinInetOutcome& outcome = args.outcome != nullptr ? *args.outcome : own_outcome;
  outcome = WinInetOutcome{};

  Text block = args.normalize_headers ? normalize_header_block(args.headers) : args.headers;
  const int method = clamp_method(args.method);
  const bool secure = to_lower(left(args.url, 8)) == "https://";
  const Text agent = session_agent(block);

  CurlEasy easy;
  if (!easy.valid() || (!args.proxy.empty() && !easy.set_proxy(args.proxy))) {
    outcome.error_text = "no session";
    return {};
  }

  const Text host = url_host(args.url);
  if (host.empty()) {
    outcome.error_text = "no host in the address";
    return {};
  }
  const std::string address = curl_url(secure, host, url_port(args.url), url_path(args.url));
  if (!easy.set(CURLOPT_URL, address.c_str()) || !easy.set_inactivity_limit(kInactivityLimit) ||
      !easy.set_follows_redirects(!args.no_redirect) ||
      // Cookies supplied: the caller carries them. Otherwise those set by
      // redirects within this call are sent on; nothing outlives it.
      (args.cookies == nullptr && !easy.set(CURLOPT_COOKIEFILE, ""))) {
    outcome.error_text = "no request";
    return {};
  }

  // Certificate errors never stop a request; the outcome is not read.
  easy.ignore_certificate_errors();

  if (args.complete_headers) block = completed(block, args.url, method);
  if (args.cookies != nullptr && !args.cookies->empty()) {
    block += find(*args.cookies, "Cookie:") != -1 ? Text{"\r\n"} : Text{"\r\nCookie: "};
    block += *args.cookies;
  }

  Bytes own_post_bytes;
  Bytes& post_bytes = args.post_bytes != nullptr ? *args.post_bytes : own_post_bytes;
  Bytes body;
  if (method != 0) {
    if (post_bytes.empty()) post_bytes = text_to_bytes(args.post_text);
    body = post_bytes;
  }

  Bytes received;
  if (args.body_sink) {
    easy.set_body_sink(args.body_sink);
  } else {
    easy.collect_body(received);
  }
  if (args.progress) easy.set_progress(args.progress);

  // A header line that cannot go out fails the send; nothing is read then.
  const bool sendable = easy.set_request(method_name(method), body.data(), body.size()) &&
                        (has_line_named(block, "User-Agent") || agent.empty() ||
                         easy.set(CURLOPT_USERAGENT, agent.c_str())) &&
                        easy.set_header_block(block, easy.sends_body());
  const CURLcode code = sendable ? easy.perform() : CURLE_SEND_ERROR;

  outcome.complete = code == CURLE_OK;
  outcome.status = easy.status();
  outcome.cancelled = easy.cancelled();
  outcome.sink_failed = easy.sink_failed();
  outcome.error_text = sendable ? easy.error_text(code) : "a request header line cannot be sent";

  // The whole block, however long it is.
  const Text& response_block = easy.header_block();
  if (args.returned_headers != nullptr) *args.returned_headers = response_block;

  Text returned_cookies;
  collect_set_cookies(split(response_block, "\r\n"), returned_cookies);
  if (args.merge_cookies && args.cookies != nullptr) {
    returned_cookies = merge_cookie_text(*args.cookies, returned_cookies);
  }
  if (args.returned_cookies != nullptr) *args.returned_cookies = returned_cookies;
  return received;
}

}  // namespace melodrin
