#include "wininet/url_split.h"

#include "text/search.h"

namespace melodrin {

Text url_host(const Text& url, bool keep_port) {
  Text address = to_lower(url);
  if (right(address, 1) != "/") address += "/";

  Text host;
  if (left(address, 8) == "https://") {
    host = text_between(address, "https://", "/");
  } else {
    if (find(address, "http://") == -1) address = "http://" + address;
    host = text_between(address, "http://", "/");
  }
  if (keep_port) return host;
  const long colon = find(host, ":");
  return colon == -1 ? host : left(host, colon - 1);
}

long url_port(const Text& url) {
  const Text host = url_host(url, true);
  const long colon = find_backwards(host, ":");
  if (colon != -1) return static_cast<long>(to_integer(mid(host, colon + 1, length(host))));
  return left(to_lower(url), 5) == "https" ? 443 : 80;
}

Text url_path(const Text& url) {
  // The host is looked for behind the scheme: a host such as "s" or "tp"
  // would otherwise be found inside "https://" and give "//..." as path.
  const Text lower = to_lower(left(url, 8));
  const long from = lower == "https://" ? 9 : left(lower, 7) == "http://" ? 8 : 1;
  const long host_at = find(url, url_host(url), from, true);
  if (host_at == -1) return "/";
  const long slash = find(url, "/", host_at);
  return slash == -1 ? Text{"/"} : mid(url, slash, length(url));
}

}  // namespace melodrin
