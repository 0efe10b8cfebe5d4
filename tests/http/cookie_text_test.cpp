#include "winhttp/cookie_text.h"

#include <vector>

#include <gtest/gtest.h>

namespace melodrin {
namespace {

TEST(MergeCookieText, NewValuesWinAndOldOnesFollow) {
  struct Case {
    const char* old_cookies;
    const char* new_cookies;
    const char* merged;
  };
  static const Case kCases[] = {
      {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
      {"a=1; b=2", "b=deleted", "a=1"},
      {"a=1;", "c=5", "c=5; a=1"},              // a final ";" still splits off
      {"a=1; a=2", "", "a=1"},                  // the first of a repeated old name wins
      {"x=1", "a=1; a=1", "a=1; x=1"},          // exact duplicates go
      {"x=1", "a=1; a=2", "a=1; a=2; x=1"},     // repeats among the new ones stay
      {" a =1", "a=2", "a=2"},                  // names are compared trimmed
      {"A=DELETED", "", "A=DELETED"},           // the marker's letter case counts
      {"", "a=deleted", ""},
      {"a=1;b=2", "a=3", "a=3"},                // ";" without a space is no separator
      {"", "a=1; b=deleted; a=1", "a=1"},
      {"  ", "  ", ""},
      {"k", "k=1", "k=1"},                      // an item without "=" is its own name
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.old_cookies) + " | " + c.new_cookies);
    Text old_cookies = c.old_cookies;
    Text new_cookies = c.new_cookies;
    EXPECT_EQ(merge_cookie_text(old_cookies, new_cookies), c.merged);
    EXPECT_EQ(old_cookies, c.merged);
  }
}

TEST(MergeCookieText, LeavesNewCookiesTrimmedAndReadyToSplit) {
  Text old_cookies = "a=1";
  Text new_cookies = "  b=2;  ";
  EXPECT_EQ(merge_cookie_text(old_cookies, new_cookies), "b=2; a=1");
  EXPECT_EQ(new_cookies, "b=2; ");
}

TEST(CollectSetCookies, TakesNameValueOfSetCookieLinesOnly) {
  struct Case {
    const char* before;
    std::vector<Text> lines;
    const char* after;
  };
  const Case kCases[] = {
      {"", {"Set-Cookie: sid=abc; Path=/; Max-Age=60"}, "sid=abc"},
      {"", {"HTTP/1.1 200 OK", "Set-Cookie: a=1", "Set-Cookie: b=2; HttpOnly", ""}, "a=1; b=2"},
      {"", {"Set-Cookie: a=1", "Set-Cookie: a=2"}, "a=1; a=2"},
      {"", {"set-cookie: x=1"}, ""},                    // the name's letter case counts
      {"", {"Set-Cookie:x=1"}, ""},                     // no ": " after the name
      {"", {"Set-Cookie: ; Path=/", "Set-Cookie: a=1"}, "; a=1"},  // empty items stay
      {"", {"Set-Cookie:  v=1  "}, "v=1"},
      {"", {"Set-Cookie: set-cookie:w=1"}, "w=1"},      // every "Set-Cookie:" goes, any case
      {"p=0", {"Set-Cookie: q=1"}, "p=0q=1"},           // appended as it stands
      {"p=0; ", {"Content-Type: text/html"}, "p=0"},    // only the trailing "; " goes
      {"p=0", {}, "p=0"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.lines.empty() ? Text{} : c.lines.front());
    Text cookies = c.before;
    collect_set_cookies(c.lines, cookies);
    EXPECT_EQ(cookies, c.after);
  }
}

TEST(RemoveDuplicateItems, KeepsFirstOfEachExactPiece) {
  EXPECT_EQ(remove_duplicate_items("a,b,a,A,b", ","), "a,b,A");
  EXPECT_EQ(remove_duplicate_items("", "; "), "");
  EXPECT_EQ(find_in_list({"a", "b"}, "b"), 2);
  EXPECT_EQ(find_in_list({"a", "b"}, "B"), -1);
}

}  // namespace
}  // namespace melodrin
