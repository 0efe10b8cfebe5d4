#include "winhttp/header_block.h"

#include <gtest/gtest.h>

namespace melodrin {
namespace {

const Text kDefaultBlock =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
    "Accept: text/html, application/xhtml+xml, */*\r\n"
    "Accept-Encoding: gbk, GB2312\r\n"
    "Accept-Language: zh-cn\r\n"
    "Cache-Control: no-cache";

TEST(NormalizeHeaderBlock, CapitalisesNamesAndDropsPiecesWithoutColon) {
  struct Case {
    const char* block;
    const char* normalized;
  };
  static const Case kCases[] = {
      {"", ""},
      {"no colon\r\nnone here either", ""},
      {"content-type: text/plain\r\nx-requested-with: XMLHttpRequest\r\n",
       "Content-Type: text/plain\r\nX-Requested-With: XMLHttpRequest"},
      {"x-forwarded-for: 1.2.3.4\r\nbad line\r\n\r\nhost: h", "X-Forwarded-For: 1.2.3.4\r\nHost: h"},
      {"USER-AGENT: a", "USER-AGENT: a"},
      {"a:1", "A:1"},
      {"accept: text/html", "Accept: text/html"},            // values never change
      {"x-a:b-c: d-e", "X-A:b-c: d-e"},                      // the name ends at the first ":"
      {"1st-name: x\r\n\xD6\xD0-ab: y", "1st-Name: x\r\n\xD6\xD0-Ab: y"},  // non-letters stay
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.block);
    EXPECT_EQ(normalize_header_block(c.block), c.normalized);
  }
}

TEST(HeaderValue, ReadsFirstLineBeginningWithTheName) {
  struct Case {
    const char* block;
    const char* name;
    const char* value;
  };
  static const Case kCases[] = {
      {"Host: h\r\nConnection: keep-alive", "Connection", "keep-alive"},
      {"Connection:keep-alive", "Connection", ""},  // the line lacks "Connection: "
      {"connection: close", "Connection", ""},      // letter case counts
      {"A: 1\r\nA: 2", "A", "1"},
      {"Ab: x\r\nA: y", "A", ""},                   // "Ab: x" begins with "A" and wins
      {"A: x A: y", "A", "y"},                      // the last marker in the line
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.block);
    EXPECT_EQ(header_value(c.block, c.name), c.value);
  }
  EXPECT_EQ(text_after("a=1=2", "="), "2");
  EXPECT_EQ(text_after("a=1", ";"), "");
}

TEST(AssembleRequestHeaders, AddsDefaultsKeepAliveRuleAndCookieLine) {
  struct Case {
    const char* name;
    const char* headers;
    int method;
    const char* cookies;
    bool complete;
    bool normalize;
    Text block;
  };
  const Text ua = "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)";
  const Text rest =
      "Accept-Encoding: gbk, GB2312\r\nAccept-Language: zh-cn\r\nCache-Control: no-cache";
  const Case kCases[] = {
      {"worker's call", "", 0, "", true, true, kDefaultBlock},
      {"post", "", 1, "", true, true,
       ua + "\r\nAccept: text/html, application/xhtml+xml, */*\r\nAccept-Encoding: gbk, GB2312\r\n"
            "Accept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded\r\n"
            "Cache-Control: no-cache"},
      {"caller accept with space", "accept: */*", 0, "", true, true,
       "Accept: */*\r\n" + ua + "\r\n" + rest},
      {"caller accept without space", "Accept:*/*", 0, "", true, true,
       "Accept:*/*\r\n" + ua + "\r\nAccept: text/html, application/xhtml+xml, */*\r\n" + rest},
      {"any content-type hides the default", "content-type:x", 1, "", true, true,
       "Content-Type:x\r\n" + ua + "\r\nAccept: text/html, application/xhtml+xml, */*\r\n" + rest},
      {"user agent anywhere", "X-Note: user-agent: me", 0, "", true, true,
       "X-Note: user-agent: me\r\nAccept: text/html, application/xhtml+xml, */*\r\n" + rest},
      {"cookie pairs", "", 0, "a=1; b=2", false, true, "\r\nCookie: a=1; b=2\r\n"},
      {"cookie line", "", 0, "Cookie: a=1", false, true, "\r\nCookie: a=1\r\n"},
      {"unnormalized keeps its CR LF", "X: 1", 0, "a=1", false, false, "X: 1\r\n\r\nCookie: a=1\r\n"},
      {"cookie already in block", "cookie: z=1", 0, "a=1", false, true, "Cookie: z=1"},
      {"set-cookie keeps cookies out", "Set-Cookie: z=1", 0, "a=1", false, true, "Set-Cookie: z=1"},
      {"keep-alive in the middle goes", "connection: keep-alive\r\nX: 1", 0, "", false, true, "X: 1"},
      {"keep-alive as last line stays", "X: 1\r\nConnection: keep-alive", 0, "", false, true,
       "X: 1\r\nConnection: keep-alive"},
      {"close stays", "Connection: close\r\nX: 1", 0, "", false, true, "Connection: close\r\nX: 1"},
      {"method 8 is no post", "", 8, "", true, true, kDefaultBlock},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(assemble_request_headers(c.headers, c.method, c.cookies, c.complete, c.normalize),
              c.block);
  }
}

}  // namespace
}  // namespace melodrin
