#include "regexp/reg_exp.h"

#include <gtest/gtest.h>

#include <string_view>

#include "text/codepage.h"

namespace melodrin {
namespace {

// Test texts are written in UTF-8 and handed over as GBK.
Text gbk(std::string_view utf8) { return utf8_to_gbk(utf8); }

constexpr long kWhole = -1;

constexpr const char* kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

TEST(RegExpTest, SearchAndFirstMatch) {
  struct Case {
    const char* pattern;
    const char* subject;
    bool case_sensitive = false;
    bool multiline = true;
    bool global = true;
    bool quote_marker = false;
    bool ok = true;
    long count = 0;
    const char* first = "";
    long position = -2;
  };
  static const Case kCases[] = {
      {.pattern = "xyz", .subject = "abc"},
      {.pattern = "a(", .subject = "a(", .ok = false},
      {.pattern = "[a", .subject = "[a", .ok = false},
      {.pattern = "*a", .subject = "*a", .ok = false},
      {.pattern = "a\\", .subject = "a\\", .ok = false},
      // Letter case is ignored unless asked otherwise.
      {.pattern = "hello", .subject = "say HELLO", .count = 1, .first = "HELLO", .position = 4},
      {.pattern = "hello", .subject = "say HELLO", .case_sensitive = true},
      {.pattern = "b", .subject = "abc", .case_sensitive = true, .count = 1, .first = "b",
       .position = 1},
      // "." matches neither LF nor CR, with or without multiline.
      {.pattern = "a.b", .subject = "a\nb"},
      {.pattern = "a.b", .subject = "a\rb"},
      {.pattern = "a.b", .subject = "a\nb", .multiline = false},
      {.pattern = "a.b", .subject = "a\rb", .multiline = false},
      {.pattern = "a.b", .subject = "a-b", .count = 1, .first = "a-b", .position = 0},
      {.pattern = "a[^]b", .subject = "a\nb", .count = 1, .first = "a\nb", .position = 0},
      {.pattern = "a[]", .subject = "a[]"},
      // ^ and $ at line breaks only with multiline; $ then means the very end.
      {.pattern = "^b", .subject = "a\nb", .count = 1, .first = "b", .position = 2},
      {.pattern = "^b", .subject = "a\rb", .count = 1, .first = "b", .position = 2},
      {.pattern = "^b", .subject = "a\nb", .multiline = false},
      {.pattern = "a$", .subject = "a\r\nb", .count = 1, .first = "a", .position = 0},
      {.pattern = "a$", .subject = "a\n", .multiline = false},
      {.pattern = "a$", .subject = "ba", .multiline = false, .count = 1, .first = "a",
       .position = 1},
      // Global collects every match, otherwise only the first.
      {.pattern = "a", .subject = "banana", .count = 3, .first = "a", .position = 1},
      {.pattern = "a", .subject = "banana", .global = false, .count = 1, .first = "a",
       .position = 1},
      // An empty match steps on by one before the next search.
      {.pattern = "x*", .subject = "axb", .count = 4, .first = "", .position = 0},
      {.pattern = "", .subject = "ab", .count = 3, .first = "", .position = 0},
      {.pattern = "", .subject = "", .count = 1, .first = "", .position = 0},
      // The quote marker stands for a double quote only when asked.
      {.pattern = "a#引号b", .subject = "xa\"b", .quote_marker = true, .count = 1,
       .first = "a\"b", .position = 1},
      {.pattern = "a#引号b", .subject = "xa\"b"},
      {.pattern = "a#引号b", .subject = "a#引号b", .count = 1, .first = "a#引号b", .position = 0},
      // ECMAScript-style syntax.
      {.pattern = "<.+?>", .subject = "<a><b>", .count = 2, .first = "<a>", .position = 0},
      {.pattern = "\\w+", .subject = "中文abc_1", .count = 1, .first = "abc_1", .position = 4},
      {.pattern = "\\u0041", .subject = "xa", .count = 1, .first = "a", .position = 1},
      {.pattern = "\\x41\\x", .subject = "Ax", .count = 1, .first = "Ax", .position = 0},
      {.pattern = "\\v", .subject = "\n\v", .count = 1, .first = "\v", .position = 1},
      {.pattern = "[[:digit:]]+", .subject = "7:]", .count = 1, .first = ":]", .position = 1},
      {.pattern = "\\Q", .subject = "aq", .count = 1, .first = "q", .position = 1},
      {.pattern = "中+", .subject = "a中中b", .count = 1, .first = "中中", .position = 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "pattern '" << c.pattern << "' subject '" << c.subject
                                    << "' case " << c.case_sensitive << " multiline "
                                    << c.multiline << " global " << c.global);
    RegExp re;
    EXPECT_EQ(re.search(gbk(c.pattern), gbk(c.subject), c.case_sensitive, c.multiline, c.global,
                        c.quote_marker),
              c.ok);
    EXPECT_EQ(re.match_count(), c.count);
    long position = 99;
    EXPECT_EQ(re.match_text(1, &position), gbk(c.first));
    EXPECT_EQ(position, c.position);
  }
}

TEST(RegExpTest, TextsAndPositionsOfMatchesAndGroups) {
  struct Case {
    const char* pattern;
    const char* subject;
    bool case_sensitive;
    long match;
    long group;  // kWhole reads the match itself
    const char* text;
    long position;
  };
  static const Case kCases[] = {
      // Two double-byte characters ahead: UTF-16 index 2, byte offset 4.
      {"abc", "中文abc", false, 1, kWhole, "abc", 4},
      {"ab", "ab中ab", false, 2, kWhole, "ab", 4},
      {"b", "中中中b", false, 1, kWhole, "b", 6},
      {"B", "中bB", true, 1, kWhole, "B", 3},
      {"charset=([-\\w]+)", "中<meta charset=utf-8>", false, 1, 1, "utf-8", 16},
      {"a(a)", "xaa", false, 1, 1, "a", 2},
      {"(\\w)(\\d)", "a1 b2", false, 2, 2, "2", 4},
      // No such match or group.
      {"ab", "ab中ab", false, 0, kWhole, "", -2},
      {"ab", "ab中ab", false, 3, kWhole, "", -2},
      {"(a)", "a", false, 1, 2, "", -2},
      {"(a)", "a", false, 1, 0, "", -2},
      {"(a)", "a", false, 1, -5, "", -2},
      {"(a)", "a", false, 0, 1, "", -2},
      {"(x)?b", "b", false, 1, 1, "", -2},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "pattern '" << c.pattern << "' subject '" << c.subject
                                    << "' match " << c.match << " group " << c.group);
    RegExp re;
    ASSERT_TRUE(re.search(gbk(c.pattern), gbk(c.subject), c.case_sensitive));
    long position = 99;
    const Text text = c.group == kWhole ? re.match_text(c.match, &position)
                                        : re.submatch_text(c.match, c.group, &position);
    EXPECT_EQ(text, gbk(c.text));
    EXPECT_EQ(position, c.position);
    EXPECT_EQ(c.group == kWhole ? re.match_text(c.match) : re.submatch_text(c.match, c.group),
              gbk(c.text));
  }
}

TEST(RegExpTest, SubmatchCountIsTheGroupsOfTheFirstMatch) {
  RegExp re;
  ASSERT_TRUE(re.search("(a)(b)?", "xa"));
  EXPECT_EQ(re.submatch_count(), 2);
  ASSERT_TRUE(re.search("(a)(b)?", "xyz"));
  EXPECT_EQ(re.submatch_count(), 0);
}

TEST(RegExpTest, NothingBeforeTheFirstSearch) {
  const RegExp re;
  EXPECT_EQ(re.pattern_text(), "");
  EXPECT_EQ(re.match_count(), 0);
  EXPECT_EQ(re.submatch_count(), 0);
  long position = 99;
  EXPECT_EQ(re.match_text(1, &position), "");
  EXPECT_EQ(position, -2);
  EXPECT_EQ(re.submatch_text(1, 1), "");
  EXPECT_EQ(re.replace("x"), "");
}

TEST(RegExpTest, EverySearchStartsOver) {
  RegExp re;
  ASSERT_TRUE(re.search(gbk("a#引号"), "a\"", true, true, true, true));
  EXPECT_EQ(re.pattern_text(), "a\"");
  EXPECT_EQ(re.match_count(), 1);

  // Options do not carry over: case is ignored again.
  ASSERT_TRUE(re.search("A", "a", true));
  EXPECT_EQ(re.match_count(), 0);
  ASSERT_TRUE(re.search("A", "a"));
  EXPECT_EQ(re.match_count(), 1);

  // A rejected pattern drops the last results but keeps its own text.
  EXPECT_FALSE(re.search("(a", "a"));
  EXPECT_EQ(re.pattern_text(), "(a");
  EXPECT_EQ(re.match_count(), 0);
  EXPECT_EQ(re.match_text(1), "");
  EXPECT_EQ(re.replace("x"), "");
}

TEST(RegExpTest, Replace) {
  struct Case {
    const char* pattern;
    const char* subject;
    const char* replacement;
    const char* expected;
    bool global = true;
    bool case_sensitive = false;
  };
  static const Case kCases[] = {
      {"(\\w+)@(\\w+)", "joe@home, ann@work", "$2 at $1", "home at joe, work at ann"},
      {"b", "abc", "[$&]", "a[b]c"},
      {"b", "abc", "[$`]", "a[a]c"},
      {"b", "abc", "[$']", "a[c]c"},
      {"b", "abc", "$$", "a$c"},
      {"b", "abc", "$", "a$c"},
      {"b", "abc", "x$", "ax$c"},
      {"b", "abc", "$x$", "a$x$c"},
      {"b", "abc", "$0", "a$0c"},
      {"(b)", "abc", "$2", "a$2c"},
      {"(b)", "abc", "$1$01$10", "abbb0c"},
      {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "abcdefghij", "$10,$11,$01", "j,a1,a"},
      {"(x)?b", "abc", "[$1]", "a[]c"},
      {"a", "banana", "o", "bonono"},
      {"a", "banana", "o", "bonana", false},
      {"A", "banana", "o", "bonono"},
      {"A", "banana", "o", "banana", true, true},
      {"z", "abc", "x", "abc"},
      {"", "ab", "-", "-a-b-"},
      {"文", "中文字", "<$&$&>", "中<文文>字"},
      {"(\\w)(\\w)", "ab cd", "$2$1", "ba dc"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "pattern '" << c.pattern << "' subject '" << c.subject
                                    << "' replacement '" << c.replacement << "'");
    RegExp re;
    ASSERT_TRUE(re.search(gbk(c.pattern), gbk(c.subject), c.case_sensitive, true, c.global));
    EXPECT_EQ(re.replace(gbk(c.replacement)), gbk(c.expected));
  }
}

TEST(RegExpTest, ReplaceWorksOnTheLastSearchAndCopiesShareItUntilTheyMove) {
  RegExp first;
  ASSERT_TRUE(first.search("b", "abc"));
  ASSERT_TRUE(first.search("b", "bob"));
  EXPECT_EQ(first.replace("x"), "xox");

  RegExp copy = first;
  EXPECT_EQ(copy.replace("x"), "xox");
  EXPECT_EQ(copy.pattern_text(), "b");
  ASSERT_TRUE(copy.search("o", "zoo"));
  EXPECT_EQ(copy.replace("a"), "zaa");
  EXPECT_EQ(first.replace("x"), "xox");
  EXPECT_EQ(first.match_count(), 2);
  EXPECT_EQ(first.pattern_text(), "b");
}

TEST(RegExpTest, ReadsTheCharsetOfAMetaTag) {
  struct Case {
    const char* page;
    const char* charset;
  };
  static const Case kCases[] = {
      {"<meta charset='utf-8'>", "utf-8"},
      {"<meta http-equiv=\"Content-Type\" content='text/html; charset=big5'>", "big5"},
      {"<META CHARSET=UTF-8>", "UTF-8"},
      {"<html>\n<head><meta charset=\"gb2312\" />", "gb2312"},
      {"<meta charset=>", ""},
      {"<meta\ncharset=utf-8>", ""},
      {"<meta\r\ncharset=utf-8>", ""},
      {"jsonp({\"data\":{\"audio_name\":\"x\"}});", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.page);
    RegExp re;
    ASSERT_TRUE(re.search(kCharsetPattern, c.page));
    EXPECT_EQ(re.submatch_text(1, 1), c.charset);
  }
}

}  // namespace
}  // namespace melodrin
