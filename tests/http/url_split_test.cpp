#include "wininet/url_split.h"

#include <gtest/gtest.h>

namespace melodrin {
namespace {

TEST(UrlSplit, CutsHostPortAndPathOutOfTheAddress) {
  struct Case {
    const char* url;
    const char* host;
    const char* host_with_port;
    long port;
    const char* path;
  };
  static const Case kCases[] = {
      {"https://WWW.Example.COM/Song/Play?Hash=AbC", "www.example.com", "www.example.com", 443,
       "/Song/Play?Hash=AbC"},
      {"http://example.com:8080/a/b", "example.com", "example.com:8080", 8080, "/a/b"},
      {"Example.COM", "example.com", "example.com", 80, "/"},  // no scheme, no "/"
      {"HTTPS://example.com/x", "example.com", "example.com", 443, "/x"},
      {"https://example.com:8443", "example.com", "example.com:8443", 8443, "/"},
      {"http://example.com:abc/x", "example.com", "example.com:abc", 0, "/x"},
      {"http://example.com: 81/x", "example.com", "example.com: 81", 81, "/x"},
      {"example.com/p?q=1", "example.com", "example.com", 80, "/p?q=1"},
      {"http://example.com/", "example.com", "example.com", 80, "/"},
      // A host that also occurs inside the scheme is looked for behind it.
      {"https://s/x", "s", "s", 443, "/x"},
      {"http://tp:81/y", "tp", "tp:81", 81, "/y"},
      {"", "", "", 80, "/"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(url_host(c.url), c.host);
    EXPECT_EQ(url_host(c.url, true), c.host_with_port);
    EXPECT_EQ(url_port(c.url), c.port);
    EXPECT_EQ(url_path(c.url), c.path);
  }
}

}  // namespace
}  // namespace melodrin
