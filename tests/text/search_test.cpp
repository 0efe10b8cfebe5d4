#include "text/search.h"

#include <gtest/gtest.h>

#include <climits>

namespace melodrin {
namespace {

const Text kZhong = "\xD6\xD0";
const Text kQuote = "#\xD2\xFD\xBA\xC5";  // the quote token, in GBK
const Text kApiPrefix = "https://wwwapi.kugou.com/yy/index.php?";

TEST(FindFolded, ByteWise) {
  struct Case {
    Text text;
    Text sought;
    long start;
    bool ignore_case;
    long expected;
  };
  const Case kCases[] = {
      {"", "a", 1, false, -1},
      {"abc", "", 1, false, -1},
      {"xxabcabc", "abc", 1, false, 3},
      {"xxabcabc", "abc", 4, false, 6},
      {"xxabcabc", "abc", 0, false, 3},
      {"abc", "c", 3, false, 3},
      {"abc", "c", 4, false, -1},
      {"abc", "c", 50, false, -1},
      // Unlike find, a match may begin on a trail byte.
      {kZhong + kZhong, "\xD0\xD6", 1, false, 2},
      {"HTTPS://WWWAPI.KUGOU.COM/YY/INDEX.PHP?r=1", kApiPrefix, 1, true, 1},
      {"HTTPS://WWWAPI.KUGOU.COM/YY/INDEX.PHP?r=1", kApiPrefix, 1, false, -1},
      {"x" + kApiPrefix, "HTTPS://", 1, true, 2},
      {"\xB0" "A", "\xB0" "a", 1, true, 1},  // lowering ignores characters
      {Text(20, 'x') + "KuGoU", "kugou", 1, true, 21},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text + " / " + c.sought + " from " + std::to_string(c.start));
    EXPECT_EQ(find_folded(c.text, c.sought, c.start, c.ignore_case), c.expected);
  }
}

TEST(TextBefore, ForwardAndFromTheEnd) {
  struct Case {
    Text text;
    Text marker;
    long start;
    bool ignore_case;
    Text expected;
  };
  const Case kCases[] = {
      {"Set-Cookie: a=1", ": ", 1, false, "Set-Cookie"},
      {"Set-Cookie: a=1", "; ", 1, false, ""},
      {"Set-Cookie: a=1", "Set", 1, false, ""},
      {"a=b=c", "=", 0, false, "a"},
      {"a=b=c", "=", 3, false, "a=b"},
      {"a=b=c", "=", -1, false, "a=b"},
      {"a=b=c", "=", -2, false, "a"},  // the last two bytes are left out
      {"a=b=c", "=", -4, false, ""},
      {"a=b=c", "=", -10, false, ""},
      {"xAy", "a", 1, true, "x"},
      {"xAy", "a", 1, false, ""},
      {"xAyA", "a", -1, true, "xAy"},
      {"a=b=c", "=", LONG_MIN, false, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text + " / " + c.marker + " from " + std::to_string(c.start));
    EXPECT_EQ(text_before(c.text, c.marker, c.start, c.ignore_case), c.expected);
  }
}

TEST(TextBetween, Markers) {
  struct Case {
    Text text;
    Text left;
    Text right;
    long start;
    bool ignore_case;
    Text expected;
  };
  const Case kCases[] = {
      {"a<b>c<d>", "<", ">", 1, false, "b"},
      {"a<b>c<d>", "[", ">", 1, false, ""},
      {"a<b>c<d>", "<", "]", 1, false, ""},
      {"a<b>c<d>", "<", "<", 1, false, "b>c"},
      {"a<b>c<d>", "<", ">", 3, false, "d"},
      {"a<>", "<", ">", 1, false, ""},
      {"ab<", "<", ">", 1, false, ""},
      {"x=\"v\";", "x=" + kQuote, kQuote, 1, false, "v"},
      {"<A>b</A>", "<a>", "</a>", 1, true, "b"},
      {"<A>b</A>", "<a>", "</a>", 1, false, ""},
      {"<" + kZhong + ">", "<", ">", 1, false, kZhong},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text + " between " + c.left + " and " + c.right);
    EXPECT_EQ(text_between(c.text, c.left, c.right, c.start, c.ignore_case), c.expected);
  }
}

TEST(CapitalizeFirst, OnlyAnAsciiLetter) {
  struct Case {
    Text text;
    Text expected;
  };
  const Case kCases[] = {
      {"abc", "Abc"}, {"Abc", "Abc"}, {"", ""}, {"1a", "1a"}, {kZhong + "a", kZhong + "a"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(capitalize_first(c.text), c.expected);
  }
}

TEST(InsertWidened, RoundTripThroughFullWidth) {
  struct Case {
    Text text;
    Text insertion;
    long position;
    Text expected;
  };
  const Case kCases[] = {
      {"\"a\":1}", "{", 0, "{\"a\":1}"},
      {"\"a\":1}", "{", 1, "{\"a\":1}"},
      {"\"a\":1}", "{", 2, "{\"a\":1}"},
      {"\xA3\xC1\xA1\xA1\xA1\xAB\xA1\xEE\xA1\xEF", "", 0, "A ~**"},
      {kZhong + "~ \t", "{", 0, "{" + kZhong + "~ \t"},
      {"x\xB0", "{\xB0", 0, "{x"},  // lone lead bytes do not survive widening
      {"ab", "X", 3, "aXb"},
      {kZhong + "b", "X", 3, kZhong + "Xb"},  // a character is not split
      {"ab", "X", 9, "abX"},
      {"ab", "X", -1, "Xab"},
      {"ab", "X", LONG_MIN, "Xab"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text + " <- " + c.insertion + " at " + std::to_string(c.position));
    EXPECT_EQ(insert_widened(c.text, c.insertion, c.position), c.expected);
  }
}

TEST(ReplacePairs, PassesInOrder) {
  struct Case {
    const char* what;
    Text result;
    Text expected;
  };
  const Case kCases[] = {
      {"jsonp tail", replace_pairs("a);\"x);\"", {{");", ""}}), "a\"x\""},
      {"chained", replace_pairs("ab", {{"a", "b"}, {"b", "c"}}), "cc"},
      {"empty sought", replace_pairs("ab", {{"", "x"}, {"a", "y"}}), "yb"},
      {"count per pass", replace_pairs("aabb", {{"a", "x"}, {"b", "y"}}, 1), "xayb"},
      {"start 0", replace_pairs("aXa", {{"a", "b"}}, std::nullopt, 0), "bXb"},
      {"start 2", replace_pairs("aXa", {{"a", "b"}}, std::nullopt, 2), "aXb"},
      {"case folded", replace_pairs("A", {{"a", "b"}}), "b"},
      {"case kept", replace_pairs("A", {{"a", "b"}}, std::nullopt, 1, true), "A"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.result, c.expected);
  }
}

}  // namespace
}  // namespace melodrin
